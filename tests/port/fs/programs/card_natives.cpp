// Natives of the file programs that act on the card from outside: take it
// out and put it back, set its capacity and speed, look at a file on the
// host, print bytes.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/board/debug_console.h"
#include "platform/sdmmc/card_directory.h"
#include "sim_interrupt.h"

namespace card = tarvelo::sdcard;

namespace {

std::string away() { return card::directory() + "-out"; }

}  // namespace

extern "C" {

void Java_app_Card_remove() {
    vSimNoPreemptEnter();
    std::rename(card::directory().c_str(), away().c_str());
    vSimNoPreemptExit();
}

void Java_app_Card_insert() {
    vSimNoPreemptEnter();
    std::rename(away().c_str(), card::directory().c_str());
    vSimNoPreemptExit();
}

void Java_app_Card_setCapacity(std::int64_t bytes) {
    card::set_capacity(bytes < 0 ? UINT64_MAX : static_cast<std::uint64_t>(bytes));
}

void Java_app_Card_setDelayTicks(std::int32_t ticks) { card::set_delay_ticks(static_cast<std::uint32_t>(ticks)); }

std::int64_t Java_app_Card_hostSize(const std::int8_t* name) {
    vSimNoPreemptEnter();
    const std::string path = card::directory() + "/" + reinterpret_cast<const char*>(name);
    struct stat st;
    const std::int64_t size = ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
    vSimNoPreemptExit();
    return size;
}

void Java_app_Card_printBytes(const std::int8_t* bytes, std::int32_t offset, std::int32_t length) {
    const std::int32_t size = reinterpret_cast<const std::int32_t*>(bytes)[-1];
    for (std::int32_t i = offset; i < offset + length && i < size && bytes[i] != 0; ++i)
        DbgConsole_Putchar(static_cast<std::uint8_t>(bytes[i]));
    DbgConsole_Putchar('\n');
}

}  // extern "C"
