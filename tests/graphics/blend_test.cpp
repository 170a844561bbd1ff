// Blending: the formula and the per-drawing blender, pixel-exact.
#include "graphics/pixels/blend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/pixels/blend_rows.h"
#include "graphics/pixels/pixel_formats.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

TEST(Blend, Formula) {
    EXPECT_EQ(blend(0xFFFFFFFF, 0xFF000000, 128), 0xFF808080u);  // white over black at 128
    EXPECT_EQ(blend(0xFFFFFFFF, 0x00123456, 0), 0xFF123456u);     // alpha 0: the destination, opaque
    EXPECT_EQ(blend(0x80FFFFFF, 0xFF000000, 255), 0xFF808080u);   // the colour's own alpha
    EXPECT_EQ(blend(0x80FFFFFF, 0xFF000000, 128), 0xFF404040u);   // 128 * 128 / 255 = 64
    EXPECT_EQ(blend(0xFFFFFFFF, 0xFF000000, 1000), 0xFFFFFFFFu);  // alpha beyond 255 is clamped
}

TEST(Blend, ChannelsAreTheIntegerFormula) {
    for (std::uint32_t a = 0; a < 256; ++a)
        for (std::uint32_t c = 0; c < 256; c += 5)
            for (std::uint32_t d = 0; d < 256; d += 3) {
                const std::uint32_t want = (c * a + d * (255 - a)) / 255;
                const std::uint32_t got = blend_channels(a, c, 255 - c, c ^ 0x5A, d << 16 | (255 - d) << 8 | (d ^ 0x33));
                ASSERT_EQ(got >> 16 & 0xFF, want) << a << " " << c << " " << d;
                ASSERT_EQ(got >> 8 & 0xFF, ((255 - c) * a + (255 - d) * (255 - a)) / 255);
                ASSERT_EQ(got & 0xFF, ((c ^ 0x5A) * a + (d ^ 0x33) * (255 - a)) / 255);
                ASSERT_EQ(got >> 24, 0xFFu);
            }
}

// Rows of ARGB8888 over RGB565, vector loop and scalar loop alike, against
// the per-pixel formula at every global alpha: every source alpha, runs of
// eight transparent and eight opaque pixels (the vector loop's shortcuts),
// a remainder shorter than a vector step, and a source at an odd address.
TEST(Blend, ImageRowsGiveThePixelFormulaAtEveryAlpha) {
    constexpr std::int32_t kCount = 256 + 16 + 16 + 7;
    std::uint32_t seed = 7;
    auto random = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    std::vector<std::uint32_t> source(kCount);
    std::vector<std::uint16_t> destination(kCount);
    std::vector<std::uint8_t> bytes(4 * kCount + 1);
    for (std::uint32_t alpha = 0; alpha < 256; ++alpha) {
        for (std::int32_t i = 0; i < kCount; ++i) {
            const std::uint32_t a = i < 256 ? static_cast<std::uint32_t>(i) * 97 % 256 : i < 272 ? (i < 264 ? 0 : 255) : random() & 0xFF;
            source[i] = a << 24 | (random() & 0xFFFFFF);
            destination[i] = static_cast<std::uint16_t>(random());
        }
        std::memcpy(bytes.data() + 1, source.data(), 4 * kCount);
        for (auto* blend_row : {&blend_argb8888_over_rgb565, &blend_argb8888_over_rgb565_scalar}) {
            std::vector<std::uint16_t> got = destination;
            blend_row(got.data(), bytes.data() + 1, kCount, alpha);
            for (std::int32_t i = 0; i < kCount; ++i) {
                const std::uint32_t p = source[i];
                std::uint16_t want = destination[i];
                if (p >> 24 != 0)
                    want = alpha == 255 && p >> 24 == 255 ? argb_to_rgb565(p)
                                                          : argb_to_rgb565(blend(p, rgb565_to_argb(want), alpha));
                ASSERT_EQ(got[i], want) << "alpha " << alpha << " pixel " << i << " " << std::hex << p << " over "
                                        << destination[i] << (blend_row == &blend_argb8888_over_rgb565 ? "" : " scalar");
            }
        }
    }
}

TEST(Blend, FixedBackgroundTableHasEightSteps) {
    test::Canvas canvas(8, 1);
    canvas.gc.foreground_color = 0xFFFFFFFF;
    canvas.gc.background_color = 0x00000000;
    canvas.gc.image.flags |= kImageBackgroundSet;
    Blender b;
    b.prepare(&canvas.gc);
    ASSERT_EQ(b.method(), Blender::Method::FixedColours);
    // Opacities 0..31 write the background, 224..255 the foreground.
    for (std::uint32_t o : {0u, 31u}) EXPECT_EQ(b.blendColour(0xFF777777, o), 0xFF000000u) << o;
    for (std::uint32_t o : {224u, 255u}) EXPECT_EQ(b.blendColour(0xFF777777, o), 0xFFF8FCF8u) << o;
    EXPECT_EQ(b.table(4), blend(0xFFF8FCF8, 0xFF000000, 145));
    // The destination is not read.
    canvas.at(0, 0) = 0x1234;
    b.blendPixel(0, 0, 10);
    EXPECT_EQ(canvas.at(0, 0), 0x0000);
}

TEST(Blend, TranslucentForegroundBlendsAtItsAlpha) {
    test::Canvas canvas(2, 1);
    canvas.gc.foreground_color = 0x80FFFFFF;
    Blender b;
    b.prepare(&canvas.gc);
    ASSERT_EQ(b.method(), Blender::Method::Translucent);
    b.blendPixel(0, 0, 255);  // opacity 255 still blends at 128
    EXPECT_EQ(canvas.at(0, 0), argb_to_rgb565(0xFF7C7E7C));
}

TEST(Blend, OpaqueForegroundAtFullOpacityWritesTheColour) {
    test::Canvas canvas(2, 1);
    canvas.gc.foreground_color = 0xFF00FF00;
    canvas.at(1, 0) = 0xFFFF;
    Blender b;
    b.prepare(&canvas.gc);
    ASSERT_EQ(b.method(), Blender::Method::Opaque);
    b.blendPixel(0, 0, 255);
    EXPECT_EQ(canvas.at(0, 0), 0x07E0);
    b.blendPixel(1, 0, 0);
    EXPECT_EQ(canvas.at(1, 0), 0xFFFF);
}

}  // namespace
}  // namespace tarvelo::graphics
