// The asynchronous worker: a native that must wait for slow work copies its
// parameters into a job, posts it to the worker's task and suspends only its
// green thread; the task runs the job's action and resumes the thread, whose
// native call then runs again as the job's on-done callback. Jobs are a
// fixed set; a thread that finds none waits, oldest first, in a bounded list
// and retries when a job is freed.
//
// Every function but the loop runs on the application task, inside a native.
#pragma once

#include <atomic>
#include <cstdint>

#include "port/async/osal.h"
#include "vm/core/engine/sni.h"

extern "C" {

struct AsyncWorkerJob;
using TARVELO_ASYNC_WORKER_action_t = void (*)(AsyncWorkerJob* job);

struct AsyncWorkerJob {
    void* params;                          // this job's own parameter block
    TARVELO_ASYNC_WORKER_action_t action;  // run by the worker's task
    std::atomic<std::int32_t> threadId;    // submitting green thread; -1: nobody waits
    AsyncWorkerJob* next;                  // free-list link, null while in use
    std::atomic<std::uint8_t> done;        // set by the worker when the action has run
};

struct AsyncWorkerHandle {
    std::int32_t jobCount;
    AsyncWorkerJob* freeJobs;  // before initialisation: the first job of the array
    void* params;              // jobCount blocks
    std::int32_t paramsSize;
    std::int32_t waitingLength;   // the list holds one thread fewer
    std::int32_t* waiting;        // waitingLength green-thread ids
    std::uint16_t waitingHead;    // oldest waiter
    std::uint16_t waitingTail;    // next free slot
    OSAL_queue_handle_t queue;
    OSAL_task_handle_t task;
    OSAL_mutex_handle_t mutex;    // guards the free list and the waiting list
};

// 0 on success; 2 for a job count below 1 or a waiting-list length below 2
// (nothing is created); 1 when the queue, the mutex or the task cannot be
// created.
std::int32_t TARVELO_ASYNC_WORKER_initialize(AsyncWorkerHandle* worker, const char* name, std::uint32_t stackBytes,
                                             std::int32_t priority);
// A free job, or null with the calling thread queued to run `retry` (the
// native itself) when a job is freed, or with an I/O exception pending when
// the waiting list is full.
AsyncWorkerJob* TARVELO_ASYNC_WORKER_allocate_job(AsyncWorkerHandle* worker, SNI_callback retry);
// Returns the job to the free list and resumes the oldest waiter that is
// still alive. Returns 0.
std::int32_t TARVELO_ASYNC_WORKER_free_job(AsyncWorkerHandle* worker, AsyncWorkerJob* job);
// Posts the job and suspends the calling thread with `onDone` as its
// callback and the job as its argument: 0; 1 when the post failed (an I/O
// exception is pending, the job stays allocated). When the thread cannot be
// suspended (an exception is pending already) the job is freed once done.
std::int32_t TARVELO_ASYNC_WORKER_async_exec(AsyncWorkerHandle* worker, AsyncWorkerJob* job,
                                             TARVELO_ASYNC_WORKER_action_t action, SNI_callback onDone);
// Inside an on-done callback: the job whose completion resumed the thread.
AsyncWorkerJob* TARVELO_ASYNC_WORKER_get_job_done(void);
// The job done, for the on-done callback `self`; null when the thread was
// woken before its job had run (it then waits again, with the same callback).
AsyncWorkerJob* TARVELO_ASYNC_WORKER_take_job_done(SNI_callback self);
// Body of the worker's task.
[[noreturn]] void TARVELO_ASYNC_WORKER_loop(void* worker);

}

// Declares a worker with its jobs, parameter blocks and waiting list in
// static memory.
#define TARVELO_ASYNC_WORKER_DECLARE(name, jobCount, paramsType, waitingLength)                             \
    static AsyncWorkerJob name##_jobs[jobCount];                                                              \
    static paramsType name##_params[jobCount];                                                                \
    static std::int32_t name##_waiting_threads[waitingLength];                                                \
    static AsyncWorkerHandle name = {jobCount, name##_jobs, name##_params, sizeof(paramsType), waitingLength, \
                                     name##_waiting_threads, 0, 0, nullptr, nullptr, nullptr}
