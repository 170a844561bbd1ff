// Event groups: the wait conditions, clearing on exit, release of several
// waiters by one set, timeouts, interrupts, deletion and rendezvous.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "event_groups.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {

EventGroupHandle_t group = nullptr;

using EventGroupTest = tarvelo::test::TracedTest;

struct Waiter {
    const char* name;
    EventBits_t bits;
    BaseType_t clear;
    BaseType_t all;
};

void waiter_task(void* arg) {
    auto* w = static_cast<const Waiter*>(arg);
    EventBits_t seen = xEventGroupWaitBits(group, w->bits, w->clear, w->all, portMAX_DELAY);
    trace->add(w->name, seen);
    vTaskDelete(nullptr);
}

}  // namespace

TEST_F(EventGroupTest, WaitConditionsWithoutWaiting) {
    struct Case {
        const char* what;
        EventBits_t initial, wait;
        BaseType_t all, clear;
        EventBits_t returned, after;
    };
    static const Case cases[] = {
        {"any, met", 0x5, 0x4, pdFALSE, pdFALSE, 0x5, 0x5},
        {"any, met, cleared", 0x5, 0x6, pdFALSE, pdTRUE, 0x5, 0x1},
        {"all, not met: nothing cleared", 0x5, 0x3, pdTRUE, pdTRUE, 0x5, 0x5},
        {"all, met, cleared", 0x7, 0x3, pdTRUE, pdTRUE, 0x7, 0x4},
        {"any, none set", 0x0, 0x1, pdFALSE, pdTRUE, 0x0, 0x0},
        {"highest usable bit", 0x800000, 0x800000, pdTRUE, pdTRUE, 0x800000, 0x0},
    };
    for (const Case& c : cases) {
        static const Case* current;
        static EventBits_t returned, after;
        current = &c;
        run_scenario([] {
            group = xEventGroupCreate();
            xEventGroupSetBits(group, current->initial);
            returned = xEventGroupWaitBits(group, current->wait, current->clear, current->all, 0);
            after = xEventGroupGetBits(group);
            vEventGroupDelete(group);
        });
        EXPECT_EQ(returned, c.returned) << c.what;
        EXPECT_EQ(after, c.after) << c.what;
    }
}

// One set releases every waiter whose condition holds; all of them see the
// value before any clearing.
TEST_F(EventGroupTest, OneSetReleasesEveryWaiterItSatisfies) {
    static const Waiter waiters[] = {
        {"any of 1, clearing", 0x1, pdTRUE, pdFALSE},
        {"all of 3", 0x3, pdFALSE, pdTRUE},
        {"any of 4", 0x4, pdFALSE, pdFALSE},
    };
    run_scenario(
        [] {
            group = xEventGroupCreate();
            for (const Waiter& w : waiters) spawn(waiter_task, w.name, 3, const_cast<Waiter*>(&w));
            vTaskDelay(1);
            trace->add("set returns", xEventGroupSetBits(group, 0x3));
            vTaskDelay(1);
            trace->add("bits", xEventGroupGetBits(group));
            trace->add("clear returns", xEventGroupClearBits(group, 0x2));
            xEventGroupSetBits(group, 0x4);
            vTaskDelay(1);
        },
        4);
    EXPECT_EQ(record.lines(), (Lines{"set returns=2", "any of 1, clearing=3", "all of 3=3", "bits=2",
                                     "clear returns=2", "any of 4=4"}));
}

TEST_F(EventGroupTest, TimeoutReturnsTheCurrentBits) {
    run_scenario([] {
        group = xEventGroupCreate();
        xEventGroupSetBits(group, 0x1);
        trace->add("returned", xEventGroupWaitBits(group, 0x3, pdTRUE, pdTRUE, 5));
        trace->add("at", xTaskGetTickCount());
        trace->add("left", xEventGroupGetBits(group));
    });
    EXPECT_EQ(record.lines(), (Lines{"returned=1", "at=5", "left=1"}));
}

TEST_F(EventGroupTest, SetFromAnInterruptReleasesAHigherWaiter) {
    static std::atomic<bool> released{false};
    static const Waiter waiter{"waiter", 0x10, pdTRUE, pdFALSE};
    run_scenario(
        [] {
            group = xEventGroupCreate();
            spawn(waiter_task, "waiter", 3, const_cast<Waiter*>(&waiter));
            vSimRaiseInterrupt(
                [](void*) {
                    BaseType_t woken = pdFALSE;
                    trace->add("isr set", xEventGroupSetBitsFromISR(group, 0x10, &woken));
                    trace->add("woken", woken);
                    released.store(true);
                    portYIELD_FROM_ISR(woken);
                },
                nullptr);
            while (!released.load()) {
            }
            vTaskDelay(1);
            trace->add("bits", xEventGroupGetBits(group));
        },
        1);
    EXPECT_EQ(record.lines(), (Lines{"isr set=1", "woken=1", "waiter=16", "bits=0"}));
}

TEST_F(EventGroupTest, DeletionReleasesWaitersWithZero) {
    static const Waiter waiter{"waiter", 0x1, pdFALSE, pdFALSE};
    run_scenario(
        [] {
            group = xEventGroupCreate();
            spawn(waiter_task, "waiter", 3, const_cast<Waiter*>(&waiter));
            vEventGroupDelete(group);
            trace->add("deleted");
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"waiter=0", "deleted"}));
}

// Three tasks meet: each sets its bit and waits for all three.
TEST_F(EventGroupTest, SyncIsARendezvous) {
    static const EventBits_t bits[] = {0x1, 0x2, 0x4};
    run_scenario(
        [] {
            group = xEventGroupCreate();
            for (const EventBits_t& b : bits)
                spawn(
                    [](void* arg) {
                        EventBits_t mine = *static_cast<const EventBits_t*>(arg);
                        vTaskDelay(mine);  // arrive at different times
                        EventBits_t seen = xEventGroupSync(group, mine, 0x7, portMAX_DELAY);
                        trace->add("through", seen);
                        trace->add("at", xTaskGetTickCount());
                        vTaskDelete(nullptr);
                    },
                    "party", 3, const_cast<EventBits_t*>(&b));
            vTaskDelay(10);
            trace->add("left", xEventGroupGetBits(group));
        },
        2);
    EXPECT_EQ(record.lines(),
              (Lines{"through=7", "at=4", "through=7", "at=4", "through=7", "at=4", "left=0"}));
}

// A waiter whose time ran out, but whose bits a higher task set before the
// waiter ran again, returns them and clears them as a released waiter
// would: the rendezvous or the event is not left behind for the next one.
TEST_F(EventGroupTest, TimedOutWaiterClearsBitsSetBeforeItRan) {
    struct Case {
        const char* name;
        bool sync;
    };
    static const Case cases[] = {{"wait", false}, {"sync", true}};
    for (const Case& c : cases) {
        static const Case* current;
        current = &c;
        tarvelo::test::Trace trace_of_case;
        trace = &trace_of_case;
        run_scenario(
            [] {
                group = xEventGroupCreate();
                spawn(
                    [](void*) {
                        EventBits_t seen = current->sync ? xEventGroupSync(group, 0x1, 0x3, 5)
                                                         : xEventGroupWaitBits(group, 0x3, pdTRUE, pdTRUE, 5);
                        trace->add("returned", seen);
                        vTaskDelete(nullptr);
                    },
                    "waiter", 2);
                spawn(
                    [](void*) {
                        vTaskDelay(5);  // wakes with the waiter's timeout, and runs first
                        xEventGroupSetBits(group, current->sync ? 0x2 : 0x3);
                        vTaskDelete(nullptr);
                    },
                    "setter", 3);
                vTaskDelay(10);
                trace->add("left", xEventGroupGetBits(group));
            },
            1);
        EXPECT_EQ(trace_of_case.lines(), (Lines{"returned=3", "left=0"})) << c.name;
    }
    trace = &record;
}
