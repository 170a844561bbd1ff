// Schedule contexts on their own: the quanta banked by a new period and by
// the counters, the placement check that lends a used-up monitor owner the
// unlimited context of a thread queued on it, and the parked list.
#include <gtest/gtest.h>

#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::ScheduleContextFields;
using tarvelo::VMThread;
using tarvelo::word_t;

// A context object: header, owner word, then the fields. Below 4 GiB, as
// heap objects are.
struct ContextBlock {
    std::uint32_t header;
    std::uint32_t owner;
    ScheduleContextFields fields;
};

ContextBlock blocks[3];
VMThread records[4];

word_t context(int i, std::int32_t quota, std::int32_t remaining) {
    blocks[i] = ContextBlock{};
    blocks[i].fields.quota = quota;
    blocks[i].fields.remaining = remaining;
    return tarvelo::to_word(&blocks[i]);
}

VMThread* fresh(int i) {
    VMThread* t = &records[i];
    t->scheduleContext = 0;
    t->wantedContext = 0;
    t->contextNext.set(nullptr);
    t->monitorWaiters.set(nullptr);
    t->next.set(nullptr);
    t->prev.set(nullptr);
    t->parked = 0;
    return t;
}

struct CounterCase {
    std::int32_t quota;
    std::int32_t remaining;
    std::uint64_t consumed;
    std::int64_t counter;
};

// consumedTotal + (quota, or 0x7FFFFFFF unlimited) - remaining.
TEST(ScheduleContext, QuantumCounter) {
    const CounterCase cases[] = {
        {100, 100, 0, 0},          // a fresh period
        {100, 40, 500, 560},       // 60 used in this one
        {100, -3, 0, 103},         // overdrawn by the last branches
        {0, 0, 7, 7},              // suspended
        {-1, 0x7FFFFFFF - 9, 1, 10},  // unlimited
    };
    for (const CounterCase& c : cases) {
        const word_t ctx = context(0, c.quota, c.remaining);
        tarvelo::set_consumed_total(tarvelo::context_fields(ctx), c.consumed);
        EXPECT_EQ(tarvelo::quantum_counter(tarvelo::context_fields(ctx)), c.counter) << c.quota << " " << c.remaining;
    }
}

TEST(ScheduleContext, AnUnlimitedContextStartsOverAndBanksWhatItUsed) {
    const word_t ctx = context(0, tarvelo::kUnlimitedQuota, -5);
    EXPECT_EQ(tarvelo::ScheduleContextStruct::quotaReached(ctx), 0);
    ScheduleContextFields* c = tarvelo::context_fields(ctx);
    EXPECT_EQ(c->remaining, tarvelo::kUnlimitedRemaining);
    EXPECT_EQ(tarvelo::consumed_total(c), 0x7FFFFFFFull + 5);
}

TEST(ScheduleContext, AttachPushesAtTheHeadAndDetachUnlinks) {
    const word_t ctx = context(0, 10, 10);
    VMThread* a = fresh(0);
    VMThread* b = fresh(1);
    VMThread* c = fresh(2);
    tarvelo::ScheduleContextStruct::attach(a, ctx);
    tarvelo::ScheduleContextStruct::attach(b, ctx);
    tarvelo::ScheduleContextStruct::attach(c, ctx);
    EXPECT_EQ(tarvelo::context_fields(ctx)->firstThread, tarvelo::to_word(c));
    tarvelo::ScheduleContextStruct::detach(b);
    EXPECT_EQ(c->contextNext.get(), a);
    EXPECT_EQ(b->scheduleContext, 0u);
    tarvelo::ScheduleContextStruct::detach(c);
    EXPECT_EQ(tarvelo::context_fields(ctx)->firstThread, tarvelo::to_word(a));
    tarvelo::ScheduleContextStruct::detach(a);
    EXPECT_EQ(tarvelo::context_fields(ctx)->firstThread, 0u);
}

// A used-up context's owner of a monitor wanted by a thread of an unlimited
// context goes on in that context; one wanted only by limited threads
// stays; a new period brings it home.
class MonitorOwnerPlacement : public testing::Test {
  protected:
    void SetUp() override {
        limited = context(0, 50, 0);
        otherLimited = context(1, 50, 50);
        unlimited = context(2, tarvelo::kUnlimitedQuota, tarvelo::kUnlimitedRemaining);
        owner = fresh(0);
        waiter = fresh(1);
        owner->wantedContext = limited;
        tarvelo::ScheduleContextStruct::attach(owner, limited);
        owner->monitorWaiters.set(waiter);
    }
    void TearDown() override {
        tarvelo::ScheduleContextStruct::detach(owner);
        tarvelo::ScheduleContextStruct::detach(waiter);
    }
    word_t limited = 0, otherLimited = 0, unlimited = 0;
    VMThread* owner = nullptr;
    VMThread* waiter = nullptr;
};

TEST_F(MonitorOwnerPlacement, BorrowsTheUnlimitedContextOfAWaiter) {
    tarvelo::ScheduleContextStruct::attach(waiter, unlimited);
    EXPECT_EQ(tarvelo::ScheduleContextStruct::quotaReached(limited), 1);
    EXPECT_EQ(owner->scheduleContext, unlimited);
    EXPECT_EQ(owner->wantedContext, limited);
    // A new period: home again.
    tarvelo::context_fields(limited)->remaining = 50;
    tarvelo::QuotaScheduler::checkToUpdateContext(owner);
    EXPECT_EQ(owner->scheduleContext, limited);
}

TEST_F(MonitorOwnerPlacement, StaysWhenTheWaiterIsLimitedToo) {
    tarvelo::ScheduleContextStruct::attach(waiter, otherLimited);
    EXPECT_EQ(tarvelo::ScheduleContextStruct::quotaReached(limited), 1);
    EXPECT_EQ(owner->scheduleContext, limited);
}

TEST(ParkedThreads, UnlinkFromAnyPlace) {
    tarvelo::QuotaScheduler::clearParked();
    VMThread* t[3] = {fresh(0), fresh(1), fresh(2)};
    for (VMThread* x : t) tarvelo::QuotaScheduler::park(x);
    EXPECT_EQ(tarvelo::QuotaScheduler::firstParked(), t[2]);
    tarvelo::QuotaScheduler::unpark(t[1]);
    EXPECT_EQ(t[2]->next.get(), t[0]);
    EXPECT_EQ(t[0]->prev.get(), t[2]);
    tarvelo::QuotaScheduler::unpark(t[2]);
    EXPECT_EQ(tarvelo::QuotaScheduler::firstParked(), t[0]);
    EXPECT_EQ(t[2]->parked, 0);
    tarvelo::QuotaScheduler::unpark(t[0]);
    EXPECT_EQ(tarvelo::QuotaScheduler::firstParked(), nullptr);
}

}  // namespace
