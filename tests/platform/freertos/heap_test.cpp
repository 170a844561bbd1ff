// The kernel heap: its accounting, the malloc-failed hook, task creation
// that runs out of heap, kernel objects at 32-bit addresses, and the idle
// hook. This executable defines both hooks to count their calls.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>

#include "FreeRTOS.h"
#include "event_groups.h"
#include "platform/address.h"
#include "queue.h"
#include "semphr.h"
#include "task.h"
#include "tests/platform/freertos/rtos_scenario.h"
#include "timers.h"

using tarvelo::test::run_scenario;

namespace {

std::atomic<int> malloc_failures{0};
std::atomic<int> idle_passes{0};

}  // namespace

extern "C" void vApplicationMallocFailedHook(void) { malloc_failures.fetch_add(1); }
extern "C" void vApplicationIdleHook(void) { idle_passes.fetch_add(1); }

TEST(KernelHeap, AccountingFollowsAllocationsAndFrees) {
    const size_t initial = xPortGetFreeHeapSize();
    EXPECT_GT(initial, configTOTAL_HEAP_SIZE - 64);
    EXPECT_LE(initial, configTOTAL_HEAP_SIZE);
    void* a = pvPortMalloc(1000);
    void* b = pvPortMalloc(3000);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const size_t with_both = xPortGetFreeHeapSize();
    EXPECT_LE(with_both, initial - 4000);
    EXPECT_GE(with_both, initial - 4000 - 64) << "a few bytes of bookkeeping per block";
    vPortFree(a);
    EXPECT_EQ(xPortGetMinimumEverFreeHeapSize(), with_both);
    vPortFree(b);
    EXPECT_EQ(xPortGetFreeHeapSize(), initial);
    EXPECT_EQ(xPortGetMinimumEverFreeHeapSize(), with_both) << "the low-water mark stays";
}

TEST(KernelHeap, FailedAllocationCallsTheHook) {
    malloc_failures.store(0);
    EXPECT_EQ(pvPortMalloc(configTOTAL_HEAP_SIZE), nullptr);
    EXPECT_EQ(malloc_failures.load(), 1);
    EXPECT_EQ(pvPortMalloc(0), nullptr);
    EXPECT_EQ(malloc_failures.load(), 1) << "asking for nothing is not a failure";
    void* p = pvPortMalloc(16);
    EXPECT_NE(p, nullptr);
    vPortFree(p);
    EXPECT_EQ(malloc_failures.load(), 1);
}

// The stack allowance comes from the kernel heap, as on the device: a task
// whose stack does not fit is refused and leaves the heap as it was.
TEST(KernelHeap, TaskCreationFailsCleanlyWhenTheHeapIsShort) {
    static BaseType_t first, second;
    static size_t before_second, after_second;
    static int failures;
    run_scenario([] {
        malloc_failures.store(0);
        auto idle_forever = [](void*) {
            for (;;) vTaskDelay(portMAX_DELAY);
        };
        first = xTaskCreate(idle_forever, "big", 65535, nullptr, 1, nullptr);
        before_second = xPortGetFreeHeapSize();
        second = xTaskCreate(idle_forever, "bigger", 65535, nullptr, 1, nullptr);
        after_second = xPortGetFreeHeapSize();
        failures = malloc_failures.load();
    });
    EXPECT_EQ(first, pdPASS);
    EXPECT_EQ(second, errCOULD_NOT_ALLOCATE_REQUIRED_MEMORY);
    EXPECT_EQ(after_second, before_second);
    EXPECT_EQ(failures, 1);
}

// A test can make one creation of a queue, semaphore or mutex fail, as an
// exhausted heap would, to reach the code that must cope with it.
TEST(KernelHeap, AQueueCreationFailsWhenATestAsks) {
    struct Case {
        const char* kind;
        QueueHandle_t (*create)();
    };
    static const Case cases[] = {
        {"queue", [] { return xQueueCreate(4, 8); }},
        {"binary semaphore", [] { return xSemaphoreCreateBinary(); }},
        {"counting semaphore", [] { return xSemaphoreCreateCounting(3, 1); }},
        {"mutex", [] { return xSemaphoreCreateMutex(); }},
        {"recursive mutex", [] { return xSemaphoreCreateRecursiveMutex(); }},
    };
    for (const Case& c : cases) {
        static const Case* current;
        static QueueHandle_t handles[3];
        static size_t heap_before_failure, heap_after_failure;
        static int failures;
        current = &c;
        run_scenario([] {
            malloc_failures.store(0);
            vSimFailQueueCreation(1);
            handles[0] = current->create();
            heap_before_failure = xPortGetFreeHeapSize();
            handles[1] = current->create();
            heap_after_failure = xPortGetFreeHeapSize();
            handles[2] = current->create();
            failures = malloc_failures.load();
        });
        EXPECT_NE(handles[0], nullptr) << c.kind;
        EXPECT_EQ(handles[1], nullptr) << c.kind;
        EXPECT_NE(handles[2], nullptr) << c.kind << ": only once";
        EXPECT_EQ(heap_after_failure, heap_before_failure) << c.kind;
        EXPECT_EQ(failures, 1) << c.kind;
    }
}

TEST(KernelHeap, AQueueCreationAskedToFailIsForgottenWhenTheSchedulerEnds) {
    static QueueHandle_t handle;
    run_scenario([] { vSimFailQueueCreation(0); });
    // Kept, it would fail the timer service's queue or this semaphore.
    run_scenario([] { handle = xSemaphoreCreateBinary(); });
    EXPECT_NE(handle, nullptr);
}

TEST(KernelHeap, ObjectsLiveInTheHeapAtThirtyTwoBitAddresses) {
    static std::uintptr_t addresses[5];
    static size_t used;
    run_scenario([] {
        size_t before = xPortGetFreeHeapSize();
        addresses[0] = reinterpret_cast<std::uintptr_t>(xTaskGetCurrentTaskHandle());
        addresses[1] = reinterpret_cast<std::uintptr_t>(xQueueCreate(4, 8));
        addresses[2] = reinterpret_cast<std::uintptr_t>(xSemaphoreCreateMutex());
        addresses[3] = reinterpret_cast<std::uintptr_t>(xEventGroupCreate());
        addresses[4] = reinterpret_cast<std::uintptr_t>(xTimerCreate("t", 1, pdFALSE, nullptr, [](TimerHandle_t) {}));
        used = before - xPortGetFreeHeapSize();
    });
    for (std::uintptr_t a : addresses) {
        EXPECT_NE(a, 0u);
        EXPECT_LE(a, 0xFFFFFFFFu);
        EXPECT_EQ(tarvelo::to_ptr(tarvelo::to_word(reinterpret_cast<void*>(a))), reinterpret_cast<void*>(a));
    }
    EXPECT_GT(used, 4u * 8u) << "queue, mutex, group and timer came from the kernel heap";
}

TEST(KernelHeap, EndingTheSchedulerGivesEverythingBack) {
    const size_t initial = xPortGetFreeHeapSize();
    static size_t during;
    run_scenario([] {
        xQueueCreate(100, 100);
        during = xPortGetFreeHeapSize();
    });
    EXPECT_LT(during, initial - 10000);
    EXPECT_EQ(xPortGetFreeHeapSize(), initial);
    EXPECT_EQ(xPortGetMinimumEverFreeHeapSize(), initial);
}

TEST(IdleHook, RunsWhileTheOtherTasksWait) {
    idle_passes.store(0);
    static int seen;
    run_scenario([] {
        for (int i = 0; i < 5; ++i) vTaskDelay(1);
        seen = idle_passes.load();
    });
    EXPECT_GE(seen, 5);
}
