#include "platform/board/retained_memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/address.h"

namespace tarvelo {

namespace {

constexpr std::uint32_t kMagic = 0x4B524D54;  // "TMRK"
constexpr std::uint32_t kMaxWords = 16;

struct Header {
    std::uint32_t magic;
    std::uint32_t base;
    std::uint32_t size;
    std::uint32_t count;
    std::uint32_t words[kMaxWords];
};

const char* file_name() {
    const char* name = std::getenv("TARVELO_RETAINED_MEMORY");
    return name != nullptr && name[0] != '\0' ? name : nullptr;
}

}  // namespace

bool retained_memory_restore(void* base, std::uint32_t size, std::uint32_t* words, std::uint32_t count) {
    const char* name = file_name();
    if (name == nullptr || count > kMaxWords) return false;
    std::FILE* f = std::fopen(name, "rb");
    if (f == nullptr) return false;
    Header h{};
    std::vector<std::uint8_t> region(size);
    const bool ok = std::fread(&h, sizeof h, 1, f) == 1 && h.magic == kMagic && h.base == to_word(base) &&
                    h.size == size && h.count == count && std::fread(region.data(), 1, size, f) == size;
    std::fclose(f);
    if (!ok) return false;
    std::memcpy(base, region.data(), size);
    std::memcpy(words, h.words, 4u * count);
    return true;
}

void retained_memory_save(const void* base, std::uint32_t size, const std::uint32_t* words, std::uint32_t count) {
    const char* name = file_name();
    if (name == nullptr || count > kMaxWords) return;
    Header h{kMagic, to_word(base), size, count, {}};
    std::memcpy(h.words, words, 4u * count);
    // Written beside and renamed, so that a file is either the old or the
    // new state.
    const std::string temporary = std::string(name) + ".new";
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) return;
    const bool ok = std::fwrite(&h, sizeof h, 1, f) == 1 && std::fwrite(base, 1, size, f) == size;
    if (std::fclose(f) == 0 && ok) std::rename(temporary.c_str(), name);
}

}  // namespace tarvelo
