// The watchdog tables on their own: the timer list's order (a new entry
// before older ones of the same deadline), the expired-context queue (null
// accepted, no duplicates, full refuses, newest first), claims from the
// free list, cancels that must be ignored, and expiry with a full queue.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "vm/core/threads/watchdog_support.h"

namespace {

using tarvelo::TimerList;
using tarvelo::WatchdogEntry;
using tarvelo::WatchdogEventQueue;
using tarvelo::WatchdogSupport;
using tarvelo::word_t;

// Below 4 GiB, as the runtime region is.
WatchdogEntry entries[4];
std::uint32_t queue_words[1 + 2];

std::vector<std::uint32_t> order(const TimerList& list) {
    std::vector<std::uint32_t> v;
    for (const WatchdogEntry* e = list.first.get(); e != nullptr; e = e->next.get()) v.push_back(e->index);
    return v;
}

TEST(TimerList, SortedByDeadlineNewestFirstAmongEquals) {
    TimerList list{};
    const std::int64_t deadlines[] = {50, 20, 50, 10};
    for (std::uint32_t i = 0; i < 4; ++i) {
        entries[i].reset();
        entries[i].index = i;
        entries[i].deadline = deadlines[i];
        list.add(&entries[i]);
    }
    EXPECT_EQ(order(list), (std::vector<std::uint32_t>{3, 1, 2, 0}));
    EXPECT_EQ(list.count, 4);
    // Removing the first, a middle and the last entry keeps the links whole.
    for (std::uint32_t i : {3u, 2u, 0u}) list.remove(&entries[i]);
    EXPECT_EQ(order(list), (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(entries[1].prev.get(), nullptr);
    EXPECT_EQ(list.count, 1);
}

TEST(WatchdogEventQueue, OffersAndTakes) {
    queue_words[0] = 2;
    WatchdogEventQueue q{0, tarvelo::to_word(queue_words)};
    EXPECT_TRUE(q.offer(0));  // nothing to hand over: accepted
    EXPECT_EQ(q.count, 0);
    EXPECT_TRUE(q.offer(0x1000));
    EXPECT_TRUE(q.offer(0x1000));  // already there: once
    EXPECT_EQ(q.count, 1);
    EXPECT_TRUE(q.offer(0x2000));
    EXPECT_FALSE(q.offer(0x3000));  // full
    EXPECT_EQ(q.take(), 0x2000u);   // newest first
    EXPECT_EQ(q.take(), 0x1000u);
    EXPECT_EQ(q.take(), 0u);
}

// The component with the default configuration: two entries, a queue of two.
class Watchdogs : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        support = WatchdogSupport::create();
        ASSERT_TRUE(WatchdogSupport::initialize(support));
    }
    void SetUp() override { WatchdogSupport::stop(support); }
    // Arms a claimed entry without the clock.
    WatchdogEntry* armAt(std::int32_t index, std::int64_t deadline, word_t context) {
        WatchdogEntry* e = support->entry(index);
        e->deadline = deadline;
        e->context = context;
        support->timers.add(e);
        return e;
    }
    static WatchdogSupport* support;
};
WatchdogSupport* Watchdogs::support = nullptr;

TEST_F(Watchdogs, ClaimsTheLastEntryFirstUntilNoneIsFree) {
    ASSERT_EQ(support->entryCount(), 2);
    EXPECT_EQ(support->claimWatchdog(7), 1);
    EXPECT_EQ(support->claimWatchdog(8), 0);
    EXPECT_EQ(support->claimWatchdog(9), -1);
    // Claimed but never armed: a stop keeps the claims.
    WatchdogSupport::stop(support);
    EXPECT_EQ(support->claimWatchdog(10), -1);
    for (std::int32_t i = 0; i < 2; ++i) {
        armAt(i, 5, 0);
        support->cancelWatchdog(i, support->entry(i)->claimKey);
    }
}

TEST_F(Watchdogs, CancelsThatAreIgnored) {
    const std::int32_t i = support->claimWatchdog(7);
    support->cancelWatchdog(i, 7);  // claimed, not armed: nothing to disarm
    EXPECT_EQ(support->entry(i)->claimKey, 7);
    armAt(i, 100, 0x1000);
    struct Case {
        std::int32_t index;
        std::int32_t key;
    };
    for (const Case c : {Case{i, 8}, Case{-1, 7}, Case{2, 7}, Case{1 - i, 7}}) {
        support->cancelWatchdog(c.index, c.key);
        EXPECT_EQ(support->firstDeadline(), 100) << c.index << " " << c.key;
    }
    support->cancelWatchdog(i, 7);
    EXPECT_EQ(support->firstDeadline(), -1);
    EXPECT_EQ(support->entry(i)->claimKey, -1);
}

TEST_F(Watchdogs, AFullQueueMovesTheDeadline100MsLater) {
    support->queue.offer(0xA000);
    support->queue.offer(0xB000);
    armAt(support->claimWatchdog(1), 40, 0x1000);
    armAt(support->claimWatchdog(2), 50, 0x2000);
    support->expire(45);
    EXPECT_EQ(support->firstDeadline(), 50);  // the other is not due yet
    EXPECT_EQ(order(support->timers), (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(support->entry(1)->deadline, 140);
    support->queue.take();
    support->expire(60);  // one place: the first due takes it
    EXPECT_EQ(support->queue.take(), 0x2000u);
    EXPECT_EQ(support->firstDeadline(), 140);
    support->queue.take();
    support->expire(140);
    EXPECT_EQ(support->queue.take(), 0x1000u);
    EXPECT_EQ(support->firstDeadline(), -1);
}

}  // namespace
