// The select task and the parking of green threads.
#include "port/net/async_select.h"

#include <cerrno>
#include <cstring>

#include "FreeRTOS.h"
#include "platform/address.h"
#include "port/net/select_requests.h"
#include "semphr.h"
#include "task.h"
#include "vm/core/engine/sni.h"
#include "vm/core/port/os_port.h"

#include "port/net/lwip_socket_api.h"

namespace {

using tarvelo::net::SelectPlan;
using tarvelo::net::SelectRequest;
using tarvelo::net::SelectRequestLists;

constexpr configSTACK_DEPTH_TYPE kTaskStackWords = 2048 / sizeof(StackType_t);
constexpr UBaseType_t kTaskPriority = 7;

SelectRequestLists requests;
// The wake-up socket: a listening loopback socket always in the read set;
// a parking closes it, which ends the task's current select.
std::int32_t notify_fd_cache = -1;
SemaphoreHandle_t async_select_mutex = nullptr;
TaskHandle_t async_select_task = nullptr;

std::int64_t now_ms() { return LLOSTV_IMPL_getCurrentTime__Z(1); }

std::int32_t open_wakeup_socket() {
    const int s = lwip_socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s < 0) return -1;
    sockaddr_in a{};
    a.sin_len = sizeof a;
    a.sin_family = AF_INET;
    a.sin_port = 0;
    a.sin_addr.s_addr = PP_HTONL(INADDR_LOOPBACK);
    if (lwip_bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || lwip_listen(s, 1) != 0) {
        lwip_close(s);
        return -1;
    }
    return s;
}

bool socket_invalid(std::int32_t s) {
    if (s < 0 || s >= tarvelo::net::kSelectSockets) return false;  // only its deadline ends it
    return lwip_fcntl(s, F_GETFL, 0) < 0 && errno == EBADF;
}

void to_lwip(const tarvelo::net::SocketSet& in, lwip_fd_set_t* out) {
    FD_ZERO(out);
    static_assert(sizeof in.bits <= sizeof out->fd_bits, "lwIP's socket set is smaller than ours");
    std::memcpy(out->fd_bits, in.bits, sizeof in.bits);
}

void from_lwip(const lwip_fd_set_t& in, tarvelo::net::SocketSet* out) { std::memcpy(out->bits, in.fd_bits, sizeof out->bits); }

void resume(std::int32_t threadId) { (void)SNI_resumeJavaThread(threadId); }

void async_select_task_main(void*) {
    for (;;) {
        async_select_lock();
        if (notify_fd_cache == -1) notify_fd_cache = open_wakeup_socket();
        const std::int32_t wake = notify_fd_cache;
        const std::int64_t start = now_ms();
        const SelectPlan plan = requests.plan(wake, start);
        async_select_unlock();

        lwip_fd_set_t readset;
        lwip_fd_set_t writeset;
        to_lwip(plan.read, &readset);
        to_lwip(plan.write, &writeset);
        lwip_timeval_t timeout{};
        lwip_timeval_t* limit = nullptr;
        if (plan.earliest != tarvelo::net::kNoDeadline) {
            std::int64_t remaining = plan.earliest - start;
            if (remaining < 0) remaining = 0;
            timeout.tv_sec = static_cast<long>(remaining / 1000);
            timeout.tv_usec = static_cast<long>((remaining % 1000) * 1000);
            limit = &timeout;
        }
        const int n = lwip_select(plan.width, &readset, &writeset, nullptr, limit);

        const std::int64_t now = now_ms();
        if (n >= 0) {
            tarvelo::net::SocketSet read;
            tarvelo::net::SocketSet write;
            from_lwip(readset, &read);
            from_lwip(writeset, &write);
            async_select_lock();
            (void)requests.finishReady(read, write, now, resume);
            async_select_unlock();
            continue;
        }
        // A failed select leaves the sets meaningless. When a parking closed
        // the wake-up socket, that is the wake-up and nothing failed.
        async_select_lock();
        const bool woken = notify_fd_cache != wake;
        if (!woken) (void)requests.finishInvalid(now, socket_invalid, resume);
        async_select_unlock();
        if (!woken) vTaskDelay(pdMS_TO_TICKS(tarvelo::net::kSelectPollMs));
    }
}

}  // namespace

extern "C" {

void async_select_lock(void) { (void)xSemaphoreTake(async_select_mutex, portMAX_DELAY); }

void async_select_unlock(void) { (void)xSemaphoreGive(async_select_mutex); }

void async_select_request_fifo_init(void) { requests.init(); }

std::int32_t async_select_init(void) {
    if (async_select_mutex == nullptr) {
        async_select_mutex = xSemaphoreCreateMutex();
        if (async_select_mutex == nullptr) return -1;
    }
    async_select_request_fifo_init();
    if (async_select_task == nullptr &&
        xTaskCreate(async_select_task_main, "AsyncSelect", kTaskStackWords, nullptr, kTaskPriority,
                    &async_select_task) != pdPASS) {
        return -1;
    }
    return 0;
}

void async_select_free_used_request_by_java_thread_id(void* threadId) {
    async_select_lock();
    (void)requests.releaseByThread(static_cast<std::int32_t>(tarvelo::to_word(threadId)));
    async_select_unlock();
}

void async_select_notify_closed_fd(std::int32_t) {}

std::int32_t async_select(std::int32_t socket, std::int32_t operation, std::int64_t deadline, void* callback,
                          void* callbackArgument) {
    const std::int32_t threadId = SNI_getCurrentJavaThreadID();
    if (threadId == -1) return -1;

    async_select_lock();
    SelectRequest* r = requests.popFree();
    async_select_unlock();
    if (r == nullptr) {
        SNI_throwNativeIOException(-1, "async_select cannot allocate new request");
        return -1;
    }
    r->socket = socket;
    r->threadId = threadId;
    r->deadline = deadline;
    r->operation = static_cast<std::uint8_t>(operation);

    // Only a resume that comes after this point ends the suspension.
    (void)SNI_clearCurrentJavaThreadPendingResumeFlag();

    void* resource = tarvelo::to_ptr<void>(static_cast<tarvelo::word_t>(threadId));
    (void)SNI_unregisterScopedResource();
    if (SNI_registerScopedResource(resource, async_select_free_used_request_by_java_thread_id, nullptr) != 0) {
        SNI_throwNativeIOException(-1, "async_select cannot register scoped resource");
        async_select_lock();
        requests.pushFree(r);
        async_select_unlock();
        return -1;
    }
    if (SNI_suspendCurrentJavaThreadWithCallback(0, callback, callbackArgument) != 0) {
        SNI_throwNativeIOException(-1, "async_select cannot suspend current java thread");
        (void)SNI_unregisterScopedResource();
        async_select_lock();
        requests.pushFree(r);
        async_select_unlock();
        return -1;
    }

    async_select_lock();
    requests.pushUsed(r);
    async_select_unlock();

    async_select_lock();
    if (notify_fd_cache != -1) {
        const int s = notify_fd_cache;
        notify_fd_cache = -1;
        (void)lwip_close(s);
    }
    async_select_unlock();
    return 0;
}

}  // extern "C"
