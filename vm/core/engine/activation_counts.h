// How often the dispatch loop's inline call and return run, and why each
// leaves a call or a return to the engine. Counted only in builds
// configured with TARVELO_ACTIVATION_COUNTS (the interpreter benchmarks
// print them, benchmarks/interpreter/compare.sh beside the timings); in
// every other build the counting compiles to nothing.
#pragma once

#include <cstdint>

namespace tarvelo {

enum class ActivationCount : unsigned {
    kInlineCall,             // a call that stays in the caller's block
    kInlineCallAcross,       // a call into the thread's next block, already owned
    kInlineReturn,           // a return within one block
    kInlineReturnAcross,     // a return into the older block
    kCallNoRoom,             // no room left in the block and no next block owned
    kCallFirstFrame,         // the thread has no frame yet
    kCallOtherApplication,   // the receiver puts the callee in another application's context
    kCallHoldingKernelMonitors,  // made holding kernel monitors, which the feature rules check
    kReturnIntoApplication,  // the caller runs in an application's context
    kReturnThreadBottom,     // the frame opened the thread's first block: the thread ends
    kCount
};

inline constexpr const char* kActivationCountNames[] = {
    "inline_call",
    "inline_call_across",
    "inline_return",
    "inline_return_across",
    "call_no_room",
    "call_first_frame",
    "call_other_application",
    "call_holding_kernel_monitors",
    "return_into_application",
    "return_thread_bottom",
};
static_assert(sizeof kActivationCountNames / sizeof kActivationCountNames[0] ==
              static_cast<unsigned>(ActivationCount::kCount));

#if defined(TARVELO_ACTIVATION_COUNTS)
inline constexpr bool kActivationCounting = true;
inline std::uint64_t activation_counts[static_cast<unsigned>(ActivationCount::kCount)];
#else
inline constexpr bool kActivationCounting = false;
#endif

[[gnu::always_inline]] inline void count_activation([[maybe_unused]] ActivationCount c) {
#if defined(TARVELO_ACTIVATION_COUNTS)
    ++activation_counts[static_cast<unsigned>(c)];
#endif
}

// The count of `c` (0 when not counting).
inline std::uint64_t activation_count([[maybe_unused]] ActivationCount c) {
#if defined(TARVELO_ACTIVATION_COUNTS)
    return activation_counts[static_cast<unsigned>(c)];
#else
    return 0;
#endif
}

}  // namespace tarvelo
