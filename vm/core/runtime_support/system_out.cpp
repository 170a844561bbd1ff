#include "vm/core/runtime_support/system_out.h"

#include <span>

#include "vm/core/port/os_port.h"
#include "vm/core/runtime_support/decimal_text.h"

namespace tarvelo::rt::SystemOut {

namespace {

void send_bytes(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) sendCharacter(b);
}

}  // namespace

void sendCharacter(std::uint8_t byte) { LLBSP_IMPL_putchar__I(byte); }

void printAsciiCharacter(std::uint16_t ch) { sendCharacter(static_cast<std::uint8_t>(ch)); }

void printChar(std::uint16_t ch) { sendCharacter(static_cast<std::uint8_t>(ch)); }

void printInt(std::int32_t value) {
    std::uint8_t buffer[12];
    const std::size_t end = String::intToByteArray(buffer, value, 0);
    send_bytes(std::span(buffer, end));
}

void printLong(std::int64_t value) {
    std::uint8_t buffer[22];
    const std::size_t end = String::longToByteArray(buffer, value, 0);
    send_bytes(std::span(buffer, end));
}

void print(std::string_view text) {
    for (char c : text) sendCharacter(static_cast<std::uint8_t>(c));
}

void println() { sendCharacter(10); }

void println(std::string_view text) {
    print(text);
    println();
}

void printAddress(std::uint32_t address) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int shift = 28; shift >= 0; shift -= 4) {
        sendCharacter(static_cast<std::uint8_t>(kHex[(address >> shift) & 0xF]));
    }
}

}  // namespace tarvelo::rt::SystemOut
