// Handing the CPU to a task an interrupt readied. Strict priority means the
// task runs as the interrupt ends; it must not wait for the thread of the
// task it displaces to get a host CPU, which on a loaded host takes a host
// time slice of whatever else runs there, or longer.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>

#include "FreeRTOS.h"
#include "sim_interrupt.h"
#include "task.h"
#include "kernel.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;
// A thread that gets no host CPU: it takes this signal and stays in the
// handler until thawed.
constexpr int kFreezeSignal = SIGUSR2;

TaskHandle_t high = nullptr;
TaskHandle_t root = nullptr;
TaskHandle_t displaced = nullptr;
std::atomic<bool> frozen{false};
std::atomic<bool> thawed{false};
std::atomic<bool> armed{false};
std::atomic<int> high_runs{0};

void high_task(void*) {
    for (;;) {
        (void)ulTaskNotifyTake(pdTRUE, portMAX_DELAY);
        high_runs.fetch_add(1);
    }
}

// Gets the CPU whenever the high task blocks; once its thread runs (thawed),
// it leaves the CPU to the idle task.
void low_task(void*) { vTaskSuspend(nullptr); }

void on_freeze(int) {
    const int saved = errno;
    frozen.store(true);
    const timespec pause{0, 100000};
    while (!thawed.load()) nanosleep(&pause, nullptr);
    errno = saved;
}

// Stops the thread of a task that does not run, as a host that gives it no
// CPU would. Sent under the CPU lock, the signal finds the thread where it
// does not hold that lock (waiting for it or for its turn), so the kernel
// goes on without it.
void freeze(TaskHandle_t task) {
    struct sigaction sa {};
    sa.sa_handler = on_freeze;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ASSERT_EQ(sigaction(kFreezeSignal, &sa, nullptr), 0);
    taskENTER_CRITICAL();
    const int sent = pthread_kill(task->host->thread, kFreezeSignal);
    taskEXIT_CRITICAL();
    ASSERT_EQ(sent, 0);
    while (!frozen.load()) sched_yield();
}

// Raises an interrupt that notifies `task` when `only_while` has the CPU
// (any time if null); false if it never had it.
bool notify_from_interrupt(TaskHandle_t task, TaskHandle_t only_while) {
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(2);
    for (;;) {
        vSimInterruptEnter();
        const bool now = only_while == nullptr || tarvelo::rtos::kernel.current == only_while;
        if (now) {
            BaseType_t woken = pdFALSE;
            vTaskNotifyGiveFromISR(task, &woken);
            portYIELD_FROM_ISR(woken);
        }
        vSimInterruptExit();
        if (now) return true;
        if (Clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// The interrupt source: lets the root task go on once the idle task waits
// for work; then, while the displaced task has the CPU and its thread is
// frozen, readies the high task kRounds times and counts the times it ran.
int raise_rounds() {
    while (!armed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!notify_from_interrupt(root, nullptr)) return -1;
    while (!frozen.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int ran = 0;
    for (int i = 0; i < kRounds; ++i) {
        if (!notify_from_interrupt(high, displaced)) break;
        const Clock::time_point give_up = Clock::now() + std::chrono::seconds(2);
        while (high_runs.load() <= i && Clock::now() < give_up) std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (high_runs.load() <= i) break;
        ++ran;
    }
    // The root task ends the scenario, whatever happened.
    thawed.store(true);
    (void)notify_from_interrupt(root, nullptr);
    return ran;
}

struct Displaced {
    const char* name;
    bool low_task;  // else the idle task
};

void PrintTo(const Displaced& displaced, std::ostream* out) { *out << displaced.name; }

class HandoverTest : public ::testing::TestWithParam<Displaced> {};

// The displaced task has the CPU, but its thread is parked (waiting for its
// turn or, for the idle task, for work) and gets no host CPU: the high task
// must run all the same, every time.
TEST_P(HandoverTest, AReadiedTaskDoesNotWaitForTheThreadItDisplaces) {
    static bool with_low;
    with_low = GetParam().low_task;
    frozen.store(false);
    thawed.store(false);
    armed.store(false);
    high_runs.store(0);
    int ran = -1;
    std::thread source([&ran] { ran = raise_rounds(); });
    run_scenario([] {
        root = xTaskGetCurrentTaskHandle();
        high = spawn(high_task, "high", 9);
        // First the idle task waits for work, and an interrupt ends the wait.
        armed.store(true);
        (void)ulTaskNotifyTake(pdTRUE, portMAX_DELAY);
        // The low task has never run: its thread waits for its first turn.
        displaced = with_low ? spawn(low_task, "low", 2) : xTaskGetIdleTaskHandle();
        freeze(displaced);
        (void)ulTaskNotifyTake(pdTRUE, portMAX_DELAY);
    });
    source.join();
    EXPECT_EQ(ran, kRounds) << GetParam().name;
    EXPECT_EQ(high_runs.load(), kRounds) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Displaced, HandoverTest,
                         ::testing::Values(Displaced{"IdleTask", false}, Displaced{"LowTaskNotYetRun", true}),
                         [](const ::testing::TestParamInfo<Displaced>& info) { return std::string(info.param.name); });

}  // namespace
