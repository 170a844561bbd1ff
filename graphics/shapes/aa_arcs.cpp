// Thick faded circle arcs with caps. The ring is measured from a sub-pixel
// centre; a mask gives each of the eight octants a code (outside, whole, or
// cut by the start ray, the end ray or both) so that only cut octants test
// the rays. Caps are drawn first, each only beyond its ray.
#include <algorithm>
#include <utility>
#include <cmath>
#include <iterator>

#include "graphics/shapes/aa_coverage.h"
#include "graphics/shapes/aa_shapes.h"

namespace tarvelo::graphics {

namespace {

constexpr float kDegreesToRadians = 0.0174532924f;
constexpr float kSideTolerance = 0.001f;

enum OctantCode : std::uint32_t { kOutside = 0, kAfterStart = 1, kBeforeEnd = 2, kBetween = 3, kWhole = 4 };

std::uint32_t code_of(std::uint32_t mask, std::int32_t octant) { return (mask >> (3 * octant)) & 7; }

std::uint32_t octant_mask(float start_angle, float end_angle) {
    const std::int32_t s = trunc_int(start_angle);
    std::int32_t e = trunc_int(end_angle);
    const std::int32_t so = s / 45, s_floor = 45 * so;
    std::int32_t eo, e_ceil;
    if (e == 0) {
        eo = 7;
        e = 360;
        e_ceil = 360;
    } else {
        eo = (e + 44) / 45 - 1;
        e_ceil = 45 * (eo + 1);
    }
    std::uint32_t codes[8] = {};
    bool start_flag, end_flag;
    if (eo == so) {
        start_flag = s > s_floor ? e <= s_floor + 45 : e < s_floor + 45;
        end_flag = s > s_floor ? e <= e_ceil : e < e_ceil;
        if (s < e) codes[so] = kWhole;
        else std::fill(std::begin(codes), std::end(codes), kWhole);
    } else {
        start_flag = s > s_floor;
        end_flag = e < e_ceil;
        for (std::int32_t k = so;; k = (k + 1) % 8) {
            codes[k] = kWhole;
            if (k == eo) break;
        }
    }
    if (start_flag && codes[so] == kWhole) codes[so] = kAfterStart;
    if (end_flag) {
        if (eo != so) {
            if (codes[eo] == kWhole) codes[eo] = kBeforeEnd;
        } else {
            codes[so] += 2;
        }
    }
    std::uint32_t mask = 0;
    for (std::int32_t k = 0; k < 8; ++k) mask |= codes[k] << (3 * k);
    return mask;
}

// The octants of direction (vx, vy), y up: one, or two on a boundary, the
// first to try first (in the order 1, 2, ..., 7, 0).
std::int32_t octants_of(float vx, float vy, std::int32_t out[2]) {
    const float ax = std::fabs(vx), ay = std::fabs(vy);
    auto pair = [&](std::int32_t a, std::int32_t b) {
        // b follows a counter-clockwise; 0 is tried last.
        if (a == 0) std::swap(a, b);
        out[0] = a;
        out[1] = b;
        return 2;
    };
    if (vy == 0) return vx >= 0 ? pair(7, 0) : pair(3, 4);
    if (vx == 0) return vy > 0 ? pair(1, 2) : pair(5, 6);
    if (ax == ay) {
        if (vx > 0) return vy > 0 ? pair(0, 1) : pair(6, 7);
        return vy > 0 ? pair(2, 3) : pair(4, 5);
    }
    if (vx > 0 && vy > 0) out[0] = ay < ax ? 0 : 1;
    else if (vx < 0 && vy > 0) out[0] = ay > ax ? 2 : 3;
    else if (vx < 0) out[0] = ax > ay ? 4 : 5;
    else out[0] = ay > ax ? 6 : 7;
    return 1;
}

struct Point {
    float x, y;
};

// The columns of one row worth testing against a ring: [first, last] less
// the hole [hole_first, hole_last] (empty when hole_first > hole_last).
struct RowSpan {
    std::int64_t first, last, hole_first, hole_last;
};

// Cuts row `vy` (distance from the centre m_x's row) of the columns
// [x0, x1] to those whose squared distance can lie in [in, out): the float
// test computes the squared distance within a few parts in 10^7, so a column
// whose distance squared lies beyond out (1 + 10^-6), or within
// in (1 - 10^-6), fails it whatever the rounding (the two pixels more cover
// the rounding of the distance itself). The pixels tested are the same as
// over the whole row.
RowSpan ring_row_span(float m_x, float vy, float in, float out, std::int64_t x0, std::int64_t x1) {
    const double vy2 = static_cast<double>(vy) * vy;
    const double out_limit = static_cast<double>(out) * (1 + 1e-6), in_limit = static_cast<double>(in) * (1 - 1e-6);
    RowSpan span{x0, x1, x1 + 1, x1};
    if (vy2 > out_limit) return RowSpan{x0, x0 - 1, x1 + 1, x1};  // no column
    const double reach = std::sqrt(out_limit - vy2) + 2;
    span.first = static_cast<std::int64_t>(std::max<double>(static_cast<double>(x0), std::floor(m_x - reach)));
    span.last = static_cast<std::int64_t>(std::min<double>(static_cast<double>(x1), std::ceil(m_x + reach)));
    const double hole = std::sqrt(std::max(0.0, in_limit - vy2)) - 2;
    if (hole > 0) {
        span.hole_first = std::max(static_cast<std::int64_t>(std::ceil(m_x - hole)), span.first);
        span.hole_last = std::min(static_cast<std::int64_t>(std::floor(m_x + hole)), span.last);
        if (span.hole_first > span.hole_last) span.hole_first = x1 + 1, span.hole_last = x1;
    }
    return span;
}

void draw_cap(AaPixels& out, std::int32_t cap, bool is_start, Point p, Point m, float theta, float h, float f) {
    if (cap == kCapNone || (cap == kCapPerpendicular && f <= 0)) return;
    const float r = f + h;
    const float c = std::cos(theta), s = std::sin(theta);
    // The cap's box, only where it meets the clip (nothing outside is drawn).
    const std::int64_t x_first = std::max<std::int64_t>(trunc_int(std::floor(p.x - r)), out.clipX1());
    const std::int64_t x_last = std::min<std::int64_t>(trunc_int(std::floor(p.x + r)), out.clipX2());
    const std::int64_t y_first = std::max<std::int64_t>(trunc_int(std::floor(p.y - r)), out.clipY1());
    const std::int64_t y_last = std::min<std::int64_t>(trunc_int(std::floor(p.y + r)), out.clipY2());
    for (std::int64_t x = x_first; x <= x_last; ++x) {
        for (std::int64_t y = y_first; y <= y_last; ++y) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const float side = (p.x - m.x) * (fy - m.y) - (p.y - m.y) * (fx - m.x);
            if (is_start ? !(side > kSideTolerance) : !(side < kSideTolerance)) continue;
            if (cap == kCapRounded) {
                const float d = (p.x - fx) * (p.x - fx) + (p.y - fy) * (p.y - fy);
                if (d <= h * h) {
                    out.solid(x, y);
                } else if (d <= r * r) {
                    const std::int32_t reduction = std::max(0, std::min(254, round_half_away((std::sqrt(d) - h) * 255 / f)));
                    if (reduction == 0) out.solid(x, y);
                    else out.faded(x, y, static_cast<std::uint32_t>(255 - reduction));
                }
                continue;
            }
            const float d = squared_segment_distance(fx, fy, p.x + h * c, p.y - h * s, p.x - h * c, p.y + h * s);
            if (d >= f * f) continue;
            out.faded(x, y, static_cast<std::uint32_t>(255 - std::abs(trunc_int(std::sqrt(d) * 255 / f))));
        }
    }
}

}  // namespace

void AntiAliasingDrawer::drawCircleArc(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade,
                                       std::int32_t end_cap, std::int32_t start_cap, float cx, float cy, float radius,
                                       float end_angle, float start_angle) {
    AaPixels out(gc);
    const Point m{cx - 0.5f, cy - 0.5f};
    const float rr = radius - 0.5f, h = thickness * 0.5f, f = static_cast<float>(fade);
    const float inner = rr - h - f, outer = rr + h + f;
    const float in = inner < 0 ? 0 : inner * inner, i1 = (rr - h) * (rr - h), o1 = (rr + h) * (rr + h);
    const float out_limit = outer < 0 ? 0 : outer * outer;
    const float s_rad = start_angle * kDegreesToRadians, e_rad = end_angle * kDegreesToRadians;
    const Point sp{m.x + rr * std::cos(s_rad), m.y - rr * std::sin(s_rad)};
    const Point ep{m.x + rr * std::cos(e_rad), m.y - rr * std::sin(e_rad)};

    draw_cap(out, start_cap, true, sp, m, s_rad, h, f);
    draw_cap(out, end_cap, false, ep, m, e_rad, h, f);

    const std::uint32_t mask = octant_mask(start_angle, end_angle);
    auto accepts = [&](std::int32_t octant, float qx, float qy) {
        const std::uint32_t code = code_of(mask, octant);
        if (code == kOutside) return false;
        if (code == kWhole) return true;
        const float side_s = (sp.x - m.x) * (qy - m.y) - (qx - m.x) * (sp.y - m.y);
        const float side_e = (ep.x - m.x) * (qy - m.y) - (qx - m.x) * (ep.y - m.y);
        const bool after_start = side_s <= kSideTolerance, before_end = side_e >= kSideTolerance;
        if (code == kAfterStart) return after_start;
        if (code == kBeforeEnd) return before_end;
        return side_s <= side_e ? after_start && before_end : after_start || before_end;
    };
    if (!(outer > 0)) return;
    // The ring's box, only where it meets the clip: rows and columns outside
    // it would draw nothing.
    const std::int64_t x0 = std::max<std::int64_t>(std::int64_t{trunc_int(std::floor(m.x - outer))} - 1, out.clipX1());
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{trunc_int(std::ceil(m.x + outer))} + 1, out.clipX2());
    const std::int64_t y0 = std::max<std::int64_t>(std::int64_t{trunc_int(std::floor(m.y - outer))} - 1, out.clipY1());
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{trunc_int(std::ceil(m.y + outer))} + 1, out.clipY2());
    // Row spans need coordinates that floats hold exactly.
    const bool spans_usable = std::fabs(m.x) < 4194304.0f && std::fabs(m.y) < 4194304.0f && outer < 4194304.0f;
    for (std::int64_t y = y0; y <= y1; ++y) {
        RowSpan span{x0, x1, x1 + 1, x1};
        if (spans_usable) span = ring_row_span(m.x, static_cast<float>(y) - m.y, in, out_limit, x0, x1);
        for (std::int64_t x = span.first; x <= span.last; ++x) {
            if (x == span.hole_first) {
                x = span.hole_last;
                continue;
            }
            const float qx = static_cast<float>(x), qy = static_cast<float>(y);
            const float vx = qx - m.x, vy = qy - m.y;
            const float d = vx * vx + vy * vy;
            if (!(in <= d && d < out_limit)) continue;
            std::int32_t reduction = 0;
            // With no fade every ring pixel is solid: a thickness equal to an
            // odd diameter puts the centre inside the inner edge, where the
            // fade would otherwise divide by zero.
            if ((d < i1 || d > o1) && fade > 0) reduction = round_half_away((std::fabs(std::sqrt(d) - rr) - h) * 255 / f);
            std::int32_t octants[2] = {0, 0};
            const std::int32_t count = octants_of(vx, -vy, octants);
            if (!accepts(octants[0], qx, qy) && !(count == 2 && accepts(octants[1], qx, qy))) continue;
            if (reduction <= 0) out.solid(x, y);
            else out.faded(x, y, static_cast<std::uint32_t>(255 - std::min(255, reduction)));
        }
    }
}

}  // namespace tarvelo::graphics
