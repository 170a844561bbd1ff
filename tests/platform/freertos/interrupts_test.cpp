// Simulated interrupts: asynchronous preemption of a task busy in code that
// makes no kernel call, masking by critical sections, suspended scheduler
// and no-preempt regions, FromISR calls, and host threads acting as
// interrupts.
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "FreeRTOS.h"
#include "semphr.h"
#include "sim_interrupt.h"
#include "task.h"
#include "kernel.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::Trace;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {

SemaphoreHandle_t sem = nullptr;
std::atomic<bool> high_ran{false};
std::atomic<bool> isr_done{false};

class InterruptTest : public tarvelo::test::TracedTest {
protected:
    void SetUp() override {
        TracedTest::SetUp();
        high_ran.store(false);
    }
};

// Gives the semaphore and asks for the switch at the end of the interrupt.
void give_isr(void*) {
    BaseType_t woken = pdFALSE;
    trace->add("isr inside", xPortIsInsideInterrupt());
    xSemaphoreGiveFromISR(sem, &woken);
    trace->add("isr woke higher", woken);
    isr_done.store(true);
    portYIELD_FROM_ISR(woken);
}

// Waits for the semaphore, then tells the busy task it ran.
void high_waiter(void*) {
    xSemaphoreTake(sem, portMAX_DELAY);
    trace->add("high runs");
    high_ran.store(true);
    vTaskDelete(nullptr);
}

// Spins without any kernel call until the high task has run. Without
// asynchronous preemption this never ends (and the test times out).
void spin_until_high_ran() {
    while (!high_ran.load()) {
    }
}

}  // namespace

TEST_F(InterruptTest, GiveFromAnInterruptPreemptsABusyLowerTask) {
    run_scenario(
        [] {
            sem = xSemaphoreCreateBinary();
            spawn(high_waiter, "high", 3);
            trace->add("task inside", xPortIsInsideInterrupt());
            vSimRaiseInterrupt(give_isr, nullptr);
            spin_until_high_ran();
            trace->add("low resumes");
        },
        1);
    EXPECT_EQ(record.lines(),
              (Lines{"task inside=0", "isr inside=1", "isr woke higher=1", "high runs", "low resumes"}));
}

// A host thread that is not a task can act as an interrupt itself.
TEST_F(InterruptTest, HostThreadActsAsAnInterrupt) {
    run_scenario(
        [] {
            sem = xSemaphoreCreateBinary();
            spawn(high_waiter, "high", 3);
            vSimNoPreemptEnter();  // std::thread uses the host heap
            std::thread device([] {
                vSimInterruptEnter();
                give_isr(nullptr);
                vSimInterruptExit();
            });
            vSimNoPreemptExit();
            spin_until_high_ran();
            trace->add("low resumes");
            vSimNoPreemptEnter();
            device.join();
            vSimNoPreemptExit();
        },
        1);
    EXPECT_EQ(record.lines(), (Lines{"isr inside=1", "isr woke higher=1", "high runs", "low resumes"}));
}

// Critical sections and masked interrupts hold an interrupt off until they
// end; inside a suspended scheduler or a no-preempt region the interrupt
// runs, but the task is not switched out before the region ends.
TEST_F(InterruptTest, RegionsHoldInterruptsOffOrDeferTheSwitch) {
    struct Region {
        const char* name;
        bool masks_interrupts;
        void (*enter)();
        void (*leave)();
    };
    static const Region regions[] = {
        {"critical section", true, [] { taskENTER_CRITICAL(); }, [] { taskEXIT_CRITICAL(); }},
        {"interrupts disabled", true, [] { taskDISABLE_INTERRUPTS(); }, [] { taskENABLE_INTERRUPTS(); }},
        {"suspended scheduler", false, [] { vTaskSuspendAll(); }, [] { (void)xTaskResumeAll(); }},
        {"no-preempt region", false, [] { vSimNoPreemptEnter(); }, [] { vSimNoPreemptExit(); }},
    };
    for (const Region& r : regions) {
        static const Region* region;
        region = &r;
        high_ran.store(false);
        isr_done.store(false);
        Trace local;
        trace = &local;
        run_scenario(
            [] {
                sem = xSemaphoreCreateBinary();
                spawn(high_waiter, "high", 3);
                region->enter();
                vSimRaiseInterrupt(give_isr, nullptr);
                if (region->masks_interrupts) {
                    // The interrupt thread now waits for the CPU.
                    while (uxSimInterruptsWaiting() == 0) {
                    }
                } else {
                    while (!isr_done.load()) {
                    }
                }
                // Give a wrong switch every chance to happen.
                for (int i = 0; i < 1000; ++i) std::this_thread::yield();
                trace->add("inside, high ran", high_ran.load());
                region->leave();
                spin_until_high_ran();
                trace->add("after");
            },
            1);
        Lines lines = local.lines();
        auto pos = [&](const char* s) { return std::find(lines.begin(), lines.end(), s) - lines.begin(); };
        ASSERT_LT(pos("inside, high ran=0"), static_cast<long>(lines.size())) << r.name;
        EXPECT_LT(pos("high runs"), pos("after")) << r.name;
        EXPECT_LT(pos("inside, high ran=0"), pos("high runs")) << r.name;
        if (r.masks_interrupts) {
            EXPECT_LT(pos("inside, high ran=0"), pos("isr inside=1")) << r.name << ": the interrupt waited";
        } else {
            EXPECT_LT(pos("isr inside=1"), pos("inside, high ran=0")) << r.name << ": the interrupt ran";
        }
    }
}

// vTaskEndScheduler from an interrupt stops a task busy in code that makes
// no kernel call.
TEST_F(InterruptTest, EndingFromAnInterruptStopsABusyTask) {
    run_scenario(
        [] {
            vSimRaiseInterrupt([](void*) { vTaskEndScheduler(); }, nullptr);
            spin_until_high_ran();
        },
        1);
    EXPECT_FALSE(high_ran.load());
}

// Interrupts serialise: a handler never overlaps another.
TEST_F(InterruptTest, InterruptsRunOneAtATimeInOrder) {
    static std::atomic<int> running{0};
    static std::atomic<int> overlaps{0};
    static int order[50];
    static std::atomic<int> done{0};
    run_scenario(
        [] {
            for (intptr_t i = 0; i < 50; ++i)
                vSimRaiseInterrupt(
                    [](void* arg) {
                        if (running.fetch_add(1) != 0) overlaps.fetch_add(1);
                        order[done.load()] = static_cast<int>(reinterpret_cast<intptr_t>(arg));
                        running.fetch_sub(1);
                        done.fetch_add(1);
                    },
                    reinterpret_cast<void*>(i));
            while (done.load() < 50) vTaskDelay(1);
        },
        1);
    EXPECT_EQ(overlaps.load(), 0);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
}

// A device's interrupt announced before its work: time does not jump past
// it however long the host takes for the work, so the interrupt happens
// before the next deadline (here the task's own one-tick delay).
TEST_F(InterruptTest, TimeWaitsForAnAnnouncedInterrupt) {
    static std::atomic<bool> raised{false};
    static TickType_t before = 0, after = 0;
    static std::atomic<TickType_t> isr_tick{0};
    static std::thread device;
    run_scenario(
        [] {
            raised = false;
            before = xTaskGetTickCount();
            vSimAnnounceInterrupt();
            device = std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                vSimRaiseAnnouncedInterrupt(
                    [](void*) {
                        isr_tick = xTaskGetTickCountFromISR();
                        raised = true;
                    },
                    nullptr);
            });
            while (!raised) vTaskDelay(1);
            after = xTaskGetTickCount();
        },
        1);
    device.join();
    EXPECT_EQ(isr_tick.load(), before);
    EXPECT_EQ(after, before + 1);
}

// An interrupt woken for the CPU lock may get no host CPU for a while on a
// loaded host. A task's kernel calls meanwhile wait for it only a moment:
// were they to give their host CPU away each time, every call would cost a
// host time slice of whatever else runs there (here a busy host thread on
// the same CPU), and the ready task would stall for as long.
TEST_F(InterruptTest, KernelCallsWaitOnlyAMomentForAnInterruptWithoutACpu) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    // The threads made from here on (the hog, the kernel's) share this CPU.
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    static std::atomic<bool> stop;
    stop.store(false);
    std::thread hog([] {
        while (!stop.load(std::memory_order_relaxed)) {
        }
    });
    static std::atomic<long long> elapsed_us;
    run_scenario([] {
        // An interrupt thread stuck before the lock, as one without a CPU.
        tarvelo::rtos::kernel.interrupts_waiting.fetch_add(1);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i) {
            taskENTER_CRITICAL();
            taskEXIT_CRITICAL();
        }
        elapsed_us.store(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
        tarvelo::rtos::kernel.interrupts_waiting.fetch_sub(1);
    });
    stop.store(true);
    hog.join();
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    // 20 calls of at most 50 us each, and perhaps a time slice or two of
    // the hog; giving the CPU away 64 times a call took seconds.
    EXPECT_LT(elapsed_us.load(), 200000);
}
