// Debug console (LPUART1 at 115,200 baud on the board). On the host it is the
// process's standard output, written unbuffered so that what the firmware
// printed is visible even when it halts.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

int DbgConsole_Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int DbgConsole_Putchar(int ch);

#ifdef __cplusplus
}
#endif
