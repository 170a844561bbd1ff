// Thread ids: the unique number never repeats within its 23 bits and skips
// 0; the table finds a record only by its exact id, so an id kept after
// its thread ended finds nothing even when the slot was reused.
#include <gtest/gtest.h>

#include <atomic>

#include "vm/core/threads/thread_table.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::VMThread;

TEST(ThreadIds, UniqueNumberSkipsZeroWhenItWraps) {
    tarvelo::reset_unique_numbers();
    EXPECT_EQ(tarvelo::next_unique_number(), 1u);
    std::uint32_t last = 1;
    for (std::uint32_t i = 2; i <= tarvelo::kUniqueNumberMask; ++i) last = tarvelo::next_unique_number();
    EXPECT_EQ(last, tarvelo::kUniqueNumberMask);
    EXPECT_EQ(tarvelo::next_unique_number(), 1u);  // 0 is skipped
    tarvelo::reset_unique_numbers();
}

TEST(ThreadIds, TheSlotIsTheLowByte) {
    EXPECT_EQ(tarvelo::make_thread_id(0x7FFFFF, 33), 0x7FFFFF21u);
    EXPECT_GT(static_cast<std::int32_t>(tarvelo::make_thread_id(0x7FFFFF, 255)), 0);
}

// Records live below 4 GiB, as the virtual machine's own do.
VMThread records[3];

struct TableWithTwoSlots {
    std::uint32_t count = 0;
    std::uint32_t length = 2;
    std::atomic<tarvelo::word_t> slots[2] = {};
    tarvelo::ThreadTable* table() { return reinterpret_cast<tarvelo::ThreadTable*>(this); }
};

TEST(ThreadTable, FindsARecordOnlyByItsCurrentId) {
    TableWithTwoSlots storage;
    tarvelo::ThreadTable* table = storage.table();
    VMThread& t = records[0];
    t.threadId = tarvelo::make_thread_id(5, 1);
    ASSERT_TRUE(table->addThread(&t));
    EXPECT_EQ(table->findThread(t.threadId), &t);
    const std::uint32_t stale = t.threadId;
    table->removeThread(&t);
    t.threadId = tarvelo::make_thread_id(6, 1);  // the record bound again
    ASSERT_TRUE(table->addThread(&t));
    EXPECT_EQ(table->findThread(stale), nullptr);
    EXPECT_EQ(table->findThread(t.threadId), &t);
    EXPECT_EQ(table->count, 1u);
}

TEST(ThreadTable, RefusesATakenOrMissingSlot) {
    TableWithTwoSlots storage;
    tarvelo::ThreadTable* table = storage.table();
    VMThread& a = records[0];
    VMThread& b = records[1];
    VMThread& c = records[2];
    a.threadId = tarvelo::make_thread_id(1, 0);
    b.threadId = tarvelo::make_thread_id(2, 0);
    c.threadId = tarvelo::make_thread_id(3, 2);
    EXPECT_TRUE(table->addThread(&a));
    EXPECT_FALSE(table->addThread(&b));
    EXPECT_FALSE(table->addThread(&c));
    EXPECT_EQ(table->findThread(tarvelo::make_thread_id(1, 7)), nullptr);
}

}  // namespace
