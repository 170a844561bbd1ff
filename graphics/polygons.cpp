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
#include <cstring>
#include <utility>

#include "graphics/aliased_shapes.h"
#include "graphics/soft_drawing.h"

namespace tarvelo::graphics {

namespace {

// One side of the polygon, from its lower end (xa, ya) to its upper end
// (xb, yb), ya > yb. Its pixels: one run per row, |dx| + 1 pixels in all.
struct Edge {
    std::int32_t xa, ya, yb, x_step;
    std::uint32_t adx, dy;
    std::int32_t run_start, run_end, centre;
    std::int32_t index;  // the side's place in the polygon: the last tie-break

    void init(std::int32_t x_low, std::int32_t y_low, std::int32_t x_high, std::int32_t y_high, std::int32_t i) {
        xa = x_low;
        ya = y_low;
        yb = y_high;
        const std::int64_t dx = static_cast<std::int64_t>(x_high) - x_low;
        x_step = dx < 0 ? -1 : 1;
        adx = static_cast<std::uint32_t>(dx < 0 ? -dx : dx);
        dy = static_cast<std::uint32_t>(static_cast<std::int64_t>(y_low) - y_high);
        index = i;
    }

    // x of the pixel `n` steps from the lower end along the side.
    std::int32_t x_at(std::uint64_t n) const {
        return static_cast<std::int32_t>(xa + static_cast<std::int64_t>(x_step) * static_cast<std::int64_t>(n));
    }

    // The run of row y (yb <= y <= ya).
    //
    // Steep side (|dx| <= dy): one pixel per row; the error starts at dy / 2
    // and grows by |dx| per row, stepping x once per dy, so after j rows x
    // has moved floor((dy / 2 + j |dx|) / dy) pixels.
    //
    // Shallow side: the error starts at |dx| / 2 and grows by dy per pixel;
    // a row ends with the pixel after which it passes the next multiple of
    // |dx|. Row r (1 at the lower end) thus ends with pixel
    // P(r) = ceil((r |dx| - |dx| / 2) / dy) (1 the first pixel), and the last
    // row with the side's last pixel.
    void at_row(std::int32_t y) {
        const auto j = static_cast<std::uint64_t>(static_cast<std::int64_t>(ya) - y);
        if (adx <= dy) {
            const std::uint64_t moved = (dy / 2 + j * adx) / dy;  // j <= dy < 2^32: no overflow
            set_run(x_at(moved), x_at(moved));
            return;
        }
        const std::uint64_t first = last_pixel(j) + 1;  // pixels are numbered from 1
        const std::uint64_t last = last_pixel(j + 1);
        set_run(x_at(first - 1), x_at(last - 1));
    }

    // P(r) above; P(0) = 0. r |dx| is split into r q dy + r rem so that every
    // product stays below 2^64.
    std::uint64_t last_pixel(std::uint64_t r) const {
        if (r == 0) return 0;
        if (r > dy) return std::uint64_t{adx} + 1;
        const std::uint64_t q = adx / dy, rem = adx % dy, e0 = adx / 2;
        const std::uint64_t n = r * rem;
        const std::int64_t part = n >= e0 ? static_cast<std::int64_t>((n - e0 + dy - 1) / dy)
                                          : -static_cast<std::int64_t>((e0 - n) / dy);
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(r * q) + part);
    }

    void set_run(std::int32_t a, std::int32_t b) {
        run_start = std::min(a, b);
        run_end = std::max(a, b);
        centre = static_cast<std::int32_t>(run_start + ((static_cast<std::int64_t>(run_end) - run_start) >> 1));
    }

    // The order on a row: centre, then run start and end, then the place in
    // the polygon. (Sides of equal centre pair up to the same pixels in any
    // order but the leftmost unpaired one; this keeps that one defined.)
    bool after(const Edge& o) const {
        if (centre != o.centre) return centre > o.centre;
        if (run_start != o.run_start) return run_start > o.run_start;
        if (run_end != o.run_end) return run_end > o.run_end;
        return index > o.index;
    }
};
static_assert(sizeof(Edge) == 40);

// The work structure: n edge records, n more records' worth of room, the
// edge table (sorted by start row), the active list and the start rows.
struct Work {
    Edge* edges;
    std::int32_t* table;
    std::int32_t* active;
    std::int32_t* start_rows;
};

// Ascending, swapping adjacent pairs only when strictly greater (stable),
// every swap applied to `values` too.
void bubble_sort(std::int32_t* keys, std::int32_t last, std::int32_t* values) {
    for (std::int32_t end = last; end > 0; --end) {
        bool swapped = false;
        for (std::int32_t i = 0; i < end; ++i) {
            if (keys[i] > keys[i + 1]) {
                std::swap(keys[i], keys[i + 1]);
                std::swap(values[i], values[i + 1]);
                swapped = true;
            }
        }
        if (!swapped) return;
    }
}

// The active list in the row order; nearly sorted from the row before.
void sort_active(const Edge* edges, std::int32_t* active, std::int32_t count) {
    for (std::int32_t end = count - 1; end > 0; --end) {
        bool swapped = false;
        for (std::int32_t i = 0; i < end; ++i) {
            if (edges[active[i]].after(edges[active[i + 1]])) {
                std::swap(active[i], active[i + 1]);
                swapped = true;
            }
        }
        if (!swapped) return;
    }
}

}  // namespace

void* Polygon::initialize(std::int32_t n, void* buffer) {
    // Edge records, a second block of n records (room the layout keeps),
    // then the edge table, the active list, the start rows and a spare word
    // per point, and the 20 bytes the structure once took. Edges are named
    // by their index in the records, which keeps the layout the same on 32-
    // and 64-bit hosts.
    std::memset(buffer, 0, static_cast<std::size_t>(workSize(n)));
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
            w.edges[edges].init(xi, yi, xj, yj, edges);
        else
            w.edges[edges].init(xj, yj, xi, yi, edges);
        w.table[edges] = edges;
        w.start_rows[edges] = std::max(yi, yj);
        ++edges;
    }
    bubble_sort(w.start_rows, edges - 1, w.table);
    std::int32_t next = edges - 1;
    std::int32_t active = 0;
    for (std::int32_t y = bottom;; --y) {
        // Sides that start on this row or below it (the rows below the clip
        // were not walked) join the list; a side that ends on this row
        // leaves it when another side starts here (a shared vertex counts
        // once), and every side leaves once past its upper end.
        bool starts_here = false;
        while (next >= 0 && w.start_rows[next] >= y) {
            starts_here = starts_here || w.start_rows[next] == y;
            w.active[active++] = w.table[next--];
        }
        std::int32_t kept = 0;
        for (std::int32_t i = 0; i < active; ++i) {
            Edge& e = w.edges[w.active[i]];
            if (y < e.yb || (y == e.yb && starts_here)) continue;
            e.at_row(y);
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
