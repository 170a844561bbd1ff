/* lwIP's operating-system binding over the RTOS: semaphores, mutexes,
 * mailboxes (queues of pointers) and threads (tasks). */
#ifndef TARVELO_LWIP_ARCH_SYS_ARCH_H
#define TARVELO_LWIP_ARCH_SYS_ARCH_H

#include <stddef.h>

typedef struct sys_rtos_object* sys_sem_t;
typedef struct sys_rtos_object* sys_mutex_t;
typedef struct sys_rtos_object* sys_mbox_t;
typedef struct sys_rtos_task* sys_thread_t;
typedef int sys_prot_t;

#define SYS_MBOX_NULL NULL
#define SYS_SEM_NULL NULL

#define sys_sem_valid(s) ((s) != NULL && *(s) != NULL)
#define sys_sem_set_invalid(s) do { if ((s) != NULL) *(s) = NULL; } while (0)
#define sys_mutex_valid(m) sys_sem_valid(m)
#define sys_mutex_set_invalid(m) sys_sem_set_invalid(m)
#define sys_mbox_valid(m) sys_sem_valid(m)
#define sys_mbox_set_invalid(m) sys_sem_set_invalid(m)

#endif
