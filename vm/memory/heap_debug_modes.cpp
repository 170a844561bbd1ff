#include "vm/memory/heap_debug_modes.h"

#include <cstdlib>
#include <cstring>

namespace tarvelo {

namespace {

// -1 until read from the environment.
int gStress = -1;
int gVerify = -1;

int fromEnvironment(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && std::strcmp(v, "0") != 0 && v[0] != '\0' ? 1 : 0;
}

}  // namespace

bool gcStressEnabled() {
    if (gStress < 0) gStress = fromEnvironment("TARVELO_GC_STRESS");
    return gStress != 0;
}

void setGcStress(bool on) { gStress = on ? 1 : 0; }

bool heapVerifyEnabled() {
    if (gVerify < 0) gVerify = fromEnvironment("TARVELO_HEAP_VERIFY");
    return gVerify != 0;
}

void setHeapVerify(bool on) { gVerify = on ? 1 : 0; }

}  // namespace tarvelo
