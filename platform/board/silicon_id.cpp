#include "platform/board/silicon_id.h"

namespace {
// The simulated chip's fused unique id.
constexpr std::uint8_t kSiliconId[16] = {0x11, 0x70, 0x5A, 0x45, 0x56, 0x00, 0x01, 0x02,
                                         0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
}  // namespace

extern "C" std::int32_t SILICONID_GetID(std::uint8_t* id, std::uint32_t* length) {
    if (id == nullptr || length == nullptr) return -1;
    std::uint32_t n = *length < sizeof kSiliconId ? *length : sizeof kSiliconId;
    for (std::uint32_t i = 0; i < n; ++i) id[i] = kSiliconId[i];
    *length = n;
    return 0;
}
