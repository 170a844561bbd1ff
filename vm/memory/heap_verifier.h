// Walks every heap region and checks what the allocator and the collector
// rely on: block headers, the reference words recorded for the next block,
// free blocks and the free list, owner words, type offsets and the
// references held by live objects.
#pragma once

#include <string>

namespace tarvelo {

class HeapSet;

struct HeapVerifyResult {
    bool ok;
    std::string fault;  // the first fault found
};

HeapVerifyResult verifyHeap(const HeapSet& hs);
// Prints the fault with `when` and aborts (developer mode).
void verifyHeapOrDie(const HeapSet& hs, const char* when);

}  // namespace tarvelo
