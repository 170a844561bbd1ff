// New images in the image heap: geometry, refusals, and one free per block.
#include "graphics/new_images.h"

#include <gtest/gtest.h>

#include <cstring>

#include "graphics/image_heap.h"
#include "graphics/llui_display.h"
#include "vm/memory/best_fit_allocator.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"

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

}  // namespace
}  // namespace tarvelo::graphics
