#include "platform/board/debug_console.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "sim_interrupt.h"

namespace {

// Writes the whole buffer; a task is never switched out in the middle of a
// host call, so a line is never torn by another task's output.
void console_write(const char* data, size_t len) {
    vSimNoPreemptEnter();
    while (len > 0) {
        ssize_t n = ::write(STDOUT_FILENO, data, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    vSimNoPreemptExit();
}

}  // namespace

extern "C" int DbgConsole_Printf(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    // Formatting runs in the host C library too: no switch meanwhile.
    vSimNoPreemptEnter();
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof buffer) {
        console_write(buffer, static_cast<size_t>(n));
    } else if (n >= 0) {
        // Longer than the buffer: formatted again straight to the console,
        // so that nothing is cut off.
        n = vdprintf(STDOUT_FILENO, format, again);
    }
    vSimNoPreemptExit();
    va_end(again);
    va_end(args);
    return n;
}

extern "C" int DbgConsole_Putchar(int ch) {
    char c = static_cast<char>(ch);
    console_write(&c, 1);
    return ch;
}
