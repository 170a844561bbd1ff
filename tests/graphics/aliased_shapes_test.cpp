// One-pixel-wide shapes and the polygon filler, pixel-exact on small RGB565
// canvases, and a full-screen ellipse and polygon.
#include "graphics/shapes/aliased_shapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/display/llui_display.h"
#include "graphics/images/new_images.h"
#include "graphics/shapes/shape_entry_points.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using test::Canvas;

// Rows of the canvas, '#' for a written pixel.
std::string picture(Canvas& c) {
    std::string s;
    for (std::int32_t y = 0; y < c.gc.image.height; ++y) {
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) s += c.at(x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

Canvas white(std::uint32_t w, std::uint32_t h) { return test::white_canvas(w, h); }

TEST(AliasedLine, DirectionChoosesThePixelsAtExactThresholds) {
    Canvas a = white(3, 2);
    UI_DRAWING_SOFT_drawLine(&a.gc, 0, 0, 2, 1);
    EXPECT_EQ(picture(a), "#..\n.##\n");
    Canvas b = white(3, 2);
    UI_DRAWING_SOFT_drawLine(&b.gc, 2, 1, 0, 0);
    EXPECT_EQ(picture(b), "##.\n..#\n");
    Canvas p = white(3, 2);
    UI_DRAWING_SOFT_drawLine(&p.gc, 1, 1, 1, 1);
    EXPECT_EQ(picture(p), "...\n.#.\n");
}

TEST(AliasedLine, SteepLineAndClip) {
    Canvas c = white(4, 5);
    LLUI_DISPLAY_PRIVATE_setClip(&c.gc, 0, 1, 3, 3);
    UI_DRAWING_SOFT_drawLine(&c.gc, 0, 0, 2, 4);
    EXPECT_EQ(picture(c), "....\n.#..\n.#..\n..#.\n....\n");
}

TEST(AliasedCircle, SmallDiameters) {
    Canvas zero = white(4, 4);
    AliasingDrawer::drawCircle(&zero.gc, 2, 2, 0);
    EXPECT_EQ(picture(zero), "....\n.##.\n.##.\n....\n");
    Canvas one = white(3, 3);
    UI_DRAWING_SOFT_drawCircle(&one.gc, 1, 1, 1);
    EXPECT_EQ(picture(one), "...\n.#.\n...\n");
    Canvas four = white(6, 6);
    UI_DRAWING_SOFT_drawCircle(&four.gc, 1, 1, 4);
    EXPECT_EQ(picture(four), "......\n..##..\n.#..#.\n.#..#.\n..##..\n......\n");
    Canvas five = white(7, 7);
    UI_DRAWING_SOFT_drawCircle(&five.gc, 1, 1, 5);
    EXPECT_EQ(picture(five), ".......\n..###..\n.#...#.\n.#...#.\n.#...#.\n..###..\n.......\n");
}

TEST(AliasedEllipse, OnePixelWideDrawsOnlyTheMiddleRows) {
    Canvas odd = white(3, 7);
    UI_DRAWING_SOFT_drawEllipse(&odd.gc, 1, 1, 1, 5);
    EXPECT_EQ(picture(odd), "...\n...\n...\n.#.\n...\n...\n...\n");
    Canvas even = white(3, 6);
    UI_DRAWING_SOFT_drawEllipse(&even.gc, 1, 1, 1, 4);
    EXPECT_EQ(picture(even), "...\n...\n.#.\n.#.\n...\n...\n");
}

TEST(AliasedEllipse, SmallEllipse) {
    Canvas c = white(9, 5);
    UI_DRAWING_SOFT_drawEllipse(&c.gc, 0, 0, 9, 5);
    EXPECT_EQ(picture(c), "..#####..\n.#.....#.\n#.......#\n.#.....#.\n..#####..\n");
}

// 720 x 1280 RGB565 in static memory (below 4 GiB).
struct Screen {
    static constexpr std::int32_t kW = 720, kH = 1280;
    alignas(64) static inline std::uint8_t block[12 + kW * kH * 2];
    SPictavoGraphicsContext gc{};
    Screen() {
        std::fill(std::begin(block), std::end(block), 0);
        gc.image = NewImages::describe(block, 4, kW, kH, kW, kRawDisplayFormat | kRawOpaque, 12);
        NewImages::initMutable(&gc, kW, kH, 0);
        gc.foreground_color = 0xFFFFFFFF;
    }
    bool at(std::int32_t x, std::int32_t y) const {
        if (x < 0 || y < 0 || x >= kW || y >= kH) return false;
        return reinterpret_cast<const std::uint16_t*>(block + 12)[y * kW + x] != 0;
    }
};

TEST(AliasedEllipse, FullScreenEllipseIsClosedAndSymmetric) {
    Screen s;
    UI_DRAWING_SOFT_drawEllipse(&s.gc, 0, 0, Screen::kW, Screen::kH);
    std::int32_t count = 0;
    for (std::int32_t y = 0; y < Screen::kH; ++y) {
        bool row = false;
        for (std::int32_t x = 0; x < Screen::kW; ++x) {
            if (!s.at(x, y)) continue;
            row = true;
            ++count;
            ASSERT_TRUE(s.at(Screen::kW - 1 - x, y)) << x << "," << y;
            ASSERT_TRUE(s.at(x, Screen::kH - 1 - y)) << x << "," << y;
            std::int32_t neighbours = 0;
            for (std::int32_t j = -1; j <= 1; ++j)
                for (std::int32_t i = -1; i <= 1; ++i) neighbours += (i || j) && s.at(x + i, y + j);
            ASSERT_GE(neighbours, 2) << "open at " << x << "," << y;
        }
        ASSERT_TRUE(row) << y;
    }
    EXPECT_TRUE(s.at(0, 640));
    EXPECT_TRUE(s.at(719, 639));
    EXPECT_TRUE(s.at(360, 0));
    EXPECT_TRUE(s.at(359, 1279));
    EXPECT_GT(count, 2 * Screen::kH);
}

TEST(ArcData, NormalisesAngles) {
    struct Case {
        float start, arc, start_out, end_out;
    } cases[] = {
        {30, 360, 0, 0}, {30, -400, 0, 0}, {90, 90, 90, 180}, {90, -90, 0, 90}, {-30, 60, 330, 30}, {45, 0, 45, 45},
    };
    for (const Case& c : cases) {
        SArcData arc{};
        arc.init(11, 7, 1, 2, c.start, c.arc);
        EXPECT_EQ(arc.half_width, 5);
        EXPECT_EQ(arc.half_height, 3);
        EXPECT_EQ(arc.start_angle, c.start_out) << c.start << " " << c.arc;
        EXPECT_EQ(arc.end_angle, c.end_out) << c.start << " " << c.arc;
    }
    SArcData positive{}, negative{};
    positive.init(10, 10, 1, 2, 0, 90);
    negative.init(10, 10, 1, 2, 0, -90);
    EXPECT_EQ(positive.end_cap, 2);
    EXPECT_EQ(positive.start_cap, 1);
    EXPECT_EQ(negative.end_cap, 1);
    EXPECT_EQ(negative.start_cap, 2);
}

TEST(AliasedArc, QuadrantsAndFullTurns) {
    Canvas full = white(13, 13);
    UI_DRAWING_SOFT_drawCircleArc(&full.gc, 1, 1, 11, 0, 360);
    const std::string whole = picture(full);
    EXPECT_NE(whole.find('#'), std::string::npos);
    // A zero arc on an axis belongs to no quadrant: the whole outline.
    for (float start : {0.f, 90.f, 180.f, 270.f}) {
        Canvas zero = white(13, 13);
        UI_DRAWING_SOFT_drawCircleArc(&zero.gc, 1, 1, 11, start, 0);
        EXPECT_EQ(picture(zero), whole) << start;
    }
    // 90 to 180: only the upper-left quadrant of the full outline.
    Canvas ul = white(13, 13);
    UI_DRAWING_SOFT_drawCircleArc(&ul.gc, 1, 1, 11, 90, 90);
    std::int32_t drawn = 0;
    for (std::int32_t y = 0; y < 13; ++y)
        for (std::int32_t x = 0; x < 13; ++x) {
            if (!ul.at(x, y)) continue;
            ++drawn;
            EXPECT_TRUE(full.at(x, y));
            EXPECT_TRUE(x <= 6 && y <= 6) << x << "," << y;
        }
    EXPECT_GT(drawn, 4);
    // A negative arc draws the positive arc from start + arc.
    Canvas neg = white(13, 13), pos = white(13, 13);
    UI_DRAWING_SOFT_drawCircleArc(&neg.gc, 1, 1, 11, 100, -70);
    UI_DRAWING_SOFT_drawCircleArc(&pos.gc, 1, 1, 11, 30, 70);
    EXPECT_EQ(picture(neg), picture(pos));
}

TEST(AliasedArc, ClearsTheClipDisabledFlag) {
    Canvas c = white(8, 8);
    LLUI_DISPLAY_configureClip(&c.gc, false);
    ASSERT_TRUE(c.gc.image.flags & kImageClipDisabled);
    UI_DRAWING_SOFT_drawCircleArc(&c.gc, 0, 0, 6, 0, 45);
    EXPECT_FALSE(c.gc.image.flags & kImageClipDisabled);
}

TEST(AliasedArc, RoundedRectangleCornersDrawOneQuadrantEach) {
    Canvas c = white(10, 8);
    UI_DRAWING_SOFT_drawRoundedRectangle(&c.gc, 0, 0, 10, 8, 6, 6);
    EXPECT_EQ(picture(c),
              "..######..\n"
              ".#......#.\n"
              "#........#\n"
              "#........#\n"
              "#........#\n"
              "#........#\n"
              ".#......#.\n"
              "..######..\n");
    // The bottom-right corner wraps through 0 and draws only its quadrant.
    Canvas br = white(12, 12);
    AliasingDrawer::drawArc(&br.gc, 6, 6, 0, 270, 10, 10);
    for (std::int32_t y = 0; y < 12; ++y)
        for (std::int32_t x = 0; x < 12; ++x)
            if (br.at(x, y)) {
                EXPECT_TRUE(x >= 6 && y >= 6) << x << "," << y;
            }
}

TEST(PolygonFill, TriangleApexAndSharedVertex) {
    std::vector<std::uint8_t> work(Polygon::workSize(5));
    Canvas tri = white(9, 5);
    const std::int32_t t[] = {4, 0, 8, 4, 0, 4, 4, 0, 4, 0};  // the apex twice: five points
    DW_DRAWING_SOFT_fillPolygon(&tri.gc, t, 10, work.data());
    EXPECT_EQ(picture(tri), "....#....\n...###...\n..#####..\n.#######.\n#########\n");
    // A shallow concave arrow: runs of the shallow sides included; on the
    // tip row (2) the lower sides end where the upper ones start.
    Canvas arrow = white(12, 5);
    const std::int32_t a[] = {0, 0, 11, 2, 0, 4, 3, 2, 0, 0};
    DW_DRAWING_SOFT_fillPolygon(&arrow.gc, a, 10, work.data());
    EXPECT_EQ(picture(arrow), "###.........\n.########...\n...#########\n.########...\n###.........\n");
}

TEST(PolygonFill, AllPointsOnOneRowDrawNothingAndRectanglesFill) {
    std::vector<std::uint8_t> work(Polygon::workSize(5));
    Canvas flat = white(6, 3);
    const std::int32_t f[] = {0, 1, 2, 1, 5, 1, 3, 1, 1, 1};
    DW_DRAWING_SOFT_fillPolygon(&flat.gc, f, 10, work.data());
    EXPECT_EQ(picture(flat), "......\n......\n......\n");
    Canvas rect = white(6, 3);
    const std::int32_t r[] = {1, 0, 4, 0, 4, 1, 1, 1};
    DW_DRAWING_SOFT_fillPolygon(&rect.gc, r, 8, work.data());
    EXPECT_EQ(picture(rect), ".####.\n.####.\n......\n");
}

TEST(PolygonFill, FarVerticesKeepTheirOrder) {
    // Keys of x = +-30000 overflow 32 bits; the spans must still pair up.
    std::vector<std::uint8_t> work(Polygon::workSize(5));
    Canvas c = white(16, 8);
    const std::int32_t p[] = {-30000, 1, 30000, 1, 30000, 6, 8, 6, -30000, 6};
    DW_DRAWING_SOFT_fillPolygon(&c.gc, p, 10, work.data());
    EXPECT_EQ(picture(c), std::string(16, '.') + "\n" + [] {
        std::string s;
        for (int i = 0; i < 6; ++i) s += std::string(16, '#') + "\n";
        return s;
    }() + std::string(16, '.') + "\n");
}

TEST(PolygonFill, FullScreenStarIsSymmetric) {
    Screen s;
    const std::int32_t p[] = {360, 0, 460, 500, 719, 640, 460, 780, 360, 1279, 260, 780, 0, 640, 260, 500};
    std::vector<std::uint8_t> work(Polygon::workSize(8));
    DW_DRAWING_SOFT_fillPolygon(&s.gc, p, 16, work.data());
    for (std::int32_t y = 0; y < Screen::kH; ++y) {
        std::int32_t left = -1, right = -1, runs = 0;
        for (std::int32_t x = 0; x < Screen::kW; ++x) {
            if (s.at(x, y) && !s.at(x - 1, y)) ++runs;
            if (s.at(x, y)) {
                if (left < 0) left = x;
                right = x;
            }
        }
        ASSERT_EQ(runs, 1) << "row " << y;
        ASSERT_LE(std::abs(left + right - 719), 1) << "row " << y;
    }
    EXPECT_TRUE(s.at(0, 640));
    EXPECT_TRUE(s.at(719, 640));
}

TEST(PolygonOutline, EdgesDrawnFromTheirUpperEnds) {
    Canvas c = white(5, 5);
    const std::int32_t p[] = {0, 0, 4, 0, 4, 4};
    DW_DRAWING_SOFT_drawPolygon(&c.gc, p, 6);
    EXPECT_EQ(picture(c), "#####\n.#..#\n..#.#\n...##\n....#\n");
}

}  // namespace
}  // namespace tarvelo::graphics
