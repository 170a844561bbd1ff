// The input event ring: 32-bit event words put in by input drivers and the
// engine, taken out one by one by the application's pump thread. Every
// access happens inside the port's input critical section.
#pragma once

#include <cstdint>

namespace tarvelo::graphics {

inline constexpr std::uint32_t kEventPumpStopped = 0x06000000u;

struct EventQueue {
    // Empties the ring and forgets the reader.
    static void initialize();
    // Appends one word; false when the ring is full.
    static bool add(std::uint32_t word);
    // Appends `n` words all or nothing.
    static bool addAll(const std::uint32_t* words, std::uint32_t n);
    // Overwrites the newest unread event of `n` words when it matches the new
    // one under `masks`, else appends all or nothing.
    static bool addOrReplace(const std::uint32_t* words, std::uint32_t n, const std::uint32_t* masks);
    // The next word, or false with the caller suspended (`native` runs again
    // when a word arrives); `kEventPumpStopped` once the pump is stopped.
    static bool read(void* native, std::uint32_t* word);
    static void start();
    static void interrupt();
    static void clear();
    static void addKernelEvent(std::uint32_t word);
    static void replaceKernelEvent(std::uint32_t word);
    static std::uint32_t getKernelEvent(std::uint32_t mask);
    // Words queued (tests).
    static std::uint32_t length();
};

}  // namespace tarvelo::graphics

extern "C" {
std::int32_t LLUI_INPUT_sendTouchPressedEvent(std::uint8_t generator, std::int32_t x, std::int32_t y);
std::int32_t LLUI_INPUT_sendTouchReleasedEvent(std::uint8_t generator);
std::int32_t LLUI_INPUT_sendTouchMovedEvent(std::uint8_t generator, std::int32_t x, std::int32_t y);

// Hooks of the port.
void LLUI_INPUT_IMPL_enterCriticalSection(void);
void LLUI_INPUT_IMPL_leaveCriticalSection(void);
std::int32_t LLUI_INPUT_IMPL_initialize(void);
void LLUI_INPUT_IMPL_log_queue_init(std::uint32_t size);
void LLUI_INPUT_IMPL_log_queue_full(std::uint32_t word);
void LLUI_INPUT_IMPL_log_queue_add(std::uint32_t word, std::uint32_t index, std::uint32_t remaining,
                                   std::uint32_t length);
void LLUI_INPUT_IMPL_log_queue_replace(std::uint32_t old_word, std::uint32_t new_word, std::uint32_t index,
                                       std::uint32_t length);
void LLUI_INPUT_IMPL_log_queue_read(std::uint32_t word, std::uint32_t index);
}
