// Thick faded circle and ellipse outlines. The circle is a per-pixel ring
// test; the ellipse writes its solid ring as spans and finds the fade of a
// band pixel as the index of the nearest of a family of concentric
// ellipses, measured along the row.
#include <algorithm>
#include <cmath>
#include <utility>

#include "graphics/aa_coverage.h"
#include "graphics/aa_shapes.h"
#include "graphics/soft_drawing.h"

namespace tarvelo::graphics {

namespace {

// x offset from the centre of the ellipse with semi-axes (a, b) at row
// offset dy; NaN where the row misses it.
float ellipse_x(float dy2, float a, float b) { return std::sqrt((1 - dy2 / (b * b)) * (a * a)); }

void vline(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y1, std::int32_t y2) {
    if (y1 > y2) std::swap(y1, y2);
    SoftDrawing::drawVLine(gc, x, y1, y2);
}

void hline(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t x2, std::int32_t y) {
    if (x1 > x2) std::swap(x1, x2);
    SoftDrawing::drawHLine(gc, x1, x2, y);
}

// ceil(c + v) as an integer; false when v is not a number.
bool ceil_at(float c, float v, std::int32_t* out) {
    if (std::isnan(v)) return false;
    *out = trunc_int(std::ceil(c + v));
    return true;
}

// Index of the first of the n ellipses (a0 + sign k s, b0 + sign k s)
// nearest to x along row dy; -1 when none crosses the row.
std::int32_t nearest_ellipse(float x, float cx, float dy2, float a0, float b0, float sign, float s, std::int32_t n) {
    std::int32_t best = -1;
    float best_distance = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        const float step = sign * static_cast<float>(k) * s;
        const float ex = ellipse_x(dy2, a0 + step, b0 + step);
        if (std::isnan(ex)) continue;
        const float distance = std::fabs(x - (cx + ex));
        if (best < 0 || distance < best_distance) {
            best = k;
            best_distance = distance;
        }
    }
    return best;
}

// The largest offset k in 0..limit whose squared distance, as the ring
// test computes it (float(k^2 + dy^2)), is below `bound` (`strict`) or at
// most `bound`; -1 when none. That distance never decreases with k.
std::int64_t largest_offset(std::int64_t dy, float bound, bool strict, std::int64_t limit) {
    auto inside = [&](std::int64_t k) {
        const float d = static_cast<float>(k * k + dy * dy);
        return strict ? d < bound : d <= bound;
    };
    if (!inside(0)) return -1;
    const double room = static_cast<double>(bound) - static_cast<double>(dy) * static_cast<double>(dy);
    std::int64_t k = std::min<std::int64_t>(limit, static_cast<std::int64_t>(std::sqrt(std::max(0.0, room))));
    while (k > 0 && !inside(k)) --k;
    while (k < limit && inside(k + 1)) ++k;
    return k;
}

}  // namespace

void AntiAliasingDrawer::drawCircle(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade,
                                    std::int32_t cx, std::int32_t cy, std::int32_t diameter) {
    AaPixels out(gc);
    const std::int32_t ri = diameter >> 1;
    const float r = static_cast<float>(ri), h = thickness * 0.5f, f = static_cast<float>(fade);
    const float i0 = (r - h - f) * (r - h - f), i1 = (r - h) * (r - h);
    const float o1 = (r + h) * (r + h), o0 = (r + h + f) * (r + h + f);
    const bool even = (diameter & 1) == 0;
    const std::int64_t limit = static_cast<std::int64_t>(ri) + trunc_int(h) + fade;
    // Nothing is drawn below min(i0, i1) nor above max(i1, o1, o0): each row
    // tests only the columns between, the clip's rows and columns only.
    const float hole = std::min(i0, i1), reach = std::max({i1, o1, o0});
    const std::int64_t e = even ? 1 : 0;
    const std::int64_t py_first = std::max<std::int64_t>(cy - limit - 1, out.clipY1());
    const std::int64_t py_last = std::min<std::int64_t>(cy + limit, out.clipY2());
    for (std::int64_t py = py_first; py <= py_last; ++py) {
        const std::int64_t dy = even ? (py >= cy ? py - cy + 1 : cy - py) : std::llabs(py - cy);
        if (dy > limit) continue;
        const std::int64_t outer = largest_offset(dy, reach, false, limit);
        if (outer < 0) continue;
        const std::int64_t inner = largest_offset(dy, hole, true, limit);
        const std::int64_t hole_first = cx - inner, hole_last = cx + inner - e;
        const std::int64_t px_first = std::max<std::int64_t>(cx - outer, out.clipX1());
        const std::int64_t px_last = std::min<std::int64_t>(cx + outer - e, out.clipX2());
        for (std::int64_t px = px_first; px <= px_last; ++px) {
            if (inner >= 0 && px >= hole_first && px <= hole_last) {
                px = hole_last;
                continue;
            }
            const std::int64_t dx = even ? (px >= cx ? px - cx + 1 : cx - px) : std::llabs(px - cx);
            if (dx > limit) continue;
            const float d = static_cast<float>(dx * dx + dy * dy);
            if (i1 <= d && d <= o1) {
                out.solid(px, py);
            } else if ((i0 <= d && d < i1) || (o1 < d && d <= o0)) {
                const std::int32_t reduction = std::abs(trunc_int(255 * (std::fabs(std::sqrt(d) - r) - h) / f));
                out.faded(px, py, static_cast<std::uint32_t>(255 - std::min(254, reduction)));
            }
        }
    }
}

void AntiAliasingDrawer::drawEllipse(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade,
                                     std::int32_t cx, std::int32_t cy, std::int32_t width, std::int32_t height) {
    AaPixels out(gc);
    const std::int32_t a = width >> 1, b = height >> 1, ht = thickness >> 1, f = fade;
    const float ff = static_cast<float>(f);
    const float A = static_cast<float>(a + ht), B = static_cast<float>(b + ht);
    const float ain = A - thickness + 1, bin = B - thickness + 1;
    const std::int32_t w_even = (width & 1) == 0, h_even = (height & 1) == 0;
    auto sq = [](std::int64_t v) { return static_cast<float>(v * v); };

    // Solid ring, by columns then by rows.
    const double diagonal_x = 0.70710678118654757 * (a + f + 1 + ht);
    for (std::int32_t i = 0; i <= diagonal_x && i <= A && A > 0; ++i) {
        std::int32_t oc, ic = cy;
        if (!ceil_at(static_cast<float>(cy), ellipse_x(sq(i), B, A), &oc)) continue;
        if (i < ain && !ceil_at(static_cast<float>(cy), ellipse_x(sq(i), bin, ain), &ic)) ic = cy;
        for (std::int32_t x : {cx + i, cx - w_even - i}) {
            vline(gc, x, ic - h_even, oc - h_even);
            vline(gc, x, 2 * cy - oc, 2 * cy - ic);
        }
    }
    const double diagonal_y = 0.70710678118654757 * (b + f + 1 + ht);
    for (std::int32_t j = 0; j <= diagonal_y && j <= B && B > 0; ++j) {
        std::int32_t oc, ic = cx;
        if (!ceil_at(static_cast<float>(cx), ellipse_x(sq(j), A, B), &oc)) continue;
        if (j < bin && !ceil_at(static_cast<float>(cx), ellipse_x(sq(j), ain, bin), &ic)) ic = cx;
        for (std::int32_t y : {cy + j, cy - h_even - j}) {
            hline(gc, ic - w_even, oc - w_even, y);
            hline(gc, 2 * cx - oc, 2 * cx - ic, y);
        }
    }
    if (f <= 0) return;

    // Fade bands: outer with at most 255 levels, inner with 2f^2.
    const std::int32_t n_outer = std::min(2 * f * f, 255), n_inner = 2 * f * f;
    const float s_outer = ff / static_cast<float>(n_outer), s_inner = ff / static_cast<float>(n_inner);
    auto write = [&](std::int32_t i, std::int32_t y, std::int32_t k, float s) {
        const std::int32_t reduction = std::abs(trunc_int(255 * std::fabs(static_cast<float>(k) * s / ff)));
        const auto opacity = static_cast<std::uint32_t>(255 - std::min(254, reduction));
        const std::int32_t x = cx + i, mx = cx - w_even - i, my = 2 * cy - h_even - y;
        out.faded(x, y, opacity);
        if (my != y) out.faded(x, my, opacity);
        if (mx != x) {
            out.faded(mx, my, opacity);
            if (my != y) out.faded(mx, y, opacity);
        }
    };
    for (std::int32_t i = 0; i <= a + ht + f + 1; ++i) {
        const std::int32_t x = cx + i;
        const float fx = static_cast<float>(x);
        if (i <= A + ff) {
            std::int32_t first = cy;
            const float last_v = ellipse_x(sq(i), B + ff, A + ff);
            if (i < A && !ceil_at(static_cast<float>(cy), ellipse_x(sq(i), B, A), &first)) first = cy;
            if (!std::isnan(last_v)) {
                const std::int32_t last = trunc_int(cy + last_v) - h_even;
                for (std::int32_t y = first; y <= last; ++y)
                    write(i, y, nearest_ellipse(fx, static_cast<float>(cx), sq(y - cy), A, B, 1, s_outer, n_outer), s_outer);
            }
        }
        if (i <= ain) {
            std::int32_t first = cy, last;
            if (i < ain - ff) {
                const float v = ellipse_x(sq(i), bin - ff, ain - ff);
                if (std::isnan(v)) continue;
                first = trunc_int(cy + v);
            }
            if (!ceil_at(static_cast<float>(cy), ellipse_x(sq(i), bin, ain), &last)) continue;
            last -= h_even;
            for (std::int32_t y = first; y <= last; ++y)
                write(i, y, nearest_ellipse(fx, static_cast<float>(cx), sq(y - cy), ain, bin, -1, s_inner, n_inner), s_inner);
        }
    }
}

}  // namespace tarvelo::graphics
