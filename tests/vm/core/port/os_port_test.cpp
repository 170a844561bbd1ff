// The operating-system port: milliseconds to ticks, the wake-up timer's
// arming decisions, time, and the in-interrupt flag.
#include <gtest/gtest.h>

#include "FreeRTOS.h"
#include "sim_clock.h"
#include "task.h"
#include "tests/support/isolated_run.h"
#include "tests/support/task_harness.h"
#include "timers.h"
#include "vm/core/port/os_port.h"
#include "vm/core/threads/reschedule.h"

using tarvelo::rescheduleRequested;
using tarvelo::test::run_in_task;
namespace os_port = tarvelo::os_port;

TEST(OsPort, MillisecondsToTicksRoundUp) {
    struct Case {
        std::int64_t ms;
        std::uint32_t ticks;
    };
    const Case cases[] = {
        {-1, 0},
        {INT64_MIN, 0},
        {0, 0},
        {1, 1},
        {5, 1},
        {6, 2},
        {10, 2},
        {21474836475LL, 0xFFFFFFFFu},        // exactly the largest tick count
        {21474836474LL, 0xFFFFFFFFu},        // rounds up to it
        {21474836476LL, 0xFFFFFFFFu},        // beyond: saturates
        {9223372036854775LL, 0xFFFFFFFFu},   // microseconds would still fit
        {9223372036854776LL, 0xFFFFFFFFu},   // microseconds would overflow
        {INT64_MAX, 0xFFFFFFFFu},
        {21474836470LL, 4294967294u},
    };
    for (const Case& c : cases) EXPECT_EQ(tarvelo_time_time_to_tick(c.ms), c.ticks) << c.ms;
}

namespace {

std::int64_t now_ms() { return LLOSTV_IMPL_getCurrentTime__Z(1); }

// Idles the task on the port's semaphore and reports how many ticks passed
// until something woke it.
TickType_t idle_ticks() {
    TickType_t before = xTaskGetTickCount();
    EXPECT_EQ(LLOSTV_IMPL_idleVM(), 0);
    return xTaskGetTickCount() - before;
}

}  // namespace

TEST(OsPort, ScheduleRequestForADueTimeReschedulesAtOnce) {
    run_in_task([] {
        ASSERT_EQ(LLOSTV_IMPL_initialize(), 0);
        vTaskDelay(3);  // the system time is no longer 0
        // Times relative to now, and the earliest time there is (whose
        // distance from now does not fit 64 bits).
        const std::int64_t now = now_ms();
        for (std::int64_t t : {now, now - 1, now - 100000, std::int64_t{0}, INT64_MIN, INT64_MIN + 1}) {
            rescheduleRequested.store(0);
            EXPECT_EQ(LLOSTV_IMPL_scheduleRequest__J(t), 0);
            EXPECT_EQ(rescheduleRequested.load(), 1) << t;
            EXPECT_FALSE(os_port::wakeup_timer_active()) << t;
            EXPECT_EQ(os_port::next_wakeup_time(), os_port::kNoWakeup);
            EXPECT_EQ(idle_ticks(), 0u) << "the semaphore was given at once";
        }
    });
}

TEST(OsPort, DelaysArmTheTimerForWholeTicks) {
    struct Case {
        std::int64_t delay_ms;
        TickType_t ticks;
    };
    run_in_task([] {
        ASSERT_EQ(LLOSTV_IMPL_initialize(), 0);
        for (Case c : {Case{1, 1}, Case{5, 1}, Case{6, 2}, Case{100, 20}}) {
            std::int64_t t = now_ms() + c.delay_ms;
            rescheduleRequested.store(0);
            EXPECT_EQ(LLOSTV_IMPL_scheduleRequest__J(t), 0);
            EXPECT_TRUE(os_port::wakeup_timer_active());
            EXPECT_EQ(os_port::next_wakeup_time(), t);
            EXPECT_EQ(rescheduleRequested.load(), 0) << "nothing due yet";
            EXPECT_EQ(idle_ticks(), c.ticks) << c.delay_ms;
            EXPECT_TRUE(os_port::timer_expired());
            EXPECT_EQ(rescheduleRequested.load(), 1);
        }
    });
}

// With the timer task's command queue full, stopping the timer fails: the
// request says so, naming itself, and a request that needed the timer
// armed fails; a due one still reschedules. A failed arming leaves no
// wake-up time behind, so the next request arms the timer.
TEST(OsPort, TimerCommandsThatCannotBeQueuedAreReported) {
    struct Case {
        std::int64_t delay_ms;
        std::int32_t result;
        std::uint8_t rescheduled;
    };
    for (Case c : {Case{0, 0, 1}, Case{-5, 0, 1}, Case{20, -1, 0}}) {
        static Case current;
        current = c;
        auto r = tarvelo::test::run_isolated([] {
            int status = 0;
            run_in_task([&] {
                if (LLOSTV_IMPL_initialize() != 0) return;
                TimerHandle_t other = xTimerCreate("other", 10, pdFALSE, nullptr, [](TimerHandle_t) {});
                rescheduleRequested.store(0);
                // The timer task cannot run: its queue fills up.
                vTaskSuspendAll();
                while (xTimerStop(other, 0) == pdPASS) {
                }
                std::int32_t result = LLOSTV_IMPL_scheduleRequest__J(now_ms() + current.delay_ms);
                xTaskResumeAll();
                status = (result == current.result ? 1 : 0) | (rescheduleRequested.load() == current.rescheduled ? 2 : 0);
                const std::int64_t later = now_ms() + 40;
                LLOSTV_IMPL_scheduleRequest__J(later);
                if (os_port::wakeup_timer_active() && os_port::next_wakeup_time() == later) status |= 4;
            });
            return status;
        });
        EXPECT_EQ(r.exit_status, 7) << c.delay_ms;
        EXPECT_NE(r.output.find("LLOSTV_IMPL_scheduleRequest__J:"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(" xTimerStop error\n"), std::string::npos) << r.output;
    }
}

TEST(OsPort, EarlierPendingRequestIsKeptAndEarlierOneRearms) {
    run_in_task([] {
        ASSERT_EQ(LLOSTV_IMPL_initialize(), 0);
        std::int64_t start = now_ms();
        LLOSTV_IMPL_scheduleRequest__J(start + 50);
        LLOSTV_IMPL_scheduleRequest__J(start + 100);
        EXPECT_EQ(os_port::next_wakeup_time(), start + 50) << "the pending timer fires first";
        LLOSTV_IMPL_scheduleRequest__J(start + 20);
        EXPECT_EQ(os_port::next_wakeup_time(), start + 20) << "an earlier time re-arms";
        EXPECT_EQ(idle_ticks(), 4u);
        // Once the timer fired, a later request arms it again.
        LLOSTV_IMPL_scheduleRequest__J(start + 100);
        EXPECT_EQ(os_port::next_wakeup_time(), start + 100);
        EXPECT_EQ(idle_ticks(), 16u);
    });
}

TEST(OsPort, ApplicationTimeIsAnOffsetOnSystemTime) {
    run_in_task([] {
        vTaskDelay(7);
        std::int64_t system = LLOSTV_IMPL_getCurrentTime__Z(1);
        EXPECT_EQ(system, 35);
        EXPECT_EQ(LLOSTV_IMPL_getTimeNanos(), 35 * 1000000LL);
        LLOSTV_IMPL_setApplicationTime__J(system);
        EXPECT_EQ(LLOSTV_IMPL_getCurrentTime__Z(0), LLOSTV_IMPL_getCurrentTime__Z(1));
        LLOSTV_IMPL_setApplicationTime__J(1700000000000LL);
        vTaskDelay(2);
        EXPECT_EQ(LLOSTV_IMPL_getCurrentTime__Z(1), 45) << "system time is never changed";
        EXPECT_EQ(LLOSTV_IMPL_getCurrentTime__Z(0), 1700000000000LL + 10);
        LLOSTV_IMPL_setApplicationTime__J(LLOSTV_IMPL_getCurrentTime__Z(1));
    });
}

// The application may set any time: the offset and the application time
// are computed modulo 2^64, as the device's 64-bit arithmetic does, so the
// application reads back exactly what it set.
TEST(OsPort, ApplicationTimeTakesAnyValue) {
    run_in_task([] {
        vTaskDelay(7);
        for (std::int64_t t : {INT64_MIN, INT64_MIN + 1, std::int64_t{-1}, std::int64_t{0}, INT64_MAX - 1, INT64_MAX}) {
            LLOSTV_IMPL_setApplicationTime__J(t);
            EXPECT_EQ(LLOSTV_IMPL_getCurrentTime__Z(0), t);
            EXPECT_EQ(LLOSTV_IMPL_getCurrentTime__Z(1), 35) << "system time is never changed";
        }
        LLOSTV_IMPL_setApplicationTime__J(LLOSTV_IMPL_getCurrentTime__Z(1));
    });
}

TEST(OsPort, SystemTimeRestartsWhenTheTickCountWraps) {
    vSimSetTickCount(0xFFFFFFFFu);
    run_in_task([] {
        EXPECT_EQ(LLOSTV_IMPL_getCurrentTime__Z(1), 0xFFFFFFFFLL * 5);
        vTaskDelay(1);
        EXPECT_EQ(LLOSTV_IMPL_getCurrentTime__Z(1), 0);
    });
}

TEST(OsPort, NestedInterruptSectionKeepsTheFlag) {
    ASSERT_EQ(interrupt_is_in(), 0);
    std::int32_t outer = interrupt_enter();
    EXPECT_EQ(outer, 1);
    std::int32_t inner = interrupt_enter();
    EXPECT_EQ(inner, 0);
    interrupt_leave(inner);
    EXPECT_EQ(interrupt_is_in(), 1) << "the inner leave keeps the flag";
    interrupt_leave(outer);
    EXPECT_EQ(interrupt_is_in(), 0);
}
