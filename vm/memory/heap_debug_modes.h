// Developer switches of the memory system, read once from the environment
// and settable from tests:
//   TARVELO_GC_STRESS=1   collect and compact at every allocation
//   TARVELO_HEAP_VERIFY=1 verify every heap region before and after each
//                         collection (a failure prints the fault and aborts)
#pragma once

namespace tarvelo {

namespace debug_modes {
// -1 until read from the environment, then 0 or 1.
extern int gStress;
bool readStressSetting();
}  // namespace debug_modes

// Asked at every allocation: one load once the setting has been read.
inline bool gcStressEnabled() {
    const int s = debug_modes::gStress;
    return s < 0 ? debug_modes::readStressSetting() : s != 0;
}
void setGcStress(bool on);
bool heapVerifyEnabled();
void setHeapVerify(bool on);

}  // namespace tarvelo
