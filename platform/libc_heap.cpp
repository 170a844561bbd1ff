#include "platform/libc_heap.h"

#include <cstring>

#include "FreeRTOS.h"
#include "platform/arena.h"
#include "task.h"

namespace {

tarvelo::StaticArena<TARVELO_LIBC_HEAP_SIZE> heap;

// Callers hold the critical section.
tarvelo::Arena& arena() { return heap.get(); }

}  // namespace

extern "C" void* tarvelo_malloc(size_t size) {
    taskENTER_CRITICAL();
    void* p = arena().allocate(size);
    taskEXIT_CRITICAL();
    return p;
}

extern "C" void tarvelo_free(void* ptr) {
    if (ptr == nullptr) return;
    taskENTER_CRITICAL();
    // A pointer that is not a live block is ignored rather than corrupting
    // the heap.
    (void)arena().release(ptr);
    taskEXIT_CRITICAL();
}

extern "C" void* tarvelo_calloc(size_t nmemb, size_t size) {
    if (size != 0 && nmemb > static_cast<size_t>(-1) / size) return nullptr;
    void* p = tarvelo_malloc(nmemb * size);
    if (p != nullptr) std::memset(p, 0, nmemb * size);
    return p;
}

extern "C" void* tarvelo_realloc(void* ptr, size_t size) {
    taskENTER_CRITICAL();
    void* p = arena().reallocate(ptr, size);
    taskEXIT_CRITICAL();
    return p;
}

extern "C" size_t tarvelo_libc_heap_free_size(void) {
    taskENTER_CRITICAL();
    size_t n = arena().free_bytes();
    taskEXIT_CRITICAL();
    return n;
}

extern "C" size_t tarvelo_libc_heap_minimum_free_size(void) {
    taskENTER_CRITICAL();
    size_t n = arena().min_free_bytes();
    taskEXIT_CRITICAL();
    return n;
}
