// A failed configASSERT halts the device. The console (stdout) shows
// nothing, as on the board, where interrupts are masked and the CPU stops;
// developers get the place on stderr.
#include <unistd.h>

#include <cstdio>

#include "FreeRTOS.h"
#include "platform/halt.h"

extern "C" void vAssertCalled(const char* pcFile, int ulLine) {
    char line[512];
    int n = std::snprintf(line, sizeof line, "%s:%d: assertion failed\n", pcFile, ulLine);
    if (n > 0) {
        auto len = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
        (void)!::write(STDERR_FILENO, line, len);
    }
    platform_halt(TARVELO_EXIT_HALTED);
}
