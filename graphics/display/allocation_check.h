// The start-up allocation check: how much of the virtual machine's runtime
// heap (`_rowfen_support_malloc`) the engine's start takes, printed on the
// virtual machine's console when the link-time value DISPLAY_DEBUG_ALLOCATION
// is not -1, with a warning when it exceeds DISPLAY_EXPECTED_ALLOCATION.
#pragma once

#include <cstdint>

namespace tarvelo::graphics {

class AllocationCheck {
public:
    // Takes the snapshot before the start, and prints it, when the check is
    // on.
    AllocationCheck();
    // After the start: the free space, the bytes the start took, those less
    // what the decoders announce, and the warning.
    void finish() const;

    // The figures of a start that found `before` free bytes and left
    // `after`, the warning beyond `expected` (the printing, for tests).
    static void reportAfter(std::int64_t before, std::int64_t after, std::int64_t expected);

private:
    bool on_;
    std::int64_t before_ = 0;
};

}  // namespace tarvelo::graphics
