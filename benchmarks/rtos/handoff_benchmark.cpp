// The RTOS stand-in's hand-off (not a test): the time for the CPU to pass
// from one task to another and back, a task of higher priority woken by a
// notification and blocking again, beside its peer, two plain host threads
// passing a turn through semaphores (the host's own floor for a hand-off
// between threads). Prints nanoseconds per hand-off and the ratio. Run it
// also under `taskset -c N` to see a hand-off within one host CPU.
#include <pthread.h>
#include <semaphore.h>

#include <chrono>
#include <cstdio>

#include "FreeRTOS.h"
#include "sim_clock.h"
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
    return 0;
}
