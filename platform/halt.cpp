#include "platform/halt.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr int kMaxHooks = 4;
std::atomic<void (*)(void)> g_hooks[kMaxHooks];

}  // namespace

extern "C" int platform_before_halt(void (*hook)(void)) {
    for (auto& h : g_hooks) {
        void (*expected)(void) = nullptr;
        if (h.compare_exchange_strong(expected, hook)) return 1;
    }
    return 0;
}

extern "C" void platform_halt(int status) {
    for (auto& h : g_hooks)
        if (void (*hook)(void) = h.exchange(nullptr); hook != nullptr) hook();
    std::fflush(stdout);
    ::_exit(status);
}
