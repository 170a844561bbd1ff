// The input event ring and the pump natives.
#include "graphics/display/event_queue.h"

#include "graphics/display/display_config.h"
#include "graphics/natives/vm_binding.h"

namespace tarvelo::graphics {

namespace {

std::uint32_t g_events[kQueueSize];
std::uint32_t g_read = 0;
std::uint32_t g_write = 0;
bool g_empty = true;
bool g_full = false;
bool g_running = false;
std::int32_t g_reader = -1;

struct CriticalSection {
    CriticalSection() { LLUI_INPUT_IMPL_enterCriticalSection(); }
    ~CriticalSection() { LLUI_INPUT_IMPL_leaveCriticalSection(); }
};

std::uint32_t next(std::uint32_t i) { return i + 1 == kQueueSize ? 0 : i + 1; }
std::uint32_t previous(std::uint32_t i) { return i == 0 ? kQueueSize - 1 : i - 1; }

std::uint32_t queued() {
    if (g_empty) return 0;
    if (g_full) return kQueueSize;
    return (g_write + kQueueSize - g_read) % kQueueSize;
}

void resume_reader() {
    if (g_reader == -1) return;
    vm_binding().resumeThread(g_reader);
    g_reader = -1;
}

void empty_ring() {
    g_read = g_write = 0;
    g_empty = true;
    g_full = false;
}

// Inside the critical section.
bool append(const std::uint32_t* words, std::uint32_t n) {
    if (g_full) {
        for (std::uint32_t i = 0; i < n; ++i) LLUI_INPUT_IMPL_log_queue_full(words[i]);
        return false;
    }
    std::uint32_t w = g_write;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (i > 0 && w == g_read) {
            // Full before the last word: nothing is committed.
            for (std::uint32_t j = i; j < n; ++j) LLUI_INPUT_IMPL_log_queue_full(words[j]);
            return false;
        }
        g_events[w] = words[i];
        w = next(w);
    }
    std::uint32_t index = g_write;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t length = (index + 1 + kQueueSize - g_read - 1) % kQueueSize + 1;
        LLUI_INPUT_IMPL_log_queue_add(words[i], index, n - 1 - i, length);
        index = next(index);
    }
    g_empty = false;
    g_full = w == g_read;
    g_write = w;
    resume_reader();
    return true;
}

}  // namespace

void EventQueue::initialize() {
    CriticalSection cs;
    empty_ring();
    g_reader = -1;
}

bool EventQueue::add(std::uint32_t word) {
    CriticalSection cs;
    return append(&word, 1);
}

bool EventQueue::addAll(const std::uint32_t* words, std::uint32_t n) {
    CriticalSection cs;
    return append(words, n);
}

bool EventQueue::addOrReplace(const std::uint32_t* words, std::uint32_t n, const std::uint32_t* masks) {
    CriticalSection cs;
    if (!g_empty && n > 0 && queued() >= n) {
        bool match = true;
        std::uint32_t slot = g_write;
        for (std::uint32_t k = n; k-- > 0;) {
            slot = previous(slot);
            if (((words[k] ^ g_events[slot]) & masks[k]) != 0) match = false;
            // A compared slot other than the oldest of the n at the read
            // index: the queued event is partly read.
            if (k != 0 && slot == g_read) match = false;
        }
        if (match) {
            const std::uint32_t length = queued();
            for (std::uint32_t k = 0; k < n; ++k, slot = next(slot)) {
                LLUI_INPUT_IMPL_log_queue_replace(g_events[slot], words[k], slot, length);
                g_events[slot] = words[k];
            }
            return true;
        }
    }
    return append(words, n);
}

bool EventQueue::read(void* native, std::uint32_t* word) {
    if (!g_running) {
        *word = kEventPumpStopped;
        return true;
    }
    CriticalSection cs;
    if (g_empty) {
        g_reader = vm_binding().currentThreadId();
        vm_binding().suspendWithCallback(native);
        return false;
    }
    *word = g_events[g_read];
    LLUI_INPUT_IMPL_log_queue_read(*word, g_read);
    g_read = next(g_read);
    g_full = false;
    g_empty = g_read == g_write;
    return true;
}

void EventQueue::start() { g_running = true; }

void EventQueue::interrupt() {
    g_running = false;
    CriticalSection cs;
    resume_reader();
}

void EventQueue::clear() {
    CriticalSection cs;
    empty_ring();
}

void EventQueue::addKernelEvent(std::uint32_t word) {
    CriticalSection cs;
    empty_ring();
    append(&word, 1);
}

void EventQueue::replaceKernelEvent(std::uint32_t word) {
    CriticalSection cs;
    g_events[0] = word;
}

std::uint32_t EventQueue::getKernelEvent(std::uint32_t mask) {
    CriticalSection cs;
    if (!g_empty && g_read == 0 && (g_events[0] & mask) == mask) return g_events[0];
    return 0;
}

std::uint32_t EventQueue::length() {
    CriticalSection cs;
    return queued();
}

}  // namespace tarvelo::graphics

using tarvelo::graphics::EventQueue;

namespace {

constexpr std::uint32_t kPointerMasks[2] = {0xFFFFFFFFu, 0};

std::int32_t send_pointer(std::uint8_t generator, std::uint32_t action, std::int32_t x, std::int32_t y) {
    const std::uint32_t words[2] = {
        0x07000000u | static_cast<std::uint32_t>(generator) << 16 | action << 8,
        (static_cast<std::uint32_t>(x) & 0xFFF) << 16 | (static_cast<std::uint32_t>(y) & 0xFFF),
    };
    return EventQueue::addOrReplace(words, 2, kPointerMasks) ? 0 : 1;
}

}  // namespace

extern "C" {

std::int32_t LLUI_INPUT_sendTouchPressedEvent(std::uint8_t generator, std::int32_t x, std::int32_t y) {
    return send_pointer(generator, 0, x, y);
}
std::int32_t LLUI_INPUT_sendTouchReleasedEvent(std::uint8_t generator) { return send_pointer(generator, 1, 0, 0); }
std::int32_t LLUI_INPUT_sendTouchMovedEvent(std::uint8_t generator, std::int32_t x, std::int32_t y) {
    return send_pointer(generator, 6, x, y);
}

// Weak defaults: a port without input drivers has no other writer than the
// application task, so no section is needed; the trace hooks record nothing.
__attribute__((weak)) void LLUI_INPUT_IMPL_enterCriticalSection(void) {}
__attribute__((weak)) void LLUI_INPUT_IMPL_leaveCriticalSection(void) {}
__attribute__((weak)) std::int32_t LLUI_INPUT_IMPL_initialize(void) { return 0; }
__attribute__((weak)) void LLUI_INPUT_IMPL_log_queue_init(std::uint32_t) {}
__attribute__((weak)) void LLUI_INPUT_IMPL_log_queue_full(std::uint32_t) {}
__attribute__((weak)) void LLUI_INPUT_IMPL_log_queue_add(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
__attribute__((weak)) void LLUI_INPUT_IMPL_log_queue_replace(std::uint32_t, std::uint32_t, std::uint32_t,
                                                             std::uint32_t) {}
__attribute__((weak)) void LLUI_INPUT_IMPL_log_queue_read(std::uint32_t, std::uint32_t) {}

// Pump natives (`yq.pictavo.display.NSystemPump`).
std::int32_t Java_yq_pictavo_display_NSystemPump_initialize(void) {
    EventQueue::initialize();
    LLUI_INPUT_IMPL_log_queue_init(tarvelo::graphics::kQueueSize);
    return LLUI_INPUT_IMPL_initialize();
}
void Java_yq_pictavo_display_NSystemPump_start(void) { EventQueue::start(); }
std::int32_t Java_yq_pictavo_display_NSystemPump_read(void) {
    std::uint32_t word = 0;
    if (!EventQueue::read(reinterpret_cast<void*>(&Java_yq_pictavo_display_NSystemPump_read), &word)) return 0;
    return static_cast<std::int32_t>(word);
}
std::int32_t Java_yq_pictavo_display_NSystemPump_add(std::int32_t word) {
    return EventQueue::add(static_cast<std::uint32_t>(word)) ? 1 : 0;
}
void Java_yq_pictavo_display_NSystemPump_interrupt(void) { EventQueue::interrupt(); }
void Java_yq_pictavo_display_NSystemPump_clearQueue(void) { EventQueue::clear(); }
void Java_yq_pictavo_display_NSystemPump_addKernelEvent(std::int32_t word) {
    EventQueue::addKernelEvent(static_cast<std::uint32_t>(word));
}
void Java_yq_pictavo_display_NSystemPump_replaceKernelEvent(std::int32_t word) {
    EventQueue::replaceKernelEvent(static_cast<std::uint32_t>(word));
}
std::int32_t Java_yq_pictavo_display_NSystemPump_getKernelEvent(std::int32_t mask) {
    return static_cast<std::int32_t>(EventQueue::getKernelEvent(static_cast<std::uint32_t>(mask)));
}

}  // extern "C"
