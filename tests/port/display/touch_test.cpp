// Touch input from the scripted controller: the press, move and release
// filter with its thresholds, the controller's error path, a full event
// ring, the exact event words; the script's syntax; the LED hooks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "FreeRTOS.h"
#include "graphics/display/event_queue.h"
#include "platform/gt911/fast_gpio.h"
#include "platform/gt911/gt911_controller.h"
#include "platform/gt911/touch_script.h"
#include "platform/halt.h"
#include "port/display/touch_helper.h"
#include "port/display/touch_manager.h"
#include "queue.h"
#include "task.h"
#include "tests/port/display/display_fixture.h"
#include "tests/support/task_harness.h"

extern "C" {
std::int32_t Java_yq_pictavo_display_NSystemLedsImpl_getNbLeds(void);
std::int32_t LLUI_LED_IMPL_getIntensity(std::int32_t led);
void LLUI_LED_IMPL_setIntensity(std::int32_t led, std::int32_t intensity);
}

namespace {

using namespace tarvelo;
using namespace tarvelo::display;
using namespace tarvelo::display::test;
using tarvelo::graphics::EventQueue;
using tarvelo::gt911::Sample;
using tarvelo::gt911::SampleKind;

constexpr std::uint32_t kPress = 0x07000000u, kRelease = 0x07000100u, kMove = 0x07000600u;

std::uint32_t xy(std::uint32_t x, std::uint32_t y) { return x << 16 | y; }

Sample press(std::uint32_t tick, std::int32_t x, std::int32_t y) { return {tick, SampleKind::Press, x, y}; }
Sample move(std::uint32_t tick, std::int32_t x, std::int32_t y) { return {tick, SampleKind::Move, x, y}; }
Sample release(std::uint32_t tick) { return {tick, SampleKind::Release, 0, 0}; }
Sample error(std::uint32_t tick) { return {tick, SampleKind::Error, 0, 0}; }

void drain(std::vector<std::uint32_t>* words) {
    std::uint32_t w;
    while (EventQueue::length() > 0 && EventQueue::read(nullptr, &w)) words->push_back(w);
}

// A fresh controller, interrupt line and event ring (inside a task).
void reset_touch_input() {
    use_vm_stand_in();
    tarvelo::gt911::reset_controller();
    tarvelo::gt911::reset_gpio();
    EventQueue::initialize();
    EventQueue::start();
}

// Starts touch input on `script` and collects every event word up to
// `end_tick`, reading the ring each tick (as a pump would). `drain_from`
// holds the reader back until then. Ticks count from the controller's
// start, as the script's do.
std::vector<std::uint32_t> play(std::vector<Sample> script, TickType_t end_tick, TickType_t drain_from = 0) {
    std::vector<std::uint32_t> words;
    tarvelo::test::run_in_task([&] {
        reset_touch_input();
        tarvelo::gt911::use_script(script);
        ASSERT_EQ(LLUI_INPUT_IMPL_initialize(), 0);
        const TickType_t start = xTaskGetTickCount();
        if (drain_from > 0) {
            while (EventQueue::length() < 100) EventQueue::add(0x0BADBADu);
        }
        while (xTaskGetTickCount() - start < end_tick) {
            vTaskDelay(1);
            if (xTaskGetTickCount() - start >= drain_from) drain(&words);
        }
        // The line is unmasked again once the finger is up.
        EXPECT_NE(GPIO2->IMR.load() & (1u << 31), 0u);
    });
    return words;
}

// A finger put down at tick 20 and seen by the first poll (tick 23), then
// at each position just before each following poll (every 3 ticks), then
// lifted.
std::vector<Sample> stroke(std::int32_t x, std::int32_t y, const std::vector<std::pair<int, int>>& then) {
    std::vector<Sample> s{press(20, x, y)};
    std::uint32_t tick = 25;
    for (const auto& [px, py] : then) {
        s.push_back(move(tick, px, py));
        tick += 3;
    }
    s.push_back(release(tick));
    return s;
}

TEST(Touch, JitterWithinEightPixelsIsOnlyAPressAndARelease) {
    const auto words = play(stroke(100, 100, {{108, 92}, {92, 108}, {100, 100}, {108, 108}}), 60);
    EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(100, 100), kRelease, 0}));
}

TEST(Touch, FirstMoveNeedsNinePixelsLaterMovesThree) {
    const auto words = play(stroke(100, 100, {{108, 100}, {109, 100}, {111, 100}, {112, 100}, {112, 97}}), 60);
    EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(100, 100), kMove, xy(109, 100), kMove, xy(112, 100),
                                                 kMove, xy(112, 97), kRelease, 0}));
}

TEST(Touch, FirstMoveCountsOnEitherAxis) {
    const auto words = play(stroke(100, 100, {{100, 109}}), 40);
    EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(100, 100), kMove, xy(100, 109), kRelease, 0}));
}

TEST(Touch, SlidingTwoPixelsPerPollIsReportedEverySecondPoll) {
    const auto words = play(stroke(100, 100, {{110, 100}, {112, 100}, {114, 100}, {116, 100}, {118, 100}}), 60);
    EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(100, 100), kMove, xy(110, 100), kMove, xy(114, 100),
                                                 kMove, xy(118, 100), kRelease, 0}));
}

TEST(Touch, ControllerErrorPostsNoReleaseAndTheNextTouchContinues) {
    // The read at tick 29 fails: polling ends without a release. The finger
    // is still down, its line interrupts again, and the press goes on with
    // moves (no second press).
    const auto words = play({press(20, 100, 100), move(25, 110, 100), error(28), move(31, 120, 100), release(34)},
                            60);
    EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(100, 100), kMove, xy(110, 100), kMove, xy(120, 100),
                                                 kRelease, 0}));
}

TEST(Touch, ErrorWithTheFingerLiftedLeavesThePressCurrentUntilTheNextReport) {
    // The read at tick 26 fails: no release, the press stays current. The
    // controller reported meanwhile (and reports the lift): the next poll,
    // at 29, finds no finger and releases.
    std::vector<std::uint32_t> words;
    tarvelo::test::run_in_task([&] {
        reset_touch_input();
        tarvelo::gt911::use_script({press(20, 50, 60), error(25), release(27)});
        ASSERT_EQ(LLUI_INPUT_IMPL_initialize(), 0);
        vTaskDelay(27);
        drain(&words);
        EXPECT_TRUE(touch_filter_state().pressed);
        EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(50, 60)}));
        vTaskDelay(13);
        drain(&words);
        EXPECT_FALSE(touch_filter_state().pressed);
    });
    EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(50, 60), kRelease, 0}));
}

// A failed read loses nothing: the controller keeps interrupting at its
// report rate while the finger is down, so the next read continues the
// touch, and the lift is seen. Ticks of 5 ms: 40 is 200 ms.
TEST(Touch, AFailedReadLosesNeitherATouchNorItsRelease) {
    struct Case {
        const char* what;
        std::vector<Sample> script;
    };
    const std::vector<Case> cases{
        {"an error due before the press fails the press's first read", {error(40), press(60, 100, 500), release(200)}},
        {"an error while the finger rests fails a read between", {press(40, 100, 500), error(60), release(200)}},
        {"errors at every other read", {press(40, 100, 500), error(44), error(50), error(56), release(200)}},
    };
    for (const Case& c : cases) {
        const auto words = play(c.script, 230);
        EXPECT_EQ(words, (std::vector<std::uint32_t>{kPress, xy(100, 500), kRelease, 0})) << c.what;
    }
}

TEST(Touch, PressRefusedByAFullRingIsPostedAgainAtTheNextPoll) {
    // The ring is full until tick 24: the poll at tick 23 is refused and
    // forgotten, the poll at 26 posts the press (at the finger's place then).
    const auto words = play({press(20, 100, 100), move(25, 104, 100), release(28)}, 40, 24);
    std::vector<std::uint32_t> events;
    for (std::uint32_t w : words)
        if (w != 0x0BADBADu) events.push_back(w);
    EXPECT_EQ(events, (std::vector<std::uint32_t>{kPress, xy(104, 100), kRelease, 0}));
}

TEST(Touch, FingerHeldStillBeyondX32767PostsNoMove) {
    // The controller's coordinates are 16-bit unsigned: the filter keeps
    // the previous point as wide, so a finger that does not move is not a
    // move at every poll.
    std::vector<std::uint32_t> words;
    tarvelo::test::run_in_task([&] {
        reset_touch_input();
        reset_touch_filter();
        for (int poll = 0; poll < 4; ++poll) TOUCH_HELPER_pressed(40000, 60000);
        TOUCH_HELPER_released();
        drain(&words);
    });
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[0], kPress);
    EXPECT_EQ(words[2], kRelease);
}

// The point the controller reports after live input at (x, y).
std::pair<int, int> live_point(std::int32_t x, std::int32_t y) {
    std::pair<int, int> point{-1, -1};
    tarvelo::test::run_in_task([&] {
        reset_touch_input();
        // The window's mouse reports from a host thread of its own.
        std::atomic<bool> reported{false};
        std::thread mouse([&] {
            tarvelo::gt911::set_live_touch(true, x, y);
            reported = true;
        });
        while (!reported) vTaskDelay(1);
        mouse.join();
        std::uint8_t p[8] = {};
        ASSERT_TRUE(tarvelo::gt911::controller_read(tarvelo::gt911::kRegPoint1, p, sizeof p));
        point = {p[1] | p[2] << 8, p[3] | p[4] << 8};
    });
    return point;
}

TEST(Touch, LiveInputIsClampedToThePanel) {
    const struct {
        std::int32_t x, y;
        std::pair<int, int> reported;
    } cases[] = {
        {360, 800, {360, 800}}, {719, 1279, {719, 1279}}, {4456, 800, {719, 800}},
        {-5, 2000, {0, 1279}},  {720, -1, {719, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(live_point(c.x, c.y), c.reported) << c.x << ", " << c.y;
}

// Without the touch semaphore the task would never learn of a touch: the
// system says so and runs without touch input, the input section working.
TEST(Touch, WithoutItsSemaphoreTheSystemRunsWithoutTouchInput) {
    std::vector<std::uint32_t> words;
    testing::internal::CaptureStdout();
    tarvelo::test::run_in_task([&] {
        reset_touch_input();
        tarvelo::gt911::use_script({press(20, 50, 60), release(30)});
        vSimFailQueueCreation(1);  // the input section's comes first
        EXPECT_EQ(LLUI_INPUT_IMPL_initialize(), 0);
        EXPECT_EQ(xTaskGetHandle(kTouchTaskName), nullptr);
        vTaskDelay(40);
        drain(&words);
        EXPECT_TRUE(EventQueue::add(kPress));
    });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Touch task initialization failed\r\n");
    EXPECT_TRUE(words.empty());
}

// Without the input section the touch and display tasks would write the
// event ring while the application reads it: the start halts and says why.
TEST(TouchDeathTest, AFailedInputSectionHaltsTheStart) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);  // the console, where the matcher reads
            tarvelo::test::run_in_task([] {
                reset_touch_input();
                vSimFailQueueCreation(0);
                LLUI_INPUT_IMPL_initialize();
            });
        },
        ::testing::ExitedWithCode(TARVELO_EXIT_HALTED), "Input critical section initialization failed");
}

TEST(TouchScript, Syntax) {
    struct Case {
        const char* text;
        int error_line;  // 0: accepted
        std::vector<Sample> samples;
    };
    const Case cases[] = {
        {"", 0, {}},
        {"# a comment\n\n100 press 1 2\n105 move 3 4 # moved\n110 release\n115 error\n", 0,
         {{20, SampleKind::Press, 1, 2}, {21, SampleKind::Move, 3, 4}, {22, SampleKind::Release, 0, 0},
          {23, SampleKind::Error, 0, 0}}},
        {"100 press 0 0\n105 move 719 1279\n", 0, {{20, SampleKind::Press, 0, 0}, {21, SampleKind::Move, 719, 1279}}},
        {"100 press 1\n", 1, {}},
        {"100 press 1 2 3\n", 1, {}},
        {"100 tap 1 2\n", 1, {}},
        {"200 release\n100 release\n", 2, {}},
        {"-5 release\n", 1, {}},
        {"100 press -1 2\n", 1, {}},
        {"100 press 65536 2\n", 1, {}},
        {"press 1 2\n", 1, {}},
        // Off the 720 x 1280 panel (the event word keeps 12 bits: 4456
        // would land at 360).
        {"100 press 1 2\n200 press 4456 800\n", 2, {}},
        {"100 press 720 0\n", 1, {}},
        {"100 press 0 1280\n", 1, {}},
        {"100 press 1 2\n105 move 360 4096\n", 2, {}},
    };
    for (const Case& c : cases) {
        std::vector<Sample> samples;
        std::string error;
        EXPECT_EQ(tarvelo::gt911::parse_touch_script(c.text, &samples, &error), c.error_line == 0) << c.text;
        if (c.error_line == 0) {
            ASSERT_EQ(samples.size(), c.samples.size()) << c.text;
            for (std::size_t i = 0; i < samples.size(); ++i) {
                EXPECT_EQ(samples[i].tick, c.samples[i].tick);
                EXPECT_EQ(samples[i].kind, c.samples[i].kind);
                EXPECT_EQ(samples[i].x, c.samples[i].x);
                EXPECT_EQ(samples[i].y, c.samples[i].y);
            }
        } else {
            EXPECT_EQ(error.rfind("line " + std::to_string(c.error_line) + ":", 0), 0u) << c.text << ": " << error;
        }
    }
}

TEST(TouchScript, ADirectoryIsNoScript) {
    const std::string folder = testing::TempDir() + "touch-script-folder";
    std::filesystem::create_directories(folder);
    ::setenv("TARVELO_TOUCH_SCRIPT", folder.c_str(), 1);
    bool loaded = true, given = true;
    tarvelo::test::run_in_task([&] {
        tarvelo::gt911::reset_controller();
        loaded = tarvelo::gt911::load_script_from_environment();
        given = tarvelo::gt911::script_given();
    });
    ::unsetenv("TARVELO_TOUCH_SCRIPT");
    EXPECT_FALSE(loaded);
    EXPECT_FALSE(given);
}

TEST(Leds, NoneAndIntensityIsNotImplemented) {
    use_vm_stand_in();
    EXPECT_EQ(Java_yq_pictavo_display_NSystemLedsImpl_getNbLeds(), 0);
    EXPECT_EQ(LLUI_LED_IMPL_getIntensity(0), 0);
    LLUI_LED_IMPL_setIntensity(0, 255);
    ASSERT_EQ(thrown().size(), 2u);
    for (const ThrownException& e : thrown()) {
        EXPECT_EQ(e.code, -1);
        EXPECT_STREQ(e.message, "Not implemented");
    }
}

}  // namespace
