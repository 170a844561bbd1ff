// Arcs of circles and ellipses, one pixel wide: the ellipse walk with each
// candidate pixel kept when it lies between the start and end rays of its
// quadrant.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "graphics/shapes/aliased_shapes.h"
#include "graphics/shapes/ellipse_walk.h"
#include "graphics/shapes/shape_pixels.h"
#include "vm/core/runtime_support/math.h"

namespace tarvelo::graphics {

namespace {

// [0, 360): the float remainder keeps the dividend's sign. An angle that is
// not a number (an infinite one included, whose remainder is none) is 0.
float normalise_degrees(float angle) {
    if (!std::isfinite(angle)) return 0;
    float r = std::fmod(angle, 360.0f);
    if (r < 0) r += 360.0f;
    return r;
}

enum Quadrant { kLowerRight, kLowerLeft, kUpperLeft, kUpperRight };

bool ray_in(Quadrant q, std::int32_t rx, std::int32_t ry) {
    switch (q) {
        case kLowerRight: return ry > 0 && rx > 0;
        case kLowerLeft: return ry > 0 && rx < 0;
        case kUpperLeft: return ry < 0 && rx < 0;
        case kUpperRight: return ry < 0 && rx > 0;
    }
    return false;
}

bool whole(Quadrant q, float e, float s) {
    switch (q) {
        case kLowerRight: return s <= 315 && e <= s;
        case kLowerLeft: return s < 225 ? (e <= s || e > 225) : (e > 225 && e <= s);
        case kUpperLeft: return s < 135 ? (e <= s || e > 135) : (e > 135 && e <= s);
        case kUpperRight: return e >= 45 ? (e <= s || s <= 45) : (e == 0 && s == 0);
    }
    return false;
}

struct QuadrantRule {
    bool end_in, start_in, touched, parity, whole;
};

}  // namespace

void SArcData::init(std::int32_t width, std::int32_t height, std::int32_t cap_a, std::int32_t cap_b, float start,
                    float arc) {
    half_width = width >> 1;
    half_height = height >> 1;
    float end;
    if (arc >= 360 || arc <= -360) {
        start = 0;
        end = 360;
        end_cap = start_cap = 0;
    } else if (arc > 0) {
        end = start + arc;
        end_cap = cap_b;
        start_cap = cap_a;
    } else {
        end = start;
        start = start + arc;
        end_cap = cap_a;
        start_cap = cap_b;
    }
    end_angle = normalise_degrees(end);
    start_angle = normalise_degrees(start);
}

void AliasingDrawer::drawArc(SPictavoGraphicsContext* gc, std::int64_t cx, std::int64_t cy, float e, float s,
                             std::int32_t width, std::int32_t height) {
    if (!EllipseWalk::walkable(width, height)) {
        gc->image.flags &= static_cast<std::uint8_t>(~kImageClipDisabled);
        return;
    }
    const std::int32_t hw = width >> 1, hh = height >> 1;
    const double er = static_cast<double>(e) * std::numbers::pi / 180, sr = static_cast<double>(s) * std::numbers::pi / 180;
    const auto ex = static_cast<std::int32_t>(rt::Math::cos(er) * hw);
    const auto sx = static_cast<std::int32_t>(hw * rt::Math::cos(sr));
    const auto ey = static_cast<std::int32_t>(-rt::Math::sin(er) * hh);
    const auto sy = static_cast<std::int32_t>(hh * -rt::Math::sin(sr));

    const std::int64_t top = cy - hh, bottom = top + height - 1;
    gc->image.flags &= static_cast<std::uint8_t>(~kImageClipDisabled);
    if (std::max<std::int64_t>(gc->clip_y1, top) > std::min<std::int64_t>(gc->clip_y2, bottom)) return;

    const bool wraps = e - s < 0;
    QuadrantRule rules[4];
    for (int q = 0; q < 4; ++q) {
        QuadrantRule& r = rules[q];
        r.end_in = ray_in(static_cast<Quadrant>(q), ex, ey);
        r.start_in = ray_in(static_cast<Quadrant>(q), sx, sy);
        r.touched = r.end_in || r.start_in;
        r.parity = wraps || (r.end_in != r.start_in);
        r.whole = whole(static_cast<Quadrant>(q), e, s);
    }
    const ShapePixels out(gc);
    // Products in 64 bits: the same quotients wherever 32 bits did not overflow.
    auto keep = [&](Quadrant q, std::int64_t x, std::int64_t y) {
        const QuadrantRule& r = rules[q];
        if (!r.touched) return r.whole;
        const bool lower = q == kLowerRight || q == kLowerLeft;
        const std::int64_t X = lower ? x - cx : cx - x, Y = lower ? y - cy : cy - y;
        const bool a = r.end_in && X <= (ex * Y) / ey;
        const bool b = r.start_in && X >= (sx * Y) / sy;
        return (a != b) == r.parity;
    };
    auto put = [&](Quadrant q, std::int64_t x, std::int64_t y) {
        if (keep(q, x, y)) out.put(x, y);
    };
    const std::int64_t x0 = cx - hw;
    EllipseWalk walk(x0, x0 + width - 1, width, top, height);
    do {
        put(kLowerRight, walk.x1, walk.row0);
        put(kLowerLeft, walk.x0, walk.row0);
        put(kUpperLeft, walk.x0, walk.row1);
        put(kUpperRight, walk.x1, walk.row1);
    } while (walk.next());
}

}  // namespace tarvelo::graphics
