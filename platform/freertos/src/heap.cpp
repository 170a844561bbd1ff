// The kernel heap: a static 512,000-byte arena, so every task, queue,
// timer and event group has a 32-bit address. Allocation runs under the CPU
// lock; a failure calls the malloc-failed hook once the lock is released.
#include "kernel.h"
#include "platform/arena.h"

namespace tarvelo::rtos {

namespace {

tarvelo::StaticArena<configTOTAL_HEAP_SIZE> heap;

tarvelo::Arena& arena() { return heap.get(); }

}  // namespace

void reset_kernel_heap() {
    region_enter();
    lock_take();
    heap.forget();
    lock_give();
    region_exit();
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" void* pvPortMalloc(size_t xWantedSize) {
    // Nothing asked, nothing failed: no block and no hook.
    if (xWantedSize == 0) return nullptr;
    region_enter();
    lock_take();
    void* p = arena().allocate(xWantedSize);
    lock_give();
    region_exit();
    if (p == nullptr) vApplicationMallocFailedHook();
    return p;
}

extern "C" void vPortFree(void* pv) {
    if (pv == nullptr) return;
    region_enter();
    lock_take();
    bool freed = arena().release(pv);
    lock_give();
    region_exit();
    // Freeing what the heap never gave out is a fault, as on the device.
    configASSERT(freed);
}

extern "C" size_t xPortGetFreeHeapSize(void) {
    region_enter();
    lock_take();
    size_t n = arena().free_bytes();
    lock_give();
    region_exit();
    return n;
}

extern "C" size_t xPortGetMinimumEverFreeHeapSize(void) {
    region_enter();
    lock_take();
    size_t n = arena().min_free_bytes();
    lock_give();
    region_exit();
    return n;
}
