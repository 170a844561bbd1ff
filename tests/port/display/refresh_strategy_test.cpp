// The refresh strategy: rectangle subtraction, the dirty lists through a
// sequence of frames, what is copied into the back buffer, the collapse to
// the whole screen, and random frames against a single-buffer model.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "FreeRTOS.h"
#include "graphics/display/display_system.h"
#include "graphics/display/llui_display.h"
#include "platform/address.h"
#include "port/display/refresh_strategy.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/port/display/display_fixture.h"
#include "tests/support/task_harness.h"
#include "tests/support/trace_recorder.h"

static bool operator==(const ui_rect_t& a, const ui_rect_t& b) {
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

static void PrintTo(const ui_rect_t& r, std::ostream* os) {
    *os << "(" << r.x1 << "," << r.y1 << "," << r.x2 << "," << r.y2 << ")";
}

namespace {

using namespace tarvelo;
using namespace tarvelo::display;
using namespace tarvelo::display::test;

std::vector<ui_rect_t> in_use(const DirtyRegionList& list) {
    return std::vector<ui_rect_t>(list.regions, list.regions + list.count);
}

std::vector<ui_rect_t> non_empty(const ui_rect_t* rects, std::uint32_t n) {
    std::vector<ui_rect_t> out;
    for (std::uint32_t i = 0; i < n; ++i)
        if (!UI_RECT_is_empty(&rects[i])) out.push_back(rects[i]);
    return out;
}

std::uint16_t pixel(const std::uint16_t* buffer, std::int32_t x, std::int32_t y) { return buffer[y * kW + x]; }

void fill(std::vector<std::uint16_t>& model, ui_rect_t r, std::uint16_t colour) {
    for (std::int32_t y = r.y1; y <= r.y2; ++y)
        for (std::int32_t x = r.x1; x <= r.x2; ++x) model[y * kW + x] = colour;
}

TEST(RectSubtract, TheFourCases) {
    struct Case {
        const char* name;
        ui_rect_t r, region;
        std::uint32_t count;
        std::vector<ui_rect_t> pieces;  // the non-empty ones, in order
    };
    const Case cases[] = {
        {"r contains region", {0, 0, 99, 99}, {10, 20, 29, 39}, 4,
         {{0, 0, 99, 19}, {0, 20, 9, 39}, {30, 20, 99, 39}, {0, 40, 99, 99}}},
        {"region contains r", {10, 10, 20, 20}, {0, 0, 99, 99}, 0, {}},
        {"equal", {5, 5, 9, 9}, {5, 5, 9, 9}, 4 /* r contains region: four empty pieces */, {}},
        // Left and right limited to the overlapping rows; pieces outside r
        // come out empty.
        {"overlap", {0, 0, 99, 99}, {50, 50, 149, 149}, 4, {{0, 0, 99, 49}, {0, 50, 49, 99}}},
        {"overlap through", {0, 0, 99, 99}, {-10, 40, 200, 59}, 4, {{0, 0, 99, 39}, {0, 60, 99, 99}}},
        {"disjoint", {0, 0, 9, 9}, {20, 20, 29, 29}, 1, {{0, 0, 9, 9}}},
    };
    for (const Case& c : cases) {
        ui_rect_t out[4];
        EXPECT_EQ(UI_RECT_subtract(out, &c.r, &c.region), c.count) << c.name;
        EXPECT_EQ(non_empty(out, 4), c.pieces) << c.name;
    }
}

TEST(RectSubtract, PiecesAndRegionCoverTheRectangleOnce) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(0, 40);
    for (int n = 0; n < 2000; ++n) {
        ui_rect_t r{static_cast<std::int16_t>(coord(rng)), static_cast<std::int16_t>(coord(rng)), 0, 0};
        r.x2 = static_cast<std::int16_t>(r.x1 + coord(rng));
        r.y2 = static_cast<std::int16_t>(r.y1 + coord(rng));
        ui_rect_t g{static_cast<std::int16_t>(coord(rng)), static_cast<std::int16_t>(coord(rng)), 0, 0};
        g.x2 = static_cast<std::int16_t>(g.x1 + coord(rng));
        g.y2 = static_cast<std::int16_t>(g.y1 + coord(rng));
        ui_rect_t out[4];
        UI_RECT_subtract(out, &r, &g);
        for (int y = r.y1; y <= r.y2; ++y) {
            for (int x = r.x1; x <= r.x2; ++x) {
                int covered = (x >= g.x1 && x <= g.x2 && y >= g.y1 && y <= g.y2) ? 1 : 0;
                for (const ui_rect_t& p : out)
                    if (!UI_RECT_is_empty(&p) && x >= p.x1 && x <= p.x2 && y >= p.y1 && y <= p.y2) ++covered;
                ASSERT_EQ(covered, 1) << n << " at " << x << "," << y;
            }
        }
    }
}

TEST(RefreshStrategy, WorkedSequenceOfFourFrames) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        const ui_rect_t r1{0, 0, 99, 99}, r2{200, 200, 299, 299}, r3{400, 400, 499, 499}, r4{250, 250, 349, 349};
        const RefreshState& s = refresh_state();

        // Frame 1 (buffer 0) restores nothing.
        draw_rect(&gc, r1, 0x1111);
        EXPECT_EQ(in_use(s.lists[0]), std::vector<ui_rect_t>{r1});
        EXPECT_EQ(in_use(s.lists[1]), std::vector<ui_rect_t>{r1});
        flush(&gc);
        wait_for_panel();

        // Frame 2 (buffer 1): list 0 = {R1} copied from buffer 0.
        ASSERT_TRUE(begin_drawing(&gc, r2));
        EXPECT_EQ(pixel(buffer(1), 50, 50), 0x1111);
        end_drawing(&gc, r2, 0x2222);
        EXPECT_EQ(s.index_to_restore, 1u);
        EXPECT_EQ(in_use(s.lists[0]), std::vector<ui_rect_t>{r2});
        EXPECT_EQ(in_use(s.lists[1]), (std::vector<ui_rect_t>{r1, r2}));
        flush(&gc);
        wait_for_panel();

        // Frame 3 (buffer 2): list 1 = {R1, R2} copied from buffer 1.
        ASSERT_TRUE(begin_drawing(&gc, r3));
        EXPECT_EQ(pixel(buffer(2), 50, 50), 0x1111);
        EXPECT_EQ(pixel(buffer(2), 250, 250), 0x2222);
        end_drawing(&gc, r3, 0x3333);
        EXPECT_EQ(s.index_to_restore, 0u);
        EXPECT_EQ(in_use(s.lists[0]), (std::vector<ui_rect_t>{r2, r3}));
        EXPECT_EQ(in_use(s.lists[1]), std::vector<ui_rect_t>{r3});
        flush(&gc);
        wait_for_panel();

        // Frame 4 (buffer 0, which still holds frame 1): list 0 = {R2, R3}
        // copied from buffer 2, less R4 about to be drawn.
        ASSERT_TRUE(begin_drawing(&gc, r4));
        ASSERT_EQ(LLUI_DISPLAY_getBufferAddress(&gc.image), to_word(buffer(0)));
        EXPECT_EQ(pixel(buffer(0), 250, 210), 0x2222);  // top piece of R2
        EXPECT_EQ(pixel(buffer(0), 210, 280), 0x2222);  // left piece of R2
        EXPECT_EQ(pixel(buffer(0), 280, 280), 0);       // inside R4: not copied
        EXPECT_EQ(pixel(buffer(0), 450, 450), 0x3333);
        EXPECT_EQ(pixel(buffer(0), 50, 50), 0x1111);  // frame 1's own
        end_drawing(&gc, r4, 0x4444);
        EXPECT_EQ(s.index_to_restore, 1u);
        EXPECT_EQ(in_use(s.lists[0]), std::vector<ui_rect_t>{r4});
        EXPECT_EQ(in_use(s.lists[1]), (std::vector<ui_rect_t>{r3, r4}));
        flush(&gc);
        wait_for_panel();

        std::vector<std::uint16_t> model(kW * kH, 0);
        fill(model, r1, 0x1111);
        fill(model, r2, 0x2222);
        fill(model, r3, 0x3333);
        fill(model, r4, 0x4444);
        EXPECT_EQ(std::memcmp(shown(), model.data(), model.size() * 2), 0);
        EXPECT_EQ(suspensions(), 0);
    });
}

TEST(RefreshStrategy, RegionInsideTheLastRectangleDoesNotGrowTheList) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        const ui_rect_t a{0, 0, 99, 99}, c{300, 300, 310, 310};
        draw_rect(&gc, a, 1);
        draw_rect(&gc, {10, 10, 20, 20}, 2);  // inside the last one
        EXPECT_EQ(in_use(refresh_state().lists[0]), std::vector<ui_rect_t>{a});
        draw_rect(&gc, c, 3);
        draw_rect(&gc, {5, 5, 6, 6}, 4);  // inside an earlier one
        EXPECT_EQ(in_use(refresh_state().lists[0]), (std::vector<ui_rect_t>{a, c, {5, 5, 6, 6}}));
        EXPECT_EQ(in_use(refresh_state().lists[1]), (std::vector<ui_rect_t>{a, c, {5, 5, 6, 6}}));
    });
}

TEST(RefreshStrategy, NinthRegionCollapsesToTheWholeScreen) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        for (std::int16_t i = 0; i < 8; ++i) draw_rect(&gc, {static_cast<std::int16_t>(i * 20), 0,
                                                            static_cast<std::int16_t>(i * 20 + 9), 9},
                                                      static_cast<std::uint16_t>(0x100 + i));
        EXPECT_EQ(refresh_state().lists[0].count, 8u);
        draw_rect(&gc, {0, 500, 9, 509}, 0x0F0F);
        const ui_rect_t whole{0, 0, 719, 1279};
        EXPECT_EQ(in_use(refresh_state().lists[0]), std::vector<ui_rect_t>{whole});
        EXPECT_EQ(in_use(refresh_state().lists[1]), std::vector<ui_rect_t>{whole});
        flush(&gc);
        wait_for_panel();
        // The next frame's first drawing copies the whole screen but itself.
        buffer(1)[700 * kW + 700] = 0x7777;  // stale pixel of buffer 1
        ASSERT_TRUE(begin_drawing(&gc, {0, 0, 9, 9}));
        EXPECT_EQ(pixel(buffer(1), 700, 700), 0);
        EXPECT_EQ(pixel(buffer(1), 45, 5), 0x102);
        EXPECT_EQ(pixel(buffer(1), 5, 505), 0x0F0F);
        EXPECT_EQ(pixel(buffer(1), 5, 5), 0);  // about to be drawn: not copied
        end_drawing(&gc, {0, 0, 9, 9}, 0x0A0A);
    });
}

TEST(RefreshStrategy, WholeScreenFirstDrawingCopiesNothingAndToggles) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        const ui_rect_t r1{0, 0, 99, 99}, whole{0, 0, 719, 1279};
        draw_rect(&gc, r1, 0x1111);
        flush(&gc);
        wait_for_panel();
        ASSERT_TRUE(begin_drawing(&gc, whole));
        EXPECT_EQ(pixel(buffer(1), 50, 50), 0);
        end_drawing(&gc, whole, 0x2222);
        EXPECT_EQ(refresh_state().index_to_restore, 1u);
        EXPECT_EQ(in_use(refresh_state().lists[0]), std::vector<ui_rect_t>{whole});
        EXPECT_EQ(in_use(refresh_state().lists[1]), (std::vector<ui_rect_t>{r1, whole}));
    });
}

TEST(RefreshStrategy, BackBufferThatIsTheFrontCopiesNothing) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        const ui_rect_t r1{0, 0, 99, 99}, r2{200, 200, 299, 299}, r3{400, 400, 409, 409};
        draw_rect(&gc, r1, 0x1111);
        flush(&gc);
        wait_for_panel();
        draw_rect(&gc, r2, 0x2222);
        // The engine refuses the next buffer: it keeps drawing into the one
        // just presented, which is also where the display is read from.
        tarvelo::graphics::display_state().back_buffer_status = tarvelo::graphics::kStateTaken;
        LLUI_DISPLAY_IMPL_refresh(&gc, 9);
        wait_for_panel();
        ASSERT_EQ(LLUI_DISPLAY_getBufferAddress(&gc.image), to_word(buffer(1)));
        ASSERT_EQ(to_word(shown()), to_word(buffer(1)));
        const RefreshState before = refresh_state();
        ASSERT_FALSE(before.backbuffer_ready);
        draw_rect(&gc, r3, 0x3333);
        const RefreshState& after = refresh_state();
        EXPECT_TRUE(after.backbuffer_ready);
        EXPECT_EQ(after.index_to_restore, before.index_to_restore);
        EXPECT_EQ(in_use(after.lists[before.index_to_restore]),
                  (std::vector<ui_rect_t>{r1, r2, r3}));
    });
}

// The trace events recorded while a TraceRecorder lives, as "UI+N v1 v2
// ...", the flush identifier (the first value of UI+11 and UI+12) left out.
class TraceRecorder {
public:
    TraceRecorder() {
        events().clear();
        tarvelo::test::set_trace_sink(record);
    }
    ~TraceRecorder() { tarvelo::test::set_trace_sink(nullptr); }
    // The events since the last call.
    static std::vector<std::string> take() {
        std::vector<std::string> out;
        for (const tarvelo::test::TraceEvent& e : events()) {
            std::string text = "UI+" + std::to_string(e.event);
            for (std::int32_t i = (e.event == 11 || e.event == 12) ? 1 : 0; i < e.count; ++i)
                text += " " + std::to_string(e.values[i]);
            EXPECT_EQ(e.group, 0);
            out.push_back(text);
        }
        events().clear();
        return out;
    }

private:
    static std::vector<tarvelo::test::TraceEvent>& events() {
        static std::vector<tarvelo::test::TraceEvent> e;
        return e;
    }
    static std::int32_t record(const tarvelo::test::TraceEvent& e) {
        vSimNoPreemptEnter();
        events().push_back(e);
        vSimNoPreemptExit();
        return e.group;
    }
};

using Trace = std::vector<std::string>;

// The strategy's seven trace events, recorded through the trace natives
// with a recorder in the trace-hook table.
TEST(RefreshStrategy, TraceEvents) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        TraceRecorder recorder;
        const auto address = [](std::uint32_t index) {
            return std::to_string(static_cast<std::int32_t>(to_word(buffer(index))));
        };

        // Frame 1: a region (UI+10), added to both lists (UI+13); a flush of
        // one rectangle to restore (UI+11).
        draw_rect(&gc, {0, 0, 99, 99}, 1);
        EXPECT_EQ(TraceRecorder::take(), (Trace{"UI+10 0 0 99 99", "UI+13 0 0 99 99", "UI+13 0 0 99 99"}));
        flush(&gc);
        EXPECT_EQ(TraceRecorder::take(), (Trace{"UI+11 " + address(0) + " 0 0 99 99"}));
        wait_for_panel();

        // Frame 2: the restore of the rectangle less the new region (UI+15:
        // the piece above it), then a flush of two rectangles (UI+12).
        draw_rect(&gc, {0, 50, 99, 149}, 2);
        EXPECT_EQ(TraceRecorder::take(),
                  (Trace{"UI+10 0 50 99 149", "UI+15 0 0 99 49", "UI+13 0 50 99 149", "UI+13 0 50 99 149"}));
        flush(&gc);
        EXPECT_EQ(TraceRecorder::take(), (Trace{"UI+12 " + address(1) + " 2"}));
        wait_for_panel();

        // A region about to be drawn over entirely (drawing-now false):
        // UI+14 for each rectangle it covers, list 0 then list 1.
        LLUI_DISPLAY_IMPL_newDrawingRegion(&gc, 0, 0, 99, 149, false);
        EXPECT_EQ(TraceRecorder::take(), (Trace{"UI+14 0 50 99 149", "UI+14 0 0 99 99", "UI+14 0 50 99 149"}));

        // The ninth rectangle of a first frame: each list collapses to the
        // whole screen (UI+16, then UI+13 of the whole screen).
        ASSERT_EQ(start_display(&gc), 0);
        for (std::int16_t i = 0; i < 9; ++i)
            draw_rect(&gc, {static_cast<std::int16_t>(200 + 10 * i), 200, static_cast<std::int16_t>(205 + 10 * i),
                            205},
                      3);
        const Trace trace = TraceRecorder::take();
        const Trace last(trace.end() - 5, trace.end());
        EXPECT_EQ(last, (Trace{"UI+10 280 200 285 205", "UI+16", "UI+13 0 0 719 1279", "UI+16",
                               "UI+13 0 0 719 1279"}));
    });
}

// Frames of random opaque rectangles (each frame repaints what it draws, as
// the library does): every presented frame equals one buffer that received
// every drawing.
TEST(RefreshStrategy, RandomFramesMatchASingleBufferModel) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        std::vector<std::uint16_t> model(kW * kH, 0);
        std::mt19937 rng(20261211);
        std::uniform_int_distribution<int> x_of(0, kW - 1), y_of(0, kH - 1), size_of(1, 300), kind(0, 9);
        for (int frame = 0; frame < 40; ++frame) {
            // Mostly a few rectangles; sometimes enough to collapse a list,
            // sometimes the whole screen first.
            const int k = kind(rng);
            const int count = k == 0 ? 10 : 1 + k % 3;
            for (int i = 0; i < count; ++i) {
                ui_rect_t r;
                if (k == 1 && i == 0) {
                    r = {0, 0, kW - 1, kH - 1};
                } else {
                    const int x = x_of(rng), y = y_of(rng);
                    r = {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                         static_cast<std::int16_t>(std::min(kW - 1, x + size_of(rng))),
                         static_cast<std::int16_t>(std::min(kH - 1, y + size_of(rng)))};
                }
                const auto colour = static_cast<std::uint16_t>(rng());
                draw_rect(&gc, r, colour);
                fill(model, r, colour);
            }
            flush(&gc);
            wait_for_panel();
            ASSERT_EQ(std::memcmp(shown(), model.data(), model.size() * 2), 0) << "frame " << frame;
        }
        EXPECT_EQ(suspensions(), 0);
    });
}

}  // namespace
