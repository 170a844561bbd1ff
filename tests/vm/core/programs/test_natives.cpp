// Natives of the test programs: console output, the exit code, and natives
// with every kind of argument and result for the native-call tests.
#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "platform/board/debug_console.h"
#include "vm/core/execution_context.h"
#include "vm/core/java_objects.h"
#include "vm/core/ostrevan.h"
#include "vm/core/vm_thread.h"

using tarvelo::ExecutionContext;
using tarvelo::VMThread;
using tarvelo::word_t;

extern "C" {

void Java_app_Out_printInt(std::int32_t v) { DbgConsole_Printf("%" PRId32 "\n", v); }

void Java_app_Out_printLong(std::int64_t v) { DbgConsole_Printf("%" PRId64 "\n", v); }

void Java_app_Out_printFloat(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    DbgConsole_Printf("%.9g 0x%08" PRIx32 "\n", static_cast<double>(v), bits);
}

void Java_app_Out_printDouble(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    DbgConsole_Printf("%.17g 0x%016" PRIx64 "\n", v, bits);
}

// A char[] arrives as its first element; its length is the word before it.
void Java_app_Out_printChars(const std::uint16_t* chars) {
    if (chars == nullptr) {
        DbgConsole_Printf("null\n");
        return;
    }
    const std::int32_t n = reinterpret_cast<const std::int32_t*>(chars)[-1];
    for (std::int32_t i = 0; i < n; ++i) DbgConsole_Putchar(chars[i] & 0xFF);
    DbgConsole_Putchar('\n');
}

void VMNative_app_Out_printString(VMThread* t) {
    const word_t s = ExecutionContext::refArg(t, 0);
    if (s == 0) {
        DbgConsole_Printf("null\n");
        return;
    }
    const word_t chars = tarvelo::java::string_value(s);
    const std::int32_t offset = tarvelo::java::string_offset(s);
    const std::int32_t count = tarvelo::java::string_count(s);
    const auto* data = tarvelo::java::array_data<std::uint16_t>(chars);
    for (std::int32_t i = 0; i < count; ++i) DbgConsole_Putchar(data[offset + i] & 0xFF);
    DbgConsole_Putchar('\n');
}

void VMNative_app_Out_exit(VMThread* t) {
    tarvelo::Ostrevan* vm = tarvelo::ostrevan();
    vm->exitCode = ExecutionContext::intArg(t, 5);
    vm->requestStop();
}

}  // extern "C"
