// Thick faded points and lines. A general line is scanned column by column
// in a band of rows around its centre line; each pixel's squared distance to
// the capped line gives its coverage.
#include <algorithm>
#include <cmath>
#include <utility>

#include "graphics/aa_coverage.h"
#include "graphics/aa_shapes.h"

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
    std::int32_t x1, y1, x2, y2, outer, fade, thickness, start_cap, end_cap;
    std::int32_t rx, ry, rw, rh;

    void update(std::int32_t ax, std::int32_t ay, std::int32_t bx, std::int32_t by, std::int32_t f, std::int32_t t,
                std::int32_t cap_a, std::int32_t cap_b) {
        x1 = ax, y1 = ay, x2 = bx, y2 = by;
        fade = f, thickness = t, start_cap = cap_a, end_cap = cap_b;
        outer = f + (t >> 1);
        slope = static_cast<float>(by - ay) / static_cast<float>(bx - ax);
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
        rw = std::abs(trunc_int(maxx) - trunc_int(minx));
        rh = std::abs(trunc_int(maxy) - trunc_int(miny));
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
    for (std::int32_t y = trunc_int(y1 - r); y <= y1 + r; ++y) {
        for (std::int32_t x = trunc_int(x1 - before); x <= x2 + after; ++x) {
            float d;
            if (x < x1) d = cap_distance(start_cap, x1, x, y);
            else if (x > x2) d = cap_distance(end_cap, x2, x, y);
            else d = static_cast<float>(std::abs(y - y1));
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
    for (std::int32_t px = trunc_int(std::floor(fx - r)); px <= trunc_int(std::ceil(fx + r)); ++px) {
        for (std::int32_t py = trunc_int(std::floor(fy - r)); py <= trunc_int(std::ceil(fy + r)); ++py) {
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
        round_half_away((std::fabs(static_cast<float>(thickness + 2 * fade) / std::cos(line.angle)) + 2) * 0.5f);
    const std::int64_t ymin = static_cast<std::int64_t>(line.ry) - thickness - fade;
    const std::int64_t ymax = static_cast<std::int64_t>(line.ry) + line.rh + thickness + fade;
    const std::int32_t xfirst = trunc_int(line.rx - r), xlast = trunc_int(line.rx + line.rw + r) + 1;
    for (std::int32_t x = xfirst; x <= xlast; ++x) {
        const std::int64_t yc = round_half_away(line.slope * x + line.intercept);
        const std::int64_t top = std::max(yc - band, ymin), bottom = std::min(yc + band, ymax);
        for (std::int64_t y = top; y <= bottom; ++y) {
            const float d2 = line.orthogonalDistanceP2(x, static_cast<std::int32_t>(y), r * r);
            if (d2 < h * h) out.solid(x, y);
            else if (d2 < r * r) out.faded(x, y, fade_opacity(std::sqrt(d2), h, f));
        }
    }
}

}  // namespace tarvelo::graphics
