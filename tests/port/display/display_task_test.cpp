// The display task and its three frame buffers: which buffer is shown and
// which one the engine draws into after each flush, a refused hand-over, and
// the pacing of flushes to the panel's vsync.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "graphics/display/display_system.h"
#include "graphics/display/llui_display.h"
#include "platform/address.h"
#include "platform/fbdev/fbdev.h"
#include "platform/fbdev/frame_buffers.h"
#include "platform/halt.h"
#include "port/display/display_window.h"
#include "queue.h"
#include "task.h"
#include "tests/port/display/display_fixture.h"
#include "tests/support/task_harness.h"

namespace {

using namespace tarvelo;
using namespace tarvelo::display;
using namespace tarvelo::display::test;
using tarvelo::graphics::display_state;
using tarvelo::graphics::kStateFlushing;
using tarvelo::graphics::kStateIdle;
using tarvelo::graphics::kStateTaken;

std::uint32_t address(std::uint32_t i) { return fbdev::frame_buffer_address(i); }

TEST(DisplayTask, StartsWithAClearedShownBufferAndTheFirstBackBuffer) {
    tarvelo::test::run_in_task([] {
        // Whatever the buffers held before (nothing clears them at reset),
        // the panel starts black.
        for (std::uint32_t i = 0; i < 3; ++i) std::memset(buffer(i), 0x5A, fbdev::kFrameBufferBytes);
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        EXPECT_EQ(shown_index(), 2);
        EXPECT_EQ(render_target_index(), 0u);
        EXPECT_EQ(display_state().init_data.lcd_buffer_address, address(0));
        EXPECT_EQ(display_state().init_data.lcd_width, 720u);
        EXPECT_EQ(display_state().init_data.lcd_height, 1280u);
        EXPECT_EQ(display_state().init_data.memory_width, 720u);
        EXPECT_EQ(gc.image.width, 720);
        EXPECT_EQ(gc.image.height, 1280);
        for (std::uint32_t i = 0; i < 3; ++i) {
            const std::uint16_t* p = buffer(i);
            EXPECT_EQ(p[0], 0);
            EXPECT_EQ(p[720 * 1280 - 1], 0);
            EXPECT_EQ(p[720 * 640 + 360], 0);
        }
        // The display task exists under its name, above the application.
        TaskHandle_t task = xTaskGetHandle("Display");
        ASSERT_NE(task, nullptr);
        EXPECT_EQ(uxTaskPriorityGet(task), 5u);
    });
}

TEST(DisplayTask, BuffersRotateShownThenBack) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        struct Step {
            std::int32_t shown;
            std::uint32_t back;
        };
        // After flush n: buffer (n-1) mod 3 shown, buffer n mod 3 drawn into.
        const Step expected[] = {{0, 1}, {1, 2}, {2, 0}, {0, 1}};
        std::uint16_t colour = 0x1111;
        for (const Step& step : expected) {
            draw_rect(&gc, {10, 10, 20, 20}, colour);
            const std::uint32_t drawn = LLUI_DISPLAY_getBufferAddress(&gc.image);
            flush(&gc);
            EXPECT_EQ(display_state().new_back_buffer_address.load(), address(step.back));
            EXPECT_EQ(render_target_index(), step.back);
            wait_for_panel();
            EXPECT_EQ(shown_index(), step.shown);
            EXPECT_EQ(to_word(shown()), drawn);
            EXPECT_EQ(shown()[15 * 720 + 15], colour);
            colour = static_cast<std::uint16_t>(colour + 0x1111);
        }
        EXPECT_EQ(suspensions(), 0);
    });
}

TEST(DisplayTask, RefusedHandOverKeepsThePresentedBufferAsRenderTarget) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        // Two accepted flushes: the render target is 2.
        for (int i = 0; i < 2; ++i) {
            draw_rect(&gc, {0, 0, 5, 5}, 0xF800);
            flush(&gc);
            wait_for_panel();
        }
        ASSERT_EQ(render_target_index(), 2u);
        // The engine is not waiting for this flush: it refuses the buffer.
        display_state().back_buffer_status = kStateTaken;
        LLUI_DISPLAY_IMPL_refresh(&gc, 77);
        wait_for_panel();
        // Buffer 2 was presented anyway; the index went to 0 and back to 2.
        EXPECT_EQ(shown_index(), 2);
        EXPECT_EQ(render_target_index(), 2u);
        EXPECT_EQ(display_state().new_back_buffer_address.load(), address(2));
        EXPECT_EQ(display_state().back_buffer_status.load(), kStateTaken);
    });
}

TEST(DisplayTask, FirstFlushRefusedCancelsToTheFirstBuffer) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        display_state().back_buffer_status = kStateTaken;
        LLUI_DISPLAY_IMPL_refresh(&gc, 5);
        wait_for_panel();
        EXPECT_EQ(shown_index(), 0);
        EXPECT_EQ(render_target_index(), 0u);
    });
}

TEST(DisplayTask, SecondFlushWaitsForTheVsync) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        vTaskDelay(7);  // between two vsyncs (6.67 and 10 ticks)
        const TickType_t t0 = xTaskGetTickCount();
        draw_rect(&gc, {0, 0, 9, 9}, 0x07E0);
        flush(&gc);  // handed over at once
        EXPECT_EQ(xTaskGetTickCount(), t0);
        EXPECT_EQ(shown_index(), 2);
        const std::uint32_t after_first = fbdev::panel_state().frames;

        draw_rect(&gc, {0, 0, 9, 9}, 0x001F);
        // The flush hook itself does not block: the display task waits.
        tarvelo::graphics::DisplaySystem::flush(&gc, nullptr);
        EXPECT_EQ(xTaskGetTickCount(), t0);
        EXPECT_EQ(display_state().back_buffer_status.load(), kStateFlushing);
        EXPECT_EQ(display_state().new_back_buffer_address.load(), address(1));
        while (display_state().back_buffer_status != kStateIdle) vTaskDelay(1);
        // Accepted once the panel switched to the first frame, at the vsync
        // (the interrupt may reach the tasks just after the tick).
        EXPECT_GE(xTaskGetTickCount(), fbdev::next_vsync_after(t0));
        EXPECT_EQ(fbdev::panel_state().frames, after_first + 1);
        EXPECT_EQ(fbdev::panel_state().last_switch_tick, fbdev::next_vsync_after(t0));
        EXPECT_EQ(display_state().new_back_buffer_address.load(), address(2));
        wait_for_panel();
        EXPECT_EQ(shown_index(), 1);
        EXPECT_EQ(shown()[0], 0x001F);
    });
}

TEST(FrameBufferDevice, VsyncIsSixtyHertzOnTheFiveMillisecondTick) {
    // 16.67 ms apart: ticks 0, 4, 7, 10, 14, 17, 20 (rounded up).
    const TickType_t expected[] = {0, 4, 7, 10, 14, 17, 20};
    for (std::uint32_t n = 0; n < 7; ++n) EXPECT_EQ(fbdev::vsync_tick(n), expected[n]) << n;
    EXPECT_EQ(fbdev::next_vsync_after(0), 4u);
    EXPECT_EQ(fbdev::next_vsync_after(4), 7u);
    EXPECT_EQ(fbdev::next_vsync_after(6), 7u);
    EXPECT_EQ(fbdev::next_vsync_after(7), 10u);
    EXPECT_EQ(fbdev::vsync_tick(60), 200u);  // 60 frames a second
}

struct Captured {
    std::vector<std::uint32_t> numbers;
    std::vector<std::uint16_t> first_pixels;
};

void capture(void* context, const std::uint16_t* pixels, std::uint32_t, std::uint32_t, std::uint32_t n) {
    auto* c = static_cast<Captured*>(context);
    c->numbers.push_back(n);
    c->first_pixels.push_back(pixels[0]);
}

TEST(FrameBufferDevice, EveryShownFrameReachesTheObservers) {
    tarvelo::test::run_in_task([] {
        SPictavoGraphicsContext gc;
        ASSERT_EQ(start_display(&gc), 0);
        Captured captured;
        ASSERT_TRUE(fbdev::add_frame_observer(capture, &captured));
        for (std::uint16_t c : {0x1234, 0x5678, 0x9ABC}) {
            draw_rect(&gc, {0, 0, 719, 0}, c);
            flush(&gc);
            wait_for_panel();
        }
        fbdev::remove_frame_observer(capture, &captured);
        EXPECT_EQ(captured.numbers, (std::vector<std::uint32_t>{1, 2, 3}));
        EXPECT_EQ(captured.first_pixels, (std::vector<std::uint16_t>{0x1234, 0x5678, 0x9ABC}));
    });
}

// A death's output without a failed assertion of the RTOS stand-in: the
// start stopped by its own check, not later on a missing semaphore.
::testing::Matcher<const std::string&> without_assertion() {
    struct NoAssertion : ::testing::MatcherInterface<const std::string&> {
        bool MatchAndExplain(const std::string& output, ::testing::MatchResultListener*) const override {
            return output.find("assertion failed") == std::string::npos;
        }
        void DescribeTo(std::ostream* os) const override { *os << "names no failed assertion"; }
    };
    return ::testing::MakeMatcher(new NoAssertion);
}

// Every semaphore the display's start creates, in order: a failed creation
// halts the start, as its other failures do, before anything waits on or
// gives a semaphore that is not there.
TEST(DisplayTaskDeathTest, AFailedSemaphoreCreationHaltsTheStart) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* const semaphores[] = {
        "frame-buffer device's free buffers", "frame-buffer device's pending frame", "GPU operations", "flush",
        "engine's flush state", "engine's drawing end",
    };
    static UBaseType_t failing;
    for (failing = 0; failing < std::size(semaphores); ++failing) {
        EXPECT_EXIT(tarvelo::test::run_in_task([] {
                        vSimFailQueueCreation(failing);
                        SPictavoGraphicsContext gc;
                        start_display(&gc);
                    }),
                    ::testing::ExitedWithCode(TARVELO_EXIT_HALTED), without_assertion())
            << semaphores[failing];
    }
    // One creation further the start succeeds: the list is every creation.
    tarvelo::test::run_in_task([count = std::size(semaphores)] {
        vSimFailQueueCreation(count);
        SPictavoGraphicsContext gc;
        EXPECT_EQ(start_display(&gc), 0);
    });
}

}  // namespace
