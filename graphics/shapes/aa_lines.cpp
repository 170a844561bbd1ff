// Thick faded points and lines. A general line is scanned column by column
// in a band of rows around its centre line; each pixel's squared distance to
// the capped line gives its coverage.
#include <algorithm>
#include <cmath>
#include <utility>

#include "graphics/shapes/aa_coverage.h"
#include "graphics/shapes/aa_shapes.h"

namespace tarvelo::graphics {

namespace {

constexpr float kQuarterTurn = 1.5708f;

struct Perpendicular {
    float slope, intercept;
};

// The line being drawn, its corners and bounding rectangle.
struct Line {
    Perpendicular start, end;
    float slope, intercept, angle;
    float q1x, q1y, q2x, q2y, q3x, q3y, q4x, q4y;
    float half_thickness, cap_ox, cap_oy;
    std::int32_t x1, y1, x2, y2, fade, thickness, start_cap, end_cap;
    std::int64_t outer;  // fade + thickness / 2: may exceed 32 bits
    std::int32_t rx, ry;
    std::int64_t rw, rh;  // may exceed 32 bits

    void update(std::int32_t ax, std::int32_t ay, std::int32_t bx, std::int32_t by, std::int32_t f, std::int32_t t,
                std::int32_t cap_a, std::int32_t cap_b) {
        x1 = ax, y1 = ay, x2 = bx, y2 = by;
        fade = f, thickness = t, start_cap = cap_a, end_cap = cap_b;
        outer = std::int64_t{f} + (t >> 1);
        // Differences in 64 bits: end points a full 32-bit range apart.
        slope = static_cast<float>(std::int64_t{by} - ay) / static_cast<float>(std::int64_t{bx} - ax);
        intercept = std::fma(-slope, static_cast<float>(ax), static_cast<float>(ay));
        angle = ay == by ? 0.0f : std::atan(slope);
        const float reciprocal = 1.0f / slope;
        start = {-reciprocal, std::fma(static_cast<float>(ax), reciprocal, static_cast<float>(ay))};
        end = {-reciprocal, std::fma(static_cast<float>(bx), reciprocal, static_cast<float>(by))};
    }

    void computeBoundingRect() {
        const float ro = static_cast<float>(outer);
        const float cp = std::cos(angle + kQuarterTurn), sp = std::sin(angle + kQuarterTurn);
        const float cm = std::cos(angle - kQuarterTurn), sm = std::sin(angle - kQuarterTurn);
        q1x = x1 + ro * cp, q1y = y1 + ro * sp;
        q2x = x1 + ro * cm, q2y = y1 + ro * sm;
        q3x = x2 + ro * cm, q3y = y2 + ro * sm;
        q4x = x2 + ro * cp, q4y = y2 + ro * sp;
        const float minx = std::min({q1x, q2x, q3x, q4x}), maxx = std::max({q1x, q2x, q3x, q4x});
        const float miny = std::min({q1y, q2y, q3y, q4y}), maxy = std::max({q1y, q2y, q3y, q4y});
        rx = trunc_int(minx);
        ry = trunc_int(miny);
        rw = std::llabs(std::int64_t{trunc_int(maxx)} - trunc_int(minx));
        rh = std::llabs(std::int64_t{trunc_int(maxy)} - trunc_int(miny));
        half_thickness = thickness * 0.5f;
        cap_ox = cp * half_thickness;
        cap_oy = sp * half_thickness;
    }

    float capDistance(std::int32_t cap, std::int32_t ex, std::int32_t ey, float x, float y, float fallback) const {
        if (cap == kCapRounded) return (ey - y) * (ey - y) + (ex - x) * (ex - x);
        if (cap == kCapPerpendicular) {
            const float d = std::sqrt(squared_segment_distance(x, y, ex - cap_ox, ey - cap_oy, ex + cap_ox, ey + cap_oy)) +
                            half_thickness;
            return d * d;
        }
        return fallback;
    }

    // Squared distance of pixel (x, y) to the capped line; `fallback` in a
    // cap region whose cap draws nothing.
    float orthogonalDistanceP2(std::int32_t px, std::int32_t py, float fallback) const {
        const float x = static_cast<float>(px), y = static_cast<float>(py);
        const float ys = start.intercept + x * start.slope;
        const float ye = end.intercept + x * end.slope;
        bool in_end, in_start;
        if (y1 < y2) {
            in_end = x >= std::min(q1x, q4x) && y > ye;
            in_start = !in_end && x < std::max(q3x, q2x) && y < ys;
        } else {
            in_end = x >= std::min(q3x, q2x) && y < ye;
            in_start = !in_end && x < std::max(q1x, q4x) && y > ys;
        }
        if (in_end) return capDistance(end_cap, x2, y2, x, y, fallback);
        if (in_start) return capDistance(start_cap, x1, y1, x, y, fallback);
        const float v = slope * x - y + intercept;
        return v * v / (1 + slope * slope);
    }
};

// The largest integer at or below v, saturated to 64 bits (NaN: 0).
std::int64_t floor_int64(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18f) return INT64_MAX;
    if (v <= -9.2e18f) return INT64_MIN;
    return static_cast<std::int64_t>(std::floor(v));
}

// A pixel at distance d: solid inside h, faded inside r, else nothing.
void cover(AaPixels& out, std::int32_t x, std::int32_t y, float d, float h, float r, float f) {
    if (d < h) out.solid(x, y);
    else if (d < r) out.faded(x, y, fade_opacity(d, h, f));
}

// Horizontal line from (x1, y) to (x2, y), x1 < x2; with `swap_axes` the
// same for a vertical line with x and y exchanged.
void straight(AaPixels& out, bool swap_axes, std::int32_t x1, std::int32_t x2, std::int32_t y1, float h, float r,
              float f, std::int32_t start_cap, std::int32_t end_cap) {
    auto cap_distance = [&](std::int32_t cap, std::int32_t ex, std::int32_t x, std::int32_t y) {
        const float fx = static_cast<float>(x), fy = static_cast<float>(y);
        if (cap == kCapRounded) return std::sqrt((y1 - fy) * (y1 - fy) + (ex - fx) * (ex - fx));
        return std::sqrt(squared_segment_distance(fx, fy, ex, y1 - h, ex, y1 + h)) + h;
    };
    const float before = start_cap != kCapNone ? r : 0.0f, after = end_cap != kCapNone ? r : 0.0f;
    // Only columns and rows inside the clip can be written (the axes
    // exchanged for a vertical line); 64-bit bounds so that a line to the
    // end of the range does not wrap.
    const std::int64_t across_first = std::max<std::int64_t>(trunc_int(y1 - r), swap_axes ? out.clipX1() : out.clipY1());
    const std::int64_t across_last = std::min<std::int64_t>(floor_int64(y1 + r), swap_axes ? out.clipX2() : out.clipY2());
    const std::int64_t along_first = std::max<std::int64_t>(trunc_int(x1 - before), swap_axes ? out.clipY1() : out.clipX1());
    const std::int64_t along_last = std::min<std::int64_t>(floor_int64(x2 + after), swap_axes ? out.clipY2() : out.clipX2());
    for (std::int64_t yy = across_first; yy <= across_last; ++yy) {
        const auto y = static_cast<std::int32_t>(yy);
        for (std::int64_t xx = along_first; xx <= along_last; ++xx) {
            const auto x = static_cast<std::int32_t>(xx);
            float d;
            if (x < x1) d = cap_distance(start_cap, x1, x, y);
            else if (x > x2) d = cap_distance(end_cap, x2, x, y);
            else d = static_cast<float>(std::llabs(std::int64_t{y} - y1));
            if (swap_axes) cover(out, y, x, d, h, r, f);
            else cover(out, x, y, d, h, r, f);
        }
    }
}

}  // namespace

void AntiAliasingDrawer::drawPoint(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade,
                                   std::int32_t x, std::int32_t y) {
    AaPixels out(gc);
    const float h = thickness * 0.5f, f = static_cast<float>(fade), r = f + h;
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    // Only the clip's pixels of the square around the point can be written.
    const std::int64_t px_last = std::min<std::int64_t>(trunc_int(std::ceil(fx + r)), out.clipX2());
    const std::int64_t py_last = std::min<std::int64_t>(trunc_int(std::ceil(fy + r)), out.clipY2());
    const std::int64_t py_first = std::max<std::int64_t>(trunc_int(std::floor(fy - r)), out.clipY1());
    for (std::int64_t px = std::max<std::int64_t>(trunc_int(std::floor(fx - r)), out.clipX1()); px <= px_last; ++px) {
        for (std::int64_t py = py_first; py <= py_last; ++py) {
            const float dx = static_cast<float>(px) - fx, dy = static_cast<float>(py) - fy;
            const float d2 = dx * dx + dy * dy;
            if (d2 < h * h) out.solid(px, py);
            else if (d2 < r * r) out.faded(px, py, fade_opacity(std::sqrt(d2), h, f));
        }
    }
}

void AntiAliasingDrawer::drawLine(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade,
                                  std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                                  std::int32_t start_cap, std::int32_t end_cap) {
    if (x1 == x2 && y1 == y2) return;
    AaPixels out(gc);
    const float h = thickness * 0.5f, f = static_cast<float>(fade), r = f + h;
    if (y1 == y2) {
        if (x1 > x2) std::swap(x1, x2), std::swap(start_cap, end_cap);
        straight(out, false, x1, x2, y1, h, r, f, start_cap, end_cap);
        return;
    }
    if (x1 == x2) {
        if (y1 > y2) std::swap(y1, y2), std::swap(start_cap, end_cap);
        straight(out, true, y1, y2, x1, h, r, f, start_cap, end_cap);
        return;
    }
    if (x1 > x2) std::swap(x1, x2), std::swap(y1, y2), std::swap(start_cap, end_cap);
    Line line{};
    line.update(x1, y1, x2, y2, fade, thickness, start_cap, end_cap);
    line.computeBoundingRect();
    const std::int32_t band =
        round_half_away((std::fabs(static_cast<float>(std::int64_t{thickness} + 2 * std::int64_t{fade}) /
                                   std::cos(line.angle)) + 2) * 0.5f);
    const std::int64_t ymin = static_cast<std::int64_t>(line.ry) - thickness - fade;
    const std::int64_t ymax = static_cast<std::int64_t>(line.ry) + line.rh + thickness + fade;
    const std::int64_t xfirst = trunc_int(static_cast<float>(line.rx) - r);
    const std::int64_t xlast = std::int64_t{trunc_int(static_cast<float>(line.rx + line.rw) + r)} + 1;
    // Only the clip's columns and rows can be written: the walk starts and
    // ends there, however far the end points lie.
    for (std::int64_t xx = std::max<std::int64_t>(xfirst, out.clipX1()); xx <= std::min<std::int64_t>(xlast, out.clipX2()); ++xx) {
        const auto x = static_cast<std::int32_t>(xx);
        const std::int64_t yc = round_half_away(line.slope * static_cast<float>(x) + line.intercept);
        const std::int64_t top = std::max({yc - band, ymin, std::int64_t{out.clipY1()}});
        const std::int64_t bottom = std::min({yc + band, ymax, std::int64_t{out.clipY2()}});
        for (std::int64_t y = top; y <= bottom; ++y) {
            const float d2 = line.orthogonalDistanceP2(x, static_cast<std::int32_t>(y), r * r);
            if (d2 < h * h) out.solid(x, y);
            else if (d2 < r * r) out.faded(x, y, fade_opacity(std::sqrt(d2), h, f));
        }
    }
}

}  // namespace tarvelo::graphics
