#include "vm/memory/heap_debug_modes.h"

#include <cstdlib>
#include <cstring>

namespace tarvelo {

namespace debug_modes {
int gStress = -1;
}  // namespace debug_modes

namespace {

using debug_modes::gStress;
// -1 until read from the environment.
int gVerify = -1;

int fromEnvironment(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && std::strcmp(v, "0") != 0 && v[0] != '\0' ? 1 : 0;
}

}  // namespace

bool debug_modes::readStressSetting() {
    gStress = fromEnvironment("TARVELO_GC_STRESS");
    return gStress != 0;
}

void setGcStress(bool on) { gStress = on ? 1 : 0; }

bool heapVerifyEnabled() {
    if (gVerify < 0) gVerify = fromEnvironment("TARVELO_HEAP_VERIFY");
    return gVerify != 0;
}

void setHeapVerify(bool on) { gVerify = on ? 1 : 0; }

}  // namespace tarvelo
