// GPU set-up: the stride and format rules, source descriptors and the
// premultiplication switch, paint colours, submission and the completion
// interrupt.
#include "port/display/vglite/gpu_setup.h"

#include <memory>

#include "FreeRTOS.h"
#include "graphics/images/new_images.h"
#include "platform/board/board.h"
#include "platform/board/registers.h"
#include "port/display/vglite/gpu_drawer.h"
#include "semphr.h"
#include "tests/port/display/vglite/gpu_fixture.h"
#include "tests/support/task_harness.h"

namespace tarvelo::gpu::test {
namespace {

using graphics::NewImages;
using graphics::test::low_bytes;

class GpuSetup : public GpuTest {};

// An image of `format` with `memory_width` pixels per row (whole bytes).
SPictavoImage image_of(std::int8_t format, std::uint32_t w, std::uint32_t h, std::uint32_t memory_width,
                       bool opaque = false) {
    std::uint8_t* block = low_bytes(12 + 32 * 32 * 4);
    return NewImages::describe(block, format, w, h, memory_width, opaque ? graphics::kRawOpaque : std::uint8_t{0}, 12);
}

TEST_F(GpuSetup, StrideRule) {
    struct Case {
        std::int32_t format;
        std::uint32_t width, expected;
    };
    const Case cases[] = {
        {4, 720, 1440},
        {0, 17, 64},
        {2, 1, 64},
        {7, 17, 16},
        {8, 33, 48},
        {24, 16, 64},
        {26, 3, 32},
        // No GPU layout: the default stride, whatever the code (custom
        // formats are negative and read as bytes 249..255).
        {3, 17, 777},
        {1, 17, 777},
        {23, 5, 777},
        {-1, 5, 777},
        {-7, 5, 777},
        {-8, 5, 777},
        {27, 5, 777},
        {127, 5, 777},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UI_DRAWING_getNewImageStrideInBytes_0(c.format, c.width, 4, 777), c.expected) << c.format;
    EXPECT_EQ(UI_VGLITE_get_bpp(-3), -1);
    EXPECT_EQ(UI_VGLITE_get_bpp(5), 16);
}

TEST_F(GpuSetup, SourceDescriptorsAndTheirRefusals) {
    vg_lite_buffer_t b{};
    SPictavoImage ok = image_of(4, 20, 4, 32, true);
    EXPECT_EQ(UI_VGLITE_configure_source(&b, &ok), 1);
    EXPECT_EQ(b.format, VG_LITE_FMT_RGB565);
    EXPECT_EQ(b.stride, 64);
    EXPECT_EQ(b.image_mode, VG_LITE_IMAGE_MODE_MULTIPLY);
    EXPECT_EQ(b.transparency_mode, VG_LITE_IMAGE_TRANSPARENT);
    EXPECT_EQ(b.address, LLUI_DISPLAY_getBufferAddress(&ok));
    SPictavoImage rgb888 = image_of(3, 16, 4, 16, true);
    SPictavoImage rle = image_of(1, 16, 4, 16);
    SPictavoImage tight = image_of(4, 20, 4, 20, true);
    EXPECT_EQ(UI_VGLITE_configure_source(&b, &rgb888), 0);
    EXPECT_EQ(UI_VGLITE_configure_source(&b, &rle), 0);
    EXPECT_EQ(UI_VGLITE_configure_source(&b, &tight), 0);
}

// Straight-alpha sources are premultiplied by the GPU as it reads them;
// premultiplied ones are read as they are; the switch is restored after
// every drawing.
TEST_F(GpuSetup, PremultiplicationFollowsTheSource) {
    GpuCanvas dst(32, 8);
    SPictavoImage straight = image_of(2, 4, 4, 16);
    SPictavoImage pre = image_of(24, 4, 4, 16);
    UI_DRAWING_drawImage_0(&dst.gc, &straight, 0, 0, 4, 4, 0, 0, 255);
    UI_DRAWING_drawImage_0(&dst.gc, &pre, 0, 0, 4, 4, 0, 0, 255);
    UI_DRAWING_fillCircle_0(&dst.gc, 0, 0, 4);
    const auto d = drawings();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_TRUE(d[0].premultiply);
    EXPECT_FALSE(d[1].premultiply);
    EXPECT_TRUE(d[2].premultiply);
}

TEST_F(GpuSetup, PremultiplyFailureIsReportedAndTheDrawingGoesOn) {
    GpuCanvas dst(32, 8);
    SPictavoImage pre = image_of(24, 4, 4, 16);
    vglite::fail_next_call(VG_LITE_GENERIC_IO, vglite::FailOn::Premultiply);
    EXPECT_EQ(UI_DRAWING_drawImage_0(&dst.gc, &pre, 0, 0, 4, 4, 0, 0, 255), 1);
    EXPECT_EQ(drawings().size(), 1u);
    EXPECT_EQ(dst.gc.drawing_log, 0u);
}

TEST_F(GpuSetup, PaintColours) {
    EXPECT_EQ(UI_VGLITE_premultiply_alpha(0x00FF8040, 128), 0x80804020u);
    EXPECT_EQ(UI_VGLITE_premultiply_alpha(0x12345678, 0), 0u);
    EXPECT_EQ(UI_VGLITE_premultiply_alpha(0x12345678, 255), 0x12345678u);
    GpuCanvas c(16, 2);
    c.gc.foreground_color = 0xFF102030;
    SPictavoImage a8 = image_of(8, 4, 4, 16);
    SPictavoImage rgb = image_of(4, 4, 4, 16, true);
    // The GPU premultiplies (the stand-in has the feature): colours go as they are.
    EXPECT_FALSE(UI_VGLITE_need_to_premultiply());
    EXPECT_EQ(UI_VGLITE_get_vglite_color(&c.gc, &a8, 0x80), 0x80102030u);
    EXPECT_EQ(UI_VGLITE_get_vglite_color(&c.gc, &rgb, 0x80), 0x80FFFFFFu);
    // Without the feature the CPU premultiplies.
    vglite::set_premultiply_feature(0);
    EXPECT_TRUE(UI_VGLITE_need_to_premultiply());
    EXPECT_EQ(UI_VGLITE_get_vglite_color(&c.gc, &a8, 0x80), UI_VGLITE_premultiply_alpha(0xFF102030, 0x80));
    EXPECT_EQ(UI_VGLITE_get_vglite_color(&c.gc, &rgb, 0x80), 0x80808080u);
}

TEST_F(GpuSetup, DestinationOfTheDisplayIsKept) {
    GpuCanvas c(16, 2);
    vg_lite_buffer_t* d = UI_VGLITE_configure_destination(&c.gc);
    EXPECT_EQ(d->width, 16);
    EXPECT_EQ(d->format, VG_LITE_FMT_RGB565);
    EXPECT_EQ(vg_lite_irq_operation.load(), kIrqNothing);
    // A custom format (a byte above 26) has no GPU format.
    c.gc.image.format = -8;
    EXPECT_EQ(UI_VGLITE_configure_destination(&c.gc)->format, VG_LITE_FMT_NONE);
}

TEST_F(GpuSetup, CompletionInterruptModes) {
    vglite::set_delivery(vglite::Delivery::Rtos);
    tarvelo::test::run_in_task([] {
        UI_VGLITE_start(xSemaphoreCreateBinary());
        auto& port = graphics::test::port();
        // Synchronous: returns once the interrupt has released it.
        EXPECT_EQ(UI_VGLITE_start_operation(false), VG_LITE_SUCCESS);
        EXPECT_EQ(vglite::interrupts_handled(), 1u);
        EXPECT_EQ(vg_lite_irq_operation.load(), kIrqNothing);
        // Asynchronous: the interrupt ends the engine's drawing.
        const std::int32_t gives = port.sem_gives;
        EXPECT_EQ(UI_VGLITE_start_operation(true), VG_LITE_SUCCESS);
        vglite::wait_idle();
        // The driver counts the interrupt before the back end's handler
        // gives: wait for both (the interrupt runs on a thread of its own).
        auto settle = [&](std::uint32_t interrupts, std::int32_t given) {
            for (int i = 0; i < 2000 && (vglite::interrupts_handled() < interrupts || port.sem_gives < given); ++i)
                vTaskDelay(1);
        };
        settle(2, gives + 1);
        EXPECT_EQ(port.sem_gives, gives + 1);
        // A stray interrupt does nothing.
        UI_VGLITE_IRQHandler();
        EXPECT_EQ(port.sem_gives, gives + 1);
        // Completion before the submitting call returns.
        vglite::set_completion(vglite::Completion::Immediate);
        GpuCanvas c(16, 4);
        EXPECT_EQ(UI_DRAWING_fillCircle_0(&c.gc, 0, 0, 4), 1);
        settle(3, gives + 2);
        EXPECT_EQ(port.sem_gives, gives + 2);
    });
}

// The interrupt that ends a drawing never reads its graphics context: the
// application's array may be gone (or moved) by then.
TEST_F(GpuSetup, CompletionDoesNotReadTheDrawingsContext) {
    auto canvas = std::make_unique<GpuCanvas>(16, 4);
    EXPECT_EQ(UI_DRAWING_fillCircle_0(&canvas->gc, 0, 0, 4), 1);
    canvas.reset();  // the sanitizer build sees any later read
    const std::int32_t gives = graphics::test::port().sem_gives;
    GPU2D_IRQHandler();
    EXPECT_EQ(graphics::test::port().sem_gives, gives + 1);
}

TEST_F(GpuSetup, InitialisationFailureHalts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            vglite::fail_next_call(VG_LITE_OUT_OF_RESOURCES, vglite::FailOn::Init);
            UI_VGLITE_initialize();
        },
        ::testing::ExitedWithCode(249), "");
}

TEST_F(GpuSetup, InitialiseStartsTheDriverOnce) {
    UI_VGLITE_initialize();
    EXPECT_TRUE(vglite::initialised());
    vglite::fail_next_call(VG_LITE_OUT_OF_RESOURCES, vglite::FailOn::Init);
    UI_VGLITE_initialize();  // already done: the driver is not asked again
    EXPECT_TRUE(vglite::initialised());
    vglite::fail_next_call(VG_LITE_SUCCESS);
}

// Preparing the controller programs the GPU's clock root, switches its gate
// on and enables its interrupt at priority 3 in the board's registers.
TEST_F(GpuSetup, PreparingTheControllerProgramsTheClockAndTheInterrupt) {
    EXPECT_EQ(BOARD_PrepareVGLiteController(), 0);
    EXPECT_EQ(sim_registers::read(sim_registers::kCcmGpu2dRoot), 0x701u);
    EXPECT_EQ(sim_registers::read(sim_registers::kCcmGpu2dGate) & 1u, 1u);
    EXPECT_EQ(sim_registers::read(sim_registers::kCcmGpu2dGateStatus) & 1u, 1u);
    EXPECT_EQ(NVIC_GetPriority(60), 0x30u);
    EXPECT_EQ(sim_registers::read(sim_registers::kNvicIser0 + 4) & (1u << 28), 1u << 28);
}

}  // namespace
}  // namespace tarvelo::gpu::test
