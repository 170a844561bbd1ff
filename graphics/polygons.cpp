// The scan-line polygon filler: sides walked one row at a time by
// Bresenham from their lower ends, active sides sorted by the centre of
// their run on the row, spans drawn between pairs. Everything lives in the
// caller's work buffer.
//
// Sort keys are the run centres times 100000 in 64 bits: 32-bit keys
// overflow from x = +-21,475, well inside what applications pass.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "graphics/aliased_shapes.h"
#include "graphics/soft_drawing.h"

namespace tarvelo::graphics {

namespace {

// One side of the polygon.
struct Edge {
    std::int32_t rows_left;
    std::int32_t error;
    std::int32_t adx;
    std::int32_t dy;
    std::int32_t x_step;
    std::int32_t run_start;
    std::int32_t centre;  // run start + (run end - run start) / 2
    std::int32_t run_end;
    std::int32_t walked;
    std::uint8_t leftward;

    std::int64_t key() const { return static_cast<std::int64_t>(centre) * 100000; }

    void set_run(std::int32_t a, std::int32_t b) {
        run_start = std::min(a, b);
        run_end = std::max(a, b);
        centre = run_start + ((run_end - run_start) >> 1);
    }

    // From the lower end (xa, ya) to the upper end (xb, yb), ya > yb.
    void init(std::int32_t xa, std::int32_t ya, std::int32_t xb, std::int32_t yb) {
        rows_left = dy = ya - yb;
        adx = std::abs(xb - xa);
        x_step = xb - xa < 0 ? -1 : 1;
        leftward = x_step == -1;
        walked = 0;
        if (adx <= dy) {
            error = dy >> 1;
            set_run(xa, xa);
            return;
        }
        error = adx >> 1;
        std::int32_t x = xa;
        for (;;) {
            ++walked;
            error += dy;
            if (error >= adx) {
                error -= adx;
                break;
            }
            x += x_step;
        }
        set_run(xa, x);
    }

    void step() {
        if (adx <= dy) {
            error += adx;
            if (error >= dy) {
                const std::int32_t x = run_start + x_step;
                error -= dy;
                set_run(x, x);
            }
            return;
        }
        if (walked > adx) return;  // the side has given all its pixels
        const std::int32_t first = (leftward ? run_start : run_end) + x_step;
        std::int32_t last = first;
        for (std::int32_t x = first; walked <= adx; x += x_step) {
            ++walked;
            last = x;
            error += dy;
            if (error >= adx) {
                error -= adx;
                break;
            }
        }
        set_run(first, last);
    }
};
static_assert(sizeof(Edge) == 40);

// The work structure. Edges are named by their index in the records; the
// second block of n records holds the 64-bit active keys.
struct Work {
    Edge* edges;
    std::int32_t* table;
    std::int32_t* active;
    std::int64_t* keys;
    std::int32_t* start_rows;
};

// Ascending, swapping adjacent pairs only when strictly greater (stable),
// every swap applied to `values` too.
template <typename K>
void bubble_sort(K* keys, std::int32_t last, std::int32_t* values) {
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

}  // namespace

void* Polygon::initialize(std::int32_t n, void* buffer) {
    // Edge records, then a second block of n records that holds the 64-bit
    // active keys, then the edge table, the active list, the start rows and
    // a spare word per point, and the 20 bytes the structure once took.
    // Edges are named by their index in the records, which keeps the layout
    // the same on 32- and 64-bit hosts.
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
    w.keys = reinterpret_cast<std::int64_t*>(bytes + 40 * static_cast<std::size_t>(n));
    w.table = reinterpret_cast<std::int32_t*>(bytes + 80 * static_cast<std::size_t>(n));
    w.active = w.table + n;
    w.start_rows = w.active + n;

    std::int32_t ymin = points[1], ymax = points[1];
    for (std::int32_t i = 1; i < n; ++i) {
        ymin = std::min(ymin, points[2 * i + 1]);
        ymax = std::max(ymax, points[2 * i + 1]);
    }
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
    bubble_sort(w.start_rows, edges - 1, w.table);
    std::int32_t next = edges - 1;
    std::int32_t active = 0;
    for (std::int64_t row = ymax; row >= ymin; --row) {
        const auto y = static_cast<std::int32_t>(row);
        for (std::int32_t i = active - 1; i >= 0; --i) {
            Edge& e = w.edges[w.active[i]];
            e.rows_left -= 1;
            e.step();
            const bool done = e.rows_left < 0 || (e.rows_left == 0 && next >= 0 && w.start_rows[next] == y);
            if (!done) {
                w.keys[i] = e.key();
                continue;
            }
            for (std::int32_t k = i; k + 1 < active; ++k) {
                w.active[k] = w.active[k + 1];
                w.keys[k] = w.keys[k + 1];
            }
            --active;
        }
        while (next >= 0 && w.start_rows[next] == y) {
            w.active[active] = w.table[next];
            w.keys[active] = w.edges[w.table[next]].key();
            ++active;
            --next;
        }
        bubble_sort(w.keys, active - 1, w.active);
        for (std::int32_t i = active - 1; i >= 1; i -= 2) {
            const Edge& a = w.edges[w.active[i]];
            const Edge& b = w.edges[w.active[i - 1]];
            SoftDrawing::drawHLine(gc, std::min(a.run_start, b.run_start), std::max(a.run_end, b.run_end), y);
        }
    }
}

}  // namespace tarvelo::graphics
