// The virtual machine's own console output (uncaught-exception traces, the
// state dump, diagnostics). Everything goes one byte at a time through
// `sendCharacter`, which hands it to the console port's putchar; nothing is
// buffered and nothing is allocated.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarvelo::rt::SystemOut {

// One byte to the console.
void sendCharacter(std::uint8_t byte);

// The low 8 bits of a char.
void printAsciiCharacter(std::uint16_t ch);
void printChar(std::uint16_t ch);
// Decimal text.
void printInt(std::int32_t value);
void printLong(std::int64_t value);
// The bytes of a VM-internal string, as they are.
void print(std::string_view text);
// The byte 10, after the text for the second form.
void println();
void println(std::string_view text);
// Eight upper-case hexadecimal digits, most significant first, no prefix.
void printAddress(std::uint32_t address);

}  // namespace tarvelo::rt::SystemOut
