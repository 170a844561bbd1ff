// Queues: blocking send and receive with timeouts, item order, peek,
// overwrite, reset, the order in which waiters are served, deletion with
// waiters, and the FromISR calls. Virtual clock: timeouts end exactly.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "queue.h"
#include "sim_interrupt.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"

using tarvelo::test::run_scenario;
using tarvelo::test::spawn;
using tarvelo::test::trace;
using Lines = std::vector<std::string>;

namespace {

QueueHandle_t q = nullptr;

using QueueTest = tarvelo::test::TracedTest;

}  // namespace

// Nothing comes: the call fails exactly when its timeout ends.
TEST_F(QueueTest, TimeoutsEndExactly) {
    struct Case {
        bool send;  // to a full queue, else receive from an empty one
        TickType_t timeout;
    };
    for (Case c : {Case{false, 0}, Case{false, 1}, Case{false, 25}, Case{true, 0}, Case{true, 1}, Case{true, 25}}) {
        static Case current;
        static BaseType_t result;
        static TickType_t waited;
        current = c;
        run_scenario([] {
            q = xQueueCreate(2, sizeof(int));
            int v = 7;
            if (current.send) {
                xQueueSend(q, &v, 0);
                xQueueSend(q, &v, 0);
            }
            TickType_t start = xTaskGetTickCount();
            result = current.send ? xQueueSend(q, &v, current.timeout) : xQueueReceive(q, &v, current.timeout);
            waited = xTaskGetTickCount() - start;
        });
        EXPECT_EQ(result, c.send ? errQUEUE_FULL : errQUEUE_EMPTY) << c.send << " " << c.timeout;
        EXPECT_EQ(waited, c.timeout) << c.send << " " << c.timeout;
    }
}

// A blocked receiver gets what is sent before its timeout, at once; a
// blocked sender goes on as soon as there is room.
TEST_F(QueueTest, BlockedPartnersGoOnWhenTheQueueChanges) {
    run_scenario(
        [] {
            q = xQueueCreate(1, sizeof(int));
            spawn(
                [](void*) {
                    int v = 0;
                    BaseType_t r = xQueueReceive(q, &v, 50);
                    trace->add("received", v);
                    trace->add("result", r);
                    trace->add("at", xTaskGetTickCount());
                    v = 2;
                    xQueueSend(q, &v, 0);
                    v = 3;
                    r = xQueueSend(q, &v, 50);  // full until the root receives
                    trace->add("second send", r);
                    trace->add("at", xTaskGetTickCount());
                    vTaskDelete(nullptr);
                },
                "partner", 3);
            vTaskDelay(10);
            int v = 1;
            xQueueSend(q, &v, 0);
            vTaskDelay(5);
            xQueueReceive(q, &v, 0);
            trace->add("root got", v);
            xQueueReceive(q, &v, 0);
            trace->add("root got", v);
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"received=1", "result=1", "at=10", "second send=1", "at=15", "root got=2",
                                     "root got=3"}));
}

TEST_F(QueueTest, OrderPeekOverwriteAndReset) {
    run_scenario([] {
        q = xQueueCreate(3, sizeof(int));
        int v;
        v = 1;
        xQueueSendToBack(q, &v, 0);
        v = 2;
        xQueueSendToBack(q, &v, 0);
        v = 0;
        xQueueSendToFront(q, &v, 0);
        v = 9;
        trace->add("full send", xQueueSend(q, &v, 0));
        trace->add("waiting", uxQueueMessagesWaiting(q));
        trace->add("spaces", uxQueueSpacesAvailable(q));
        xQueuePeek(q, &v, 0);
        trace->add("peek", v);
        for (int i = 0; i < 3; ++i) {
            xQueueReceive(q, &v, 0);
            trace->add("got", v);
        }
        v = 5;
        xQueueSend(q, &v, 0);
        trace->add("reset", xQueueReset(q));
        trace->add("after reset", uxQueueMessagesWaiting(q));
        QueueHandle_t box = xQueueCreate(1, sizeof(int));
        for (int x : {10, 11, 12}) xQueueOverwrite(box, &x);
        trace->add("box holds", uxQueueMessagesWaiting(box));
        xQueueReceive(box, &v, 0);
        trace->add("newest", v);
    });
    EXPECT_EQ(record.lines(), (Lines{"full send=0", "waiting=3", "spaces=0", "peek=0", "got=0", "got=1", "got=2",
                                     "reset=1", "after reset=0", "box holds=1", "newest=12"}));
}

// Items are copied in: the sender's variable can change afterwards.
TEST_F(QueueTest, ItemsAreCopied) {
    struct Item {
        char text[24];
        long long number;
    };
    static Item out;
    run_scenario([] {
        q = xQueueCreate(2, sizeof(Item));
        Item in{"copied", 1234567890123LL};
        xQueueSend(q, &in, 0);
        in.number = 0;
        in.text[0] = 'X';
        xQueueReceive(q, &out, 0);
    });
    EXPECT_STREQ(out.text, "copied");
    EXPECT_EQ(out.number, 1234567890123LL);
}

// Waiting receivers are served highest priority first, then first come.
TEST_F(QueueTest, WaitersAreServedByPriorityThenArrival) {
    static const UBaseType_t priorities[] = {2, 4, 3, 4};
    run_scenario(
        [] {
            q = xQueueCreate(4, sizeof(int));
            for (const UBaseType_t& p : priorities)
                spawn(
                    [](void* arg) {
                        int v;
                        xQueueReceive(q, &v, portMAX_DELAY);
                        trace->add("receiver", static_cast<const UBaseType_t*>(arg) - priorities);
                        trace->add("got", v);
                        vTaskDelete(nullptr);
                    },
                    "receiver", p, const_cast<UBaseType_t*>(&p));
            vTaskDelay(1);  // all four now wait
            for (int v = 100; v < 104; ++v) xQueueSend(q, &v, 0);
            vTaskDelay(1);
        },
        5);
    EXPECT_EQ(record.lines(), (Lines{"receiver=1", "got=100", "receiver=3", "got=101", "receiver=2", "got=102",
                                     "receiver=0", "got=103"}));
}

TEST_F(QueueTest, DeletingAQueueReleasesItsWaitersWithAFailure) {
    run_scenario(
        [] {
            q = xQueueCreate(1, sizeof(int));
            spawn(
                [](void*) {
                    int v;
                    trace->add("receive", xQueueReceive(q, &v, portMAX_DELAY));
                    vTaskDelete(nullptr);
                },
                "receiver", 3);
            vQueueDelete(q);
            trace->add("deleted");
        },
        2);
    EXPECT_EQ(record.lines(), (Lines{"receive=0", "deleted"}));
}

// An interrupt sends; the woken receiver outranks the running task and
// runs when the interrupt ends.
TEST_F(QueueTest, SendAndReceiveFromAnInterrupt) {
    static std::atomic<bool> done{false};
    run_scenario(
        [] {
            q = xQueueCreate(2, sizeof(int));
            spawn(
                [](void*) {
                    int v;
                    xQueueReceive(q, &v, portMAX_DELAY);
                    trace->add("receiver got", v);
                    done.store(true);
                    vTaskDelete(nullptr);
                },
                "receiver", 3);
            vSimRaiseInterrupt(
                [](void*) {
                    int v = 0;
                    BaseType_t woken = pdFALSE;
                    trace->add("isr receive from empty", xQueueReceiveFromISR(q, &v, &woken));
                    v = 42;
                    trace->add("isr send", xQueueSendFromISR(q, &v, &woken));
                    trace->add("woken", woken);
                    portYIELD_FROM_ISR(woken);
                },
                nullptr);
            while (!done.load()) {
            }
        },
        1);
    EXPECT_EQ(record.lines(), (Lines{"isr receive from empty=0", "isr send=1", "woken=1", "receiver got=42"}));
}
