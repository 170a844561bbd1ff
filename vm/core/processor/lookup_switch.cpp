#include "vm/core/processor/lookup_switch.h"

#include <cstring>

namespace tarvelo::VMJProcessor {

namespace {

// The image is little-endian like both targets, so a native-order load is
// the right one; memcpy keeps it free of alignment and aliasing assumptions.
std::int32_t load_key(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint16_t load_offset(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

const std::uint8_t* lookupSwitch(std::uint32_t count, const std::uint8_t* keys, std::int32_t key) {
    // Binary search over key indexes; signed 64-bit bounds so that an empty
    // table (hi = -1) needs no special case.
    std::int64_t lo = 0;
    std::int64_t hi = static_cast<std::int64_t>(count) - 1;
    while (lo <= hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        const std::int32_t probe = load_key(keys + 4 * mid);
        if (probe == key) {
            return keys + load_offset(keys + 4 * static_cast<std::int64_t>(count) + 2 * mid);
        }
        if (key > probe) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return keys + load_offset(keys - 2);
}

}  // namespace tarvelo::VMJProcessor
