// The input event ring: capacity, all-or-nothing events, coalesced moves,
// partly read events and the stopped pump.
#include "graphics/display/event_queue.h"

#include <gtest/gtest.h>

#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

void* const kNative = reinterpret_cast<void*>(0x4321);

class EventQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SPictavoGraphicsContext gc{};
        ASSERT_EQ(test::port().start(&gc), 0);
    }
    std::uint32_t read() {
        std::uint32_t word = 0;
        EXPECT_TRUE(EventQueue::read(kNative, &word));
        return word;
    }
};

TEST_F(EventQueueTest, HundredWordsFitTheHundredAndFirstIsRefused) {
    for (std::uint32_t i = 0; i < 100; ++i) ASSERT_TRUE(EventQueue::add(i + 1)) << i;
    EXPECT_FALSE(EventQueue::add(101));
    EXPECT_EQ(read(), 1u);
    EXPECT_TRUE(EventQueue::add(101));
    for (std::uint32_t i = 2; i <= 101; ++i) EXPECT_EQ(read(), i);
    EXPECT_EQ(EventQueue::length(), 0u);
}

TEST_F(EventQueueTest, TwoWordEventIsRefusedWholeWhenOnlyOneFits) {
    for (std::uint32_t i = 0; i < 99; ++i) ASSERT_TRUE(EventQueue::add(0x01000000u + i));
    EXPECT_NE(LLUI_INPUT_sendTouchPressedEvent(3, 10, 20), 0);
    EXPECT_EQ(EventQueue::length(), 99u);
    EXPECT_TRUE(EventQueue::add(7));  // the ring itself is unchanged
}

TEST_F(EventQueueTest, MovesOfOneGeneratorCoalesce) {
    EXPECT_EQ(LLUI_INPUT_sendTouchPressedEvent(3, 1, 2), 0);
    EXPECT_EQ(LLUI_INPUT_sendTouchMovedEvent(3, 5, 6), 0);   // appended: the action differs
    EXPECT_EQ(LLUI_INPUT_sendTouchMovedEvent(3, 7, 8), 0);   // replaces the unread move
    EXPECT_EQ(LLUI_INPUT_sendTouchMovedEvent(3, 4097, 9), 0);  // coordinates keep 12 bits
    EXPECT_EQ(EventQueue::length(), 4u);
    EXPECT_EQ(read(), 0x07030000u);
    EXPECT_EQ(read(), (1u << 16) | 2u);
    EXPECT_EQ(read(), 0x07030600u);
    EXPECT_EQ(read(), (1u << 16) | 9u);
}

TEST_F(EventQueueTest, PartlyReadEventIsNotReplaced) {
    EXPECT_EQ(LLUI_INPUT_sendTouchMovedEvent(3, 5, 6), 0);
    EXPECT_EQ(read(), 0x07030600u);  // the pump took the first word
    EXPECT_EQ(LLUI_INPUT_sendTouchMovedEvent(3, 7, 8), 0);
    EXPECT_EQ(EventQueue::length(), 3u);
    EXPECT_EQ(read(), (5u << 16) | 6u);
}

TEST_F(EventQueueTest, ReleasedEventsCarryNoPosition) {
    EXPECT_EQ(LLUI_INPUT_sendTouchReleasedEvent(1), 0);
    EXPECT_EQ(read(), 0x07010100u);
    EXPECT_EQ(read(), 0u);
}

TEST_F(EventQueueTest, EmptyRingSuspendsTheReaderAndAWriteResumesIt) {
    std::uint32_t word = 0;
    EXPECT_FALSE(EventQueue::read(kNative, &word));
    ASSERT_EQ(test::port().suspensions.size(), 1u);
    EXPECT_TRUE(EventQueue::add(42));
    ASSERT_EQ(test::port().resumed.size(), 1u);
    EXPECT_EQ(read(), 42u);
}

TEST_F(EventQueueTest, StoppedPumpReadsTheStopEvent) {
    EXPECT_TRUE(EventQueue::add(5));
    EventQueue::interrupt();
    EXPECT_EQ(read(), kEventPumpStopped);
}

TEST_F(EventQueueTest, KernelEvents) {
    EventQueue::add(1);
    EventQueue::addKernelEvent(0x0F000010);
    EXPECT_EQ(EventQueue::length(), 1u);
    EXPECT_EQ(EventQueue::getKernelEvent(0x0F000000), 0x0F000010u);
    EXPECT_EQ(EventQueue::getKernelEvent(0x00000001), 0u);
    EventQueue::replaceKernelEvent(0x0F000020);
    EXPECT_EQ(read(), 0x0F000020u);
    EXPECT_EQ(EventQueue::getKernelEvent(0), 0u);  // empty
}

}  // namespace
}  // namespace tarvelo::graphics
