// New images in the image heap: geometry, refusals, and one free per block.
#include "graphics/images/new_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "graphics/display/display_system.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "graphics/pixels/pixel_formats.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"
#include "vm/memory/best_fit_allocator.h"

namespace tarvelo::graphics {
namespace {

std::uint32_t block_size(std::uint32_t request) {
    bool overflow = false;
    return BestFitAllocator::blockSizeFor(request, &overflow);
}

class NewImagesTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(test::port().start(&display_), 0); }
    SPictavoGraphicsContext display_{};
};

TEST(ImageHeapBeforeStart, AllocationFails) {
    ImageHeap::resetForTests();
    EXPECT_EQ(ImageHeap::allocate(16), nullptr);
}

TEST_F(NewImagesTest, TenByTenRGB565Geometry) {
    const std::uint32_t before = ImageHeap::freeBytes();
    SPictavoGraphicsContext gc{};
    ASSERT_EQ(NewImages::open(10, 10, 0, true, &gc.image), 0);
    const auto* header = to_ptr<const RawHeader>(gc.image.data);
    EXPECT_EQ(gc.image.format, 4);
    EXPECT_EQ(gc.image.memory_width, 10);
    EXPECT_EQ(gc.image.flags, kImageHeapOwned | kImageMutable);
    EXPECT_EQ((gc.image.data + header->pixel_offset) % 64, 0u);
    EXPECT_GE(header->pixel_offset, 12);
    EXPECT_LT(header->pixel_offset, 12 + 64);
    EXPECT_EQ(header->flags & kRawDisplayFormat, kRawDisplayFormat);
    EXPECT_EQ(gc.clip_x2, 9);
    EXPECT_EQ(before - ImageHeap::freeBytes(), block_size(12 + 200 + 64));
    EXPECT_EQ(test::port().registered, 1);
}

TEST_F(NewImagesTest, MutableImageWithoutDrawerIsRefused) {
    SPictavoGraphicsContext gc{};
    std::memset(&gc, 0xAB, sizeof gc);
    test::port().next_drawer = 0;
    EXPECT_EQ(NewImages::open(4, 4, 8, true, &gc.image), kErrNoDrawer);  // A8 on drawer 0
    test::port().next_drawer = -1;
    EXPECT_EQ(NewImages::open(4, 4, 2, true, &gc.image), kErrNoDrawer);
    EXPECT_EQ(gc.image.data, 0xABABABABu);  // untouched
    EXPECT_EQ(test::port().registered, 0);
}

TEST_F(NewImagesTest, SizesThatCannotExistAreRefused) {
    struct Case {
        std::int32_t w, h, format;
    };
    const Case cases[] = {{0, 5, 0},     {5, 0, 0},         {-1, 5, 0},       {65536, 1, 0},
                          {46341, 46341, 0}, {32768, 32768, 2}, {2000, 2000, 0}, {4, 4, 1}};
    for (const Case& c : cases) {
        SPictavoGraphicsContext gc{};
        std::memset(&gc, 0xAB, sizeof gc);
        EXPECT_EQ(NewImages::open(c.w, c.h, c.format, false, &gc.image), kErrOutOfMemory) << c.w << "x" << c.h;
        EXPECT_EQ(gc.image.data, 0xABABABABu);
    }
    EXPECT_EQ(test::port().registered, 0);
}

TEST_F(NewImagesTest, ImagesDrawnIntoHaveAClipOfTheirSize) {
    // The clip corners are signed 16-bit: 32767 is the last size a mutable
    // image can take; an image only read from may be wider.
    struct Case {
        std::int32_t w, h;
        bool is_mutable;
        std::int32_t result;
    };
    const Case cases[] = {{32767, 1, true, 0},       {1, 32767, true, 0},         {32768, 1, true, kErrOutOfMemory},
                          {1, 40000, true, kErrOutOfMemory}, {65535, 1, true, kErrOutOfMemory}, {40000, 1, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        SPictavoGraphicsContext gc{};
        ASSERT_EQ(NewImages::open(c.w, c.h, 0, c.is_mutable, &gc.image), c.result);
        if (c.result != 0) continue;
        if (c.is_mutable) {
            EXPECT_EQ(gc.clip_x2, c.w - 1);
            EXPECT_EQ(gc.clip_y2, c.h - 1);
        }
        LLUI_DISPLAY_closeOffScreen(&gc.image);
    }
}

TEST_F(NewImagesTest, CloseFreesTheBlockOnce) {
    const std::uint32_t before = ImageHeap::freeBytes();
    SPictavoGraphicsContext a{}, b{};
    ASSERT_EQ(NewImages::open(10, 10, 0, true, &a.image), 0);
    ASSERT_EQ(NewImages::open(7, 3, 2, false, &b.image), 0);
    LLUI_DISPLAY_closeOffScreen(&a.image);
    LLUI_DISPLAY_closeOffScreen(&a.image);  // closed already: nothing more
    LLUI_DISPLAY_closeOffScreen(&b.image);
    EXPECT_EQ(test::port().unregistered, 2);
    EXPECT_TRUE(a.image.flags & kImageClosed);
    EXPECT_EQ(ImageHeap::freeBytes(), before);
}

TEST(ImageResources, Descriptions) {
    char buffer[14];
    std::memset(buffer, 'x', sizeof buffer);
    describe_resource_image(nullptr, buffer, 13);  // too short: untouched
    EXPECT_EQ(buffer[0], 'x');
    describe_buffered_image(nullptr, buffer, 14);
    EXPECT_STREQ(buffer, "BufferedImage");
    describe_resource_image(nullptr, buffer, 14);
    EXPECT_STREQ(buffer, "ResourceImage");
}

TEST_F(NewImagesTest, WholeAreaInOneBlockFails) {
    EXPECT_EQ(ImageHeap::allocate(static_cast<std::uint32_t>(ImageHeap::areaEnd() - ImageHeap::areaStart())), nullptr);
}

TEST_F(NewImagesTest, RuntimeHeaderOpaqueFlags) {
    for (std::int32_t format : {2, 3, 4, 5, 6, 8}) {
        SPictavoImage image{};
        ASSERT_EQ(NewImages::open(3, 2, format, false, &image), 0) << format;
        const bool opaque = format == 3 || format == 4;
        EXPECT_EQ((to_ptr<const RawHeader>(image.data)->flags & kRawOpaque) != 0, opaque) << format;
        LLUI_DISPLAY_closeOffScreen(&image);
    }
}

TEST_F(NewImagesTest, ConversionRegistersOnlyTheImageKept) {
    const std::uint32_t before = ImageHeap::freeBytes();
    SPictavoImage image{};
    ASSERT_EQ(NewImages::open(3, 2, 2, false, &image), 0);  // ARGB8888, as a decoder makes it
    const std::uint32_t px[6] = {0xFFFF0000, 0x8000FF00, 0x00000000, 0xFF0000FF, 0xFFFFFFFF, 0xFF123456};
    std::memcpy(image_pixels(&image), px, sizeof px);
    ASSERT_EQ(NewImages::convertInPlace(&image, 4), 0);
    EXPECT_EQ(image.format, 4);
    EXPECT_EQ(test::port().registered, 2);    // the source, then the converted image
    EXPECT_EQ(test::port().unregistered, 1);  // the source, disposed of in between
    for (std::int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(LLUI_DISPLAY_readPixel(&image, i % 3, i / 3), rgb565_to_argb(argb_to_rgb565(px[i]))) << i;
    LLUI_DISPLAY_closeOffScreen(&image);
    EXPECT_EQ(ImageHeap::freeBytes(), before);
}

TEST_F(NewImagesTest, RunLengthSourcesConvertThroughTheirReader) {
    // A8RLE 4 x 2: 3 opaque, 2 of opacity 0x40, 3 transparent.
    std::uint8_t* bytes = test::low_bytes(64);
    const std::uint8_t groups[] = {0x03, 0x80, 0x02, 0x00, 0x40, 0x00, 0x03, 0xC0, 0x00, 0x00};
    std::memcpy(bytes + 12, groups, sizeof groups);
    const SPictavoImage source = NewImages::describe(bytes, 23, 4, 2, 4, 0, 12);
    SPictavoImage a8{};
    ASSERT_EQ(NewImages::convert(&source, 0, 0, 4, 2, 8, &a8, true), 0);
    const std::uint8_t* p = image_pixels(&a8);
    const std::uint8_t expected[8] = {0xFF, 0xFF, 0xFF, 0x40, 0x40, 0, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p[(i / 4) * a8.memory_width + i % 4], expected[i]) << i;
    SPictavoImage a4{};
    EXPECT_EQ(NewImages::convert(&source, 0, 0, 4, 2, 7, &a4, true), kErrNoDrawer);  // no A4 writer
    EXPECT_EQ(NewImages::convert(&source, 1, 0, 4, 2, 8, &a4, true), kErrOutOfMemory);  // past the source
    LLUI_DISPLAY_closeOffScreen(&a8);
}

}  // namespace
}  // namespace tarvelo::graphics
