// Runs a scenario inside RTOS tasks and records what happened, for checks
// made after the scheduler has ended (on the test's own thread).
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FreeRTOS.h"
#include "sim_clock.h"
#include "task.h"

namespace tarvelo::test {

// Starts the scheduler with `root` in a task of `priority` (named "root")
// and returns once the scheduler has ended; it ends when `root` returns.
// The virtual clock unless told otherwise; the tick count starts at
// `start_tick`.
void run_scenario(const std::function<void()>& root, UBaseType_t priority = 5,
                  SimClockMode_t clock = eSimClockVirtual, TickType_t start_tick = 0);

// An append-only record that tasks and interrupts write to without locks
// or the host heap.
class Trace {
public:
    void add(const char* what) { add(what, kNoValue); }
    void add(const char* what, long long value) {
        int i = size_.fetch_add(1);
        if (i < kCapacity) events_[i] = Event{what, value};
    }
    // "what" or "what=value", in order.
    std::vector<std::string> lines() const;
    int size() const { return size_.load(); }

private:
    static constexpr long long kNoValue = -0x7FFFFFFFFFFFLL;
    static constexpr int kCapacity = 256;
    struct Event {
        const char* what;
        long long value;
    };
    Event events_[kCapacity]{};
    std::atomic<int> size_{0};
};

// The trace of the test that runs: task functions take no captures, so they
// reach it through this pointer.
extern Trace* trace;

// A test whose scenario records into a trace of its own.
class TracedTest : public ::testing::Test {
protected:
    void SetUp() override { trace = &record; }
    void TearDown() override { trace = nullptr; }
    Trace record;
};

// Creates a task or fails the test; returns its handle.
TaskHandle_t spawn(TaskFunction_t function, const char* name, UBaseType_t priority, void* parameter = nullptr);

}  // namespace tarvelo::test
