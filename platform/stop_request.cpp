#include "platform/stop_request.h"

#include <semaphore.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/halt.h"
#include "sim_interrupt.h"

namespace {

std::atomic<void (*)(int)> g_handler{nullptr};
std::atomic<bool> g_requested{false};
std::atomic<int> g_status{0};

// Signals: the handler only posts; a host thread of its own makes the
// request, which takes locks a signal handler may not.
sem_t g_signalled;
std::atomic<int> g_signal{0};

void stop_interrupt(void*) {
    if (void (*handler)(int) = g_handler.load(); handler != nullptr) handler(g_status.load());
}

void halt_if_still_running(int status) {
    std::this_thread::sleep_for(std::chrono::seconds(TARVELO_STOP_GRACE_SECONDS));
    std::fprintf(stderr, "stop: the firmware did not stop within %d s; halting it\n", TARVELO_STOP_GRACE_SECONDS);
    platform_halt(status);
}

void on_stop_signal(int signo) {
    int expected = 0;
    if (!g_signal.compare_exchange_strong(expected, signo)) {
        // Asked twice: the impatient way.
        signal(signo, SIG_DFL);
        raise(signo);
        return;
    }
    const int saved = errno;
    sem_post(&g_signalled);
    errno = saved;
}

void wait_for_stop_signal() {
    while (sem_wait(&g_signalled) != 0) {
    }
    platform_request_stop(g_signal.load() == SIGINT ? TARVELO_EXIT_SIGINT : TARVELO_EXIT_SIGTERM);
}

}  // namespace

extern "C" void platform_set_stop_handler(void (*handler)(int status)) { g_handler = handler; }

extern "C" void platform_request_stop(int status) {
    if (g_requested.exchange(true)) return;
    if (g_handler.load() == nullptr) platform_halt(status);
    g_status = status;
    vSimRaiseInterrupt(stop_interrupt, nullptr);
    std::thread(halt_if_still_running, status).detach();
}

extern "C" void platform_install_stop_signals(void) {
    sem_init(&g_signalled, 0, 0);
    std::thread(wait_for_stop_signal).detach();
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    // A signal the process was started with ignored stays ignored (a
    // background job of a shell ignores Ctrl-C, nohup ignores hang-ups).
    for (int signo : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (sigaction(signo, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(signo, &sa, nullptr);
    }
}
