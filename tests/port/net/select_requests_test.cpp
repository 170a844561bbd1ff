// The select task's decisions: the sets and the width of a pass, the
// nearest deadline, which requests a pass finishes, and what a failed
// select leaves parked.
#include "port/net/select_requests.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace tarvelo::net;

struct Lists : ::testing::Test {
    SelectRequestLists lists;
    std::vector<std::int32_t> resumed;

    void SetUp() override { lists.init(); }

    SelectRequest* park(std::int32_t socket, std::int32_t thread, std::int64_t deadline, std::uint8_t op) {
        SelectRequest* r = lists.popFree();
        EXPECT_NE(r, nullptr);
        r->socket = socket;
        r->threadId = thread;
        r->deadline = deadline;
        r->operation = op;
        lists.pushUsed(r);
        return r;
    }
    auto resume() {
        return [this](std::int32_t id) { resumed.push_back(id); };
    }
};

TEST_F(Lists, SixteenRecordsThenNone) {
    for (int i = 0; i < kSelectRequests; ++i) ASSERT_NE(lists.popFree(), nullptr);
    EXPECT_EQ(lists.popFree(), nullptr);
    lists.init();  // linking happens once only
    EXPECT_EQ(lists.popFree(), nullptr);
}

TEST_F(Lists, WidthCountsOnlySocketsBelowTen) {
    park(12, 1, 0, kSelectRead);
    park(3, 2, 0, kSelectWrite);
    const SelectPlan p = lists.plan(5, 1000);
    EXPECT_EQ(p.width, 6);  // the wake-up socket 5 is the highest lwIP socket
    EXPECT_TRUE(p.read.isSet(5));
    EXPECT_TRUE(p.write.isSet(3));
    EXPECT_FALSE(p.read.isSet(3));
    EXPECT_EQ(p.earliest, kNoDeadline);
    EXPECT_EQ(p.read.bits[1], 0);  // 12 never entered
}

TEST_F(Lists, NearestDeadlineAndPollingWithoutWakeupSocket) {
    park(1, 1, 5000, kSelectRead);
    park(2, 2, 0, kSelectRead);
    park(3, 3, 1500, kSelectRead);
    EXPECT_EQ(lists.plan(4, 1000).earliest, 1500);
    EXPECT_EQ(lists.plan(-1, 1000).earliest, 1100);  // polls every 100 ms
    EXPECT_EQ(lists.plan(-1, 1000).width, 4);
}

TEST_F(Lists, ReadyAndExpiredRequestsFinishOthersKeepOrder) {
    park(1, 10, 0, kSelectRead);
    park(1, 11, 0, kSelectWrite);  // same socket, other direction
    park(2, 12, 900, kSelectRead);
    park(3, 13, 0, kSelectRead);
    SocketSet read{};
    SocketSet write{};
    read.set(1);
    EXPECT_EQ(lists.finishReady(read, write, 1000, resume()), 2);
    EXPECT_EQ(resumed, (std::vector<std::int32_t>{12, 10}));
    EXPECT_EQ(lists.usedCount(), 2);
    EXPECT_EQ(lists.freeCount(), kSelectRequests - 2);
    EXPECT_EQ(lists.used()->threadId, 13);
    EXPECT_EQ(lists.used()->next->threadId, 11);
}

TEST_F(Lists, SocketTenOrMoreEndsOnlyByDeadline) {
    park(10, 20, 0, kSelectRead);
    park(11, 21, 2000, kSelectRead);
    SocketSet all{};
    for (int i = 0; i < kSelectSockets; ++i) all.set(i);
    EXPECT_EQ(lists.finishReady(all, all, 1999, resume()), 0);
    EXPECT_EQ(lists.finishReady(all, all, 2000, resume()), 1);
    EXPECT_EQ(resumed, (std::vector<std::int32_t>{21}));
}

TEST_F(Lists, FailedSelectResumesOnlyInvalidSocketsAndPassedDeadlines) {
    park(1, 30, 0, kSelectRead);
    park(2, 31, 0, kSelectRead);
    park(3, 32, 500, kSelectWrite);
    const auto invalid = [](std::int32_t s) { return s == 2; };
    EXPECT_EQ(lists.finishInvalid(1000, invalid, resume()), 2);
    EXPECT_EQ(resumed, (std::vector<std::int32_t>{32, 31}));
    ASSERT_EQ(lists.usedCount(), 1);
    EXPECT_EQ(lists.used()->threadId, 30);
    // Nothing invalid and nothing due: everything stays parked.
    resumed.clear();
    EXPECT_EQ(lists.finishInvalid(1000, [](std::int32_t) { return false; }, resume()), 0);
    EXPECT_TRUE(resumed.empty());
}

TEST_F(Lists, ReleaseByThreadReturnsTheRecord) {
    park(1, 40, 0, kSelectRead);
    park(2, 41, 0, kSelectRead);
    EXPECT_TRUE(lists.releaseByThread(40));
    EXPECT_FALSE(lists.releaseByThread(40));
    EXPECT_EQ(lists.usedCount(), 1);
    EXPECT_EQ(lists.freeCount(), kSelectRequests - 1);
}

}  // namespace
