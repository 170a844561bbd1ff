/* The native of hello.tvi: prints a Java char[] and a line break on the
   firmware's console. An array arrives as a pointer to its first element;
   its length is the 32-bit word just before it. */
#include <stdint.h>

#include "platform/board/debug_console.h"

void Java_hello_Console_print(const uint16_t* text) {
    if (text == 0) return;
    const int32_t length = ((const int32_t*)text)[-1];
    for (int32_t i = 0; i < length; ++i) DbgConsole_Putchar(text[i] < 0x80 ? text[i] : '?');
    DbgConsole_Putchar('\n');
}
