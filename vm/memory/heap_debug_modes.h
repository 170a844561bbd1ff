// Developer switches of the memory system, read once from the environment
// and settable from tests:
//   TARVELO_GC_STRESS=1   collect and compact at every allocation
//   TARVELO_HEAP_VERIFY=1 verify every heap region before and after each
//                         collection (a failure prints the fault and aborts)
#pragma once

namespace tarvelo {

bool gcStressEnabled();
void setGcStress(bool on);
bool heapVerifyEnabled();
void setHeapVerify(bool on);

}  // namespace tarvelo
