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
// destructors, no atexit handlers, other threads stop where they are (after
// the hooks of platform_before_halt, in the order they were given).
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void platform_halt(int status);

// A function platform_halt runs first: host output still on its way (up to
// four; false when there is no room). It runs on the halting thread, which
// may hold the simulated CPU: it must not wait for a task or an interrupt.
int platform_before_halt(void (*hook)(void));

#ifdef __cplusplus
}
#endif
