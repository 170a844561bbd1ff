// Software drawing on small RGB565 canvases, pixel-exact.
#include "graphics/drawing/soft_drawing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/address.h"

#include "graphics/display/llui_display.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/new_images.h"
#include "graphics/pixels/blend.h"
#include "graphics/pixels/pixel_formats.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using test::Canvas;

// The canvas as rows of characters: '.' for 0, else the pixel's low hex digit.
std::string picture(Canvas& c) {
    std::string s;
    for (std::int32_t y = 0; y < c.gc.image.height; ++y) {
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) {
            const std::uint16_t p = c.at(x, y);
            s += p == 0 ? '.' : "0123456789abcdef"[p & 0xF];
        }
        s += '\n';
    }
    return s;
}

// Pixel values 1.. in row order, as the source of region tests.
void number(Canvas& c) {
    for (std::int32_t y = 0; y < c.gc.image.height; ++y)
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) c.at(x, y) = static_cast<std::uint16_t>(1 + x + y * c.gc.image.width);
}

TEST(SoftDrawing, FillRectWritesExactlyItsPixels) {
    Canvas c(6, 3);
    c.gc.foreground_color = 0xFF0000FF;  // RGB565 0x001F: digit f
    UI_DRAWING_SOFT_fillRectangle(&c.gc, 1, 1, 4, 1);
    EXPECT_EQ(picture(c), "......\n.ffff.\n......\n");
    UI_DRAWING_SOFT_fillRectangle(&c.gc, -5, 2, 0, 10);  // cut by the clip
    EXPECT_EQ(picture(c), "......\n.ffff.\nf.....\n");
}

// An odd memory width puts every other row at a 2-byte boundary: the pairs
// of pixels written together must land there too (the sanitizer build
// checks the stores' alignment).
TEST(SoftDrawing, FillRectOnAnOddWidthCanvas) {
    Canvas c(7, 3);
    c.gc.foreground_color = 0xFF0000FF;
    UI_DRAWING_SOFT_fillRectangle(&c.gc, 0, 0, 6, 2);
    EXPECT_EQ(picture(c), "fffffff\nfffffff\nfffffff\n");
}

TEST(SoftDrawing, LinesAndRectangleOutline) {
    Canvas c(6, 4);
    c.gc.foreground_color = 0xFF000008;  // 0x0001
    UI_DRAWING_SOFT_drawRectangle(&c.gc, 1, 0, 4, 3);
    EXPECT_EQ(picture(c), ".1111.\n.1..1.\n.1..1.\n.1111.\n");
    Canvas d(6, 2);
    d.gc.foreground_color = 0xFF000010;  // 0x0002
    UI_DRAWING_SOFT_drawHorizontalLine(&d.gc, -3, 20, 1);
    UI_DRAWING_SOFT_drawVerticalLine(&d.gc, 5, -1, 0);
    UI_DRAWING_SOFT_writePixel(&d.gc, 6, 0);  // outside: ignored
    EXPECT_EQ(picture(d), ".....2\n222222\n");
}

TEST(SoftDrawing, ClipDisabledLinesAreNotClipped) {
    Canvas c(4, 2);
    c.gc.foreground_color = 0xFF000008;
    LLUI_DISPLAY_PRIVATE_setClip(&c.gc, 0, 0, 1, 1);
    LLUI_DISPLAY_configureClip(&c.gc, false);
    UI_DRAWING_SOFT_drawHorizontalLine(&c.gc, 0, 3, 1);
    UI_DRAWING_SOFT_writePixel(&c.gc, 3, 0);  // pixels are always clipped
    EXPECT_EQ(picture(c), "....\n1111\n");
}

// Each transformation of a 3 x 2 region with values 1..6 drawn at (1, 1).
TEST(SoftDrawing, FlipTransformations) {
    const char* expected[8] = {
        ".....\n.123.\n.456.\n.....\n",  // 0
        "....\n.14.\n.25.\n.36.\n",      // 1
        "....\n.41.\n.52.\n.63.\n",      // 2
        ".....\n.321.\n.654.\n.....\n",  // 3
        ".....\n.654.\n.321.\n.....\n",  // 4
        "....\n.63.\n.52.\n.41.\n",      // 5
        ".....\n.456.\n.123.\n.....\n",  // 6
        "....\n.36.\n.25.\n.14.\n",      // 7
    };
    for (std::int32_t t = 0; t < 8; ++t) {
        Canvas src(3, 2);
        number(src);
        const bool swapped = t == 1 || t == 2 || t == 5 || t == 7;
        Canvas dst(swapped ? 4 : 5, swapped ? 5 : 4);
        DW_DRAWING_SOFT_drawFlippedImage(&dst.gc, &src.gc.image, 0, 0, 3, 2, 1, 1, t, 255);
        std::string want = expected[t];
        if (swapped) want += "....\n";
        EXPECT_EQ(picture(dst), want) << "transformation " << t;
    }
}

TEST(SoftDrawing, FlipCropMovesTheSourceOrigin) {
    // Transformation 3 cut on the right edge by 2 starts 2 pixels further in
    // the source's x.
    Canvas src(5, 1);
    number(src);
    Canvas dst(5, 1);
    LLUI_DISPLAY_PRIVATE_setClip(&dst.gc, 0, 0, 3, 1);
    DW_DRAWING_SOFT_drawFlippedImage(&dst.gc, &src.gc.image, 0, 0, 5, 1, 0, 0, 3, 255);
    EXPECT_EQ(picture(dst), "543..\n");
    std::int32_t x = 0, y = 0, w = 5, h = 1, dx = 0, dy = 0;
    ASSERT_TRUE(SoftDrawing::cropRegion(&dst.gc, &x, &y, &w, &h, &dx, &dy, 3));
    EXPECT_EQ(x, 2);
    EXPECT_EQ(w, 3);
}

TEST(SoftDrawing, FlipCodesOutsideTheTableDrawNothing) {
    Canvas src(2, 2);
    number(src);
    for (std::int32_t t : {-1, -128, 8, 9, 100}) {
        Canvas dst(2, 2);
        DW_DRAWING_SOFT_drawFlippedImage(&dst.gc, &src.gc.image, 0, 0, 2, 2, 0, 0, t, 255);
        EXPECT_EQ(picture(dst), "..\n..\n") << t;
    }
}

TEST(SoftDrawing, FlippedRegionOutsideTheSourceReadsNothingOutside) {
    Canvas src(2, 2);
    number(src);
    Canvas dst(4, 4);
    // The region reaches 2 pixels past the source on each side.
    DW_DRAWING_SOFT_drawFlippedImage(&dst.gc, &src.gc.image, -1, -1, 4, 4, 0, 0, 4, 255);
    EXPECT_EQ(picture(dst), "....\n.43.\n.21.\n....\n");
}

TEST(SoftDrawing, RegionOntoItselfOneRowLowerDoesNotSmear) {
    Canvas c(3, 4);
    number(c);
    UI_DRAWING_SOFT_drawRegion(&c.gc, 0, 0, 3, 3, 0, 1, 255);
    EXPECT_EQ(picture(c), "123\n123\n456\n789\n");
    Canvas d(4, 1);
    number(d);
    UI_DRAWING_SOFT_drawRegion(&d.gc, 0, 0, 3, 1, 1, 0, 128);  // translucent path, backwards
    EXPECT_EQ(d.at(1, 0), argb_to_rgb565(blend(rgb565_to_argb(1), rgb565_to_argb(2), 128)));
}

TEST(SoftDrawing, CopyImageOverlapDirections) {
    Canvas right(5, 1);
    number(right);
    UI_DRAWING_SOFT_copyImage(&right.gc, &right.gc.image, 0, 0, 3, 1, 2, 0);  // same row, to the right
    EXPECT_EQ(picture(right), "12123\n");
    Canvas left(5, 1);
    number(left);
    UI_DRAWING_SOFT_copyImage(&left.gc, &left.gc.image, 2, 0, 3, 1, 0, 0);
    EXPECT_EQ(picture(left), "34545\n");
    Canvas up(1, 4);
    number(up);
    UI_DRAWING_SOFT_copyImage(&up.gc, &up.gc.image, 0, 1, 1, 3, 0, 0);
    EXPECT_EQ(picture(up), "2\n3\n4\n4\n");
    Canvas down(1, 4);
    number(down);
    UI_DRAWING_SOFT_copyImage(&down.gc, &down.gc.image, 0, 0, 1, 3, 0, 1);
    EXPECT_EQ(picture(down), "1\n1\n2\n3\n");
}

TEST(SoftDrawing, CopyImageBetweenStridesStaysInsideBoth) {
    Canvas src(3, 2, 4);
    number(src);
    Canvas dst(4, 2);
    UI_DRAWING_SOFT_copyImage(&dst.gc, &src.gc.image, 1, 0, 5, 5, 2, 0);
    EXPECT_EQ(picture(dst), "..23\n..56\n");
}

TEST(SoftDrawing, TranslucentSourcesBlendOverTheDestination) {
    // An ARGB8888 source of three pixels: transparent, half red, opaque green.
    std::uint8_t* bytes = test::low_bytes(12 + 12);
    const std::uint32_t px[3] = {0x00FFFFFF, 0x80FF0000, 0xFF00FF00};
    std::memcpy(bytes + 12, px, sizeof px);
    const SPictavoImage image = NewImages::describe(bytes, 2, 3, 1, 3, 0, 12);
    for (std::int32_t alpha : {255, 128}) {
        Canvas dst(3, 1);
        for (std::int32_t x = 0; x < 3; ++x) dst.at(x, 0) = 0x001F;
        UI_DRAWING_SOFT_drawImage(&dst.gc, &image, 0, 0, 3, 1, 0, 0, alpha);
        EXPECT_EQ(dst.at(0, 0), 0x001F) << alpha;  // alpha 0 never changes the destination
        EXPECT_EQ(dst.at(1, 0), argb_to_rgb565(blend(px[1], 0xFF0000F8, alpha))) << alpha;
        EXPECT_EQ(dst.at(2, 0), argb_to_rgb565(blend(px[2], 0xFF0000F8, alpha))) << alpha;
    }
}

}  // namespace
}  // namespace tarvelo::graphics
