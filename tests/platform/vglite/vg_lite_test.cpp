// The GPU stand-in on its own: completion counting, the failure hook, and
// what its rasteriser writes (fill rules, sampling, scissor, overlapping
// blits); and the DSP sine and cosine.
#include "platform/vglite/vg_lite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsp/trig.h"
#include "platform/vglite/vg_lite_sim.h"

namespace tarvelo::vglite {
namespace {

struct Surface {
    std::int32_t w, h;
    std::vector<std::uint16_t> pixels;
    vg_lite_buffer_t buffer{};
    Surface(std::int32_t width, std::int32_t height) : w(width), h(height), pixels(static_cast<std::size_t>(w * h)) {
        buffer.width = w;
        buffer.height = h;
        buffer.stride = 2 * w;
        buffer.format = VG_LITE_FMT_RGB565;
        buffer.memory = pixels.data();
    }
    std::uint16_t& at(std::int32_t x, std::int32_t y) { return pixels[static_cast<std::size_t>(y * w + x)]; }
};

vg_lite_matrix_t identity() {
    vg_lite_matrix_t m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = 1;
    return m;
}

// Two nested squares: (0,0)-(8,8) and (2,2)-(6,6), both clockwise.
std::vector<std::int16_t> nested_squares() {
    return {VG_LITE_CMD_MOVE, 0, 0, VG_LITE_CMD_LINE, 8, 0, VG_LITE_CMD_LINE, 8, 8,
            VG_LITE_CMD_LINE, 0, 8, VG_LITE_CMD_MOVE, 2, 2, VG_LITE_CMD_LINE, 6, 2,
            VG_LITE_CMD_LINE, 6, 6, VG_LITE_CMD_LINE, 2, 6, VG_LITE_CMD_END};
}

class VgLite : public ::testing::Test {
protected:
    void SetUp() override {
        reset();
        set_delivery(Delivery::None);
        set_completion(Completion::Immediate);
    }
    void TearDown() override { reset(); }
    void draw(Surface& s, std::vector<std::int16_t> data, vg_lite_fill_t rule, vg_lite_matrix_t m) {
        vg_lite_path_t path{};
        ASSERT_EQ(vg_lite_init_path(&path, VG_LITE_PATH_S16, VG_LITE_QUALITY_HIGHEST,
                                    static_cast<std::uint32_t>(2 * data.size()), data.data(), 0, 0, 8, 8),
                  VG_LITE_SUCCESS);
        ASSERT_EQ(vg_lite_draw(&s.buffer, &path, rule, &m, VG_LITE_BLEND_SRC_OVER, 0xFFFFFFFF), VG_LITE_SUCCESS);
        ASSERT_EQ(vg_lite_flush(), VG_LITE_SUCCESS);
        wait_idle();
    }
};

TEST_F(VgLite, FillRules) {
    if (!can_rasterise()) GTEST_SKIP() << "no rasteriser";
    Surface nonzero(8, 8), evenodd(8, 8);
    draw(nonzero, nested_squares(), VG_LITE_FILL_NON_ZERO, identity());
    draw(evenodd, nested_squares(), VG_LITE_FILL_EVEN_ODD, identity());
    EXPECT_EQ(nonzero.at(4, 4), 0xFFFF);
    EXPECT_EQ(evenodd.at(4, 4), 0);
    EXPECT_EQ(evenodd.at(1, 1), 0xFFFF);
}

// The frame buffers' window descriptors use format 5: the same RGB565 layout.
TEST_F(VgLite, WindowFormatIsRgb565) {
    if (!can_rasterise()) GTEST_SKIP() << "no rasteriser";
    Surface a(8, 8), b(8, 8);
    b.buffer.format = VG_LITE_FMT_RGB565_WINDOW;
    vg_lite_matrix_t m = identity();
    m.m[0][0] = m.m[1][1] = 0.75f;
    draw(a, nested_squares(), VG_LITE_FILL_NON_ZERO, m);
    draw(b, nested_squares(), VG_LITE_FILL_NON_ZERO, m);
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_EQ(b.at(0, 0), 0xFFFF);
}

TEST_F(VgLite, ScissorCutsTheFill) {
    if (!can_rasterise()) GTEST_SKIP() << "no rasteriser";
    Surface s(8, 8);
    vg_lite_set_scissor(1, 2, 3, 4);
    vg_lite_enable_scissor();
    draw(s, nested_squares(), VG_LITE_FILL_NON_ZERO, identity());
    std::int32_t lit = 0;
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x) lit += s.at(x, y) != 0 ? 1 : 0;
    EXPECT_EQ(lit, 12);
    EXPECT_EQ(s.at(1, 2), 0xFFFF);
    EXPECT_EQ(s.at(0, 2), 0);
    std::int32_t r[4];
    EXPECT_EQ(vg_lite_get_scissor(r), 1);
    vg_lite_disable_scissor();
    EXPECT_EQ(vg_lite_get_scissor(r), 0);
    EXPECT_EQ(r[0], -1);
}

// A 2x2 checkerboard scaled 4 times: point sampling keeps the squares sharp,
// bilinear sampling blends across their edges.
TEST_F(VgLite, PointAndBilinearSampling) {
    if (!can_rasterise()) GTEST_SKIP() << "no rasteriser";
    Surface src(2, 2), point(8, 8), smooth(8, 8);
    src.at(0, 0) = src.at(1, 1) = 0xFFFF;
    vg_lite_matrix_t m = identity();
    m.m[0][0] = m.m[1][1] = 4;
    vg_lite_rectangle_t rect = {0, 0, 2, 2};
    vg_lite_blit_rect(&point.buffer, &src.buffer, rect, &m, VG_LITE_BLEND_SRC_OVER, 0xFFFFFFFF, VG_LITE_FILTER_POINT);
    vg_lite_blit_rect(&smooth.buffer, &src.buffer, rect, &m, VG_LITE_BLEND_SRC_OVER, 0xFFFFFFFF,
                      VG_LITE_FILTER_BILINEAR);
    vg_lite_flush();
    wait_idle();
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            EXPECT_EQ(point.at(x, y), ((x < 4) == (y < 4)) ? 0xFFFF : 0) << x << "," << y;
    EXPECT_NE(smooth.at(3, 3), 0xFFFF);
    EXPECT_NE(smooth.at(3, 3), 0);
    EXPECT_EQ(smooth.at(0, 0), 0xFFFF);
}

// A blit onto its own source reads the pixels as they were before it.
TEST_F(VgLite, OverlappingBlitReadsASnapshot) {
    if (!can_rasterise()) GTEST_SKIP() << "no rasteriser";
    Surface s(8, 1);
    for (std::int32_t x = 0; x < 8; ++x) s.at(x, 0) = static_cast<std::uint16_t>(x + 1);
    vg_lite_matrix_t m = identity();
    m.m[0][2] = 0;
    vg_lite_rectangle_t rect = {2, 0, 6, 1};
    vg_lite_blit_rect(&s.buffer, &s.buffer, rect, &m, VG_LITE_BLEND_SRC_OVER, 0xFFFFFFFF, VG_LITE_FILTER_POINT);
    vg_lite_flush();
    wait_idle();
    EXPECT_EQ(s.pixels, (std::vector<std::uint16_t>{3, 4, 5, 6, 7, 8, 7, 8}));
}

TEST_F(VgLite, OneCompletionPerFlush) {
    set_completion(Completion::Worker);
    Surface s(8, 8);
    draw(s, nested_squares(), VG_LITE_FILL_NON_ZERO, identity());
    vg_lite_flush();                               // nothing queued: still one completion
    EXPECT_EQ(vg_lite_finish(), VG_LITE_SUCCESS);  // nothing queued: none
    wait_idle();
    EXPECT_EQ(completions_raised(), 2u);
}

TEST_F(VgLite, FailureHookFailsOneCallOfItsKind) {
    fail_next_call(VG_LITE_OUT_OF_MEMORY, FailOn::Flush);
    EXPECT_EQ(vg_lite_enable_scissor(), VG_LITE_SUCCESS);
    EXPECT_EQ(vg_lite_flush(), VG_LITE_OUT_OF_MEMORY);
    EXPECT_EQ(vg_lite_flush(), VG_LITE_SUCCESS);
    EXPECT_EQ(completions_raised(), 1u);
}

TEST(Dsp, SineAndCosineFromTheTable) {
    double worst = 0;
    for (float x = -20.0f; x <= 20.0f; x += 0.0137f) {
        worst = std::max(worst, std::fabs(arm_sin_f32(x) - std::sin(static_cast<double>(x))));
        worst = std::max(worst, std::fabs(arm_cos_f32(x) - std::cos(static_cast<double>(x))));
    }
    EXPECT_LT(worst, 2.5e-5);
    EXPECT_EQ(arm_sin_f32(0.0f), 0.0f);
    EXPECT_EQ(arm_cos_f32(0.0f), 1.0f);
    EXPECT_EQ(arm_sin_f32(NAN), 0.0f);
}

}  // namespace
}  // namespace tarvelo::vglite
