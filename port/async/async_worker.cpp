#include "port/async/async_worker.h"

#include "vm/core/engine/sni.h"

namespace {

class Guard {
public:
    explicit Guard(AsyncWorkerHandle* worker) : worker_(worker) {
        OSAL_mutex_take(&worker_->mutex, OSAL_INFINITE_TIME);
    }
    ~Guard() { OSAL_mutex_give(&worker_->mutex); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    AsyncWorkerHandle* worker_;
};

std::uint16_t advance(const AsyncWorkerHandle* worker, std::uint16_t index) {
    return static_cast<std::uint16_t>(index + 1 >= worker->waitingLength ? 0 : index + 1);
}

}  // namespace

extern "C" {

std::int32_t TARVELO_ASYNC_WORKER_initialize(AsyncWorkerHandle* worker, const char* name, std::uint32_t stackBytes,
                                             std::int32_t priority) {
    if (worker == nullptr || worker->jobCount < 1 || worker->waitingLength < 2) return 2;
    AsyncWorkerJob* jobs = worker->freeJobs;
    for (std::int32_t i = 0; i < worker->jobCount; ++i) {
        jobs[i].params = static_cast<std::uint8_t*>(worker->params) + static_cast<std::uintptr_t>(i) * worker->paramsSize;
        jobs[i].action = nullptr;
        jobs[i].threadId.store(-1);
        jobs[i].done.store(0);
        jobs[i].next = i + 1 < worker->jobCount ? &jobs[i + 1] : nullptr;
    }
    worker->waitingHead = 0;
    worker->waitingTail = 0;
    if (OSAL_queue_create(name, &worker->queue, static_cast<std::uint32_t>(worker->jobCount)) != OSAL_OK) return 1;
    if (OSAL_mutex_create(name, &worker->mutex) != OSAL_OK) return 1;
    if (OSAL_task_create(TARVELO_ASYNC_WORKER_loop, name, stackBytes, priority, worker, &worker->task) != OSAL_OK)
        return 1;
    return 0;
}

AsyncWorkerJob* TARVELO_ASYNC_WORKER_allocate_job(AsyncWorkerHandle* worker, SNI_callback retry) {
    // Before its initialisation a worker has no mutex, no task to run a job
    // and jobs without parameter blocks: the natives' failure, not a fault.
    if (worker->task == nullptr) {
        SNI_throwNativeIOException(-1, "TARVELO_ASYNC_WORKER: not initialized.");
        return nullptr;
    }
    // The whole allocation holds the mutex: the worker's task frees the jobs
    // of threads that died meanwhile, and with them resumes waiters.
    Guard guard(worker);
    if (AsyncWorkerJob* job = worker->freeJobs) {
        worker->freeJobs = job->next;
        job->next = nullptr;
        return job;
    }
    const std::uint16_t nextTail = advance(worker, worker->waitingTail);
    if (nextTail == worker->waitingHead) {
        SNI_throwNativeIOException(-1, "TARVELO_ASYNC_WORKER: thread cannot be suspended, waiting list is full.");
        return nullptr;
    }
    // Queued only once suspended, so a thread that cannot wait is never
    // resumed for a job it no longer asks for.
    if (SNI_suspendCurrentJavaThreadWithCallback(0, retry, nullptr) != 0) return nullptr;
    worker->waiting[worker->waitingTail] = SNI_getCurrentJavaThreadID();
    worker->waitingTail = nextTail;
    return nullptr;
}

std::int32_t TARVELO_ASYNC_WORKER_free_job(AsyncWorkerHandle* worker, AsyncWorkerJob* job) {
    Guard guard(worker);
    job->next = worker->freeJobs;
    worker->freeJobs = job;
    // A waiter that died while it waited cannot take the job: the next one is
    // woken instead (thread ids are never reused).
    while (worker->waitingHead != worker->waitingTail) {
        const std::int32_t id = worker->waiting[worker->waitingHead];
        worker->waitingHead = advance(worker, worker->waitingHead);
        if (SNI_resumeJavaThread(id) == 0) break;
    }
    return 0;
}

std::int32_t TARVELO_ASYNC_WORKER_async_exec(AsyncWorkerHandle* worker, AsyncWorkerJob* job,
                                             TARVELO_ASYNC_WORKER_action_t action, SNI_callback onDone) {
    job->action = action;
    job->threadId.store(SNI_getCurrentJavaThreadID());
    job->done.store(0);
    if (OSAL_queue_post(&worker->queue, job) != OSAL_OK) {
        SNI_throwNativeIOException(-1, "TARVELO_ASYNC_WORKER: Internal error.");
        return 1;
    }
    // The worker's task may have run the job already; a resume that came
    // before the suspension makes the callback run at once.
    if (SNI_suspendCurrentJavaThreadWithCallback(0, onDone, job) == 0) return 0;
    // The thread cannot wait (an exception is pending): nobody will take the
    // job back. The worker frees it when its action ends; when it has ended
    // already (the worker's task is not preempted by this one between the
    // end of the action and the resume), it is freed here.
    job->threadId.store(-1);
    if (job->done.load() != 0) TARVELO_ASYNC_WORKER_free_job(worker, job);
    return 0;
}

AsyncWorkerJob* TARVELO_ASYNC_WORKER_get_job_done(void) {
    void* argument = nullptr;
    if (SNI_getCallbackArgs(&argument, nullptr) != 0) return nullptr;
    return static_cast<AsyncWorkerJob*>(argument);
}

AsyncWorkerJob* TARVELO_ASYNC_WORKER_take_job_done(SNI_callback self) {
    AsyncWorkerJob* job = TARVELO_ASYNC_WORKER_get_job_done();
    if (job == nullptr) return nullptr;
    if (job->done.load() == 0) {
        // Freeing or reading the job now would race with the worker.
        SNI_suspendCurrentJavaThreadWithCallback(0, self, job);
        return nullptr;
    }
    return job;
}

void TARVELO_ASYNC_WORKER_loop(void* parameter) {
    auto* worker = static_cast<AsyncWorkerHandle*>(parameter);
    for (;;) {
        void* item = nullptr;
        if (OSAL_queue_fetch(&worker->queue, &item, OSAL_INFINITE_TIME) != OSAL_OK || item == nullptr) continue;
        auto* job = static_cast<AsyncWorkerJob*>(item);
        job->action(job);
        job->done.store(1);
        // Nobody to hand the job back to (no thread, or one that died while
        // the action ran): free it here, or no other native would get it.
        const std::int32_t thread = job->threadId.load();
        if (thread == -1 || SNI_resumeJavaThread(thread) != 0)
            TARVELO_ASYNC_WORKER_free_job(worker, job);
    }
}

}  // extern "C"
