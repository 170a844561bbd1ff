// Halting the device. On the board a fatal condition stops the CPU; here the
// process ends, and its exit status tells why.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Exit statuses of the firmware process.
//   0-247  the firmware ended normally; the status the application chose
//   249    TARVELO_EXIT_HALTED: a fatal condition halted the device (a failed
//          assertion, an exhausted kernel heap, a task that could not be
//          created, ...)
enum { TARVELO_EXIT_HALTED = 249 };

// Flushes stdout and ends the process at once with _exit(status): no
// destructors, no atexit handlers, other threads stop where they are.
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void platform_halt(int status);

#ifdef __cplusplus
}
#endif
