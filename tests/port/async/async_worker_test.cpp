// The asynchronous worker against a stand-in of the native interface that
// records suspensions, resumptions and exceptions: its job and waiting-list
// limits, the order of waiters, jobs of threads that died, and the pools and
// the operating-system layer it is built on.
#include "port/async/async_worker.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "port/async/osal.h"
#include "port/async/pool.h"
#include "task.h"
#include "tests/support/task_harness.h"

namespace {

struct Suspension {
    std::int32_t thread;
    SNI_callback callback;
    void* argument;
};
struct Thrown {
    std::int32_t code;
    std::string message;
};

std::int32_t current_thread = 1;
std::vector<Suspension> suspensions;
std::vector<std::int32_t> resumptions;
std::set<std::int32_t> dead_threads;
std::vector<Thrown> thrown;
void* callback_argument = nullptr;
bool refuse_suspension = false;

void reset_vm() {
    refuse_suspension = false;
    current_thread = 1;
    suspensions.clear();
    resumptions.clear();
    dead_threads.clear();
    thrown.clear();
    callback_argument = nullptr;
}

}  // namespace

// The native interface as the worker sees it.
extern "C" {
std::int32_t SNI_getCurrentJavaThreadID(void) { return current_thread; }
std::int32_t SNI_suspendCurrentJavaThreadWithCallback(std::int64_t, SNI_callback callback, void* argument) {
    if (refuse_suspension) return -1;
    suspensions.push_back({current_thread, callback, argument});
    return 0;
}
std::int32_t SNI_resumeJavaThread(std::int32_t id) {
    resumptions.push_back(id);
    return dead_threads.count(id) != 0 ? -1 : 0;
}
std::int32_t SNI_throwNativeIOException(std::int32_t code, const char* message) {
    thrown.push_back({code, message});
    return 0;
}
std::int32_t SNI_getCallbackArgs(void** callbackArgument, void** resumeArgument) {
    if (callbackArgument != nullptr) *callbackArgument = callback_argument;
    if (resumeArgument != nullptr) *resumeArgument = nullptr;
    return 0;
}
}

namespace {

struct Params {
    std::int32_t value;
};

TARVELO_ASYNC_WORKER_DECLARE(worker, 4, Params, 17);

void retry_native() {}
void on_done() {}
std::vector<std::int32_t> actions_run;
void record_action(AsyncWorkerJob* job) { actions_run.push_back(static_cast<Params*>(job->params)->value); }

class AsyncWorker : public testing::Test {
protected:
    void SetUp() override {
        reset_vm();
        actions_run.clear();
        worker.jobCount = 4;
        worker.waitingLength = 17;
        worker.freeJobs = worker_jobs;
        worker.queue = worker.task = worker.mutex = nullptr;
    }
    static void start() { ASSERT_EQ(TARVELO_ASYNC_WORKER_initialize(&worker, "Tarvelo FS", 2048, 6), 0); }
    static AsyncWorkerJob* allocate(std::int32_t thread) {
        current_thread = thread;
        return TARVELO_ASYNC_WORKER_allocate_job(&worker, reinterpret_cast<SNI_callback>(retry_native));
    }
};

TEST_F(AsyncWorker, FourJobsSixteenWaitersAndTheSeventeenthIsRefused) {
    tarvelo::test::run_in_task([] {
        start();
        std::set<AsyncWorkerJob*> jobs;
        for (int t = 1; t <= 4; ++t) jobs.insert(allocate(t));
        EXPECT_EQ(jobs.size(), 4u);
        EXPECT_EQ(jobs.count(nullptr), 0u);
        for (int t = 5; t <= 20; ++t) EXPECT_EQ(allocate(t), nullptr);
        ASSERT_EQ(suspensions.size(), 16u);
        for (const Suspension& s : suspensions) {
            EXPECT_EQ(s.callback, reinterpret_cast<SNI_callback>(retry_native));
            EXPECT_EQ(s.argument, nullptr);
        }
        EXPECT_TRUE(thrown.empty());
        EXPECT_EQ(allocate(21), nullptr);
        EXPECT_EQ(suspensions.size(), 16u);  // not suspended
        ASSERT_EQ(thrown.size(), 1u);
        EXPECT_EQ(thrown[0].code, -1);
        EXPECT_EQ(thrown[0].message, "TARVELO_ASYNC_WORKER: thread cannot be suspended, waiting list is full.");
    });
}

TEST_F(AsyncWorker, FreedJobsWakeTheOldestLiveWaiterFirst) {
    tarvelo::test::run_in_task([] {
        start();
        std::vector<AsyncWorkerJob*> jobs;
        for (int t = 1; t <= 4; ++t) jobs.push_back(allocate(t));
        for (int t : {10, 11, 12, 13}) EXPECT_EQ(allocate(t), nullptr);
        dead_threads = {11, 12};
        TARVELO_ASYNC_WORKER_free_job(&worker, jobs[0]);
        EXPECT_EQ(resumptions, (std::vector<std::int32_t>{10}));
        // 11 and 12 died while they waited: the job goes to 13.
        TARVELO_ASYNC_WORKER_free_job(&worker, jobs[1]);
        EXPECT_EQ(resumptions, (std::vector<std::int32_t>{10, 11, 12, 13}));
        TARVELO_ASYNC_WORKER_free_job(&worker, jobs[2]);  // nobody waits
        EXPECT_EQ(resumptions.size(), 4u);
        // The woken waiters find the jobs; one more finds the list empty again.
        EXPECT_NE(allocate(10), nullptr);
        EXPECT_NE(allocate(13), nullptr);
        EXPECT_NE(allocate(14), nullptr);
        EXPECT_EQ(allocate(15), nullptr);
    });
}

TEST_F(AsyncWorker, TheWaitingListWrapsAround) {
    tarvelo::test::run_in_task([] {
        start();
        std::vector<AsyncWorkerJob*> jobs;
        for (int t = 1; t <= 4; ++t) jobs.push_back(allocate(t));
        for (int round = 0; round < 40; ++round) {
            EXPECT_EQ(allocate(100 + round), nullptr);
            TARVELO_ASYNC_WORKER_free_job(&worker, jobs[0]);
            EXPECT_EQ(resumptions.back(), 100 + round);
            jobs[0] = allocate(100 + round);
            ASSERT_NE(jobs[0], nullptr);
        }
        EXPECT_TRUE(thrown.empty());
    });
}

TEST_F(AsyncWorker, TheTaskRunsTheActionAndResumesTheThread) {
    tarvelo::test::run_in_task([] {
        start();
        AsyncWorkerJob* job = allocate(7);
        ASSERT_NE(job, nullptr);
        static_cast<Params*>(job->params)->value = 42;
        // The worker's priority is above this task's: the action has run
        // when the post returns.
        ASSERT_EQ(TARVELO_ASYNC_WORKER_async_exec(&worker, job, record_action, reinterpret_cast<SNI_callback>(on_done)),
                  0);
        ASSERT_EQ(suspensions.size(), 1u);
        EXPECT_EQ(suspensions[0].callback, reinterpret_cast<SNI_callback>(on_done));
        EXPECT_EQ(suspensions[0].argument, job);
        EXPECT_EQ(actions_run, (std::vector<std::int32_t>{42}));
        EXPECT_EQ(resumptions, (std::vector<std::int32_t>{7}));
        callback_argument = job;
        EXPECT_EQ(TARVELO_ASYNC_WORKER_get_job_done(), job);
        EXPECT_EQ(TARVELO_ASYNC_WORKER_take_job_done(reinterpret_cast<SNI_callback>(on_done)), job);
        TARVELO_ASYNC_WORKER_free_job(&worker, job);
    });
}

TEST_F(AsyncWorker, AThreadWokenBeforeItsJobRanWaitsAgain) {
    tarvelo::test::run_in_task([] {
        start();
        AsyncWorkerJob* job = allocate(7);
        job->done.store(0);
        callback_argument = job;
        EXPECT_EQ(TARVELO_ASYNC_WORKER_take_job_done(reinterpret_cast<SNI_callback>(on_done)), nullptr);
        ASSERT_EQ(suspensions.size(), 1u);
        EXPECT_EQ(suspensions[0].callback, reinterpret_cast<SNI_callback>(on_done));
        EXPECT_EQ(suspensions[0].argument, job);
    });
}

TEST_F(AsyncWorker, JobsOfThreadsThatDiedAreFreedByTheTask) {
    tarvelo::test::run_in_task([] {
        start();
        // Four threads die while their jobs run; without freeing, no job
        // would be left for anybody.
        for (int t = 1; t <= 4; ++t) {
            AsyncWorkerJob* job = allocate(t);
            ASSERT_NE(job, nullptr);
            dead_threads.insert(t);
            ASSERT_EQ(TARVELO_ASYNC_WORKER_async_exec(&worker, job, record_action,
                                                      reinterpret_cast<SNI_callback>(on_done)),
                      0);
        }
        // A job without a thread is freed too.
        AsyncWorkerJob* job = allocate(5);
        ASSERT_NE(job, nullptr);
        current_thread = -1;
        ASSERT_EQ(TARVELO_ASYNC_WORKER_async_exec(&worker, job, record_action, reinterpret_cast<SNI_callback>(on_done)),
                  0);
        EXPECT_EQ(actions_run.size(), 5u);
        for (int t = 10; t < 14; ++t) EXPECT_NE(allocate(t), nullptr) << t;
        EXPECT_EQ(allocate(14), nullptr);
    });
}

TEST_F(AsyncWorker, AJobWhoseThreadCannotWaitIsFreed) {
    tarvelo::test::run_in_task([] {
        start();
        refuse_suspension = true;
        for (int t = 1; t <= 5; ++t) {
            AsyncWorkerJob* job = allocate(t);
            ASSERT_NE(job, nullptr) << t;
            EXPECT_EQ(TARVELO_ASYNC_WORKER_async_exec(&worker, job, record_action,
                                                      reinterpret_cast<SNI_callback>(on_done)),
                      0);
        }
        EXPECT_EQ(actions_run.size(), 5u);
    });
}

TEST_F(AsyncWorker, AFailedPostRaisesAndKeepsTheJob) {
    tarvelo::test::run_in_task([] {
        start();
        AsyncWorkerJob* job = allocate(1);
        OSAL_queue_handle_t queue = worker.queue;
        worker.queue = nullptr;
        EXPECT_EQ(TARVELO_ASYNC_WORKER_async_exec(&worker, job, record_action, reinterpret_cast<SNI_callback>(on_done)),
                  1);
        worker.queue = queue;
        ASSERT_EQ(thrown.size(), 1u);
        EXPECT_EQ(thrown[0].code, -1);
        EXPECT_EQ(thrown[0].message, "TARVELO_ASYNC_WORKER: Internal error.");
        EXPECT_EQ(job->next, nullptr);
    });
}

TEST_F(AsyncWorker, BadConfigurationsCreateNothing) {
    worker.waitingLength = 1;
    EXPECT_EQ(TARVELO_ASYNC_WORKER_initialize(&worker, "Tarvelo FS", 2048, 6), 2);
    worker.waitingLength = 17;
    worker.jobCount = 0;
    EXPECT_EQ(TARVELO_ASYNC_WORKER_initialize(&worker, "Tarvelo FS", 2048, 6), 2);
    EXPECT_EQ(worker.queue, nullptr);
    EXPECT_EQ(worker.mutex, nullptr);
    EXPECT_EQ(worker.task, nullptr);
}

// --- the fixed pool ---------------------------------------------------------------------------------

TEST(Pool, ReservesFirstFreeAndChecksAddresses) {
    struct Element {
        std::uint64_t a, b;
    };
    POOL_DECLARE(pool, Element, 2);
    void* e0 = nullptr;
    void* e1 = nullptr;
    void* e2 = nullptr;
    ASSERT_EQ(POOL_reserve_f(&pool, &e0), 0);
    ASSERT_EQ(POOL_reserve_f(&pool, &e1), 0);
    EXPECT_EQ(e0, &pool_elements[0]);
    EXPECT_EQ(e1, &pool_elements[1]);
    EXPECT_EQ(POOL_reserve_f(&pool, &e2), 2);
    EXPECT_TRUE(POOL_is_reserved_f(&pool, e1));
    auto* inside = reinterpret_cast<std::uint8_t*>(e1) + 4;
    EXPECT_EQ(POOL_free_f(&pool, inside), 3);
    EXPECT_FALSE(POOL_is_reserved_f(&pool, inside));
    EXPECT_EQ(POOL_free_f(&pool, &pool_elements[2]), 3);  // one past the end
    EXPECT_EQ(POOL_free_f(&pool, e0), 0);
    EXPECT_EQ(POOL_free_f(&pool, e0), 0);  // twice: 0 both times
    EXPECT_FALSE(POOL_is_reserved_f(&pool, e0));
    ASSERT_EQ(POOL_reserve_f(&pool, &e2), 0);
    EXPECT_EQ(e2, e0);
    EXPECT_EQ(POOL_reserve_f(nullptr, &e2), 1);
    EXPECT_EQ(POOL_reserve_f(&pool, nullptr), 1);
    EXPECT_EQ(POOL_free_f(&pool, nullptr), 1);
    POOL_ctx_t unusable{nullptr, pool_used, sizeof(Element), 2};
    EXPECT_EQ(POOL_reserve_f(&unusable, &e2), 1);
    EXPECT_EQ(POOL_free_f(&unusable, e0), 1);
    // A flag other than 1 counts as free.
    pool_used[1] = 7;
    EXPECT_FALSE(POOL_is_reserved_f(&pool, e1));
    ASSERT_EQ(POOL_reserve_f(&pool, &e2), 0);
    EXPECT_EQ(e2, e1);
}

// --- the operating-system layer ----------------------------------------------------------------------

TEST(Osal, MillisecondsToTicks) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 0}, {1, 1}, {3, 1}, {4, 1}, {5, 1}, {9, 1}, {10, 2}, {1000, 200}, {0xFFFFFFFEu, 858993458u},
        {0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const auto& [ms, ticks] : cases) EXPECT_EQ(OSAL_FreeRTOS_convert_time_to_tick(ms), ticks) << ms;
}

TEST(Osal, ResultsOfEachCall) {
    tarvelo::test::run_in_task([] {
        EXPECT_EQ(OSAL_queue_create("q", nullptr, 2), OSAL_WRONG_ARG);
        EXPECT_EQ(OSAL_mutex_create("m", nullptr), OSAL_WRONG_ARG);
        EXPECT_EQ(OSAL_task_create([](void*) {}, "t", 1024, 5, nullptr, nullptr), OSAL_WRONG_ARG);
        OSAL_queue_handle_t none = nullptr;
        int item = 0;
        EXPECT_EQ(OSAL_queue_post(&none, &item), OSAL_WRONG_ARG);
        EXPECT_EQ(OSAL_queue_post(nullptr, &item), OSAL_WRONG_ARG);
        EXPECT_EQ(OSAL_mutex_take(&none, 0), OSAL_WRONG_ARG);
        EXPECT_EQ(OSAL_counter_semaphore_give(&none), OSAL_WRONG_ARG);

        OSAL_queue_handle_t q = nullptr;
        ASSERT_EQ(OSAL_queue_create("q", &q, 2), OSAL_OK);
        int a = 1, b = 2, c = 3;
        EXPECT_EQ(OSAL_queue_post(&q, &a), OSAL_OK);
        EXPECT_EQ(OSAL_queue_post(&q, &b), OSAL_OK);
        EXPECT_EQ(OSAL_queue_post(&q, &c), OSAL_NOMEM);  // full
        void* got = nullptr;
        EXPECT_EQ(OSAL_queue_fetch(&q, &got, 0), OSAL_OK);
        EXPECT_EQ(got, &a);
        EXPECT_EQ(OSAL_queue_fetch(&q, &got, 10), OSAL_OK);
        EXPECT_EQ(got, &b);
        const TickType_t before = xTaskGetTickCount();
        EXPECT_EQ(OSAL_queue_fetch(&q, &got, 10), OSAL_ERROR);  // timeout after 2 ticks
        EXPECT_EQ(xTaskGetTickCount() - before, 2u);

        OSAL_mutex_handle_t m = nullptr;
        ASSERT_EQ(OSAL_mutex_create("m", &m), OSAL_OK);
        EXPECT_EQ(OSAL_mutex_take(&m, OSAL_INFINITE_TIME), OSAL_OK);
        EXPECT_EQ(OSAL_mutex_give(&m), OSAL_OK);
        EXPECT_EQ(OSAL_mutex_give(&m), OSAL_ERROR);  // not held

        static bool ran = false;
        OSAL_task_handle_t t = nullptr;
        ASSERT_EQ(OSAL_task_create([](void* p) { *static_cast<bool*>(p) = true; vTaskDelete(nullptr); }, "t", 1024,
                                   6, &ran, &t),
                  OSAL_OK);
        EXPECT_TRUE(ran);  // higher priority: it ran at once
        EXPECT_NE(t, nullptr);
    });
}

}  // namespace
