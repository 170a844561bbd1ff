#include "platform/fbdev/frame_buffers.h"

#include <sys/mman.h>

#include <mutex>

#include "platform/address.h"

namespace tarvelo::fbdev {

namespace {

// The board's buffers are contiguous apart from alignment gaps: one mapping
// from the first to the end of the last.
constexpr std::uint32_t kWindowBytes =
    kBoardFrameBufferAddress[kFrameBufferCount - 1] + kFrameBufferBytes - kBoardFrameBufferAddress[0];

alignas(64) std::uint8_t g_reserve[kFrameBufferCount][kFrameBufferBytes];

std::uint32_t g_address[kFrameBufferCount];
std::once_flag g_once;

bool map_board_window() {
#if defined(MAP_FIXED_NOREPLACE)
    void* want = to_ptr(kBoardFrameBufferAddress[0]);
    void* got = mmap(want, kWindowBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE,
                     -1, 0);
    if (got == MAP_FAILED) return false;
    if (got != want) {  // a kernel that does not know the flag took it as a hint
        munmap(got, kWindowBytes);
        return false;
    }
    return true;
#else
    return false;
#endif
}

void map_once() {
    const bool board = map_board_window();
    for (std::uint32_t i = 0; i < kFrameBufferCount; ++i)
        g_address[i] = board ? kBoardFrameBufferAddress[i] : to_word(g_reserve[i]);
}

}  // namespace

std::uint32_t frame_buffer_address(std::uint32_t index) {
    std::call_once(g_once, map_once);
    return index < kFrameBufferCount ? g_address[index] : 0;
}

std::int32_t frame_buffer_index(std::uint32_t address) {
    for (std::uint32_t i = 0; i < kFrameBufferCount; ++i)
        if (frame_buffer_address(i) == address) return static_cast<std::int32_t>(i);
    return -1;
}

}  // namespace tarvelo::fbdev
