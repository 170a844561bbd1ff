// Rotated, scaled and deformed images on small RGB565 canvases: identities,
// quarter turns, the one-pixel destination, trapezoid rows, and the
// degenerate and oversized corners.
#include "graphics/images/image_transforms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "graphics/images/image_sampling.h"
#include "graphics/images/new_images.h"
#include "graphics/shapes/aliased_shapes.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using test::Canvas;

// Source pixels 1.. in row order (RGB565 values that survive a round trip:
// multiples of 0x0800 in the red field).
void number(Canvas& c) {
    for (std::int32_t y = 0; y < c.gc.image.height; ++y)
        for (std::int32_t x = 0; x < c.gc.image.width; ++x)
            c.at(x, y) = static_cast<std::uint16_t>((1 + x + y * c.gc.image.width) << 11);
}

// Rows of source numbers ('.' for 0).
std::string picture(Canvas& c) {
    std::string s;
    for (std::int32_t y = 0; y < c.gc.image.height; ++y) {
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) {
            const std::uint16_t p = c.at(x, y);
            s += p == 0 ? '.' : (p >> 11) < 10 ? static_cast<char>('0' + (p >> 11)) : static_cast<char>('a' + (p >> 11) - 10);
        }
        s += '\n';
    }
    return s;
}

TEST(Rotation, ZeroDegreesIsTheIdentity) {
    Canvas src(3, 2);
    number(src);
    for (bool nearest : {true, false}) {
        Canvas dst(6, 4);
        if (nearest)
            DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(&dst.gc, &src.gc.image, 2, 1, 3, 2, 0, 255);
        else
            DW_DRAWING_SOFT_drawRotatedImageBilinear(&dst.gc, &src.gc.image, 2, 1, 3, 2, 0, 255);
        EXPECT_EQ(picture(dst), "......\n..123.\n..456.\n......\n") << nearest;
    }
}

TEST(Rotation, QuarterTurnAboutTheTopLeftCorner) {
    Canvas src(3, 2);
    number(src);
    Canvas dst(8, 6);
    DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(&dst.gc, &src.gc.image, 3, 4, 3, 4, 90, 255);
    // The first row becomes the leftmost column, read from the bottom up.
    EXPECT_EQ(picture(dst), "........\n........\n...36...\n...25...\n...14...\n........\n");
}

// The direct RGB565 interpolation of opaque sources against the general
// one between the two conversions, at every pair of weights.
TEST(Bilinear, RGB565NeighboursGiveTheGeneralInterpolation) {
    std::uint32_t seed = 3;
    auto random = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8 & 0xFFFF; };
    for (std::uint32_t wx = 0; wx < 256; ++wx)
        for (std::uint32_t wy = 0; wy < 256; ++wy) {
            const std::uint32_t p[4] = {random(), random(), wx == wy ? 0xFFFFu : random(), wx == 0 ? 0u : random()};
            const std::uint32_t general = bilerp_weighted(rgb565_to_argb(p[0]), rgb565_to_argb(p[1]), rgb565_to_argb(p[2]),
                                                          rgb565_to_argb(p[3]), wx, wy);
            ASSERT_EQ(bilerp_rgb565(p[0], p[1], p[2], p[3], wx, wy), argb_to_rgb565(general)) << wx << " " << wy;
        }
}

// floor without the library call: the same int everywhere, saturated ends
// and NaN included.
TEST(Bilinear, FloorIntIsTheSaturatedFloor) {
    const float values[] = {0.0f, -0.0f, 0.5f, -0.5f, 1.0f, -1.0f, -1.25f, 1e-30f, -1e-30f, 123456.7f, -123456.7f,
                            8388607.5f, -8388607.5f, 2147483520.0f, -2147483520.0f, 2147483648.0f, -2147483648.0f,
                            2147483392.0f, -2147483392.0f, 1e30f, -1e30f, INFINITY, -INFINITY, NAN};
    for (float v : values) EXPECT_EQ(floor_int(v), trunc_int(std::floor(v))) << v;
}

// Drawn one row down onto itself, bilinear: each source row is read before
// the rows drawn overwrite it, so the picture moves down whole.
TEST(Scale, BilinearOntoItselfReadsRowsBeforeTheyAreOverwritten) {
    Canvas c(3, 4);
    number(c);
    SPictavoImage self = c.gc.image;
    DW_DRAWING_SOFT_drawScaledImageBilinear(&c.gc, &self, 0, 1, 1, 1, 255);
    EXPECT_EQ(picture(c), "123\n123\n456\n789\n");
}

TEST(Scale, FactorOneIsTheIdentityAndOnePixelReadsTheFirstColumn) {
    Canvas src(3, 2);
    number(src);
    for (bool nearest : {true, false}) {
        Canvas dst(5, 4);
        if (nearest)
            DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&dst.gc, &src.gc.image, 1, 1, 1, 1, 255);
        else
            DW_DRAWING_SOFT_drawScaledImageBilinear(&dst.gc, &src.gc.image, 1, 1, 1, 1, 255);
        EXPECT_EQ(picture(dst), ".....\n.123.\n.456.\n.....\n") << nearest;
        Canvas one(5, 4);
        // 3 x 0.3 rounds to one column: step 0, the first source column.
        if (nearest)
            DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&one.gc, &src.gc.image, 1, 1, 0.3f, 1, 255);
        else
            DW_DRAWING_SOFT_drawScaledImageBilinear(&one.gc, &src.gc.image, 1, 1, 0.3f, 1, 255);
        EXPECT_EQ(picture(one), ".....\n.1...\n.4...\n.....\n") << nearest;
        Canvas none(5, 4);
        DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&none.gc, &src.gc.image, 1, 1, 0.1f, 1, 255);
        EXPECT_EQ(picture(none), ".....\n.....\n.....\n.....\n");
    }
}

TEST(Scale, DoubleSizeNearest) {
    Canvas src(2, 2);
    number(src);
    Canvas dst(4, 4);
    DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&dst.gc, &src.gc.image, 0, 0, 2, 2, 255);
    // Steps of 1/3: sources 0, 0.33, 0.67, 1 round to 0, 0, 1, 1.
    EXPECT_EQ(picture(dst), "1122\n1122\n3344\n3344\n");
}

TEST(Trapezoid, RowStartsStepTowardsTheNearSide) {
    Canvas src(4, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 4; ++x) src.at(x, y) = 1 << 11;
    Canvas dst(8, 10);
    // Left side at x = 2 from y 0 to 7, right side at x = 5 from y 4 to 7.
    const std::int32_t corners[] = {2, 0, 5, 4, 5, 7, 2, 7};
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    DW_DRAWING_SOFT_drawDeformedImage(&dst.gc, &src.gc.image, corners, work.data());
    std::int32_t first[4];
    for (std::int32_t i = 0; i < 4; ++i) {
        first[i] = -1;
        for (std::int32_t y = 0; y < 10 && first[i] < 0; ++y)
            if (dst.at(2 + i, y)) first[i] = y;
    }
    EXPECT_EQ(first[3], 4);
    EXPECT_EQ(first[2], 3);
    EXPECT_EQ(first[1], 2);
    EXPECT_EQ(first[0], 1);
}

TEST(Trapezoid, ParallelSidesOnOneLineDrawNothing) {
    Canvas src(2, 2);
    number(src);
    Canvas dst(8, 8);
    const std::int32_t corners[] = {5, 0, 5, 3, 5, 6, 5, 2};
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    DW_DRAWING_SOFT_drawDeformedImage(&dst.gc, &src.gc.image, corners, work.data());
    std::string blank;
    for (int i = 0; i < 8; ++i) blank += "........\n";
    EXPECT_EQ(picture(dst), blank);
}

TEST(Deform, ImagesWithoutPixelsDrawNothing) {
    Canvas src(2, 2);
    number(src);
    SPictavoImage empty = src.gc.image;
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    for (int axis = 0; axis < 2; ++axis) {
        (axis ? empty.width : empty.height) = 0;
        Canvas dst(8, 8);
        const std::int32_t quad[] = {1, 1, 6, 2, 5, 6, 0, 5};
        const std::int32_t rect[] = {1, 1, 6, 1, 6, 6, 1, 6};
        DW_DRAWING_SOFT_drawDeformedImage(&dst.gc, &empty, quad, work.data());
        DW_DRAWING_SOFT_drawDeformedImage(&dst.gc, &empty, rect, work.data());
        for (std::int32_t y = 0; y < 8; ++y)
            for (std::int32_t x = 0; x < 8; ++x) EXPECT_EQ(dst.at(x, y), 0);
    }
}

TEST(Deform, WideSpansKeepTheirFixedPointExact) {
    // 2101 pixels across: beyond the 32-bit fixed point's 2048.
    Canvas src(2, 1);
    src.at(0, 0) = 1 << 11;
    src.at(1, 0) = 2 << 11;
    Canvas dst(16, 4);
    const std::int32_t corners[] = {-1000, 0, 1100, 0, 1100, 3, -1000, 3};
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    DW_DRAWING_SOFT_drawDeformedImage(&dst.gc, &src.gc.image, corners, work.data());
    for (std::int32_t y = 0; y < 4; ++y)
        for (std::int32_t x = 0; x < 16; ++x) EXPECT_EQ(dst.at(x, y), 1 << 11) << x << "," << y;
}

TEST(Deform, GeneralQuadrilateralFillsCellsWithTheirPixels) {
    Canvas src(2, 2);
    number(src);
    Canvas dst(12, 12);
    const std::int32_t corners[] = {2, 1, 9, 2, 10, 10, 1, 9};
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    DW_DRAWING_SOFT_drawDeformedImage(&dst.gc, &src.gc.image, corners, work.data());
    EXPECT_EQ(dst.at(3, 3) >> 11, 1);
    EXPECT_EQ(dst.at(8, 3) >> 11, 2);
    EXPECT_EQ(dst.at(3, 8) >> 11, 3);
    EXPECT_EQ(dst.at(8, 8) >> 11, 4);
    EXPECT_EQ(dst.at(0, 0), 0);
    EXPECT_EQ(dst.at(11, 11), 0);
}

TEST(Deform, CellsOutsideTheClipAreLeftOut) {
    // Random quadrilaterals drawn whole and inside a random clip give the
    // same pixels inside it.
    Canvas src(9, 7);
    number(src);
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    std::uint32_t seed = 7;
    auto next = [&seed](std::int32_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::int32_t>((seed >> 8) % static_cast<std::uint32_t>(n));
    };
    for (int round = 0; round < 300; ++round) {
        std::int32_t corners[8];
        for (std::int32_t& v : corners) v = next(90) - 20;
        Canvas whole(48, 48), clipped(48, 48);
        clipped.gc.clip_x1 = static_cast<std::int16_t>(next(48));
        clipped.gc.clip_y1 = static_cast<std::int16_t>(next(48));
        clipped.gc.clip_x2 = static_cast<std::int16_t>(clipped.gc.clip_x1 + next(48 - clipped.gc.clip_x1));
        clipped.gc.clip_y2 = static_cast<std::int16_t>(clipped.gc.clip_y1 + next(48 - clipped.gc.clip_y1));
        DW_DRAWING_SOFT_drawDeformedImage(&whole.gc, &src.gc.image, corners, work.data());
        DW_DRAWING_SOFT_drawDeformedImage(&clipped.gc, &src.gc.image, corners, work.data());
        for (std::int32_t y = 0; y < 48; ++y)
            for (std::int32_t x = 0; x < 48; ++x) {
                const bool inside = x >= clipped.gc.clip_x1 && x <= clipped.gc.clip_x2 &&
                                    y >= clipped.gc.clip_y1 && y <= clipped.gc.clip_y2;
                ASSERT_EQ(clipped.at(x, y), inside ? whole.at(x, y) : 0) << round << ": " << x << "," << y;
            }
    }
}

TEST(Deform, SourcesBeyondTheFixedPointDrawNothing) {
    // A run-length image of a few bytes may declare 65535 x 65535 pixels;
    // cell by cell that would be 4 * 10^9 cells. Sizes from 2048 are left out
    // (the trapezoid drawer, which walks the destination, still takes them).
    alignas(4) static std::uint8_t raw[12 + 8] = {};
    const std::uint8_t groups[] = {0xFF, 0xBF, 0x00, 0x00};  // 16383 opaque pixels, then the end
    for (std::size_t i = 0; i < sizeof groups; ++i) raw[12 + i] = groups[i];
    const std::int32_t quad[] = {1, 1, 14, 2, 13, 12, 0, 11};
    const std::int32_t rect[] = {1, 1, 14, 1, 14, 12, 1, 12};
    std::vector<std::uint8_t> work(Polygon::workSize(4));
    struct Case {
        std::uint32_t w, h;
        const std::int32_t* corners;
        bool draws;
    };
    const Case cases[] = {{2047, 8, quad, true},    {2048, 8, quad, false},   {8, 65535, quad, false},
                          {65535, 65535, rect, true}, {2047, 2047, rect, true}};
    for (const Case& c : cases) {
        const SPictavoImage image = NewImages::describe(raw, 23, c.w, c.h, c.w, 0, 12);
        Canvas dst(16, 16);
        dst.gc.foreground_color = 0xFFFFFFFF;
        DW_DRAWING_SOFT_drawDeformedImage(&dst.gc, &image, c.corners, work.data());
        // A pixel of the image's opaque first row.
        EXPECT_EQ(dst.at(2, 1) != 0, c.draws) << c.w << "x" << c.h;
    }
}

}  // namespace
}  // namespace tarvelo::graphics
