// The clip of a graphics context and the descriptor accessors.
#include <gtest/gtest.h>

#include "graphics/display/llui_display.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

struct Clip {
    std::int32_t x1, y1, x2, y2;
    bool empty;
};

Clip clip_of(const SPictavoGraphicsContext& gc) {
    return {gc.clip_x1, gc.clip_y1, gc.clip_x2, gc.clip_y2, (gc.image.flags & kImageClipEmpty) != 0};
}

TEST(Clip, SetClipCases) {
    struct Case {
        std::int32_t x, y, w, h;
        Clip expected;
    };
    const Case cases[] = {
        {-10, -10, 5, 5, {0, 0, -1, -1, true}},     // wholly left and above: empty
        {10, 0, 0, 5, {10, 0, 9, 4, true}},          // width 0 inside: empty
        {2, 3, 4, 2, {2, 3, 5, 4, false}},
        {20, 20, 10, 10, {20, 20, 29, 29, false}},  // cut at the bounds below
        {90, 95, 50, 50, {90, 95, 99, 99, false}},
        {150, 0, 5, 5, {100, 0, 99, 4, true}},       // right of the image
        {-2147483647, 0, 2147483647, 1, {0, 0, -1, 0, true}},  // no sum wraps
    };
    for (const Case& c : cases) {
        test::Canvas canvas(64, 64);
        canvas.gc.image.width = 100;
        canvas.gc.image.height = 100;
        LLUI_DISPLAY_PRIVATE_setClip(&canvas.gc, c.x, c.y, c.w, c.h);
        const Clip got = clip_of(canvas.gc);
        EXPECT_EQ(got.x1, c.expected.x1) << c.x;
        EXPECT_EQ(got.y1, c.expected.y1) << c.x;
        EXPECT_EQ(got.x2, c.expected.x2) << c.x;
        EXPECT_EQ(got.y2, c.expected.y2) << c.x;
        EXPECT_EQ(got.empty, c.expected.empty) << c.x;
    }
}

TEST(Clip, ResetClearsTheEmptyFlagAndIntersectNarrows) {
    test::Canvas canvas(10, 10);
    LLUI_DISPLAY_PRIVATE_setClip(&canvas.gc, -10, -10, 5, 5);
    EXPECT_TRUE(LLUI_DISPLAY_isEmptyClip(&canvas.gc));
    LLUI_DISPLAY_resetClip(&canvas.gc);
    EXPECT_FALSE(LLUI_DISPLAY_isEmptyClip(&canvas.gc));
    LLUI_DISPLAY_PRIVATE_setClip(&canvas.gc, 2, 2, 6, 6);
    LLUI_DISPLAY_PRIVATE_intersectClip(&canvas.gc, 5, 0, 10, 4);
    const Clip c = clip_of(canvas.gc);
    EXPECT_EQ(c.x1, 5);
    EXPECT_EQ(c.y1, 2);
    EXPECT_EQ(c.x2, 7);
    EXPECT_EQ(c.y2, 3);
}

TEST(Clip, LinesRectanglesAndRegions) {
    test::Canvas canvas(10, 10);
    LLUI_DISPLAY_PRIVATE_setClip(&canvas.gc, 2, 2, 5, 5);  // 2..6
    std::int32_t a = 0, b = 9;
    EXPECT_TRUE(LLUI_DISPLAY_clipHorizontalLine(&canvas.gc, &a, &b, 4));
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 6);
    a = 0, b = 1;
    EXPECT_FALSE(LLUI_DISPLAY_clipHorizontalLine(&canvas.gc, &a, &b, 4));
    a = 0, b = 9;
    EXPECT_FALSE(LLUI_DISPLAY_clipVerticalLine(&canvas.gc, &a, &b, 7));
    std::int32_t x1 = 0, y1 = 3, x2 = 3, y2 = 20;
    EXPECT_TRUE(LLUI_DISPLAY_clipRectangle(&canvas.gc, &x1, &y1, &x2, &y2));
    EXPECT_EQ(x1, 2);
    EXPECT_EQ(y2, 6);
    std::int32_t sx = 0, sy = 0, w = 4, h = 4, dx = 0, dy = 5;
    EXPECT_TRUE(LLUI_DISPLAY_clipRegion(&canvas.gc, &sx, &sy, &w, &h, &dx, &dy));
    EXPECT_EQ(sx, 2);
    EXPECT_EQ(dx, 2);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    EXPECT_TRUE(LLUI_DISPLAY_isRegionInClip(&canvas.gc, 2, 2, 5, 5));
    EXPECT_FALSE(LLUI_DISPLAY_isRegionInClip(&canvas.gc, 2, 2, 6, 5));
    EXPECT_FALSE(LLUI_DISPLAY_isRegionInClip(&canvas.gc, 2, 2, 2147483647, 1));
}

TEST(Accessors, ReadPixelAndStrides) {
    test::Canvas canvas(4, 2);
    canvas.at(3, 1) = 0xF800;
    EXPECT_EQ(LLUI_DISPLAY_readPixel(&canvas.gc.image, 3, 1), 0xFFF80000u);
    EXPECT_EQ(LLUI_DISPLAY_readPixel(&canvas.gc.image, 4, 0), 0u);  // at the width
    EXPECT_EQ(LLUI_DISPLAY_readPixel(&canvas.gc.image, -1, 0), 0u);
    EXPECT_EQ(LLUI_DISPLAY_getStrideInBytes(&canvas.gc.image), 8u);
    canvas.gc.image.format = -3;  // a custom format: no reader, no division by zero
    EXPECT_EQ(LLUI_DISPLAY_readPixel(&canvas.gc.image, 3, 1), 0u);
    EXPECT_EQ(LLUI_DISPLAY_getImageBPP(&canvas.gc.image), 0u);
    EXPECT_EQ(LLUI_DISPLAY_getStrideInPixels(&canvas.gc.image), 4u);
}

TEST(Accessors, TransparencyFlags) {
    test::Canvas canvas(4, 2);
    EXPECT_FALSE(LLUI_DISPLAY_isTransparent(&canvas.gc.image));  // the header's opaque flag
    canvas.gc.image.flags |= kImageBareBuffer | kImageNeverTransparent;
    EXPECT_FALSE(LLUI_DISPLAY_isTransparent(&canvas.gc.image));  // 0x04 tested before 0x08
    canvas.gc.image.flags &= static_cast<std::uint8_t>(~kImageNeverTransparent);
    EXPECT_TRUE(LLUI_DISPLAY_isTransparent(&canvas.gc.image));
}

}  // namespace
}  // namespace tarvelo::graphics
