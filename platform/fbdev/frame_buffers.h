// The board's frame-buffer memory: three 720 x 1280 RGB565 buffers in the
// non-cacheable SDRAM window. On the host the window is mapped at the
// board's addresses when they are free; where they are not (a sanitizer's
// shadow lies there) the buffers come from static storage below 4 GiB, at
// other addresses. Nothing clears them at reset.
#pragma once

#include <cstdint>

namespace tarvelo::fbdev {

inline constexpr std::uint32_t kPanelWidth = 720;
inline constexpr std::uint32_t kPanelHeight = 1280;
inline constexpr std::uint32_t kBytesPerPixel = 2;
inline constexpr std::uint32_t kStrideBytes = kPanelWidth * kBytesPerPixel;
inline constexpr std::uint32_t kFrameBufferBytes = kStrideBytes * kPanelHeight;
inline constexpr std::uint32_t kFrameBufferCount = 3;

// The board's addresses of the three buffers.
inline constexpr std::uint32_t kBoardFrameBufferAddress[kFrameBufferCount] = {0x83880000u, 0x83A42000u,
                                                                              0x83C04000u};

// Address of buffer `index` (0..2), mapping the memory on first use.
std::uint32_t frame_buffer_address(std::uint32_t index);

// The index of the buffer at `address`, or -1.
std::int32_t frame_buffer_index(std::uint32_t address);

}  // namespace tarvelo::fbdev
