#include "tests/vm/fuzz/application_file_crc.h"

#include <cstring>

#include "tools/imagelink/application_builder.h"

namespace tarvelo::fuzz {

namespace file = imagelink::app_file;

namespace {
std::uint32_t get32(const std::uint8_t* d, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, d + at, 4);
    return v;
}
}  // namespace

std::size_t crc_start(const std::uint8_t* d, std::size_t size) {
    if (size < file::kHeaderSize) return 0;
    const std::uint32_t n = get32(d, file::kSectionCountAt);
    if (n < 1 || n > kMaxSections) return 0;
    const std::size_t start = file::kHeaderSize + file::kSectionEntrySize * n;
    return start <= size ? start : 0;
}

bool crc_is_right(const std::uint8_t* d, std::size_t size) {
    const std::size_t start = crc_start(d, size);
    return start != 0 && get32(d, file::kCrcAt) == imagelink::application_crc32(d + start, size - start);
}

void write_crc(std::uint8_t* d, std::size_t size) {
    const std::size_t start = crc_start(d, size);
    if (start == 0) return;
    const std::uint32_t crc = imagelink::application_crc32(d + start, size - start);
    std::memcpy(d + file::kCrcAt, &crc, 4);
}

}  // namespace tarvelo::fuzz
