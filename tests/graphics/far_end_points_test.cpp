// Lines whose end points lie far outside the clip: they draw on the canvas
// exactly what a shorter line along the same path draws there, and take no
// longer than the clip's size (a walk over billions of outside pixels would
// stall the caller).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/shapes/aliased_shapes.h"
#include "graphics/shapes/shape_entry_points.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using test::Canvas;

Canvas white(std::uint32_t w, std::uint32_t h) { return test::white_canvas(w, h); }

std::vector<std::uint16_t> pixels_of(Canvas& c) {
    std::vector<std::uint16_t> out;
    for (std::int32_t y = 0; y < c.gc.image.height; ++y)
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) out.push_back(c.at(x, y));
    return out;
}

// The one-pixel walk from (x1, y1) to (x2, y2), pixel by pixel over its
// whole length, keeping what falls on a w x h canvas.
std::vector<std::uint16_t> walked(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
                                  std::int32_t w, std::int32_t h) {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(w * h), 0);
    auto put = [&](std::int64_t x, std::int64_t y) {
        if (x >= 0 && y >= 0 && x < w && y < h) out[static_cast<std::size_t>(y * w + x)] = 0xFFFF;
    };
    const std::int64_t adx = std::llabs(x2 - x1), ady = std::llabs(y2 - y1);
    const std::int64_t sx = x2 > x1 ? 1 : -1, sy = y2 > y1 ? 1 : -1;
    std::int64_t x = x1, y = y1;
    put(x, y);
    const bool x_major = adx > ady;
    const std::int64_t major = x_major ? adx : ady, minor = x_major ? ady : adx;
    std::int64_t error = major >> 1;
    for (std::int64_t i = 0; i < major; ++i) {
        error += minor;
        const bool step = error >= major;
        if (step) error -= major;
        if (x_major) x += sx, y += step ? sy : 0;
        else y += sy, x += step ? sx : 0;
        put(x, y);
    }
    return out;
}

TEST(FarEndPoints, OnePixelLinesStartTheirWalkAtTheClip) {
    struct Case {
        std::int32_t x1, y1, x2, y2;
    };
    // Lines of a few million steps (the reference walks them all), entering
    // and leaving the canvas at every side, both majors, both directions.
    const Case cases[] = {
        {-3000000, -1000000, 3000000, 1000007},  {3000000, 1000007, -3000000, -1000000},
        {-1000003, -3000000, 1000000, 3000000},  {1000000, 3000000, -1000003, -3000000},
        {-2999999, 2000011, 2999993, -1999989},  {7, -2000000, 9, 2000000},
        {-2000000, 3, 2000000, 5},               {5, 5, 4000000, 4000003},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x1) + "," + std::to_string(c.y1) + " " + std::to_string(c.x2) + "," +
                     std::to_string(c.y2));
        Canvas canvas = white(16, 8);
        UI_DRAWING_SOFT_drawLine(&canvas.gc, c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(pixels_of(canvas), walked(c.x1, c.y1, c.x2, c.y2, 16, 8));
    }
    // End points at the ends of the 32-bit range return at once and draw
    // the diagonal.
    Canvas canvas = white(16, 8);
    UI_DRAWING_SOFT_drawLine(&canvas.gc, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    for (std::int32_t i = 0; i < 8; ++i) EXPECT_EQ(canvas.at(i, i), 0xFFFF) << i;
}

TEST(FarEndPoints, ThickLinesDrawTheirVisiblePart) {
    // A diagonal from -2e9 to 2e9 (differences beyond 32 bits) covers the
    // canvas as the same diagonal from -20 to 40 does.
    Canvas far = white(16, 8), near = white(16, 8);
    DW_DRAWING_SOFT_drawThickFadedLine(&far.gc, -2000000000, -2000000000, 2000000000, 2000000000, 3, 1, 1, 1);
    DW_DRAWING_SOFT_drawThickFadedLine(&near.gc, -20, -20, 40, 40, 3, 1, 1, 1);
    EXPECT_EQ(pixels_of(far), pixels_of(near));
    EXPECT_EQ(far.at(3, 3), 0xFFFF);
    // Horizontal and vertical lines to the ends of the range.
    Canvas row = white(16, 8), column = white(16, 8);
    DW_DRAWING_SOFT_drawThickFadedLine(&row.gc, INT32_MIN, 4, INT32_MAX, 4, 3, 0, 0, 0);
    DW_DRAWING_SOFT_drawThickFadedLine(&column.gc, 6, INT32_MAX, 6, INT32_MIN, 3, 0, 2, 1);
    for (std::int32_t x = 0; x < 16; ++x)
        for (std::int32_t y = 0; y < 8; ++y) {
            EXPECT_EQ(row.at(x, y), y >= 3 && y <= 5 ? 0xFFFF : 0) << x << "," << y;
            EXPECT_EQ(column.at(x, y), x >= 5 && x <= 7 ? 0xFFFF : 0) << x << "," << y;
        }
    // A point far wider than the canvas fills it.
    Canvas point = white(16, 8);
    DW_DRAWING_SOFT_drawThickFadedPoint(&point.gc, 8, 4, 2000000000, 3);
    for (std::int32_t x = 0; x < 16; ++x) EXPECT_EQ(point.at(x, 7), 0xFFFF) << x;
}

TEST(FarEndPoints, PolygonsDrawTheSamePixelsInsideAnyClip) {
    // Random polygons drawn whole and inside a random clip: the rows the
    // clip leaves out are not walked, and the rows inside are the same.
    std::mt19937 random(27);
    std::vector<std::uint8_t> work(Polygon::workSize(9));
    for (int round = 0; round < 2000; ++round) {
        const std::int32_t n = 3 + static_cast<std::int32_t>(random() % 7);
        std::vector<std::int32_t> points(2 * static_cast<std::size_t>(n));
        for (std::int32_t& v : points) v = static_cast<std::int32_t>(random() % 100) - 20;
        Canvas whole = white(64, 64), clipped = white(64, 64);
        const auto x1 = static_cast<std::int16_t>(random() % 64), y1 = static_cast<std::int16_t>(random() % 64);
        clipped.gc.clip_x1 = x1;
        clipped.gc.clip_y1 = y1;
        clipped.gc.clip_x2 = static_cast<std::int16_t>(x1 + random() % static_cast<std::uint32_t>(64 - x1));
        clipped.gc.clip_y2 = static_cast<std::int16_t>(y1 + random() % static_cast<std::uint32_t>(64 - y1));
        DW_DRAWING_SOFT_fillPolygon(&whole.gc, points.data(), 2 * n, work.data());
        DW_DRAWING_SOFT_fillPolygon(&clipped.gc, points.data(), 2 * n, work.data());
        for (std::int32_t y = 0; y < 64; ++y)
            for (std::int32_t x = 0; x < 64; ++x) {
                const bool inside = x >= clipped.gc.clip_x1 && x <= clipped.gc.clip_x2 && y >= clipped.gc.clip_y1 &&
                                    y <= clipped.gc.clip_y2;
                ASSERT_EQ(clipped.at(x, y), inside ? whole.at(x, y) : 0) << "round " << round << " " << x << "," << y;
            }
    }
}

TEST(FarEndPoints, PolygonsSpanningTheWholeRange) {
    // Sides of 2^32 rows and pixels: the diagonal y = x of a triangle two
    // billion pixels wide is exact, and the canvas is filled on its side.
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    Canvas half = white(16, 8);
    const std::int32_t triangle[] = {-1000000000, -1000000000, 1000000000, 1000000000, 1000000000, -1000000000};
    DW_DRAWING_SOFT_fillPolygon(&half.gc, triangle, 6, work.data());
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 16; ++x) EXPECT_EQ(half.at(x, y), x >= y ? 0xFFFF : 0) << x << "," << y;
    Canvas all = white(16, 8);
    const std::int32_t ends[] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN + 1, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX};
    DW_DRAWING_SOFT_fillPolygon(&all.gc, ends, 8, work.data());
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 16; ++x) EXPECT_EQ(all.at(x, y), 0xFFFF) << x << "," << y;
    // A shallow side two billion pixels wide over three rows.
    Canvas shallow = white(16, 8);
    const std::int32_t sliver[] = {-2000000000, 2, 2000000000, 4, 2000000000, 2};
    DW_DRAWING_SOFT_fillPolygon(&shallow.gc, sliver, 6, work.data());
    for (std::int32_t x = 0; x < 16; ++x) {
        EXPECT_EQ(shallow.at(x, 2), 0xFFFF) << x;
        EXPECT_EQ(shallow.at(x, 4), 0) << x;
    }
}

TEST(FarEndPoints, RectanglesAndRegionsToTheEndsOfTheRange) {
    // x2 - x1 + 1 of a rectangle over the whole range is 2^32: it must fill
    // the canvas, not wrap to nothing.
    Canvas all = white(16, 8);
    UI_DRAWING_SOFT_fillRectangle(&all.gc, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    Canvas corner = white(16, 8);
    UI_DRAWING_SOFT_fillRectangle(&corner.gc, 13, 6, INT32_MAX, INT32_MAX);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 16; ++x) {
            EXPECT_EQ(all.at(x, y), 0xFFFF) << x << "," << y;
            EXPECT_EQ(corner.at(x, y), x >= 13 && y >= 6 ? 0xFFFF : 0) << x << "," << y;
        }
    // A rounded rectangle as wide as the range: its lines reach the canvas.
    Canvas round = white(16, 8);
    UI_DRAWING_SOFT_drawRoundedRectangle(&round.gc, 2, 1, INT32_MAX, INT32_MAX, 0, 0);
    EXPECT_EQ(round.at(15, 1), 0xFFFF);
    EXPECT_EQ(round.at(2, 7), 0xFFFF);
    EXPECT_EQ(round.at(3, 2), 0);
}

TEST(FarEndPoints, CirclesAndEllipsesTwoBillionPixelsWide) {
    // The left rim of a circle of diameter 2^31 - 1 through (3, 4) is a
    // column on an 8-row canvas; the walk starts at the clip's columns.
    Canvas rim = white(16, 8);
    const std::int32_t r = INT32_MAX >> 1;
    UI_DRAWING_SOFT_drawCircle(&rim.gc, 3, 4 - r, INT32_MAX);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 16; ++x) EXPECT_EQ(rim.at(x, y), x == 3 ? 0xFFFF : 0) << x << "," << y;
    // The integer ellipse walk is exact up to 2^19 pixels an axis; beyond
    // it, it would leave 64 bits, and nothing is drawn.
    struct Case {
        std::int32_t width;
        bool drawn;
    };
    for (const Case c : {Case{524288, true}, Case{524290, false}, Case{INT32_MAX, false}}) {
        Canvas e = white(16, 8);
        UI_DRAWING_SOFT_drawEllipse(&e.gc, 3, -2, c.width, 13);  // the left end at (3, 4)
        EXPECT_EQ(e.at(3, 4) == 0xFFFF, c.drawn) << c.width;
        Canvas arc = white(16, 8);
        UI_DRAWING_SOFT_drawEllipseArc(&arc.gc, 3, -2, c.width, 13, 90, 180);
        EXPECT_EQ(arc.at(3, 4) == 0xFFFF, c.drawn) << c.width;
    }
}

}  // namespace
}  // namespace tarvelo::graphics
