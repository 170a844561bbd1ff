// Restoring one rectangle of the front buffer into the back buffer: whole
// bytes per pixel are plain copies; a source below 8 bits per pixel, whose
// pixels share bytes, goes to the drawer's copyImage with the rectangle at
// the same place, and its status is the restore's.
#include <gtest/gtest.h>

#include "graphics/images/new_images.h"
#include "port/display/region_restore.h"
#include "tests/graphics/test_port.h"
#include "tests/port/display/drawing/recording_drawers.h"

namespace tarvelo::port::drawing::test {
namespace {

using graphics::NewImages;
using graphics::test::Canvas;
using graphics::test::low_bytes;

// An image of `format` (`bpp` bits per pixel), 32 x 8 pixels.
SPictavoImage image_of(std::int8_t format, std::uint32_t bpp) {
    std::uint8_t* block = low_bytes(12 + 32 * 8 * 4);
    for (std::uint32_t i = 0; i < 32 * 8 * bpp / 8; ++i) block[12 + i] = static_cast<std::uint8_t>(i * 7 + 1);
    return NewImages::describe(block, format, 32, 8, 32, graphics::kRawOpaque, 12);
}

TEST(RegionRestore, SubByteSourceGoesToTheDrawer) {
    const struct {
        std::int8_t format;
        std::uint32_t bpp;
    } formats[] = {{7 /* A4 */, 4}, {11 /* A2 */, 2}, {12 /* A1 */, 1}, {13 /* C4 */, 4}};
    for (const auto& f : formats) {
        const SPictavoImage source = image_of(f.format, f.bpp);
        ASSERT_EQ(LLUI_DISPLAY_getImageBPP(&source), f.bpp) << int{f.format};
        Canvas back(32, 8);
        for (const std::int32_t status : {0, 1}) {
            recording() = Recording{};
            recording().status = status;
            const ui_rect_t r{3, 2, 17, 6};
            EXPECT_EQ(UI_DISPLAY_BRS_restore(&back.gc, &source, &r), status);
            ASSERT_EQ(recording().calls.size(), 1u) << int{f.format};
            const DrawCall& call = recording().calls[0];
            EXPECT_EQ(call.operation, "copyImage");
            EXPECT_EQ(call.args, (std::vector<double>{address(&source), 3, 2, 15, 5, 3, 2}));
        }
        for (std::int32_t y = 0; y < 8; ++y)
            for (std::int32_t x = 0; x < 32; ++x) EXPECT_EQ(back.at(x, y), 0) << "the restore copied bytes itself";
    }
}

TEST(RegionRestore, WholeBytesAreCopiedWithoutTheDrawer) {
    recording() = Recording{};
    Canvas front(32, 8), back(32, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 32; ++x) front.at(x, y) = static_cast<std::uint16_t>(1 + x + 100 * y);
    const ui_rect_t r{3, 2, 17, 6}, whole_rows{0, 7, 31, 7};
    EXPECT_EQ(UI_DISPLAY_BRS_restore(&back.gc, &front.gc.image, &r), 0);
    EXPECT_EQ(UI_DISPLAY_BRS_restore(&back.gc, &front.gc.image, &whole_rows), 0);
    EXPECT_TRUE(recording().calls.empty());
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 32; ++x) {
            const bool inside = (x >= 3 && x <= 17 && y >= 2 && y <= 6) || y == 7;
            EXPECT_EQ(back.at(x, y), inside ? front.at(x, y) : 0) << x << ", " << y;
        }
}

}  // namespace
}  // namespace tarvelo::port::drawing::test
