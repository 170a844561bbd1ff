// Stopping the firmware from outside it: the host's window was closed, or the
// process was sent SIGINT (Ctrl-C) or SIGTERM. The firmware stops the way it
// stops by itself: the virtual machine ends and prints its END line, the
// application task ends, and the process halts with the status asked for
// once host output still on its way (the frame files) is written.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// The exit statuses of a stop from outside: a closed window ends the
// firmware as a normal end does; a signal gives the status a shell reports
// for a process that the signal ended (128 + its number).
enum { TARVELO_EXIT_WINDOW_CLOSED = 0, TARVELO_EXIT_SIGINT = 130, TARVELO_EXIT_SIGTERM = 143 };

// What the firmware does to stop with `status` (the virtual machine's stop).
// It runs in interrupt context (of the simulated processor), so it may only
// use the interrupt-safe calls. Without one a stop halts at once.
void platform_set_stop_handler(void (*handler)(int status));

// Asks for the stop, from any host thread (not from a signal handler); only
// the first request counts. A firmware that has not ended
// TARVELO_STOP_GRACE_SECONDS later (it is stuck where no stop reaches it) is
// halted with the same status.
void platform_request_stop(int status);
enum { TARVELO_STOP_GRACE_SECONDS = 10 };

// Makes SIGINT and SIGTERM ask for the stop (unless the process was started
// with them ignored); a second one of them ends the process at once, as the
// signal's default would.
void platform_install_stop_signals(void);

#ifdef __cplusplus
}
#endif
