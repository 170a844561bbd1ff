// Recording drawings into buffered vector images, read back block by block.
#include "port/display/vglite/vector_image.h"

#include <vector>

#include "graphics/images/image_heap.h"
#include "graphics/images/new_images.h"
#include "platform/address.h"
#include "tests/port/display/vglite/gpu_fixture.h"
#include "tests/port/display/vglite/path_decoder.h"

extern "C" {
std::int32_t UI_DRAWING_drawLine_1(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                   std::int32_t y2);
std::int32_t UI_DRAWING_fillRectangle_1(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                        std::int32_t y2);
std::int32_t UI_DRAWING_fillCircle_1(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                     std::int32_t diameter);
std::int32_t UI_DRAWING_drawCircleArc_1(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                        std::int32_t diameter, float start_angle, float arc_angle);
std::int32_t UI_DRAWING_drawThickFadedPoint_1(SPictavoGraphicsContext* gc, std::int32_t x, std::int32_t y,
                                              std::int32_t thickness, std::int32_t fade);
void UI_DRAWING_adjustNewImageCharacteristics_1(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                std::uint32_t* data_size, std::uint32_t* data_alignment);
void UI_DRAWING_initializeNewImage_1(SPictavoImage* image);
void UI_DRAWING_freeImageResources_1(SPictavoImage* image);
}

namespace tarvelo::gpu::test {
namespace {

using graphics::ImageHeap;

// One recorded block as a test reads it.
struct Recorded {
    std::uint8_t kind, fill_rule, blend;
    std::uint32_t color;
    std::int32_t scissor[4];
    float matrix[9];
    float box[4];
    std::uint8_t format;
    std::vector<PathCommand> path;
};

std::vector<Recorded> decode_blocks(const SPictavoImage& image) {
    std::vector<Recorded> out;
    const auto* header = to_ptr<BviImageHeader>(LLUI_DISPLAY_getBufferAddress(&image));
    std::uint32_t address = header->first;
    while (to_ptr<std::uint8_t>(address)[0] != kBviEndKind) {
        const auto* block = to_ptr<BviBlock>(address);
        const auto* record = to_ptr<BviPathRecord>(block->path);
        Recorded r{block->kind, block->fill_rule, block->blend, block->color, {}, {}, {}, record->format, {}};
        std::memcpy(r.scissor, block->scissor, sizeof r.scissor);
        std::memcpy(r.matrix, block->matrix, sizeof r.matrix);
        std::memcpy(r.box, record->bounding_box, sizeof r.box);
        r.path = decode_path(record + 1, static_cast<std::int32_t>(record->length));
        out.push_back(r);
        address = block->next;
    }
    return out;
}

class VectorImage : public GpuTest {
protected:
    void SetUp() override {
        GpuTest::SetUp();
        if (!ImageHeap::ready()) ImageHeap::initialize(ImageHeap::areaStart(), ImageHeap::areaEnd());
        heap_before = ImageHeap::freeBytes();
        block = graphics::test::low_bytes(12 + 64);
        std::uint32_t size = 0, alignment = 4;
        UI_DRAWING_adjustNewImageCharacteristics_1(kBviFormat, 100, 80, &size, &alignment);
        ASSERT_EQ(size, 36u);
        gc.image = graphics::NewImages::describe(block, kBviFormat, 100, 80, 100, 0, 12);
        graphics::NewImages::initMutable(&gc, 100, 80, 1);
        header()->flags = 0xFFFFFFFF;
        UI_DRAWING_initializeNewImage_1(&gc.image);
        gc.foreground_color = 0xFF336699;
    }
    void TearDown() override {
        UI_DRAWING_freeImageResources_1(&gc.image);
        EXPECT_EQ(ImageHeap::freeBytes(), heap_before);
        GpuTest::TearDown();
    }
    BviImageHeader* header() { return to_ptr<BviImageHeader>(LLUI_DISPLAY_getBufferAddress(&gc.image)); }

    std::uint8_t* block = nullptr;
    SPictavoGraphicsContext gc{};
    std::uint32_t heap_before = 0;
};

TEST_F(VectorImage, NewImageIsEmpty) {
    EXPECT_EQ(header()->width, 100.0f);
    EXPECT_EQ(header()->height, 80.0f);
    EXPECT_EQ(header()->flags, 0x7F000000u);
    EXPECT_EQ(header()->link, 0u);
    EXPECT_EQ(header()->first, to_word(header()->end_marker));
    EXPECT_TRUE(decode_blocks(gc.image).empty());
    UI_DRAWING_freeImageResources_1(&gc.image);
    EXPECT_EQ(ImageHeap::freeBytes(), heap_before);
}

TEST_F(VectorImage, RecordingsComeBackInDrawingOrder) {
    EXPECT_EQ(UI_DRAWING_drawLine_1(&gc, 1, 2, 6, 4), 0);
    EXPECT_EQ(UI_DRAWING_drawLine_1(&gc, 1, 2, 6, 4), 0);
    EXPECT_EQ(UI_DRAWING_fillRectangle_1(&gc, 10, 20, 29, 24), 0);
    EXPECT_EQ(UI_DRAWING_fillCircle_1(&gc, 3, 3, 10), 0);
    EXPECT_EQ(gc.drawing_log, 0u);
    EXPECT_TRUE(drawings().empty());  // recording never draws
    const auto r = decode_blocks(gc.image);
    ASSERT_EQ(r.size(), 4u);
    for (const auto& b : r) {
        EXPECT_EQ(b.kind, kBviPathKind);
        EXPECT_EQ(b.blend, 1);
        EXPECT_EQ(b.color, 0xFF336699u);
        EXPECT_EQ(b.format, VG_LITE_PATH_S16);
        EXPECT_EQ((std::vector<std::int32_t>{b.scissor[0], b.scissor[1], b.scissor[2], b.scissor[3]}),
                  (std::vector<std::int32_t>{0, 0, 100, 80}));
    }
    EXPECT_EQ(r[0].path, (std::vector<PathCommand>{M(0, 0), L(1, 0), L(6, 2), L(6, 3), L(5, 3), L(0, 1), E()}));
    EXPECT_EQ(r[0].matrix[2], 1.0f);  // translate (1, 2)
    EXPECT_EQ(r[0].matrix[5], 2.0f);
    EXPECT_EQ(r[0].fill_rule, 0);
    EXPECT_EQ(r[1].path, r[0].path);
    EXPECT_EQ(r[2].path, (std::vector<PathCommand>{M(10, 20), L(30, 20), L(30, 25), L(10, 25), L(10, 20), E()}));
    EXPECT_EQ(r[2].fill_rule, 1);
    EXPECT_EQ(r[2].matrix[0], 1.0f);
    EXPECT_EQ(r[3].path.size(), 6u);  // the fixed circle
    EXPECT_EQ(r[3].box[2], 200.0f);
}

TEST_F(VectorImage, ScissorIsTheClipOrNone) {
    LLUI_DISPLAY_PRIVATE_setClip(&gc, 5, 6, 20, 10);
    UI_DRAWING_drawLine_1(&gc, 6, 7, 9, 9);
    LLUI_DISPLAY_configureClip(&gc, false);
    UI_DRAWING_drawLine_1(&gc, 6, 7, 9, 9);
    const auto r = decode_blocks(gc.image);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ((std::vector<std::int32_t>{r[0].scissor[0], r[0].scissor[1], r[0].scissor[2], r[0].scissor[3]}),
              (std::vector<std::int32_t>{5, 6, 20, 10}));
    EXPECT_EQ(r[1].scissor[0], -1);
}

TEST_F(VectorImage, FadedShapesBeyondOneAndHugeArcs) {
    EXPECT_EQ(UI_DRAWING_drawThickFadedPoint_1(&gc, 5, 5, 4, 2), 0);
    EXPECT_EQ(gc.drawing_log, 0x80000001u);
    gc.drawing_log = 0;
    EXPECT_EQ(UI_DRAWING_drawThickFadedPoint_1(&gc, 5, 5, 4, 1), 0);
    // An outline arc with a far-away start still fits its buffer.
    EXPECT_EQ(UI_DRAWING_drawCircleArc_1(&gc, 10, 10, 60, 2.0e9f, 300.0f), 0);
    EXPECT_EQ(gc.drawing_log, 0u);
    const auto r = decode_blocks(gc.image);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(count(r[1].path, VG_LITE_CMD_CUBIC), 8);
}

// With the image heap exhausted nothing is recorded and the list stays as
// it was, whether the block or the path record did not fit.
TEST_F(VectorImage, OutOfMemoryLeavesTheListIntact) {
    UI_DRAWING_drawLine_1(&gc, 1, 1, 2, 2);
    void* hole = ImageHeap::allocate(68);
    std::vector<void*> taken;
    for (std::uint32_t size = 1u << 20; size >= 4; size /= 2)
        while (void* p = ImageHeap::allocate(size)) taken.push_back(p);
    testing::internal::CaptureStdout();
    UI_DRAWING_drawLine_1(&gc, 1, 1, 2, 2);  // no block
    EXPECT_EQ(gc.drawing_log, 0xA0000004u);
    gc.drawing_log = 0;
    ImageHeap::free(hole);
    UI_DRAWING_drawLine_1(&gc, 1, 1, 2, 2);  // a block, no path record
    EXPECT_EQ(gc.drawing_log, 0xA0000004u);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find("[ERROR - VECTREL] : OOM\n"), std::string::npos);
    for (void* p : taken) ImageHeap::free(p);
    EXPECT_EQ(decode_blocks(gc.image).size(), 1u);
    gc.drawing_log = 0;
    UI_DRAWING_drawLine_1(&gc, 1, 1, 2, 2);
    EXPECT_EQ(decode_blocks(gc.image).size(), 2u);
}

TEST(VectorImageCoding, FillRuleAndBlend) {
    EXPECT_EQ(VG_VGLITE_HELPER_get_vectrel_fill_rule(VG_LITE_FILL_EVEN_ODD), 1);
    EXPECT_EQ(VG_VGLITE_HELPER_get_vectrel_fill_rule(VG_LITE_FILL_NON_ZERO), 0);
    const std::uint8_t expected[10] = {0, 1, 2, 3, 4, 7, 8, 6, 5, 0};
    for (int b = 0; b < 10; ++b)
        EXPECT_EQ(VG_VGLITE_HELPER_get_vectrel_blend(static_cast<vg_lite_blend_t>(b)), expected[b]) << b;
    EXPECT_TRUE(UI_DRAWING_is_drawer_1(-8));
    EXPECT_FALSE(UI_DRAWING_is_drawer_1(4));
}

}  // namespace
}  // namespace tarvelo::gpu::test
