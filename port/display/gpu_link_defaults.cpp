// Weak stand-ins of the GPU back end's functions that the display task
// calls, for a firmware without a GPU back end: nothing to prepare, start or
// drain. The error hook halts on a fatal error, after saying why.
#include <cstdarg>
#include <cstdio>

#include "platform/halt.h"
#include "port/display/gpu_link.h"

extern "C" {

__attribute__((weak)) std::int32_t BOARD_PrepareVGLiteController(void) { return 0; }
__attribute__((weak)) void UI_VGLITE_initialize(void) {}
__attribute__((weak)) void UI_VGLITE_start(void*) {}

__attribute__((weak)) void UI_VGLITE_IMPL_error(bool fatal, const char* format, ...) {
    if (!fatal) return;
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    platform_halt(TARVELO_EXIT_HALTED);
}

}  // extern "C"
