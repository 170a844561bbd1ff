// The coverage rule of the anti-aliased drawers: a solid pixel is a plain
// store of the foreground colour in the display format, a faded pixel goes
// to the context's blender with an opacity; both only inside the clip.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <algorithm>

#include "graphics/images/image_types.h"
#include "graphics/pixels/blend.h"
#include "graphics/shapes/shape_pixels.h"

namespace tarvelo::graphics {

// Cap codes of thick lines and arcs.
inline constexpr std::int32_t kCapNone = 0;
inline constexpr std::int32_t kCapRounded = 1;
inline constexpr std::int32_t kCapPerpendicular = 2;

// Half away from zero, then truncated.
inline std::int32_t round_half_away(float v) {
    if (!std::isfinite(v)) return 0;
    const float r = v > 0 ? v + 0.5f : v - 0.5f;
    if (r >= 2147483520.0f) return INT32_MAX;
    if (r <= -2147483648.0f) return INT32_MIN;
    return static_cast<std::int32_t>(r);
}

// trunc of a float, saturated (NaN gives 0).
inline std::int32_t trunc_int(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483520.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

// Opacity of a faded pixel at distance d from a core of half thickness h
// with fade f > 0: never 0 (it bottoms out at 1 at the outer edge).
inline std::uint32_t fade_opacity(float d, float h, float f) {
    const std::int32_t reduction = std::abs(trunc_int(255.0f * (d - h) / f));
    return static_cast<std::uint32_t>(255 - std::min(254, reduction));
}

// Squared distance from P to the segment AB.
inline float squared_segment_distance(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    const float l = dx * dx + dy * dy;
    if (l == 0) return (ay - py) * (ay - py) + (ax - px) * (ax - px);
    float u = ((px - ax) * dx + (py - ay) * dy) / l;
    if (u >= 1) u = 1;
    else if (u < 0) u = 0;
    const float qx = ax + u * dx - px, qy = ay + u * dy - py;
    return qx * qx + qy * qy;
}

class AaPixels {
public:
    explicit AaPixels(SPictavoGraphicsContext* gc)
        : solid_(gc), x1_(gc->clip_x1), y1_(gc->clip_y1), x2_(gc->clip_x2), y2_(gc->clip_y2) {
        blender_.prepare(gc);
    }
    void solid(std::int64_t x, std::int64_t y) const { solid_.put(x, y); }
    std::int32_t clipX1() const { return x1_; }
    std::int32_t clipY1() const { return y1_; }
    std::int32_t clipX2() const { return x2_; }
    std::int32_t clipY2() const { return y2_; }
    void faded(std::int64_t x, std::int64_t y, std::uint32_t opacity) {
        if (x < x1_ || x > x2_ || y < y1_ || y > y2_) return;
        blender_.blendPixel(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), opacity);
    }

private:
    ShapePixels solid_;
    Blender blender_;
    std::int32_t x1_, y1_, x2_, y2_;
};

}  // namespace tarvelo::graphics
