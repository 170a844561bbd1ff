// Tell the application which device it runs on.
#include <cstdint>
#include <cstring>

#include "platform/board/silicon_id.h"
#include "vm/core/engine/java_array_range.h"

namespace {
constexpr char kArchitecture[] = "NXP-IMX-RT1170";
constexpr std::int32_t kSiliconIdLength = 16;
}  // namespace

extern "C" std::int32_t Java_yq_util_DeviceNatives_getArchitecture(std::int8_t* buffer, std::int32_t length) {
    // The text needs room for its terminating zero, in the length given and
    // in the array itself: the length is the caller's word, not the array's.
    if (length < static_cast<std::int32_t>(sizeof kArchitecture) ||
        !tarvelo::java_array_range_ok(buffer, 0, sizeof kArchitecture)) {
        return 0;
    }
    std::memcpy(buffer, kArchitecture, sizeof kArchitecture);
    return 1;
}

extern "C" std::int32_t Java_yq_util_DeviceNatives_getId(std::int8_t* buffer, std::int32_t length) {
    if (length < kSiliconIdLength || !tarvelo::java_array_range_ok(buffer, 0, kSiliconIdLength)) return 0;
    std::uint32_t n = kSiliconIdLength;
    if (SILICONID_GetID(reinterpret_cast<std::uint8_t*>(buffer), &n) != 0) return 0;
    return static_cast<std::int32_t>(n);
}
