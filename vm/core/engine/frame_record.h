// The frame record: five words at the base of each activation's primitive
// window (its registers 0 to 4). Registers 5 and up are the method's own
// words with its arguments and result at the top; negative registers lie
// below the record. The reference window is addressed from its own base.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/address.h"

namespace tarvelo {

enum FrameFlag : std::uint16_t {
    kFrameProxyCall = 0x0001,      // cross-application proxy call
    kFrameCallerDistanceMask = 0x1FFC,  // bytes from this record up to the caller's
    kFrameNewBlock = 0x2000,       // this activation opened a new stack block
    kFrameFirst = 0x4000,          // first activation of the thread
    kFrameWrapper = 0x8000,        // made by virtual-machine code (call wrapper)
    // Flags that make a frame walk ask its visitor before stepping on.
    kFrameWalkStops = kFrameProxyCall | 0x0002 | kFrameNewBlock | kFrameFirst | kFrameWrapper,
};

struct FrameRecord {
    std::uint16_t flags;
    std::int16_t callerRefDelta;  // caller's reference window base minus this one's, bytes
    word_t returnPc;              // where the caller resumes; 0 in a call-wrapper frame
    word_t method;                // the method record (its class word)
    word_t featureContext;        // application context the activation runs in
    word_t savedContext;          // context current when this activation made its last call

    std::int32_t* prim() { return reinterpret_cast<std::int32_t*>(this); }
};
static_assert(sizeof(FrameRecord) == 20);

inline constexpr std::uint32_t kFrameRecordBytes = sizeof(FrameRecord);

// 64-bit values in register pairs: the low word in the lower register.
inline std::int64_t load_pair(const std::int32_t* reg) {
    std::int64_t v;
    std::memcpy(&v, reg, 8);
    return v;
}
inline void store_pair(std::int32_t* reg, std::int64_t v) { std::memcpy(reg, &v, 8); }

}  // namespace tarvelo
