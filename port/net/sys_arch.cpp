// lwIP's operating-system binding over the RTOS: a semaphore is a counting
// semaphore, a mutex an RTOS mutex (with priority inheritance), a mailbox a
// queue of pointers, a thread a task; lightweight protection is a critical
// section. Timeouts are in milliseconds (0 waits without limit) and are
// rounded up to whole ticks.
#include <cstdint>

#include "FreeRTOS.h"
#include "platform/board/debug_console.h"
#include "platform/halt.h"
#include "queue.h"
#include "semphr.h"
#include "task.h"

extern "C" {
#include "lwip/err.h"
#include "lwip/sys.h"
}

namespace {

QueueHandle_t queue(sys_rtos_object* o) { return reinterpret_cast<QueueHandle_t>(o); }
sys_rtos_object* object(QueueHandle_t q) { return reinterpret_cast<sys_rtos_object*>(q); }

TickType_t ticks_for(u32_t timeoutMs) {
    if (timeoutMs == 0) return portMAX_DELAY;
    return static_cast<TickType_t>((timeoutMs + portTICK_PERIOD_MS - 1) / portTICK_PERIOD_MS);
}

u32_t elapsed_ms(TickType_t since) {
    return static_cast<u32_t>((xTaskGetTickCount() - since) * portTICK_PERIOD_MS);
}

std::uint32_t rand_state = 0x2545F491u;

}  // namespace

extern "C" {

void sys_init(void) {}

u32_t sys_now(void) { return static_cast<u32_t>(xTaskGetTickCount() * portTICK_PERIOD_MS); }

sys_prot_t sys_arch_protect(void) {
    taskENTER_CRITICAL();
    return 0;
}

void sys_arch_unprotect(sys_prot_t) { taskEXIT_CRITICAL(); }

// --- semaphores -----------------------------------------------------------

err_t sys_sem_new(sys_sem_t* sem, u8_t count) {
    QueueHandle_t q = xSemaphoreCreateCounting(0xFFFF, count);
    *sem = object(q);
    return q != nullptr ? ERR_OK : ERR_MEM;
}

void sys_sem_signal(sys_sem_t* sem) { (void)xSemaphoreGive(queue(*sem)); }

u32_t sys_arch_sem_wait(sys_sem_t* sem, u32_t timeout) {
    const TickType_t start = xTaskGetTickCount();
    if (xSemaphoreTake(queue(*sem), ticks_for(timeout)) != pdTRUE) return SYS_ARCH_TIMEOUT;
    return elapsed_ms(start);
}

void sys_sem_free(sys_sem_t* sem) {
    vSemaphoreDelete(queue(*sem));
    *sem = nullptr;
}

// --- mutexes --------------------------------------------------------------

err_t sys_mutex_new(sys_mutex_t* mutex) {
    QueueHandle_t q = xSemaphoreCreateMutex();
    *mutex = object(q);
    return q != nullptr ? ERR_OK : ERR_MEM;
}

void sys_mutex_lock(sys_mutex_t* mutex) { (void)xSemaphoreTake(queue(*mutex), portMAX_DELAY); }

void sys_mutex_unlock(sys_mutex_t* mutex) { (void)xSemaphoreGive(queue(*mutex)); }

void sys_mutex_free(sys_mutex_t* mutex) {
    vSemaphoreDelete(queue(*mutex));
    *mutex = nullptr;
}

// --- mailboxes ------------------------------------------------------------

err_t sys_mbox_new(sys_mbox_t* mbox, int size) {
    QueueHandle_t q = xQueueCreate(size > 0 ? size : 1, sizeof(void*));
    *mbox = object(q);
    return q != nullptr ? ERR_OK : ERR_MEM;
}

void sys_mbox_post(sys_mbox_t* mbox, void* msg) { (void)xQueueSendToBack(queue(*mbox), &msg, portMAX_DELAY); }

err_t sys_mbox_trypost(sys_mbox_t* mbox, void* msg) {
    return xQueueSendToBack(queue(*mbox), &msg, 0) == pdTRUE ? ERR_OK : ERR_MEM;
}

err_t sys_mbox_trypost_fromisr(sys_mbox_t* mbox, void* msg) {
    BaseType_t woken = pdFALSE;
    const BaseType_t ok = xQueueSendToBackFromISR(queue(*mbox), &msg, &woken);
    portYIELD_FROM_ISR(woken);
    return ok == pdTRUE ? ERR_OK : ERR_MEM;
}

u32_t sys_arch_mbox_fetch(sys_mbox_t* mbox, void** msg, u32_t timeout) {
    void* received = nullptr;
    const TickType_t start = xTaskGetTickCount();
    if (xQueueReceive(queue(*mbox), &received, ticks_for(timeout)) != pdTRUE) {
        if (msg != nullptr) *msg = nullptr;
        return SYS_ARCH_TIMEOUT;
    }
    if (msg != nullptr) *msg = received;
    return elapsed_ms(start);
}

u32_t sys_arch_mbox_tryfetch(sys_mbox_t* mbox, void** msg) {
    void* received = nullptr;
    if (xQueueReceive(queue(*mbox), &received, 0) != pdTRUE) return SYS_MBOX_EMPTY;
    if (msg != nullptr) *msg = received;
    return 0;
}

void sys_mbox_free(sys_mbox_t* mbox) {
    vQueueDelete(queue(*mbox));
    *mbox = nullptr;
}

// --- threads --------------------------------------------------------------

sys_thread_t sys_thread_new(const char* name, lwip_thread_fn thread, void* arg, int stacksize, int prio) {
    TaskHandle_t handle = nullptr;
    if (xTaskCreate(thread, name, static_cast<configSTACK_DEPTH_TYPE>(stacksize), arg,
                    static_cast<UBaseType_t>(prio), &handle) != pdPASS) {
        DbgConsole_Printf("lwIP: cannot create task %s\n", name);
        platform_halt(TARVELO_EXIT_HALTED);
    }
    return reinterpret_cast<sys_thread_t>(handle);
}

// --- platform ---------------------------------------------------------------

uint32_t tarvelo_lwip_rand(void) {
    // xorshift32, stirred by the tick count so that two runs differ.
    taskENTER_CRITICAL();
    std::uint32_t x = rand_state ^ (static_cast<std::uint32_t>(xTaskGetTickCount()) * 0x9E3779B9u);
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    rand_state = x;
    taskEXIT_CRITICAL();
    return x;
}

void tarvelo_lwip_assert(const char* message, const char* file, int line) {
    DbgConsole_Printf("lwIP assertion \"%s\" failed at %s:%d\n", message, file, line);
    platform_halt(TARVELO_EXIT_HALTED);
}

}  // extern "C"
