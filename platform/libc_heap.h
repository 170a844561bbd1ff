// The standard library's heap of the firmware: 524,288 bytes in a static
// arena (so every block has a 32-bit address), used by tasks of different
// priorities, so every operation runs in a critical section of the RTOS.
// Firmware code that hands memory to Java as a 32-bit handle, the TLS
// library, the network side and the natives allocate here, never from the
// host's heap. It is not reset when the scheduler ends.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { TARVELO_LIBC_HEAP_SIZE = 524288 };

void* tarvelo_malloc(size_t size);
void tarvelo_free(void* ptr);
// nullptr when nmemb * size overflows.
void* tarvelo_calloc(size_t nmemb, size_t size);
void* tarvelo_realloc(void* ptr, size_t size);

// Free bytes now, and the lowest that figure has been.
size_t tarvelo_libc_heap_free_size(void);
size_t tarvelo_libc_heap_minimum_free_size(void);

#ifdef __cplusplus
}
#endif
