// The scan-line polygon filler: sides walked by Bresenham from their lower
// ends, active sides sorted by the centre of their run on the row, spans
// drawn between pairs. Everything lives in the caller's work buffer.
//
// A side's run on a row is computed from the row itself (the state its walk
// reaches there), not carried from row to row, and sides of equal centre are
// ordered by their runs and then by their place in the polygon rather than
// by the rows before. So every row is drawn as the whole walk would draw it,
// and only the rows inside the clip are walked: a polygon with vertices far
// outside the clip costs no more than the clip's rows. The arithmetic is
// 64-bit: sides span up to 2^32 pixels.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "graphics/drawing/soft_drawing.h"
#include "graphics/shapes/aliased_shapes.h"

namespace tarvelo::graphics {

namespace {

// One side of the polygon, from its lower end (xa, ya) to its upper end
// (xb, yb), ya > yb. Its pixels: one run per row, |dx| + 1 pixels in all.
//
// Steep side (|dx| <= dy): one pixel per row; the error starts at dy / 2 and
// grows by |dx| per row, stepping x once per dy, so after j rows x has moved
// floor((dy / 2 + j |dx|) / dy) pixels and the error is the remainder.
//
// Shallow side: the error starts at |dx| / 2 and grows by dy per pixel; a
// row ends with the pixel after which it passes the next multiple of |dx|.
// Row r (1 at the lower end) thus ends with pixel P(r) =
// ceil((r |dx| - |dx| / 2) / dy) (1 the first pixel), and the last row with
// the side's last pixel. The remainder P(r) dy - (r |dx| - |dx| / 2), in
// [0, dy), carries P from row to row without a division.
//
// `start` puts a side on any row at once (the rows before need not be
// walked); `step` moves it one row up.
struct Edge {
    std::int32_t xa, ya, yb, x_step;
    std::uint32_t adx, dy;
    std::int32_t run_start, run_end;
    std::uint32_t remainder;  // the steep side's error, the shallow side's carry
    std::uint32_t spare;

    void init(std::int32_t x_low, std::int32_t y_low, std::int32_t x_high, std::int32_t y_high) {
        xa = x_low;
        ya = y_low;
        yb = y_high;
        const std::int64_t dx = static_cast<std::int64_t>(x_high) - x_low;
        x_step = dx < 0 ? -1 : 1;
        adx = static_cast<std::uint32_t>(dx < 0 ? -dx : dx);
        dy = static_cast<std::uint32_t>(static_cast<std::int64_t>(y_low) - y_high);
    }

    bool steep() const { return adx <= dy; }

    // x of the pixel `n` steps from the lower end along the side.
    std::int32_t x_at(std::uint64_t n) const {
        return static_cast<std::int32_t>(xa + static_cast<std::int64_t>(x_step) * static_cast<std::int64_t>(n));
    }

    // Row r (1-based) of a shallow side for r <= dy: P(r) and its remainder.
    // r |dx| is split into r q dy + r rem so that every product stays below
    // 2^64.
    void shallow_row(std::uint64_t r, std::uint64_t* last, std::uint64_t* carry) const {
        const std::uint64_t q = adx / dy, rem = adx % dy, e0 = adx / 2, n = r * rem;
        if (n >= e0) {
            const std::uint64_t t = n - e0, c = (t + dy - 1) / dy;
            *last = r * q + c;
            *carry = c * dy - t;
        } else {
            const std::uint64_t t = e0 - n;  // below 2^31
            *last = r * q - t / dy;
            *carry = t % dy;
        }
    }

    // The run of row y (yb <= y <= ya), computed from the row.
    void start(std::int32_t y) {
        const auto j = static_cast<std::uint64_t>(static_cast<std::int64_t>(ya) - y);
        if (steep() && j == 0) {
            remainder = dy / 2;
            set_run(xa, xa);
            return;
        }
        if (steep()) {
            const std::uint64_t total = dy / 2 + j * adx;  // j <= dy < 2^32: no overflow
            const std::int32_t x = x_at(total / dy);
            remainder = static_cast<std::uint32_t>(total % dy);
            set_run(x, x);
            return;
        }
        std::uint64_t before = 0, last, carry = 0;
        if (j == 0) {
            // The lower end's row, where most sides start: 32-bit arithmetic.
            const std::uint32_t t = adx - adx / 2, c = (t + dy - 1) / dy;
            remainder = static_cast<std::uint32_t>(std::uint64_t{c} * dy - t);
            set_run(x_at(0), x_at(c - 1));
            return;
        }
        shallow_row(j, &before, &carry);
        if (j + 1 > dy) {
            last = std::uint64_t{adx} + 1;
        } else {
            shallow_row(j + 1, &last, &carry);
        }
        remainder = static_cast<std::uint32_t>(carry);
        set_run(x_at(before), x_at(last - 1));
    }

    // From row y + 1 to row y.
    void step(std::int32_t y) {
        if (steep()) {
            std::uint64_t error = std::uint64_t{remainder} + adx;
            std::int32_t x = run_start;
            if (error >= dy) {
                error -= dy;
                x += x_step;
            }
            remainder = static_cast<std::uint32_t>(error);
            set_run(x, x);
            return;
        }
        // The run so far ends with pixel P = |x - xa| + 1.
        const std::int32_t far = x_step > 0 ? run_end : run_start;
        const std::uint64_t last = static_cast<std::uint64_t>(std::llabs(static_cast<std::int64_t>(far) - xa)) + 1;
        std::uint64_t next;
        if (static_cast<std::uint64_t>(static_cast<std::int64_t>(ya) - y) + 1 > dy) {
            next = std::uint64_t{adx} + 1;  // the last row ends with the last pixel
        } else {
            const std::uint64_t q = adx / dy, rem = adx % dy;
            if (rem <= remainder) {
                next = last + q;
                remainder -= static_cast<std::uint32_t>(rem);
            } else {
                next = last + q + 1;
                remainder = static_cast<std::uint32_t>(std::uint64_t{remainder} + dy - rem);
            }
        }
        set_run(x_at(last), x_at(next - 1));
    }

    void set_run(std::int32_t a, std::int32_t b) {
        run_start = std::min(a, b);
        run_end = std::max(a, b);
    }

    std::int32_t centre() const {
        return static_cast<std::int32_t>(run_start + ((static_cast<std::int64_t>(run_end) - run_start) >> 1));
    }
};
static_assert(sizeof(Edge) == 40);

// The order on a row: centre, then run start and end, then the side's place
// in the polygon (its index). (Sides of equal centre pair up to the same
// pixels in any order but the leftmost unpaired one; this keeps that one
// defined.)
bool after(const Edge* edges, std::int32_t a, std::int32_t b) {
    const Edge& e = edges[a];
    const Edge& o = edges[b];
    const std::int32_t ce = e.centre(), co = o.centre();
    if (ce != co) return ce > co;
    if (e.run_start != o.run_start) return e.run_start > o.run_start;
    if (e.run_end != o.run_end) return e.run_end > o.run_end;
    return a > b;
}

// The work structure: n edge records, n more records' worth of room, the
// edge table (sorted by start row), the active list and the start rows.
struct Work {
    Edge* edges;
    std::int32_t* table;
    std::int32_t* active;
    std::int32_t* start_rows;
};

// Ascending keys, every move applied to `values` too (an insertion sort:
// stable, and few polygons have many sides).
void sort_by_key(std::int32_t* keys, std::int32_t count, std::int32_t* values) {
    for (std::int32_t i = 1; i < count; ++i) {
        const std::int32_t key = keys[i], value = values[i];
        std::int32_t j = i;
        while (j > 0 && keys[j - 1] > key) {
            keys[j] = keys[j - 1];
            values[j] = values[j - 1];
            --j;
        }
        keys[j] = key;
        values[j] = value;
    }
}

// The active list in the row order (a total order: any sort gives the same
// list); nearly sorted from the row before, so an insertion sort.
void sort_active(const Edge* edges, std::int32_t* active, std::int32_t count) {
    for (std::int32_t i = 1; i < count; ++i) {
        const std::int32_t e = active[i];
        std::int32_t j = i;
        while (j > 0 && after(edges, active[j - 1], e)) {
            active[j] = active[j - 1];
            --j;
        }
        active[j] = e;
    }
}

}  // namespace

void* Polygon::initialize(std::int32_t n, void* buffer) {
    // Edge records, a second block of n records (room the layout keeps),
    // then the edge table, the active list, the start rows and a spare word
    // per point, and the 20 bytes the structure once took. Edges are named
    // by their index in the records, which keeps the layout the same on 32-
    // and 64-bit hosts. The filler writes every word before it reads it, so
    // nothing is cleared here (a deformed image fills a polygon per pixel).
    (void)n;
    return buffer;
}

void Polygon::fillPolygonAlgorithm(SPictavoGraphicsContext* gc, const std::int32_t* points, std::int32_t count,
                                   void* buffer) {
    const std::int32_t n = count / 2;
    if (n <= 0) return;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    Work w{};
    w.edges = reinterpret_cast<Edge*>(bytes);
    w.table = reinterpret_cast<std::int32_t*>(bytes + 80 * static_cast<std::size_t>(n));
    w.active = w.table + n;
    w.start_rows = w.active + n;

    std::int32_t ymin = points[1], ymax = points[1];
    for (std::int32_t i = 1; i < n; ++i) {
        ymin = std::min(ymin, points[2 * i + 1]);
        ymax = std::max(ymax, points[2 * i + 1]);
    }
    // Only the rows inside the clip can be drawn.
    const std::int32_t top = std::max<std::int32_t>(ymin, gc->clip_y1);
    const std::int32_t bottom = std::min<std::int32_t>(ymax, gc->clip_y2);
    if (top > bottom || gc->clip_x1 > gc->clip_x2) return;

    std::int32_t edges = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        const std::int32_t i = n - 1 - k, j = (n - k) % n;
        const std::int32_t xi = points[2 * i], yi = points[2 * i + 1];
        const std::int32_t xj = points[2 * j], yj = points[2 * j + 1];
        if (yi == yj) continue;
        if (yi > yj)
            w.edges[edges].init(xi, yi, xj, yj);
        else
            w.edges[edges].init(xj, yj, xi, yi);
        w.table[edges] = edges;
        w.start_rows[edges] = std::max(yi, yj);
        ++edges;
    }
    sort_by_key(w.start_rows, edges, w.table);
    std::int32_t next = edges - 1;
    std::int32_t active = 0;
    for (std::int32_t y = bottom;; --y) {
        // Sides that start on this row or below it (the rows below the clip
        // were not walked) join the list; a side that ends on this row
        // leaves it when another side starts here (a shared vertex counts
        // once), and every side leaves once past its upper end.
        bool starts_here = false;
        const std::int32_t walked = active;  // the sides already on the row below
        while (next >= 0 && w.start_rows[next] >= y) {
            starts_here = starts_here || w.start_rows[next] == y;
            w.active[active++] = w.table[next--];
        }
        std::int32_t kept = 0;
        for (std::int32_t i = 0; i < active; ++i) {
            Edge& e = w.edges[w.active[i]];
            if (y < e.yb || (y == e.yb && starts_here)) continue;
            if (i < walked) e.step(y);
            else e.start(y);
            w.active[kept++] = w.active[i];
        }
        active = kept;
        sort_active(w.edges, w.active, active);
        for (std::int32_t i = active - 1; i >= 1; i -= 2) {
            const Edge& a = w.edges[w.active[i]];
            const Edge& b = w.edges[w.active[i - 1]];
            SoftDrawing::drawHLine(gc, std::min(a.run_start, b.run_start), std::max(a.run_end, b.run_end), y);
        }
        if (y == top) break;
    }
}

}  // namespace tarvelo::graphics
