// The host process ends with a chosen task: when it is deleted, stdout is
// flushed and the process exits with the status chosen for it.
#include "kernel.h"
#include "platform/halt.h"

namespace tarvelo::rtos {

void exit_process_if_chosen(const Tcb* task) {
    if (task != nullptr && task->exit_on_delete) platform_halt(task->exit_status);
}

}  // namespace tarvelo::rtos

using namespace tarvelo::rtos;

extern "C" void vSimExitProcessOnDelete(TaskHandle_t xTask, int iStatus) {
    kernel_enter();
    Tcb* task = resolve(xTask);
    if (task != nullptr) {
        task->exit_on_delete = true;
        task->exit_status = iStatus;
    }
    kernel_leave();
}

extern "C" void vSimSetExitStatus(TaskHandle_t xTask, int iStatus) {
    kernel_enter();
    Tcb* task = resolve(xTask);
    if (task != nullptr) task->exit_status = iStatus;
    kernel_leave();
}
