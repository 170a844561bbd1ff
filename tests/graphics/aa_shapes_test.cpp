// Thick faded shapes: coverage values, symmetries and the corner cases of
// caps, octants and clamped sizes, on small RGB565 canvases.
#include "graphics/shapes/aa_shapes.h"

#include <gtest/gtest.h>

#include <string>

#include "graphics/shapes/aa_coverage.h"
#include "graphics/shapes/shape_entry_points.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using test::Canvas;

Canvas white(std::uint32_t w, std::uint32_t h) { return test::white_canvas(w, h); }

// '#' solid, '+' blended (partly white), '.' untouched.
std::string picture(Canvas& c) {
    std::string s;
    for (std::int32_t y = 0; y < c.gc.image.height; ++y) {
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) {
            const std::uint16_t p = c.at(x, y);
            s += p == 0xFFFF ? '#' : p ? '+' : '.';
        }
        s += '\n';
    }
    return s;
}

bool same_pixels(Canvas& a, Canvas& b) {
    for (std::int32_t y = 0; y < a.gc.image.height; ++y)
        for (std::int32_t x = 0; x < a.gc.image.width; ++x)
            if (a.at(x, y) != b.at(x, y)) return false;
    return true;
}

// Mirror symmetry about column cx2 / 2 and row cy2 / 2 (doubled centres).
void expect_symmetric(Canvas& c, std::int32_t cx2, std::int32_t cy2) {
    const std::int32_t w = c.gc.image.width, h = c.gc.image.height;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int32_t mx = cx2 - x, my = cy2 - y;
            if (mx >= 0 && mx < w) {
                EXPECT_EQ(c.at(x, y), c.at(mx, y)) << x << "," << y;
            }
            if (my >= 0 && my < h) {
                EXPECT_EQ(c.at(x, y), c.at(x, my)) << x << "," << y;
            }
        }
}

TEST(FadeOpacity, NeverZeroAndFullAtTheCore) {
    EXPECT_EQ(fade_opacity(1.0f, 1.0f, 2.0f), 255u);
    EXPECT_EQ(fade_opacity(2.999f, 1.0f, 2.0f), 1u);
    EXPECT_EQ(fade_opacity(3.0f, 1.0f, 2.0f), 1u);
    EXPECT_EQ(fade_opacity(2.0f, 1.0f, 2.0f), 128u);  // 255 - 127
}

TEST(AaPoint, ThicknessTwoWithoutFadeIsOnePixel) {
    Canvas c = white(5, 5);
    DW_DRAWING_SOFT_drawThickFadedPoint(&c.gc, 2, 2, 2, 0);
    EXPECT_EQ(picture(c), ".....\n.....\n..#..\n.....\n.....\n");
    Canvas f = white(7, 7);
    DW_DRAWING_SOFT_drawThickFadedPoint(&f.gc, 3, 3, 0, 2);
    EXPECT_EQ(f.at(3, 3), 0xFFFF);  // opacity 255 at the centre
    EXPECT_EQ(picture(f), ".......\n.......\n..+++..\n..+#+..\n..+++..\n.......\n.......\n");
}

TEST(AaLine, EndsEqualDrawNothing) {
    Canvas c = white(5, 5);
    DW_DRAWING_SOFT_drawThickFadedLine(&c.gc, 2, 2, 2, 2, 3, 1, 1, 1);
    EXPECT_EQ(picture(c), ".....\n.....\n.....\n.....\n.....\n");
}

TEST(AaLine, HorizontalCaps) {
    Canvas none = white(10, 5);
    DW_DRAWING_SOFT_drawThickFadedLine(&none.gc, 3, 2, 6, 2, 3, 0, kCapNone, kCapNone);
    EXPECT_EQ(picture(none), "..........\n...####...\n...####...\n...####...\n..........\n");
    Canvas round = white(10, 5);
    DW_DRAWING_SOFT_drawThickFadedLine(&round.gc, 6, 2, 3, 2, 3, 0, kCapRounded, kCapRounded);
    EXPECT_EQ(picture(round), "..........\n..######..\n..######..\n..######..\n..........\n");
    // The round cap is a half-disc of radius 1.5 (the diagonal at 1.41 is in).
    // A flat cap adds only a fade band beyond the end: no solid pixel.
    Canvas flat = white(10, 5);
    DW_DRAWING_SOFT_drawThickFadedLine(&flat.gc, 3, 2, 6, 2, 2, 2, kCapPerpendicular, kCapNone);
    for (std::int32_t y = 0; y < 5; ++y)
        for (std::int32_t x = 0; x < 3; ++x) EXPECT_NE(flat.at(x, y), 0xFFFF) << x << "," << y;
    EXPECT_NE(flat.at(2, 2), 0);
}

TEST(AaLine, ReversedLineGivesTheSamePixels) {
    for (std::int32_t cap : {kCapNone, kCapRounded, kCapPerpendicular}) {
        Canvas a = white(24, 16), b = white(24, 16);
        DW_DRAWING_SOFT_drawThickFadedLine(&a.gc, 3, 2, 19, 12, 4, 2, cap, kCapNone);
        DW_DRAWING_SOFT_drawThickFadedLine(&b.gc, 19, 12, 3, 2, 4, 2, kCapNone, cap);
        EXPECT_TRUE(same_pixels(a, b)) << cap;
        EXPECT_EQ(a.at(11, 7), 0xFFFF);
    }
}

TEST(AaCircle, EvenAndOddDiametersAreSymmetric) {
    Canvas even = white(14, 14);
    DW_DRAWING_SOFT_drawThickFadedCircle(&even.gc, 2, 2, 10, 2, 1);
    expect_symmetric(even, 2 * 2 + 9, 2 * 2 + 9);
    Canvas odd = white(15, 15);
    DW_DRAWING_SOFT_drawThickFadedCircle(&odd.gc, 2, 2, 11, 2, 1);
    expect_symmetric(odd, 2 * 7, 2 * 7);
    EXPECT_EQ(odd.at(7, 2), 0xFFFF);
    EXPECT_EQ(odd.at(7, 7), 0);
}

TEST(AaCircle, FadeZeroIsAHardRing) {
    Canvas c = white(9, 9);
    DW_DRAWING_SOFT_drawThickFadedCircle(&c.gc, 1, 1, 7, 1, 0);
    EXPECT_EQ(picture(c),
              ".........\n"
              "...###...\n"
              "..#...#..\n"
              ".#.....#.\n"
              ".#.....#.\n"
              ".#.....#.\n"
              "..#...#..\n"
              "...###...\n"
              ".........\n");
}

TEST(AaEllipse, SymmetricAndSolidWithoutFade) {
    Canvas c = white(24, 16);
    DW_DRAWING_SOFT_drawThickFadedEllipse(&c.gc, 2, 2, 19, 11, 2, 2);
    expect_symmetric(c, 2 * 11, 2 * 7);
    EXPECT_EQ(c.at(11, 2), 0xFFFF);
    Canvas hard = white(24, 16);
    DW_DRAWING_SOFT_drawThickFadedEllipse(&hard.gc, 2, 2, 19, 11, 2, 0);
    EXPECT_EQ(picture(hard).find('+'), std::string::npos);
    EXPECT_NE(picture(hard).find('#'), std::string::npos);
}

TEST(AaArc, FirstQuadrantIsTwoWholeOctants) {
    Canvas full = white(15, 15), quarter = white(15, 15);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&full.gc, 2, 2, 11, 0, 360, 2, 1, kCapNone, kCapNone);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&quarter.gc, 2, 2, 11, 0, 90, 2, 1, kCapNone, kCapNone);
    for (std::int32_t y = 0; y < 15; ++y)
        for (std::int32_t x = 0; x < 15; ++x) {
            const bool in = x >= 7 && y <= 7;
            EXPECT_EQ(quarter.at(x, y), in ? full.at(x, y) : 0) << x << "," << y;
        }
    // A zero arc at a multiple of 45 degrees draws the whole ring.
    Canvas zero = white(15, 15);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&zero.gc, 2, 2, 11, 135, 0, 2, 1, kCapNone, kCapNone);
    EXPECT_TRUE(same_pixels(zero, full));
    expect_symmetric(full, 14, 14);
}

TEST(AaArc, NegativeArcEqualsThePositiveOneWithCapsExchanged) {
    Canvas a = white(20, 20), b = white(20, 20);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&a.gc, 2, 2, 15, 100, -70, 3, 1, kCapRounded, kCapPerpendicular);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&b.gc, 2, 2, 15, 30, 70, 3, 1, kCapPerpendicular, kCapRounded);
    EXPECT_TRUE(same_pixels(a, b));
}

TEST(AaArc, ThicknessOfAnOddDiameterGivesASolidCentre) {
    // The fade is clamped to 0 and the centre lies inside the inner edge.
    Canvas c = white(7, 7);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&c.gc, 1, 1, 5, 0, 360, 5, 2, kCapNone, kCapNone);
    EXPECT_EQ(c.at(3, 3), 0xFFFF);
    EXPECT_EQ(c.at(3, 1), 0xFFFF);
    EXPECT_EQ(picture(c).find('+'), std::string::npos);
}

TEST(AaArc, RoundedCapWithoutFadeIsAHalfDiscBeyondTheRay) {
    Canvas none = white(20, 20), round = white(20, 20);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&none.gc, 2, 2, 15, 0, 90, 4, 0, kCapNone, kCapNone);
    DW_DRAWING_SOFT_drawThickFadedCircleArc(&round.gc, 2, 2, 15, 0, 90, 4, 0, kCapRounded, kCapPerpendicular);
    std::int32_t extra = 0;
    for (std::int32_t y = 0; y < 20; ++y)
        for (std::int32_t x = 0; x < 20; ++x) {
            if (none.at(x, y)) {
                EXPECT_EQ(round.at(x, y), none.at(x, y));
            } else if (round.at(x, y)) {
                ++extra;
                EXPECT_GT(y, 9) << "beyond the start ray, below the centre row";  // start at 0 degrees
            }
        }
    EXPECT_GT(extra, 2);
}

}  // namespace
}  // namespace tarvelo::graphics
