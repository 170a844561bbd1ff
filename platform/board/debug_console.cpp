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
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return n;
    size_t len = static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1;
    console_write(buffer, len);
    return n;
}

extern "C" int DbgConsole_Putchar(int ch) {
    char c = static_cast<char>(ch);
    console_write(&c, 1);
    return ch;
}
