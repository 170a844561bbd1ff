// The select task "AsyncSelect": parks green threads whose non-blocking
// socket call would block and resumes them when their socket is ready or
// their deadline has passed.
#pragma once

#include <cstdint>

extern "C" {

// Creates the mutex and the task (once); 0, or -1 when either fails.
std::int32_t async_select_init(void);
// Parks the calling green thread on `socket` (operation 0 read, 1 write)
// until ready or the absolute deadline (ms, 0 none); the thread then runs
// `callback` with `callbackArgument`. 0 when parked, -1 otherwise (with an
// I/O exception pending when the caller is a Java thread).
std::int32_t async_select(std::int32_t socket, std::int32_t operation, std::int64_t deadline, void* callback,
                          void* callbackArgument);
// Close function of the parked thread's scoped resource.
void async_select_free_used_request_by_java_thread_id(void* threadId);
// Called when a socket is closed; nothing to do.
void async_select_notify_closed_fd(std::int32_t socket);
void async_select_lock(void);
void async_select_unlock(void);
void async_select_request_fifo_init(void);

}
