// Drawer 0's GPU entries through the recording GPU stand-in: the commands
// they issue, their software fallbacks, the banded copy, the driver's
// errors, and the pixels against the software drawers.
#include "port/display/vglite/gpu_drawer.h"

#include <cmath>

#include "FreeRTOS.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/shapes/shape_entry_points.h"
#include "semphr.h"
#include "tests/port/display/vglite/gpu_fixture.h"
#include "tests/port/display/vglite/path_decoder.h"
#include "tests/support/task_harness.h"

namespace tarvelo::gpu::test {
namespace {

using vglite::Command;
using vglite::CommandKind;

class GpuDrawer : public GpuTest {};

TEST_F(GpuDrawer, FillCircleIsTheScaledFixedCircle) {
    GpuCanvas c(40, 30);
    c.gc.foreground_color = 0xFF123456;
    EXPECT_EQ(UI_DRAWING_fillCircle_0(&c.gc, 5, 6, 10), 1);
    const auto d = drawings();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(flushes(), 1);
    EXPECT_EQ(vg_lite_irq_operation.load(), kIrqEndDrawing);
    EXPECT_EQ(d[0].kind, CommandKind::Draw);
    EXPECT_EQ(d[0].fill_rule, VG_LITE_FILL_NON_ZERO);
    EXPECT_EQ(d[0].blend, VG_LITE_BLEND_SRC_OVER);
    EXPECT_EQ(d[0].color, 0xFF123456u);
    EXPECT_TRUE(d[0].scissor_enabled);
    EXPECT_EQ(d[0].scissor[2], 40);
    EXPECT_EQ(d[0].scissor[3], 30);
    EXPECT_FLOAT_EQ(d[0].matrix.m[0][0], 0.025f);
    EXPECT_FLOAT_EQ(d[0].matrix.m[0][2], 10.0f);
    EXPECT_FLOAT_EQ(d[0].matrix.m[1][2], 11.0f);
    EXPECT_EQ(d[0].path.size(), 64u);
    EXPECT_EQ(d[0].target.width, 40);
    EXPECT_EQ(d[0].target.stride, 96);
    EXPECT_EQ(d[0].target.format, VG_LITE_FMT_RGB565);
}

TEST_F(GpuDrawer, ShapesUseTheirFillRuleAndMatrix) {
    GpuCanvas c(64, 64);
    struct Case {
        const char* name;
        std::int32_t (*draw)(SPictavoGraphicsContext*);
        vg_lite_fill_t rule;
        float scale;
    };
    const Case cases[] = {
        {"fillRoundedRectangle",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_fillRoundedRectangle_0(g, 1, 2, 30, 20, 8, 6); },
         VG_LITE_FILL_EVEN_ODD, 1.0f},
        {"fillEllipseArc",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_fillEllipseArc_0(g, 1, 2, 30, 20, 10, 90); },
         VG_LITE_FILL_EVEN_ODD, 0.5f},
        {"drawThickCircle", [](SPictavoGraphicsContext* g) { return UI_DRAWING_drawThickCircle_0(g, 10, 10, 20, 4); },
         VG_LITE_FILL_EVEN_ODD, 0.5f},
        {"drawThickLine", [](SPictavoGraphicsContext* g) { return UI_DRAWING_drawThickLine_0(g, 3, 3, 30, 3, 5); },
         VG_LITE_FILL_NON_ZERO, 0.5f},
        {"drawThickCircleArc",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_drawThickCircleArc_0(g, 10, 10, 30, 0, 120, 4); },
         VG_LITE_FILL_NON_ZERO, 0.5f},
    };
    for (const Case& k : cases) {
        vglite::clear_commands();
        EXPECT_EQ(k.draw(&c.gc), 1) << k.name;
        const auto d = drawings();
        ASSERT_EQ(d.size(), 1u) << k.name;
        EXPECT_EQ(d[0].fill_rule, k.rule) << k.name;
        EXPECT_FLOAT_EQ(std::fabs(d[0].matrix.m[0][0]) + std::fabs(d[0].matrix.m[0][1]), k.scale) << k.name;
    }
}

TEST_F(GpuDrawer, ThickArcIsTurnedByItsStartAngle) {
    GpuCanvas c(64, 64);
    UI_DRAWING_drawThickCircleArc_0(&c.gc, 10, 10, 30, 90, 45, 4);
    const auto d = drawings();
    ASSERT_EQ(d.size(), 1u);
    // rotate(-90) then scale 0.5: x' = 0.5 y
    EXPECT_NEAR(d[0].matrix.m[0][1], 0.5f, 1e-6);
    EXPECT_NEAR(d[0].matrix.m[0][2], 25.0f, 1e-6);
}

TEST_F(GpuDrawer, OutsideTheClipNothingIsIssued) {
    GpuCanvas c(40, 30);
    LLUI_DISPLAY_PRIVATE_setClip(&c.gc, 0, 0, 5, 5);
    EXPECT_EQ(UI_DRAWING_fillCircle_0(&c.gc, 20, 20, 5), 0);
    EXPECT_EQ(UI_DRAWING_drawThickLine_0(&c.gc, 20, 20, 30, 20, 2), 0);
    EXPECT_TRUE(vglite::commands().empty());
    EXPECT_EQ(c.gc.drawing_log, 0u);
}

// Coordinates, sizes and thicknesses at the ends of the 32-bit range: no
// sum wraps on the way to the GPU (the sanitizer build stops at the first
// that would), and a shape wholly outside the canvas issues nothing.
TEST_F(GpuDrawer, ArgumentsAtTheEndsOfTheirRanges) {
    constexpr std::int32_t kMin = INT32_MIN, kMax = INT32_MAX;
    struct Case {
        const char* name;
        std::int32_t (*call)(SPictavoGraphicsContext*);
        bool outside;
    };
    const Case cases[] = {
        {"thick faded line of the widest thickness",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_drawThickFadedLine_0(g, 5, 5, 40, 20, kMax, 0, 1, 1); },
         false},
        {"the same with a fade of one",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_drawThickFadedLine_0(g, 5, 5, 40, 20, kMax, 1, 1, 1); },
         false},
        {"thick line across the whole range",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_drawThickLine_0(g, kMin, 10, kMax, 10, 3); }, false},
        {"thick circle of the widest diameter and thickness",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_drawThickCircle_0(g, 0, 0, kMax, kMax); }, false},
        {"thick faded circle arc of the widest thickness",
         [](SPictavoGraphicsContext* g) {
             return UI_DRAWING_drawThickFadedCircleArc_0(g, 0, 0, kMax, 0.0f, 90.0f, kMax, 1, 0, 0);
         },
         false},
        {"filled ellipse arc at the far left",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_fillEllipseArc_0(g, kMin, 0, 30, 20, 10, 90); }, true},
        {"filled ellipse arc at the far right",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_fillEllipseArc_0(g, kMax, 0, 30, 20, 10, 90); }, true},
        {"filled ellipse arc at the far top",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_fillEllipseArc_0(g, 0, kMin, 30, 20, 10, 90); }, true},
        {"filled ellipse arc at the far bottom",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_fillEllipseArc_0(g, 0, kMax, 30, 20, 10, 90); }, true},
        {"filled circle arc at the far bottom right",
         [](SPictavoGraphicsContext* g) { return UI_DRAWING_fillCircleArc_0(g, kMax, kMax, kMax, 10, 90); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GpuCanvas canvas(40, 30);
        vglite::clear_commands();
        const std::int32_t status = c.call(&canvas.gc);
        if (c.outside) {
            EXPECT_EQ(status, 0);
            EXPECT_TRUE(vglite::commands().empty());
        }
    }
}

TEST_F(GpuDrawer, ScissorIsTheClipOrNone) {
    GpuCanvas c(40, 30);
    LLUI_DISPLAY_PRIVATE_setClip(&c.gc, 3, 4, 10, 8);
    UI_DRAWING_fillCircle_0(&c.gc, 0, 0, 20);
    LLUI_DISPLAY_configureClip(&c.gc, false);
    UI_DRAWING_fillCircle_0(&c.gc, 0, 0, 20);
    const auto d = drawings();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_TRUE(d[0].scissor_enabled);
    EXPECT_EQ((std::vector<std::int32_t>{d[0].scissor[0], d[0].scissor[1], d[0].scissor[2], d[0].scissor[3]}),
              (std::vector<std::int32_t>{3, 4, 10, 8}));
    EXPECT_FALSE(d[1].scissor_enabled);
}

TEST_F(GpuDrawer, ThickFadedShapesTakeTheGpuUpToFadeOne) {
    GpuCanvas c(64, 64);
    for (std::int32_t fade : {0, 1}) {
        vglite::clear_commands();
        EXPECT_EQ(UI_DRAWING_drawThickFadedCircle_0(&c.gc, 10, 10, 20, 4, fade), 1);
        const auto d = drawings();
        ASSERT_EQ(d.size(), 1u);
        const auto path = decode_path(d[0].path.data(), static_cast<std::int32_t>(d[0].path.size()));
        EXPECT_EQ(path[0], M(0, static_cast<std::int16_t>(-(20 + 4 + fade))));  // outer diameter d + t + fade
    }
    vglite::clear_commands();
    c.gc.foreground_color = 0xFFFFFFFF;
    EXPECT_EQ(UI_DRAWING_drawThickFadedLine_0(&c.gc, 5, 5, 40, 20, 3, 2, 1, 1), 0);
    EXPECT_TRUE(vglite::commands().empty());
    bool drawn = false;  // the software drawer drew it
    for (std::int32_t x = 0; x < 64 && !drawn; ++x) drawn = c.at(x, 12) != 0 || c.at(x, 11) != 0;
    EXPECT_TRUE(drawn);
}

TEST_F(GpuDrawer, DrawImageBlitsTheRegionOrFallsBackToSoftware) {
    GpuCanvas dst(40, 20), src(8, 6);
    src.number();
    EXPECT_EQ(UI_DRAWING_drawImage_0(&dst.gc, &src.gc.image, 1, 2, 3, 4, 10, 11, 255), 1);
    auto d = drawings();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].kind, CommandKind::Blit);
    EXPECT_EQ((std::vector<std::uint32_t>{d[0].rect[0], d[0].rect[1], d[0].rect[2], d[0].rect[3]}),
              (std::vector<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_FLOAT_EQ(d[0].matrix.m[0][2], 10.0f);
    EXPECT_FLOAT_EQ(d[0].matrix.m[1][2], 11.0f);
    EXPECT_EQ(d[0].filter, VG_LITE_FILTER_POINT);
    EXPECT_EQ(d[0].color, 0xFFFFFFFFu);
    EXPECT_EQ(d[0].source.stride, 32);
    // Rows not laid out for the GPU: the software drawer copies.
    vglite::clear_commands();
    Canvas odd(8, 6, 9);
    odd.at(1, 2) = 0x1234;
    EXPECT_EQ(UI_DRAWING_drawImage_0(&dst.gc, &odd.gc.image, 1, 2, 3, 4, 10, 11, 255), 0);
    EXPECT_TRUE(vglite::commands().empty());
    EXPECT_EQ(dst.at(10, 11), 0x1234);
}

TEST_F(GpuDrawer, ScaledImageBilinearAtScaleOneSamplesPoints) {
    GpuCanvas dst(40, 20), src(8, 6);
    UI_DRAWING_drawScaledImageBilinear_0(&dst.gc, &src.gc.image, 1, 1, 1.0f, 1.0f, 255);
    UI_DRAWING_drawScaledImageBilinear_0(&dst.gc, &src.gc.image, 1, 1, 2.0f, 1.0f, 255);
    UI_DRAWING_drawRotatedImageNearestNeighbor_0(&dst.gc, &src.gc.image, 1, 1, 4, 3, 30.0f, 255);
    const auto d = drawings();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].filter, VG_LITE_FILTER_POINT);
    EXPECT_EQ(d[1].filter, VG_LITE_FILTER_BILINEAR);
    EXPECT_FLOAT_EQ(d[1].matrix.m[0][0], 2.0f);
    EXPECT_EQ(d[2].filter, VG_LITE_FILTER_POINT);
}

// Columns 0-24 moved ten pixels right over themselves: three bands from
// the far end, the first two waited for, the last one asynchronous.
TEST_F(GpuDrawer, BandedCopyAlongX) {
    vglite::set_delivery(vglite::Delivery::Rtos);
    vglite::set_rasterise(true);
    tarvelo::test::run_in_task([] {
        UI_VGLITE_start(xSemaphoreCreateBinary());
        GpuCanvas c(40, 3), expected(40, 3);
        c.number();
        expected.number();
        EXPECT_EQ(UI_DRAWING_drawRegion_0(&c.gc, 0, 0, 25, 3, 10, 0, 255), 1);
        vglite::wait_idle();
        const auto& all = vglite::commands();
        ASSERT_EQ(all.size(), 6u);
        const std::uint32_t sources[3] = {15, 5, 0}, widths[3] = {10, 10, 5};
        const float targets[3] = {25, 15, 10};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(all[2 * i].kind, CommandKind::Blit);
            EXPECT_EQ(all[2 * i].rect[0], sources[i]);
            EXPECT_EQ(all[2 * i].rect[2], widths[i]);
            EXPECT_FLOAT_EQ(all[2 * i].matrix.m[0][2], targets[i]);
            EXPECT_EQ(all[2 * i + 1].kind, CommandKind::Flush);
        }
        EXPECT_EQ(vg_lite_irq_operation.load() == kIrqEndDrawing || vglite::interrupts_handled() == 3, true);
        UI_DRAWING_SOFT_drawRegion(&expected.gc, 0, 0, 25, 3, 10, 0, 255);
        if (vglite::can_rasterise()) {
            EXPECT_TRUE(c.same_pixels(expected));
        }
    });
}

TEST_F(GpuDrawer, BandedCopyAlongYAndOneBlitOtherwise) {
    GpuCanvas c(16, 20);
    EXPECT_EQ(UI_DRAWING_drawRegion_0(&c.gc, 0, 8, 16, 4, 0, 2, 255), 1);  // destination before: one blit
    EXPECT_EQ(drawings().size(), 1u);
    vglite::set_delivery(vglite::Delivery::Rtos);
    vglite::set_rasterise(true);
    tarvelo::test::run_in_task([] {
        UI_VGLITE_start(xSemaphoreCreateBinary());
        GpuCanvas g(16, 20), expected(16, 20);
        g.number();
        expected.number();
        vglite::clear_commands();
        EXPECT_EQ(UI_DRAWING_drawRegion_0(&g.gc, 2, 1, 10, 12, 3, 5, 255), 1);
        vglite::wait_idle();
        const auto d = drawings();
        ASSERT_EQ(d.size(), 3u);  // bands of 4 rows: 9-12, 5-8, 1-4
        EXPECT_EQ(d[0].rect[1], 9u);
        EXPECT_EQ(d[2].rect[1], 1u);
        UI_DRAWING_SOFT_drawRegion(&expected.gc, 2, 1, 10, 12, 3, 5, 255);
        if (vglite::can_rasterise()) {
            EXPECT_TRUE(g.same_pixels(expected));
        }
    });
}

TEST_F(GpuDrawer, DriverErrorsAreLogged) {
    GpuCanvas c(40, 30);
    struct Case {
        vg_lite_error_t error;
        vglite::FailOn on;
        std::uint32_t log;
    };
    for (const Case k : {Case{VG_LITE_OUT_OF_MEMORY, vglite::FailOn::Draw, 0xA0000004u},
                         Case{VG_LITE_GENERIC_IO, vglite::FailOn::Draw, 0xA0000000u},
                         Case{VG_LITE_TIMEOUT, vglite::FailOn::Flush, 0xA0000000u}}) {
        c.gc.drawing_log = 0;
        vglite::fail_next_call(k.error, k.on);
        EXPECT_EQ(UI_DRAWING_fillCircle_0(&c.gc, 5, 6, 10), 0);
        EXPECT_EQ(c.gc.drawing_log, k.log);
        // No interrupt is expected for a failed submission.
        EXPECT_EQ(vg_lite_irq_operation.load(), kIrqNothing);
    }
}

TEST_F(GpuDrawer, BandedCopyStopsAtADriverError) {
    GpuCanvas c(40, 3);
    vglite::fail_next_call(VG_LITE_OUT_OF_MEMORY, vglite::FailOn::Blit);
    EXPECT_EQ(UI_DRAWING_drawRegion_0(&c.gc, 0, 0, 25, 3, 10, 0, 255), 0);
    EXPECT_EQ(c.gc.drawing_log, 0xA0000000u);
    EXPECT_TRUE(drawings().empty());
}

// --- flipped images --------------------------------------------------------------

// Each flip of a region lands on the pixels the software drawer writes: a
// region inside the image away from its corner, and regions partly outside
// it (the part inside is drawn, in the place the whole region gives it).
TEST_F(GpuDrawer, FlippedRegionsMatchTheSoftwareDrawer) {
    if (!vglite::can_rasterise()) GTEST_SKIP() << "no rasteriser";
    vglite::set_rasterise(true);
    vglite::set_completion(vglite::Completion::Immediate);
    const struct {
        std::int32_t x, y, w, h;
    } regions[] = {{2, 3, 5, 3}, {-2, -1, 5, 4}, {6, 7, 5, 4}, {-3, 2, 14, 3}, {4, -6, 3, 9}};
    for (const auto& r : regions) {
        for (std::int32_t flip = 0; flip <= 7; ++flip) {
            GpuCanvas src(9, 9), gpu(24, 24), soft(24, 24);
            src.number();
            const std::int32_t status =
                UI_DRAWING_drawFlippedImage_0(&gpu.gc, &src.gc.image, r.x, r.y, r.w, r.h, 6, 7, flip, 200);
            vglite::wait_idle();
            EXPECT_EQ(status, 1) << flip;
            DW_DRAWING_SOFT_drawFlippedImage(&soft.gc, &src.gc.image, r.x, r.y, r.w, r.h, 6, 7, flip, 200);
            std::int32_t far = 0, drawn = 0;
            for (std::int32_t y = 0; y < 24; ++y)
                for (std::int32_t x = 0; x < 24; ++x) {
                    const std::uint16_t a = gpu.at(x, y), b = soft.at(x, y);
                    const std::int32_t dr = std::abs((a >> 11) - (b >> 11)),
                                       dg = std::abs(((a >> 5) & 63) - ((b >> 5) & 63)),
                                       db = std::abs((a & 31) - (b & 31));
                    far += (dr > 1 || dg > 2 || db > 1) ? 1 : 0;
                    drawn += b != 0 ? 1 : 0;
                }
            EXPECT_EQ(far, 0) << "region " << r.x << ", " << r.y << ", " << r.w << ", " << r.h << " flip " << flip;
            EXPECT_GT(drawn, 0);
        }
    }
}

// A region entirely outside the image draws nothing, on the GPU as in
// software.
TEST_F(GpuDrawer, FlippedRegionOutsideTheImageIssuesNothing) {
    GpuCanvas src(9, 9), dst(24, 24);
    for (std::int32_t flip : {0, 1, 5})
        EXPECT_EQ(UI_DRAWING_drawFlippedImage_0(&dst.gc, &src.gc.image, 9, 0, 4, 4, 0, 0, flip, 100), 0);
    EXPECT_EQ(UI_DRAWING_drawFlippedImage_0(&dst.gc, &src.gc.image, -4, 2, 4, 4, 0, 0, 3, 100), 0);
    EXPECT_TRUE(drawings().empty());
}

TEST_F(GpuDrawer, FlipCodeOutOfRangeDrawsNothing) {
    GpuCanvas src(9, 9), dst(24, 24);
    EXPECT_EQ(UI_DRAWING_drawFlippedImage_0(&dst.gc, &src.gc.image, 0, 0, 4, 4, 0, 0, 8, 100), 0);
    EXPECT_TRUE(drawings().empty());
}

// --- pixels --------------------------------------------------------------------------

TEST_F(GpuDrawer, AxisAlignedFillAndOneToOneBlitAreExact) {
    if (!vglite::can_rasterise()) GTEST_SKIP() << "no rasteriser";
    vglite::set_rasterise(true);
    vglite::set_completion(vglite::Completion::Immediate);
    GpuCanvas gpu(32, 16), soft(32, 16);
    for (std::uint32_t color : {0xFFFFFFFFu, 0xFF12A4F7u, 0xFF000000u, 0xFF808080u}) {
        gpu.gc.foreground_color = soft.gc.foreground_color = color;
        UI_DRAWING_fillRoundedRectangle_0(&gpu.gc, 2, 3, 10, 5, 0, 0);
        vglite::wait_idle();
        UI_DRAWING_SOFT_fillRectangle(&soft.gc, 2, 3, 11, 7);
        EXPECT_TRUE(gpu.same_pixels(soft)) << std::hex << color;
    }
    GpuCanvas src(10, 10), a(32, 16), b(32, 16);
    src.number();
    UI_DRAWING_drawImage_0(&a.gc, &src.gc.image, 1, 2, 7, 6, 20, 3, 255);
    vglite::wait_idle();
    UI_DRAWING_SOFT_drawImage(&b.gc, &src.gc.image, 1, 2, 7, 6, 20, 3, 255);
    EXPECT_TRUE(a.same_pixels(b));
}

// Coverage summed over the pixels against the exact area (within 1 %).
TEST_F(GpuDrawer, FilledShapeAreas) {
    if (!vglite::can_rasterise()) GTEST_SKIP() << "no rasteriser";
    vglite::set_rasterise(true);
    vglite::set_completion(vglite::Completion::Immediate);
    auto area = [](GpuCanvas& c) {
        double sum = 0;
        for (std::int32_t y = 0; y < c.gc.image.height; ++y)
            for (std::int32_t x = 0; x < c.gc.image.width; ++x) sum += ((c.at(x, y) >> 5) & 63) / 63.0;
        return sum;
    };
    GpuCanvas circle(64, 64), rounded(64, 64), ring(64, 64);
    circle.gc.foreground_color = rounded.gc.foreground_color = ring.gc.foreground_color = 0xFF00FF00;
    UI_DRAWING_fillCircle_0(&circle.gc, 4, 4, 50);
    UI_DRAWING_fillRoundedRectangle_0(&rounded.gc, 4, 4, 50, 40, 20, 20);
    UI_DRAWING_drawThickCircle_0(&ring.gc, 10, 10, 40, 6);
    vglite::wait_idle();
    EXPECT_NEAR(area(circle), M_PI * 25 * 25, M_PI * 25 * 25 * 0.01);
    const double rr = 50.0 * 40 - (4 - M_PI) * 10 * 10;
    EXPECT_NEAR(area(rounded), rr, rr * 0.01);
    // Even-odd leaves the hole: outer radius 23, inner 17.
    const double annulus = M_PI * (23.0 * 23 - 17.0 * 17);
    EXPECT_NEAR(area(ring), annulus, annulus * 0.02);
    EXPECT_EQ(ring.at(30, 30), 0);
}

// Rings as thick as or thicker than the shape is wide: the GPU draws what
// the software ring draws (the thickness clamped to the size: a disc, no
// hole). The two rasterise edges differently (the GPU anti-aliases, the
// software ring of fade 0 measures from a pixel's corner), so pixels are
// compared away from the software ring's edges, and the areas within one
// pixel along the outer edge.
TEST_F(GpuDrawer, ThickRingsWiderThanTheirShapeMatchTheSoftwareDrawer) {
    if (!vglite::can_rasterise()) GTEST_SKIP() << "no rasteriser";
    vglite::set_rasterise(true);
    vglite::set_completion(vglite::Completion::Immediate);
    const struct {
        std::int32_t w, h, t;  // w == h: a circle
    } cases[] = {{24, 24, 6}, {10, 10, 30}, {16, 16, 16}, {16, 16, 17}, {12, 8, 20}, {20, 12, 12}, {8, 14, 9}};
    constexpr std::int32_t kSize = 64, kAt = 16;  // canvases hold 64 x 64 pixels
    const auto coverage = [](std::uint16_t p) { return ((p >> 5) & 63) / 63.0; };
    for (const auto& c : cases) {
        GpuCanvas gpu(kSize, kSize), soft(kSize, kSize);
        gpu.gc.foreground_color = soft.gc.foreground_color = 0xFF00FF00;
        if (c.w == c.h) {
            UI_DRAWING_drawThickCircle_0(&gpu.gc, kAt, kAt, c.w, c.t);
            DW_DRAWING_SOFT_drawThickFadedCircle(&soft.gc, kAt, kAt, c.w, c.t, 0);
        } else {
            UI_DRAWING_drawThickEllipse_0(&gpu.gc, kAt, kAt, c.w, c.h, c.t);
            DW_DRAWING_SOFT_drawThickFadedEllipse(&soft.gc, kAt, kAt, c.w, c.h, c.t, 0);
        }
        vglite::wait_idle();
        std::int32_t different = 0;
        double gpu_area = 0, soft_area = 0;
        for (std::int32_t y = 1; y < kSize - 1; ++y)
            for (std::int32_t x = 1; x < kSize - 1; ++x) {
                const double g = coverage(gpu.at(x, y)), s = coverage(soft.at(x, y));
                gpu_area += g;
                soft_area += s;
                bool edge = false;
                for (std::int32_t dy = -1; dy <= 1; ++dy)
                    for (std::int32_t dx = -1; dx <= 1; ++dx) edge |= soft.at(x + dx, y + dy) != soft.at(x, y);
                different += !edge && std::abs(g - s) > 0.5 ? 1 : 0;
            }
        EXPECT_EQ(different, 0) << c.w << " x " << c.h << " thickness " << c.t;
        const double t = std::min({c.t, c.w, c.h});
        EXPECT_NEAR(gpu_area, soft_area, M_PI * (c.w + c.h + 2 * t) / 2) << c.w << " x " << c.h << " thickness " << c.t;
        // The centre is drawn exactly when the ring leaves no hole.
        const bool hole = c.t < std::min(c.w, c.h);
        EXPECT_EQ(coverage(gpu.at(kAt + c.w / 2, kAt + c.h / 2)) > 0.5, !hole) << c.w << " x " << c.h;
    }
}

}  // namespace
}  // namespace tarvelo::gpu::test
