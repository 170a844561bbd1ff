// The parts of an installed application's records that the memory system
// reads and writes: the `FeatureRecord` (17 words in the application's
// read-only area, the value of its objects' owner words) and its
// `FeatureRuntimeState` (35 bytes in RAM).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/address.h"

namespace tarvelo {

enum class FeatureState : std::uint8_t {
    kInstalled = 1,
    kStarted = 2,
    kStopped = 3,
    kUninstalled = 4,
};

struct FeatureRuntimeState {
    word_t featureObject;        // the `yq.kf.Feature` object: a collector root
    std::uint32_t liveThreads;
    word_t nextInLevel;
    word_t nextStopped;
    std::uint8_t allocatedBytes[8];  // u64, 4-aligned
    std::uint8_t quota[8];           // i64, 4-aligned
    std::uint8_t level;
    std::uint8_t state;              // FeatureState
    std::uint8_t liveObject;         // set by marking
};
static_assert(offsetof(FeatureRuntimeState, allocatedBytes) == 16);
static_assert(offsetof(FeatureRuntimeState, quota) == 24);
static_assert(offsetof(FeatureRuntimeState, state) == 33);
static_assert(offsetof(FeatureRuntimeState, liveObject) == 34);

// Word offsets in a `FeatureRecord`.
namespace feature_record {
inline constexpr std::uint32_t kDescriptor = 0;     // the feature's descriptor (17 words)
inline constexpr std::uint32_t kModuleData = 1;     // its module data object
inline constexpr std::uint32_t kEntryPointClass = 2;
inline constexpr std::uint32_t kClinitStart = 3;    // its class-initialiser table
inline constexpr std::uint32_t kClinitEnd = 4;
inline constexpr std::uint32_t kRuntimeState = 5;   // its FeatureRuntimeState
inline constexpr std::uint32_t kStaticsFirst = 6;   // five [start, end) ranges
inline constexpr std::uint32_t kRefStaticsStart = 14;
inline constexpr std::uint32_t kRefStaticsEnd = 15;
inline constexpr std::uint32_t kKernelStaticsCopies = 16;
inline constexpr std::uint32_t kWords = 17;
}  // namespace feature_record

// Fields of a `yq.kf.Feature` object the virtual machine uses.
namespace feature_object {
inline constexpr std::uint32_t kHandle = 8;        // i64: the FeatureRecord, -1 unlinked
inline constexpr std::uint32_t kStopCause = 16;    // 1 killed, 2 killed by RAM control
inline constexpr std::uint32_t kTransition = 17;   // see FeatureTransition
inline constexpr std::int32_t kRefFields[3] = {-4, -8, -12};  // cleared by a kill
}  // namespace feature_object

enum FeatureTransition : std::uint8_t {
    kTransitionNone = 0,
    kTransitionKilled = 1,
    kTransitionMayReturn = 2,  // written by the kernel's bytecode only
    kTransitionReturned = 3,
    kTransitionLinked = 4,
};

// The module data object's reference field (below its header) holding the
// feature's name as a byte array.
inline constexpr std::int32_t kModuleDataNameOffset = -16;

// Word of a feature descriptor holding the types base.
inline constexpr std::uint32_t kDescriptorTypesBase = 3;

inline word_t featureRecordWord(word_t record, std::uint32_t index) {
    return to_ptr<const std::uint32_t>(record)[index];
}

inline FeatureRuntimeState* featureRuntimeState(word_t record) {
    return to_ptr<FeatureRuntimeState>(featureRecordWord(record, feature_record::kRuntimeState));
}

inline word_t featureTypesBase(word_t record) {
    word_t descriptor = featureRecordWord(record, feature_record::kDescriptor);
    return to_ptr<const std::uint32_t>(descriptor)[kDescriptorTypesBase];
}

inline std::uint64_t loadU64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storeU64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace tarvelo
