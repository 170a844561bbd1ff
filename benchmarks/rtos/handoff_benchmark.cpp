// The RTOS stand-in's hand-off (not a test): the time for the CPU to pass
// from one task to another and back, a task of higher priority woken by a
// notification and blocking again, beside its peer, two plain host threads
// passing a turn through semaphores (the host's own floor for a hand-off
// between threads). Prints nanoseconds per hand-off and the ratio; then the
// time from an interrupt's end to the task it readied running, with the
// idle task displaced (mean and worst). Run it also under `taskset -c N` to
// see a hand-off within one host CPU, and beside busy host processes to see
// a loaded host.
#include <pthread.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "FreeRTOS.h"
#include "sim_clock.h"
#include "sim_interrupt.h"
#include "task.h"

namespace {

constexpr int kRounds = 50000;

using Clock = std::chrono::steady_clock;

TaskHandle_t high = nullptr;
Clock::time_point rtos_start;
Clock::time_point rtos_end;

void high_task(void*) {
    for (;;) (void)ulTaskNotifyTake(pdTRUE, portMAX_DELAY);
}

// Each give readies the higher task, which runs at once and blocks again:
// two hand-offs a round.
void low_task(void*) {
    (void)xTaskCreate(high_task, "high", 256, nullptr, 3, &high);
    rtos_start = Clock::now();
    for (int i = 0; i < kRounds; ++i) xTaskNotifyGive(high);
    rtos_end = Clock::now();
    vTaskEndScheduler();
}

sem_t ping;
sem_t pong;

void* host_peer(void*) {
    for (int i = 0; i < kRounds; ++i) {
        sem_wait(&ping);
        sem_post(&pong);
    }
    return nullptr;
}

double host_handoff_ns() {
    sem_init(&ping, 0, 0);
    sem_init(&pong, 0, 0);
    pthread_t peer;
    pthread_create(&peer, nullptr, host_peer, nullptr);
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kRounds; ++i) {
        sem_post(&ping);
        sem_wait(&pong);
    }
    const Clock::time_point end = Clock::now();
    pthread_join(peer, nullptr);
    return std::chrono::duration<double, std::nano>(end - start).count() / (2.0 * kRounds);
}

// Interrupt to task: a host thread acting as an interrupt readies a task of
// higher priority than the idle task, which has the CPU.
constexpr int kInterruptRounds = 2000;
TaskHandle_t waiter = nullptr;
std::atomic<bool> waiter_created{false};
std::atomic<Clock::rep> waiter_ran_at{0};
sem_t waiter_ran;  // the interrupt source waits on it, as a device for its next event

void waiter_task(void*) {
    for (;;) {
        (void)ulTaskNotifyTake(pdTRUE, portMAX_DELAY);
        waiter_ran_at.store(Clock::now().time_since_epoch().count());
        sem_post(&waiter_ran);
    }
}

void interrupt_root(void*) {
    (void)xTaskCreate(waiter_task, "waiter", 256, nullptr, 5, &waiter);
    waiter_created.store(true);
    vTaskSuspend(nullptr);
}

struct Latency {
    double mean_us;
    double worst_us;
};

Latency interrupt_to_task() {
    Latency result{0, 0};
    sem_init(&waiter_ran, 0, 0);
    std::thread source([&result] {
        while (!waiter_created.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        double total = 0;
        for (int i = 0; i < kInterruptRounds; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            const Clock::rep raised = Clock::now().time_since_epoch().count();
            BaseType_t woken = pdFALSE;
            vSimInterruptEnter();
            vTaskNotifyGiveFromISR(waiter, &woken);
            portYIELD_FROM_ISR(woken);
            vSimInterruptExit();
            while (sem_wait(&waiter_ran) != 0) {
            }
            const double us = std::chrono::duration<double, std::micro>(Clock::duration(waiter_ran_at.load() - raised)).count();
            total += us;
            result.worst_us = std::max(result.worst_us, us);
        }
        result.mean_us = total / kInterruptRounds;
        vTaskEndScheduler();
    });
    vSimSetClockMode(eSimClockReal);
    (void)xTaskCreate(interrupt_root, "root", 256, nullptr, 6, nullptr);
    vTaskStartScheduler();
    source.join();
    return result;
}

}  // namespace

int main() {
    vSimSetClockMode(eSimClockReal);
    (void)xTaskCreate(low_task, "low", 256, nullptr, 2, nullptr);
    vTaskStartScheduler();
    const double rtos_ns = std::chrono::duration<double, std::nano>(rtos_end - rtos_start).count() / (2.0 * kRounds);
    const double host_ns = host_handoff_ns();
    std::printf("rtos task hand-off, ns: %.0f\n", rtos_ns);
    std::printf("host thread hand-off (semaphores), ns: %.0f\n", host_ns);
    std::printf("ratio rtos / host hand-off: %.2f\n", rtos_ns / host_ns);
    const Latency interrupt = interrupt_to_task();
    std::printf("interrupt to readied task (idle displaced), us: mean %.1f, worst %.1f\n", interrupt.mean_us,
                interrupt.worst_us);
    return 0;
}
