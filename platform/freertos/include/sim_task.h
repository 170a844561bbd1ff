/* Host-only task extensions: the process ends with a chosen task. Included
 * by task.h. */
#ifndef SIM_TASK_H
#define SIM_TASK_H

#ifdef __cplusplus
extern "C" {
#endif

/* When xTask is deleted (by itself or another task), stdout is flushed and
 * the process ends at once with _exit(iStatus). */
void vSimExitProcessOnDelete(TaskHandle_t xTask, int iStatus);

/* Changes the exit status chosen for xTask (NULL: the calling task), so a
 * task can report how it ended before it deletes itself. */
void vSimSetExitStatus(TaskHandle_t xTask, int iStatus);

#ifdef __cplusplus
}
#endif

#endif /* SIM_TASK_H */
