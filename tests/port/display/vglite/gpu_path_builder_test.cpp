// The GPU path builder, byte for byte, and the bound of every path by its
// buffer.
#include "port/display/vglite/gpu_path_builder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "port/display/vglite/gpu_matrix.h"
#include "tests/port/display/vglite/path_decoder.h"

namespace tarvelo::gpu::test {
namespace {

// A path over a buffer of `capacity` bytes followed by guard bytes.
struct Buffer {
    alignas(4) std::array<std::uint8_t, 256> bytes{};
    vg_lite_path_t path{};
    explicit Buffer(std::int32_t capacity) {
        bytes.fill(0xA5);
        path.path = bytes.data();
        path.path_length = capacity;
    }
    std::vector<PathCommand> commands() const { return decode_path(path.path, path.path_length); }
    bool guard_intact(std::int32_t capacity) const {
        for (std::size_t i = static_cast<std::size_t>(capacity); i < bytes.size(); ++i)
            if (bytes[i] != 0xA5) return false;
        return true;
    }
};

TEST(GpuPathBuilder, LineOfZeroLengthIsTheStartPixel) {
    Buffer b(44);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_line(&b.path, 0, 0), 38);
    EXPECT_EQ(b.commands(), (std::vector<PathCommand>{M(0, 0), L(1, 0), L(1, 0), L(1, 1), L(0, 1), L(0, 1), E()}));
    EXPECT_EQ(b.path.path_length, 38);
    EXPECT_EQ(b.path.format, VG_LITE_PATH_S16);
    EXPECT_EQ(b.path.bounding_box[2], 1.0f);
}

TEST(GpuPathBuilder, LinesInEveryDirection) {
    struct Case {
        std::int32_t dx, dy;
        std::vector<PathCommand> expected;
    };
    const Case cases[] = {
        {5, 2, {M(0, 0), L(1, 0), L(6, 2), L(6, 3), L(5, 3), L(0, 1), E()}},
        // Right to left mirrors the hexagon.
        {-3, 2, {M(1, 0), L(0, 0), L(-3, 2), L(-3, 3), L(-2, 3), L(1, 1), E()}},
        {2, -4, {M(0, 1), L(1, 1), L(3, -3), L(3, -4), L(2, -4), L(0, 0), E()}},
    };
    for (const Case& c : cases) {
        Buffer b(44);
        EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_line(&b.path, c.dx, c.dy), 38);
        EXPECT_EQ(b.commands(), c.expected) << c.dx << "," << c.dy;
    }
}

TEST(GpuPathBuilder, RoundedRectangleCorners) {
    Buffer b(176);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(&b.path, 0, 0, 0, 100, 50, 20, 10, true), 88);
    const auto c = b.commands();
    ASSERT_EQ(c.size(), 10u);
    EXPECT_EQ(c[0], M(10, 0));
    EXPECT_EQ(c[1], L(90, 0));
    EXPECT_EQ(c[2], C(95, 0, 100, 3, 100, 5));
    EXPECT_EQ(c[3], L(100, 45));
    EXPECT_EQ(c[4], C(100, 47, 95, 50, 90, 50));
    EXPECT_EQ(c[8], C(0, 3, 5, 0, 10, 0));  // back to the start, arriving horizontally
    EXPECT_EQ(c[9], E());
}

TEST(GpuPathBuilder, RoundedRectangleWithoutArcsHasZeroLengthCorners) {
    Buffer b(176);
    UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(&b.path, 0, 2, 3, 10, 4, 0, 0, true);
    const auto c = b.commands();
    EXPECT_EQ(c[0], M(2, 3));
    EXPECT_EQ(c[2], C(12, 3, 12, 3, 12, 3));
    EXPECT_EQ(c[4], C(12, 7, 12, 7, 12, 7));
}

TEST(GpuPathBuilder, TwoContoursWidenTheBox) {
    Buffer b(176);
    const std::int32_t first = UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(&b.path, 0, 0, 0, 20, 10, 4, 4, false);
    EXPECT_EQ(first, 86);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(&b.path, first, -5, 1, 18, 8, 3, 3, true), 174);
    EXPECT_EQ(b.path.bounding_box[0], -5.0f);
    EXPECT_EQ(b.path.bounding_box[3], 10.0f);
    EXPECT_EQ(b.path.path_length, 174);
}

TEST(GpuPathBuilder, EllipseIsFourQuarters) {
    Buffer b(128);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_ellipse(&b.path, 0, 10, 6, true), 64);
    EXPECT_EQ(b.commands(), (std::vector<PathCommand>{M(0, -6), C(5, -6, 10, -3, 10, 0), C(10, 3, 5, 6, 0, 6),
                                                      C(-5, 6, -10, 3, -10, 0), C(-10, -3, -5, -6, 0, -6), E()}));
}

TEST(GpuPathBuilder, FilledEllipseIsTheFixedCircleScaled) {
    Buffer b(128);
    vg_lite_matrix_t m;
    matrix_identity(&m);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_filled_ellipse(&b.path, 50.0f, 100.0f, &m), 64);
    EXPECT_EQ(b.path.path_length, 64);
    const auto c = decode_path(b.path.path, 64);
    EXPECT_EQ(c.front(), M(200, 0));
    EXPECT_EQ(c[1], C(200, -111, 111, -200, 0, -200));
    EXPECT_EQ(c.back(), E());
    EXPECT_FLOAT_EQ(m.m[0][0], 0.25f);
    EXPECT_FLOAT_EQ(m.m[1][1], 0.5f);
}

TEST(GpuPathBuilder, EllipseArcCubicCounts) {
    struct Case {
        float sweep;
        std::int32_t cubics;
    };
    for (const Case c : {Case{90, 1}, Case{91, 2}, Case{180, 2}, Case{360, 4}, Case{-91, 2}}) {
        Buffer filled(132), outline(132);
        const std::int32_t f =
            UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(&filled.path, 40, 30, 38, 28, true, 10, c.sweep);
        const std::int32_t o =
            UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(&outline.path, 40, 30, 38, 28, false, 10, c.sweep);
        EXPECT_EQ(count(filled.commands(), VG_LITE_CMD_CUBIC), c.cubics) << c.sweep;
        EXPECT_EQ(count(outline.commands(), VG_LITE_CMD_CUBIC), 2 * c.cubics) << c.sweep;
        EXPECT_EQ(f, 6 + 14 * c.cubics + 6 + 4);
        EXPECT_EQ(o, 6 + 28 * c.cubics + 6 + 4);
    }
}

TEST(GpuPathBuilder, EllipseArcStartsAtTheTopClockwise) {
    Buffer b(132);
    UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(&b.path, 100, 50, 98, 48, true, 0, 90);
    const auto c = b.commands();
    EXPECT_EQ(c[0], M(0, -50));
    ASSERT_EQ(c[1].op, VG_LITE_CMD_CUBIC);
    EXPECT_NEAR(c[1].xy[4], 100, 1);
    EXPECT_NEAR(c[1].xy[5], 0, 1);
    EXPECT_EQ(c[2], L(0, 0));
}

// Far-away start angles are brought into one turn: the outline keeps its
// four curves per contour and fits its buffer.
TEST(GpuPathBuilder, HugeStartAngleOfAnOutlineArcStaysInItsBuffer) {
    for (float start : {2.0e9f, -7.0e9f, 1.0e6f, 1.0e30f}) {
        Buffer b(132);
        const std::int32_t n =
            UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(&b.path, 200, 200, 198, 198, false, start, 359.0f);
        EXPECT_EQ(n, 128) << start;
        EXPECT_TRUE(b.guard_intact(132));
    }
}

TEST(GpuPathBuilder, ThickLineWithFlatAndRoundCaps) {
    Buffer flat(76), round(76);
    vg_lite_matrix_t m;
    matrix_identity(&m);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(&flat.path, 10, 0, 4, 0, &m), 32);
    EXPECT_EQ(flat.commands(), (std::vector<PathCommand>{M(0, -1), L(12, -1), L(12, 3), L(0, 3), L(0, -1), E()}));
    EXPECT_FLOAT_EQ(m.m[0][0], 1.0f);
    EXPECT_NEAR(m.m[0][2], 0.0f, 1e-6);
    matrix_identity(&m);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(&round.path, 10, 0, 4, 1 | (1 << 2), &m), 76);
    EXPECT_EQ(round.commands(),
              (std::vector<PathCommand>{M(0, -1), L(12, -1), C(13, -1, 14, 0, 14, 0), C(14, 1, 13, 3, 12, 3), L(0, 3),
                                        C(-1, 3, -2, 1, -2, 0), C(-2, 0, -1, -1, 0, -1), E()}));
    EXPECT_EQ(round.path.bounding_box[0], -2.0f);
    EXPECT_EQ(round.path.bounding_box[2], 14.0f);
}

TEST(GpuPathBuilder, ThickLineIsTurnedAroundTheStartPixel) {
    Buffer b(76);
    vg_lite_matrix_t m;
    matrix_identity(&m);
    UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(&b.path, 0, 10, 4, 0, &m);
    // rotate 90 degrees about (1, 1): (x, y) -> (2 - y, x)
    EXPECT_NEAR(m.m[0][1], -1.0f, 1e-6);
    EXPECT_NEAR(m.m[1][0], 1.0f, 1e-6);
    EXPECT_NEAR(m.m[0][2], 2.0f, 1e-6);
    EXPECT_NEAR(m.m[1][2], 0.0f, 1e-6);
}

TEST(GpuPathBuilder, UnknownCapLeavesItsSegmentOut) {
    Buffer b(76);
    vg_lite_matrix_t m;
    matrix_identity(&m);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(&b.path, 10, 0, 4, 3 << 2, &m), 26);
    EXPECT_EQ(b.commands(), (std::vector<PathCommand>{M(0, -1), L(12, -1), L(0, 3), L(0, -1), E()}));
}

TEST(GpuPathBuilder, ThickArcOf100DegreesHasTwoFragmentsPerContour) {
    Buffer b(176);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(&b.path, 100, 100, 10, 0, 0, 100),
              6 + 28 + 6 + 28 + 6 + 4);
    const auto c = b.commands();
    EXPECT_EQ(count(c, VG_LITE_CMD_CUBIC), 4);
    EXPECT_EQ(c[0], M(55, 0));
    // The two outer fragments meet at 50 degrees.
    EXPECT_EQ(c[1].xy[4], 35);   // 55 cos 50
    EXPECT_EQ(c[1].xy[5], -42);  // -55 sin 50
}

TEST(GpuPathBuilder, NegativeSweepIsThePositiveOneWithCapsExchanged) {
    Buffer negative(176), positive(176);
    const std::int32_t a =
        UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(&negative.path, 80, 60, 8, 1, 30, -120);
    const std::int32_t b =
        UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(&positive.path, 80, 60, 8, 1 << 2, -90, 120);
    EXPECT_EQ(a, b);
    EXPECT_EQ(negative.commands(), positive.commands());
}

// Degenerate angles give a closed path of no curves rather than a division
// by zero or a conversion of NaN.
TEST(GpuPathBuilder, EmptyAndNonFiniteSweeps) {
    Buffer empty(176), nan(176), arc(132);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(&empty.path, 40, 40, 4, 5, 10, 0),
              6 + 14 + 14 + 4);
    EXPECT_GT(UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(&nan.path, 40, 40, 4, 0, NAN, INFINITY), 0);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(&arc.path, 40, 40, 38, 38, false, NAN, NAN), 6 + 6 + 4);
}

// The largest path of every shape kind fits the buffer its operation gives it.
TEST(GpuPathBuilder, MaximumSizesFitTheirBuffers) {
    vg_lite_matrix_t m;
    struct Case {
        const char* name;
        std::int32_t capacity, expected;
        std::int32_t (*build)(vg_lite_path_t*, vg_lite_matrix_t*);
    };
    const Case cases[] = {
        {"line", 44, 38,
         [](vg_lite_path_t* p, vg_lite_matrix_t*) { return UI_DRAWING_VGLITE_PATH_compute_line(p, 9, -9); }},
        {"thick line", 76, 76,
         [](vg_lite_path_t* p, vg_lite_matrix_t* m) {
             return UI_DRAWING_VGLITE_PATH_compute_thick_shape_line(p, 30, 40, 8, 5, m);
         }},
        {"ellipse ring", 128, 126,
         [](vg_lite_path_t* p, vg_lite_matrix_t*) {
             const std::int32_t o = UI_DRAWING_VGLITE_PATH_compute_ellipse(p, 0, 50, 40, false);
             return UI_DRAWING_VGLITE_PATH_compute_ellipse(p, o, 48, 38, true);
         }},
        {"outline arc", 132, 128,
         [](vg_lite_path_t* p, vg_lite_matrix_t*) {
             return UI_DRAWING_VGLITE_PATH_compute_ellipse_arc(p, 50, 40, 48, 38, false, 45, -359.9f);
         }},
        {"rounded rectangle outline", 176, 174,
         [](vg_lite_path_t* p, vg_lite_matrix_t*) {
             const std::int32_t o = UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(p, 0, 0, 0, 50, 40, 10, 8, false);
             return UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(p, o, 1, 1, 48, 38, 9, 7, true);
         }},
        {"thick arc 360 round caps", 176, 150,
         [](vg_lite_path_t* p, vg_lite_matrix_t*) {
             return UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(p, 100, 80, 10, 5, 33, 360);
         }},
    };
    for (const Case& c : cases) {
        Buffer b(c.capacity);
        matrix_identity(&m);
        EXPECT_EQ(c.build(&b.path, &m), c.expected) << c.name;
        EXPECT_TRUE(b.guard_intact(c.capacity)) << c.name;
    }
}

TEST(GpuPathBuilder, PathLongerThanItsBufferIsRefusedUnwritten) {
    Buffer b(80);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_rounded_rectangle(&b.path, 0, 0, 0, 20, 10, 4, 4, true), -1);
    EXPECT_TRUE(b.guard_intact(80));
    Buffer arc(40);
    EXPECT_EQ(UI_DRAWING_VGLITE_PATH_compute_thick_shape_ellipse_arc(&arc.path, 100, 80, 10, 5, 0, 360), -1);
    EXPECT_TRUE(arc.guard_intact(40));
}

}  // namespace
}  // namespace tarvelo::gpu::test
