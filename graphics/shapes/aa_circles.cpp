// Thick faded circle and ellipse outlines. The circle is a per-pixel ring
// test; the ellipse writes its solid ring as spans and finds the fade of a
// band pixel as the index of the nearest of a family of concentric
// ellipses, measured along the row.
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "graphics/drawing/soft_drawing.h"
#include "graphics/shapes/aa_coverage.h"
#include "graphics/shapes/aa_shapes.h"

namespace tarvelo::graphics {

namespace {

// x offset from the centre of the ellipse with semi-axes (a, b) at row
// offset dy; NaN where the row misses it. (The square root of a negative
// number would give NaN too, through the C library's error reporting, which
// costs more than the rest of the drawing.)
float ellipse_x(float dy2, float a, float b) {
    const float q = (1 - dy2 / (b * b)) * (a * a);
    return q >= 0 ? std::sqrt(q) : std::numeric_limits<float>::quiet_NaN();
}

void vline(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y1, std::int32_t y2) {
    if (y1 > y2) std::swap(y1, y2);
    SoftDrawing::drawVLine(gc, x, y1, y2);
}

void hline(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t x2, std::int32_t y) {
    if (x1 > x2) std::swap(x1, x2);
    SoftDrawing::drawHLine(gc, x1, x2, y);
}

// trunc of a float as a 64-bit integer (NaN gives 0): the ellipse's rows
// reach beyond the 32-bit range when its centre lies near an end of it.
std::int64_t trunc64(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<std::int64_t>(std::clamp(v, -9.2e18f, 9.2e18f));
}

// ceil(c + v) as an integer; false when v is not a number.
bool ceil_at(float c, float v, std::int64_t* out) {
    if (std::isnan(v)) return false;
    *out = trunc64(std::ceil(c + v));
    return true;
}

// The family of n concentric ellipses (a0 + sign k s, b0 + sign k s) of
// the fade bands, as seen along one row: position k of its crossing with
// the row (NaN where the ellipse misses the row).
struct EllipseFamily {
    float cx, dy2, a0, b0, sign, s;
    std::int64_t n;

    float at(std::int64_t k) const {
        const float step = sign * static_cast<float>(k) * s;
        const float ex = ellipse_x(dy2, a0 + step, b0 + step);
        return std::isnan(ex) ? ex : cx + ex;
    }

    // Both axes stay non-negative over the family: then the crossings are
    // monotone in k as the floats compute them (every operation rounds
    // monotonically), growing with k for the outer band and shrinking for
    // the inner one, and the ellipses that miss the row form a prefix
    // (outer) or a suffix (inner).
    bool monotone() const {
        const float last = sign * static_cast<float>(n - 1) * s;
        return a0 >= 0 && b0 >= 0 && a0 + last >= 0 && b0 + last >= 0;
    }
};

// First k in [lo, hi] for which `holds` is true (false below it, true from
// it on); hi + 1 when none. `guess` is where to start looking: the search
// gallops from it to a bracket, then bisects.
template <typename Holds>
std::int64_t first_true(std::int64_t lo, std::int64_t hi, std::int64_t guess, Holds holds) {
    if (lo > hi) return hi + 1;
    guess = std::clamp(guess, lo, hi);
    std::int64_t below = lo - 1, above = hi + 1;
    if (holds(guess)) {
        above = guess;
        for (std::int64_t step = 1; above - step >= lo; step *= 2) {
            if (!holds(above - step)) {
                below = above - step;
                break;
            }
            above -= step;
        }
    } else {
        below = guess;
        for (std::int64_t step = 1; below + step <= hi; step *= 2) {
            if (holds(below + step)) {
                above = below + step;
                break;
            }
            below += step;
        }
    }
    while (above - below > 1) {
        const std::int64_t mid = below + (above - below) / 2;
        if (holds(mid)) above = mid;
        else below = mid;
    }
    return above;
}

// Index of the first of the family's ellipses nearest to x along the row
// (|x - crossing| smallest, the lowest index on a tie); -1 when none crosses
// the row. `crossing` holds a guess of where the crossings pass x, to start
// from, and is given back exact.
//
// The crossings, read from the smallest ellipse to the largest, form a
// non-decreasing sequence u(j) (EllipseFamily::monotone) whose misses (NaN)
// come first. The nearest crossing is then the last one below x or the
// first one at or past it; among equal crossings the lowest index is the
// first of them for the outer band and the last for the inner one (whose
// indices run from the largest ellipse); and where rounding makes two
// distances equal the walk over equal distances finds the lowest index. The
// result is the index a scan of every ellipse finds.
std::int64_t nearest_ellipse(float x, const EllipseFamily& e, std::int64_t* crossing) {
    if (!e.monotone()) {
        std::int64_t best = -1;
        float best_distance = 0;
        for (std::int64_t k = 0; k < e.n; ++k) {
            const float v = e.at(k);
            if (std::isnan(v)) continue;
            const float distance = std::fabs(x - v);
            if (best < 0 || distance < best_distance) {
                best = k;
                best_distance = distance;
            }
        }
        return best;
    }
    const bool outer = e.sign > 0;
    const std::int64_t last = e.n - 1;
    auto index = [&](std::int64_t j) { return outer ? j : last - j; };
    // The last few crossings read are kept: the steps below revisit them.
    struct Seen {
        std::int64_t j = -1;
        float v = 0;
    } seen[4];
    int next = 0;
    auto u = [&](std::int64_t j) {
        for (const Seen& s : seen)
            if (s.j == j) return s.v;
        const float v = e.at(index(j));
        seen[next] = {j, v};
        next = (next + 1) & 3;
        return v;
    };
    auto distance = [&](std::int64_t j) { return std::fabs(x - u(j)); };
    // The first crossing at or past x (a miss is below every x).
    const std::int64_t p = first_true(0, last, *crossing, [&](std::int64_t j) { return u(j) >= x; });
    *crossing = p;
    const bool has_below = p > 0 && !std::isnan(u(p - 1)), has_above = p <= last;
    if (!has_below && !has_above) return -1;
    // The candidate of each side: the lowest index among its equal crossings.
    std::int64_t below = p - 1, above = p;
    if (has_below && outer && below > 0 && u(below - 1) == u(p - 1)) {
        const float v = u(p - 1);
        below = first_true(0, p - 1, p - 1, [&](std::int64_t j) { return u(j) >= v; });
    }
    if (has_above && !outer && above < last && u(above + 1) == u(p)) {
        const float v = u(p);
        above = first_true(p, last, p, [&](std::int64_t j) { return u(j) > v; }) - 1;
    }
    std::int64_t best;
    if (!has_below) best = above;
    else if (!has_above) best = below;
    else if (distance(below) != distance(above)) best = distance(below) < distance(above) ? below : above;
    else best = outer ? below : above;  // the lower index
    // Distances merged by rounding, towards lower indices.
    const float best_distance = distance(best);
    if (outer) {
        while (best > 0 && !std::isnan(u(best - 1)) && distance(best - 1) == best_distance) --best;
    } else {
        while (best < last && distance(best + 1) == best_distance) ++best;
    }
    return index(best);
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
                                    std::int64_t cx, std::int64_t cy, std::int32_t diameter) {
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

namespace {

// A coordinate for the span drawers, which clip: beyond the 32-bit range
// lies outside any clip too.
std::int32_t saturated(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

// At most two ascending ranges of integers: the union of [lo1, hi1] and
// [lo2, hi2] within [first, last].
struct Ranges {
    std::int64_t first[2], last[2];
    int count = 0;
};

Ranges union_within(std::int64_t lo1, std::int64_t hi1, std::int64_t lo2, std::int64_t hi2, std::int64_t first,
                    std::int64_t last) {
    lo1 = std::max(lo1, first), hi1 = std::min(hi1, last);
    lo2 = std::max(lo2, first), hi2 = std::min(hi2, last);
    Ranges r;
    if (lo1 > hi1) lo1 = lo2, hi1 = hi2, lo2 = 1, hi2 = 0;
    if (lo1 > hi1) return r;
    if (lo2 > hi2) {
        r.first[0] = lo1, r.last[0] = hi1, r.count = 1;
        return r;
    }
    if (lo2 < lo1) std::swap(lo1, lo2), std::swap(hi1, hi2);
    if (lo2 <= hi1 + 1) {
        r.first[0] = lo1, r.last[0] = std::max(hi1, hi2), r.count = 1;
        return r;
    }
    r.first[0] = lo1, r.last[0] = hi1, r.first[1] = lo2, r.last[1] = hi2, r.count = 2;
    return r;
}

// The offsets i in [0, last] whose column c + i or mirrored column
// c - even - i lies in [lo, hi] (the ellipse's drawers walk i upwards and
// write both).
Ranges mirrored_offsets(std::int64_t c, std::int64_t even, std::int64_t lo, std::int64_t hi, std::int64_t last) {
    return union_within(lo - c, hi - c, c - even - hi, c - even - lo, 0, last);
}

// The last i of a walk from 0 that goes on while i <= limit (compared as a
// double) and i <= axis (compared as a float, as the walk compares it).
std::int64_t last_offset(double limit, float axis) {
    auto goes_on = [&](std::int64_t i) {
        return static_cast<double>(i) <= limit && static_cast<float>(i) <= axis;
    };
    std::int64_t i = static_cast<std::int64_t>(std::floor(std::min(limit, static_cast<double>(axis))));
    while (goes_on(i + 1)) ++i;
    while (i >= 0 && !goes_on(i)) --i;
    return i;
}

template <typename Visit>
void for_each_offset(const Ranges& o, Visit visit) {
    for (int r = 0; r < o.count; ++r)
        for (std::int64_t i = o.first[r]; i <= o.last[r]; ++i) visit(i);
}

}  // namespace

// Only the columns and rows whose pixels, or their mirror images, lie in
// the clip are walked (the same writes in the same order inside it), and a
// band pixel's nearest ellipse is found by a search instead of a scan of
// the family: full-screen ellipses with wide fades cost what their pixels
// on the screen cost. Coordinates are 64-bit.
void AntiAliasingDrawer::drawEllipse(SPictavoGraphicsContext* gc, std::int32_t thickness, std::int32_t fade,
                                     std::int64_t cx, std::int64_t cy, std::int32_t width, std::int32_t height) {
    AaPixels out(gc);
    const std::int64_t a = width >> 1, b = height >> 1, ht = thickness >> 1, f = fade;
    const float ff = static_cast<float>(f);
    const float A = static_cast<float>(a + ht), B = static_cast<float>(b + ht);
    const float ain = A - static_cast<float>(thickness) + 1, bin = B - static_cast<float>(thickness) + 1;
    const std::int64_t w_even = (width & 1) == 0, h_even = (height & 1) == 0;
    auto sq = [](std::int64_t v) { return static_cast<float>(v * v); };
    const std::int64_t x_lo = out.clipX1(), x_hi = out.clipX2(), y_lo = out.clipY1(), y_hi = out.clipY2();
    if (x_lo > x_hi || y_lo > y_hi) return;

    // Solid ring, by columns then by rows.
    const double diagonal_x = 0.70710678118654757 * static_cast<double>(a + f + 1 + ht);
    if (A > 0) {
        const std::int64_t last = last_offset(diagonal_x, A);
        for_each_offset(mirrored_offsets(cx, w_even, x_lo, x_hi, last), [&](std::int64_t i) {
            std::int64_t oc, ic = cy;
            if (!ceil_at(static_cast<float>(cy), ellipse_x(sq(i), B, A), &oc)) return;
            if (static_cast<float>(i) < ain && !ceil_at(static_cast<float>(cy), ellipse_x(sq(i), bin, ain), &ic))
                ic = cy;
            for (std::int64_t x : {cx + i, cx - w_even - i}) {
                const std::int32_t column = saturated(x);
                vline(gc, column, saturated(ic - h_even), saturated(oc - h_even));
                vline(gc, column, saturated(2 * cy - oc), saturated(2 * cy - ic));
            }
        });
    }
    const double diagonal_y = 0.70710678118654757 * static_cast<double>(b + f + 1 + ht);
    if (B > 0) {
        const std::int64_t last = last_offset(diagonal_y, B);
        for_each_offset(mirrored_offsets(cy, h_even, y_lo, y_hi, last), [&](std::int64_t j) {
            std::int64_t oc, ic = cx;
            if (!ceil_at(static_cast<float>(cx), ellipse_x(sq(j), A, B), &oc)) return;
            if (static_cast<float>(j) < bin && !ceil_at(static_cast<float>(cx), ellipse_x(sq(j), ain, bin), &ic))
                ic = cx;
            for (std::int64_t y : {cy + j, cy - h_even - j}) {
                const std::int32_t row = saturated(y);
                hline(gc, saturated(ic - w_even), saturated(oc - w_even), row);
                hline(gc, saturated(2 * cx - oc), saturated(2 * cx - ic), row);
            }
        });
    }
    if (f <= 0) return;

    // Fade bands: outer with at most 255 levels, inner with 2f^2.
    const std::int64_t n_inner = 2 * f * f, n_outer = std::min<std::int64_t>(n_inner, 255);
    const float s_outer = ff / static_cast<float>(n_outer), s_inner = ff / static_cast<float>(n_inner);
    auto write = [&](std::int64_t i, std::int64_t y, std::int64_t k, float s) {
        const std::int32_t reduction = std::abs(trunc_int(255 * std::fabs(static_cast<float>(k) * s / ff)));
        const auto opacity = static_cast<std::uint32_t>(255 - std::min(254, reduction));
        const std::int64_t x = cx + i, mx = cx - w_even - i, my = 2 * cy - h_even - y;
        out.faded(x, y, opacity);
        if (my != y) out.faded(x, my, opacity);
        if (mx != x) {
            out.faded(mx, my, opacity);
            if (my != y) out.faded(mx, y, opacity);
        }
    };
    // Rows first..last of a column's band, only those whose row or mirrored
    // row lies in the clip; the nearest ellipse moves little from one row to
    // the next, so each search starts at the row before's answer.
    const float fcx = static_cast<float>(cx);
    auto band = [&](std::int64_t i, std::int64_t first, std::int64_t last, float a0, float b0, float sign, float s,
                    std::int64_t n) {
        const std::int64_t mirror = 2 * cy - h_even;
        const float fx = static_cast<float>(cx + i);
        // The crossing moves smoothly from row to row: each search starts
        // where the last two rows' crossings point.
        std::int64_t previous = 0, before = 0;
        for_each_offset(union_within(y_lo, y_hi, mirror - y_hi, mirror - y_lo, first, last), [&](std::int64_t y) {
            const EllipseFamily family{fcx, sq(y - cy), a0, b0, sign, s, n};
            std::int64_t crossing = 2 * previous - before;
            const std::int64_t k = nearest_ellipse(fx, family, &crossing);
            if (k >= 0) before = previous, previous = crossing;
            write(i, y, k, s);
        });
    };
    const std::int64_t last_column = a + ht + f + 1;
    for_each_offset(mirrored_offsets(cx, w_even, x_lo, x_hi, last_column), [&](std::int64_t i) {
        const float fi = static_cast<float>(i);
        if (fi <= A + ff) {
            std::int64_t first = cy;
            const float last_v = ellipse_x(sq(i), B + ff, A + ff);
            if (fi < A && !ceil_at(static_cast<float>(cy), ellipse_x(sq(i), B, A), &first)) first = cy;
            if (!std::isnan(last_v)) {
                const std::int64_t last = trunc64(static_cast<float>(cy) + last_v) - h_even;
                band(i, first, last, A, B, 1, s_outer, n_outer);
            }
        }
        if (fi <= ain) {
            std::int64_t first = cy;
            std::int64_t last;
            if (fi < ain - ff) {
                const float v = ellipse_x(sq(i), bin - ff, ain - ff);
                if (std::isnan(v)) return;
                first = trunc64(static_cast<float>(cy) + v);
            }
            if (!ceil_at(static_cast<float>(cy), ellipse_x(sq(i), bin, ain), &last)) return;
            band(i, first, last - h_even, ain, bin, -1, s_inner, n_inner);
        }
    });
}

}  // namespace tarvelo::graphics
