// Rows of ARGB8888 pixels blended onto rows of RGB565 pixels, the inner
// loop of drawing a translucent image: vector code where the processor has
// a vector unit the build may assume (SSE2 on x86-64), one pixel at a time
// elsewhere. Both give the same 16 bits as `blend` and the RGB565
// conversions for every pixel.
#pragma once

#include <cstdint>

namespace tarvelo::graphics {

// `count` pixels of `source` (ARGB8888 words at any byte address) over
// `destination`: each pixel's alpha a scaled to alpha * a / 255 (alpha
// 0..255), blended with `blend_channels` over the destination pixel and
// stored as RGB565; alpha 0 leaves the destination pixel as it is.
void blend_argb8888_over_rgb565(std::uint16_t* destination, const std::uint8_t* source, std::int32_t count,
                                std::uint32_t alpha);

// The same one pixel at a time: what processors without a vector unit run,
// the vector loop's remainder, and the reference its tests compare with.
void blend_argb8888_over_rgb565_scalar(std::uint16_t* destination, const std::uint8_t* source, std::int32_t count,
                                       std::uint32_t alpha);

}  // namespace tarvelo::graphics
