// Natives of the test programs: console output, the exit code, and natives
// with every kind of argument and result for the native-call tests.
#include <cinttypes>
#include <cstdint>
#include <cstring>

#include "FreeRTOS.h"
#include "platform/board/debug_console.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/threads/vm_thread.h"

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

// Asks the kernel heap for more than it holds: the firmware's hook halts.
void Java_app_Out_exhaustKernelHeap() { (void)pvPortMalloc(configTOTAL_HEAP_SIZE); }

void VMNative_app_Out_exit(VMThread* t) {
    tarvelo::Ostrevan* vm = tarvelo::ostrevan();
    vm->exitCode = ExecutionContext::intArg(t, 5);
    vm->requestStop();
}

}  // extern "C"

// --- Natives of the native-call tests ----------------------------------------------------

#include "FreeRTOS.h"
#include "task.h"
#include "vm/core/threads/kernel_thread_scheduler.h"
#include "vm/core/port/os_port.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/engine/sni.h"

namespace {

std::int32_t native_calls = 0;
std::int32_t callback_calls = 0;

// Every kind of argument: eleven integer-class words (some stacked) and
// ten floating-point values (some stacked), interleaved.
std::int64_t mix(std::int32_t a, std::int64_t b, float c, double d, const std::int32_t* e, const std::int8_t* f,
                 std::int32_t g, double h, float i, std::int64_t j, std::int32_t k, const std::uint16_t* l, double m,
                 double n, double o, double p, double q, float r) {
    DbgConsole_Printf("a=%d b=%lld c=%g d=%g\n", static_cast<int>(a), static_cast<long long>(b),
                      static_cast<double>(c), d);
    DbgConsole_Printf("e=%d:%d f=%s g=%d h=%g i=%g j=%lld k=%d\n", e != nullptr ? static_cast<int>(e[-1]) : -1,
                      e != nullptr ? static_cast<int>(e[0]) : 0, f == nullptr ? "null" : "array",
                      static_cast<int>(g), h, static_cast<double>(i), static_cast<long long>(j), static_cast<int>(k));
    DbgConsole_Printf("l=%c%c m=%g n=%g o=%g p=%g q=%g r=%g\n", static_cast<char>(l[0]), static_cast<char>(l[1]), m, n,
                      o, p, q, static_cast<double>(r));
    return a + b + static_cast<std::int64_t>(c) + static_cast<std::int64_t>(d) + g + static_cast<std::int64_t>(h) +
           static_cast<std::int64_t>(i) + j + k + static_cast<std::int64_t>(m + n + o + p + q + r);
}

struct ResumeRequest {
    std::int32_t thread;
    std::int32_t argument;
};
ResumeRequest pending_resume;

// Another task: resumes the waiting thread a few ticks later.
void resumer_task(void* parameter) {
    auto* request = static_cast<ResumeRequest*>(parameter);
    vTaskDelay(3);
    SNI_resumeJavaThreadWithArg(request->thread, reinterpret_cast<void*>(static_cast<std::intptr_t>(request->argument)));
    vTaskDelete(nullptr);
}

std::int32_t wait_callback(std::int32_t x) {
    ++callback_calls;
    void* suspendArgument = nullptr;
    void* resumeArgument = nullptr;
    SNI_getCallbackArgs(&suspendArgument, &resumeArgument);
    return x + static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(suspendArgument)) +
           static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(resumeArgument));
}

std::int32_t unused_callback(std::int32_t) {
    ++callback_calls;
    return -1;
}

void suspended_callback(VMThread*) { ++callback_calls; }

}  // namespace

extern "C" {

std::int64_t Java_app_Natives_mix(std::int32_t a, std::int64_t b, float c, double d, const std::int32_t* e,
                                  const std::int8_t* f, std::int32_t g, double h, float i, std::int64_t j,
                                  std::int32_t k, const std::uint16_t* l, double m, double n, double o, double p,
                                  double q, float r) {
    return mix(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r);
}

// Results wider than their Java type: the virtual machine keeps only what
// the type holds.
std::uint32_t Java_app_Natives_retBoolean() { return 0xABCD0001u; }
std::uint32_t Java_app_Natives_retByte() { return 0x123456F0u; }
std::uint32_t Java_app_Natives_retChar() { return 0xFFFFABCDu; }
std::uint32_t Java_app_Natives_retShort() { return 0x00018001u; }
std::int32_t Java_app_Natives_retInt() { return -123456789; }
std::int64_t Java_app_Natives_retLong() { return static_cast<std::int64_t>(0x8000000000000001ull); }
float Java_app_Natives_retFloat() { return 1.5f; }
double Java_app_Natives_retDouble() { return -2.25; }
std::int32_t* Java_app_Natives_retArray(std::int32_t* a) { return a; }
std::int32_t* Java_app_Natives_retNull() { return nullptr; }
void Java_app_Natives_retVoid() { ++native_calls; }

std::int32_t Java_app_Natives_fail(std::int32_t code) {
    SNI_throwNativeException(code, "native failure");
    return 42;  // ignored
}
void Java_app_Natives_failNoMessage() { SNI_throwNativeException(-9, reinterpret_cast<const char*>(-1)); }
void Java_app_Natives_failIo() { SNI_throwNativeIOException(-5, "io failure"); }

// A message of 600 bytes: the exception keeps its first 512.
void Java_app_Natives_failLongMessage() {
    static char message[601];
    for (int i = 0; i < 600; ++i) message[i] = static_cast<char>('a' + i % 26);
    message[600] = '\0';
    SNI_throwNativeException(-11, message);
}

// Suspends until another task resumes the thread; the callback then
// returns x + its argument + the resume argument.
std::int32_t Java_app_Natives_waitFor(std::int32_t x) {
    ++native_calls;
    pending_resume = {SNI_getCurrentJavaThreadID(), 1000};
    SNI_suspendCurrentJavaThreadWithCallback(0, reinterpret_cast<SNI_callback>(&wait_callback),
                                             reinterpret_cast<void*>(std::intptr_t{100}));
    xTaskCreate(resumer_task, "resumer", 256, &pending_resume, 5, nullptr);
    return -1;  // ignored: the call runs again with the callback
}

// A resume that came first, a callback, then an exception: the exception
// wins and the call does not run again.
std::int32_t Java_app_Natives_resumedThenFail() {
    ++native_calls;
    SNI_resumeJavaThread(SNI_getCurrentJavaThreadID());
    SNI_suspendCurrentJavaThreadWithCallback(0, reinterpret_cast<SNI_callback>(&unused_callback), nullptr);
    SNI_throwNativeException(-3, "exception wins");
    return 0;
}

// The current thread's id asked from another task: the thread waits until
// that task has asked and resumes it with the answer.
std::int32_t id_callback() {
    void* answer = nullptr;
    SNI_getCallbackArgs(nullptr, &answer);
    return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(answer));
}

void asking_task(void* parameter) {
    const auto thread = static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(parameter));
    const std::int32_t seen = SNI_getCurrentJavaThreadID();
    // The answer travels as a 32-bit word, as every resume argument does.
    SNI_resumeJavaThreadWithArg(thread, reinterpret_cast<void*>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(seen))));
    vTaskDelete(nullptr);
}

std::int32_t Java_app_Natives_idSeenByOtherTask() {
    const std::int32_t id = SNI_getCurrentJavaThreadID();
    SNI_suspendCurrentJavaThreadWithCallback(0, reinterpret_cast<SNI_callback>(&id_callback), nullptr);
    xTaskCreate(asking_task, "asker", 256, reinterpret_cast<void*>(static_cast<std::intptr_t>(id)), 5, nullptr);
    return 0;
}

std::int32_t remembered_ids[2];
std::int32_t remembered = 0;

void Java_app_Natives_rememberId() {
    if (remembered < 2) remembered_ids[remembered++] = SNI_getCurrentJavaThreadID();
}

std::int32_t Java_app_Natives_resumeRemembered(std::int32_t i) { return SNI_resumeJavaThread(remembered_ids[i]); }

std::int32_t Java_app_Natives_sameSlot() {
    return remembered == 2 && remembered_ids[0] != remembered_ids[1] &&
                   (remembered_ids[0] & 0xFF) == (remembered_ids[1] & 0xFF)
               ? 1
               : 0;
}

// Natives-pool functions ------------------------------------------------------------------

// (Object src, int srcPos, Object dst, int dstPos, int length): src at
// reference index -2, dst at -1, length in register 5, dstPos in 6, srcPos in 7.
void VMNative_app_Natives_copyArgs(VMThread* t) {
    const word_t* refs = ExecutionContext::refArgs(t);
    const std::int32_t* prim = ExecutionContext::primArgs(t);
    DbgConsole_Printf("src=%d dst=%d length=%d dstPos=%d srcPos=%d\n",
                      static_cast<int>(tarvelo::java::array_length(refs[-2])),
                      static_cast<int>(tarvelo::java::array_length(refs[-1])), static_cast<int>(prim[5]),
                      static_cast<int>(prim[6]), static_cast<int>(prim[7]));
}

void VMNative_app_Natives_counts(VMThread* t) {
    ExecutionContext::returnInt(t, native_calls * 100 + callback_calls);
    native_calls = 0;
    callback_calls = 0;
}

std::int64_t system_time() { return LLOSTV_IMPL_getCurrentTime__Z(1); }

void VMNative_app_Natives_uptime(VMThread* t) { ExecutionContext::returnLong(t, system_time()); }

// Suspends the thread for 10 s and raises an exception: the thread must run
// its handler at once, as a running thread.
void VMNative_app_Natives_suspendAndThrow(VMThread* t) {
    tarvelo::kernel_scheduler()->suspendCurrentJavaThread(
        10000, tarvelo::function_word(&suspended_callback), 0, false);
    ExecutionContext::throwNew(t, tarvelo::vm_type(tarvelo::VMType::_java_Ljava_lang_IllegalStateException));
}

}  // extern "C"

// --- Threads, indirect calls ------------------------------------------------------------------

#include "vm/core/lifecycle/vm_runtime.h"

extern "C" {

// static int Threads.start(Thread t): Thread.start's runtime call.
void VMNative_app_Threads_start(VMThread* t) {
    ExecutionContext::returnInt(t, tarvelo::GreenThreadVMRuntime::startThread(ExecutionContext::refArg(t, 0)));
}

// An OPinvokeindirect table: a count, the method records (two 16-bit
// halves each), then a signature code per entry. Entry 2 is empty.
// Weak: only the program of indirect calls defines them.
extern const char _java_Mapp_Indirect__twice[] __attribute__((weak));
extern const char _java_Mapp_Indirect__square[] __attribute__((weak));
struct __attribute__((packed, aligned(2))) IndirectTable {
    std::uint16_t count;
    std::uint32_t methods[3];
    std::uint16_t signatures[3];
};
extern const IndirectTable app_indirect_table;
const IndirectTable app_indirect_table = {
    3,
    {static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(_java_Mapp_Indirect__twice)),
     static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(_java_Mapp_Indirect__square)), 0},
    {7, 7, 7},
};

}  // extern "C"

extern "C" {

// static void Checks.interruptSelf(): the current thread's interrupt status set.
void VMNative_app_Checks_interruptSelf(VMThread* t) { t->interruptStatus = 1; }

}  // extern "C"

#include "vm/core/threads/schedule_context.h"

extern "C" {

// static int Control.quanta(): the quanta left in the current thread's schedule context.
void VMNative_app_Control_quanta(VMThread* t) {
    ExecutionContext::returnInt(t, tarvelo::context_fields(t->scheduleContext)->remaining);
}

}  // extern "C"
