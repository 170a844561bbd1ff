// Natives of the scheduling programs: the virtual clock moved by one tick
// from Java, a run-length log of which thread ran, and the current
// thread's scheduling state.
#include <cinttypes>
#include <cstdint>

#include "platform/board/debug_console.h"
#include "sim_clock.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/port/os_port.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/thread_table.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/threads/vm_thread.h"

using tarvelo::ExecutionContext;
using tarvelo::VMThread;

namespace {

std::int32_t run_tag = 0;
std::int32_t run_count = 0;

void print_run() {
    if (run_count > 0) DbgConsole_Printf("%" PRId32 " x%" PRId32 "\n", run_tag, run_count);
    run_count = 0;
}

VMThread* record_of(tarvelo::word_t thread) {
    tarvelo::ThreadTable* table = tarvelo::thread_table();
    return thread != 0 && table != nullptr ? table->findThread(tarvelo::java::thread_id(thread)) : nullptr;
}

}  // namespace

extern "C" {

void Java_app_Clock_tick() { vSimAdvanceTicks(1); }

void Java_app_Runs_note(std::int32_t tag) {
    if (run_count > 0 && tag != run_tag) print_run();
    run_tag = tag;
    ++run_count;
}

void Java_app_Runs_flush() { print_run(); }

void VMNative_app_Sched_effectivePriority(VMThread* t) { ExecutionContext::returnInt(t, t->effectivePriority); }

void VMNative_app_Sched_inRoot(VMThread* t) {
    ExecutionContext::returnInt(t, t->scheduleContext == tarvelo::ScheduleControl::rootContext() ? 1 : 0);
}

void VMNative_app_Sched_uptime(VMThread* t) { ExecutionContext::returnLong(t, LLOSTV_IMPL_getCurrentTime__Z(1)); }

// Thread.currentThread
void VMNative_app_Sched_current(VMThread* t) {
    const auto base = static_cast<std::int32_t>(ExecutionContext::refArgCount(t));
    ExecutionContext::returnRef(t, base > 0 ? -base : -1, t->javaThread);
}

// Thread.setPriority
void VMNative_app_Sched_setPriority(VMThread* t) {
    if (VMThread* target = record_of(ExecutionContext::refArg(t, 0)))
        tarvelo::kernel_scheduler()->setBasePriority(target, ExecutionContext::intArg(t, 5));
}

// Thread.interrupt
void VMNative_app_Sched_interrupt(VMThread* t) {
    if (VMThread* target = record_of(ExecutionContext::refArg(t, 0))) tarvelo::kernel_scheduler()->interrupt(target);
}

// Object.notify / notifyAll by the owner.
void VMNative_app_Sched_notify(VMThread* t) {
    tarvelo::kernel_scheduler()->notifyWaiters(ExecutionContext::refArg(t, 0), ExecutionContext::intArg(t, 5) != 0);
}

}  // extern "C"
