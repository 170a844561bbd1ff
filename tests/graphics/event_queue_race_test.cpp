// The event ring with an input task writing pointer events while the pump
// reads, each inside the input critical section, on the real clock so that
// the writer preempts the reader anywhere, in bursts that fill the ring:
// every accepted event arrives whole and in order, refused ones not at all.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "FreeRTOS.h"
#include "graphics/display/event_queue.h"
#include "semphr.h"
#include "task.h"
#include "tests/graphics/test_port.h"
#include "tests/support/task_harness.h"

namespace tarvelo::graphics {
namespace {

constexpr int kEvents = 400;
std::atomic<int> g_accepted{0};
std::atomic<bool> g_done{false};
std::vector<int> g_sent;  // written by the writer only, read after it ends

void writer(void*) {
    for (int i = 0; i < kEvents; ++i) {
        // 256 generators in turn: the newest unread event never has the same
        // header, so none is replaced (the ring holds 50 events).
        if (LLUI_INPUT_sendTouchPressedEvent(static_cast<std::uint8_t>(i & 0xFF), i, i) == 0) {
            g_sent.push_back(i);
            ++g_accepted;
        }
        if (i % 70 == 69) vTaskDelay(2);  // bursts longer than the ring holds
    }
    g_done = true;
    vTaskDelete(nullptr);
}

TEST(EventQueueRace, AnInputTaskAndThePumpLoseNothing) {
    tarvelo::test::run_in_task(
        [] {
            SPictavoGraphicsContext gc{};
            ASSERT_EQ(test::port().start(&gc), 0);
            SemaphoreHandle_t lock = xSemaphoreCreateBinary();
            xSemaphoreGive(lock);
            test::use_input_lock(lock);
            g_sent.clear();
            xTaskCreate(writer, "Touch", 4096, nullptr, 5, nullptr);
            std::vector<std::uint32_t> words;
            while (!g_done || EventQueue::length() != 0) {
                std::uint32_t word = 0;
                if (!EventQueue::read(reinterpret_cast<void*>(0x1), &word)) {
                    vTaskDelay(1);
                    continue;
                }
                words.push_back(word);
                if (words.size() % 30 == 0) vTaskDelay(1);  // a slow pump: the ring fills
            }
            test::use_input_lock(nullptr);
            EXPECT_LT(g_accepted.load(), kEvents);  // the ring was full at times
            ASSERT_EQ(words.size(), 2u * static_cast<std::size_t>(g_accepted.load()));
            ASSERT_EQ(g_sent.size(), static_cast<std::size_t>(g_accepted.load()));
            for (std::size_t k = 0; k < g_sent.size(); ++k) {
                const auto i = static_cast<std::uint32_t>(g_sent[k]);
                EXPECT_EQ(words[2 * k], 0x07000000u | (i & 0xFF) << 16) << k;
                EXPECT_EQ(words[2 * k + 1], (i & 0xFFF) << 16 | (i & 0xFFF)) << k;
            }
        },
        4, true);
}

}  // namespace
}  // namespace tarvelo::graphics
