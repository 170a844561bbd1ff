// lwIP's binding to the RTOS: semaphores and mailboxes wait in whole ticks,
// report the time waited or a timeout, and a thread is a task.
#include <gtest/gtest.h>

#include "FreeRTOS.h"
#include "task.h"
#include "tests/support/task_harness.h"

extern "C" {
#include "lwip/sys.h"
}

namespace {

using tarvelo::test::run_in_task;

TEST(SysArch, SemaphoreTimesOutAndCounts) {
    run_in_task([] {
        sys_sem_t sem;
        ASSERT_EQ(sys_sem_new(&sem, 1), ERR_OK);
        EXPECT_NE(sys_arch_sem_wait(&sem, 10), SYS_ARCH_TIMEOUT);
        const TickType_t before = xTaskGetTickCount();
        EXPECT_EQ(sys_arch_sem_wait(&sem, 12), SYS_ARCH_TIMEOUT);
        EXPECT_EQ(xTaskGetTickCount() - before, 3u);  // 12 ms rounded up to 5 ms ticks
        sys_sem_signal(&sem);
        sys_sem_signal(&sem);
        EXPECT_EQ(sys_arch_sem_wait(&sem, 0), 0u);
        EXPECT_EQ(sys_arch_sem_wait(&sem, 0), 0u);
        sys_sem_free(&sem);
        EXPECT_FALSE(sys_sem_valid(&sem));
    });
}

struct MboxCase {
    sys_mbox_t box;
    int value = 7;
};

void poster(void* arg) {
    auto* c = static_cast<MboxCase*>(arg);
    vTaskDelay(4);
    sys_mbox_post(&c->box, &c->value);
    vTaskDelete(nullptr);
}

TEST(SysArch, MailboxFetchReportsTimeWaited) {
    run_in_task([] {
        static MboxCase c;
        ASSERT_EQ(sys_mbox_new(&c.box, 2), ERR_OK);
        void* msg = &c;
        EXPECT_EQ(sys_arch_mbox_tryfetch(&c.box, &msg), SYS_MBOX_EMPTY);
        EXPECT_EQ(sys_arch_mbox_fetch(&c.box, &msg, 5), SYS_ARCH_TIMEOUT);
        EXPECT_EQ(msg, nullptr);
        sys_thread_new("poster", poster, &c, 256, 5);
        EXPECT_EQ(sys_arch_mbox_fetch(&c.box, &msg, 0), 20u);  // four ticks
        EXPECT_EQ(msg, &c.value);
        EXPECT_EQ(sys_mbox_trypost(&c.box, &c.value), ERR_OK);
        EXPECT_EQ(sys_mbox_trypost(&c.box, &c.value), ERR_OK);
        EXPECT_EQ(sys_mbox_trypost(&c.box, &c.value), ERR_MEM);  // full
        sys_mbox_free(&c.box);
    });
}

TEST(SysArch, MutexAndProtectionNest) {
    run_in_task([] {
        sys_mutex_t m;
        ASSERT_EQ(sys_mutex_new(&m), ERR_OK);
        sys_mutex_lock(&m);
        sys_mutex_unlock(&m);
        sys_mutex_free(&m);
        const sys_prot_t outer = sys_arch_protect();
        const sys_prot_t inner = sys_arch_protect();
        sys_arch_unprotect(inner);
        sys_arch_unprotect(outer);
        EXPECT_EQ(sys_now() % 5, 0u);
    });
}

}  // namespace
