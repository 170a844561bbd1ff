// Weak defaults of the hooks the firmware defines, so that code linked
// without the firmware's start-up (unit tests) links.
#include "FreeRTOS.h"

extern "C" __attribute__((weak)) void vApplicationIdleHook(void) {}

extern "C" __attribute__((weak)) void vApplicationMallocFailedHook(void) {}
