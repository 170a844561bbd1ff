#include <stdint.h>
#include "platform/board/debug_console.h"

/* The own programs' console native (own_display_program, own_network_program):
   prints a char array and a line feed on the debug console. */
void Java_own_Console_print(const uint16_t* text) {
    if (text == 0) return;
    const int32_t length = ((const int32_t*)text)[-1];
    for (int32_t i = 0; i < length; ++i) DbgConsole_Putchar(text[i] < 0x80 ? text[i] : '?');
    DbgConsole_Putchar('\n');
}
