// Natives of the program that passes arguments in every kind of place: each
// prints what it received, so a misplaced argument shows in the output.
#include <cinttypes>
#include <cstdint>

#include "platform/board/debug_console.h"

namespace {

void print_array(const char* name, const void* element0, int elementSize) {
    if (element0 == nullptr) {
        DbgConsole_Printf("%s=null", name);
        return;
    }
    // The length is the word before element 0.
    const std::int32_t n = static_cast<const std::int32_t*>(element0)[-1];
    DbgConsole_Printf("%s=%" PRId32 ":", name, n);
    for (std::int32_t i = 0; i < n; ++i) {
        const auto* bytes = static_cast<const std::uint8_t*>(element0) + i * elementSize;
        DbgConsole_Printf(" %" PRId32, elementSize == 4 ? *reinterpret_cast<const std::int32_t*>(bytes)
                                                        : static_cast<std::int32_t>(*bytes));
    }
}

}  // namespace

extern "C" {

float Java_app_Args_floats(float a, float b, float c, float d, float e, float f, float g, float h, float i, float j,
                           float k, float l, float m, float n, float o, float p, float q, float r) {
    const float all[] = {a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r};
    float sum = 0;
    for (float v : all) {
        DbgConsole_Printf("%g ", static_cast<double>(v));
        sum += v;
    }
    DbgConsole_Printf("\n");
    return sum;
}

double Java_app_Args_spill(float a, float b, float c, float d, float e, float f, float g, float h, float i, float j,
                           float k, float l, float m, float n, float o, double p, float q) {
    const float all[] = {a, b, c, d, e, f, g, h, i, j, k, l, m, n, o};
    for (float v : all) DbgConsole_Printf("%g ", static_cast<double>(v));
    DbgConsole_Printf("p=%g q=%g\n", p, static_cast<double>(q));
    return p / 4;
}

double Java_app_Args_backFill(float a, double b, float c, double d, float e, std::int32_t x, double f, float g) {
    DbgConsole_Printf("a=%g b=%g c=%g d=%g e=%g x=%" PRId32 " f=%g g=%g\n", static_cast<double>(a), b,
                      static_cast<double>(c), d, static_cast<double>(e), x, f, static_cast<double>(g));
    return a + b + c + e + f + g;
}

std::int64_t Java_app_Args_evenSlots(std::int32_t a, std::int64_t b, std::int32_t c, std::int64_t d, std::int32_t e,
                                     std::int64_t f) {
    DbgConsole_Printf("a=%" PRId32 " b=%" PRId64 " c=%" PRId32 " d=%" PRId64 " e=%" PRId32 " f=%" PRId64 "\n", a, b, c,
                      d, e, f);
    // Wraps around as Java's long addition does.
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(b) + static_cast<std::uint64_t>(d) +
                                     static_cast<std::uint64_t>(f));
}

std::int32_t Java_app_Args_words(std::int32_t a, const std::int32_t* b, std::int32_t c, const std::int8_t* d,
                                 std::int32_t e, const std::int32_t* f, std::int16_t g, std::int64_t h,
                                 std::uint16_t i) {
    DbgConsole_Printf("a=%" PRId32 " ", a);
    print_array("b", b, 4);
    DbgConsole_Printf(" c=%" PRId32 " ", c);
    print_array("d", d, 1);
    DbgConsole_Printf(" e=%" PRId32 " ", e);
    print_array("f", f, 4);
    DbgConsole_Printf(" g=%d h=%" PRId64 " i=%u\n", g, h, i);
    return a + c + e + g + i;
}

const std::uint16_t* Java_app_Args_pick(std::int32_t a, std::int64_t b, const std::uint16_t* x, const std::uint16_t* y,
                                        std::int32_t which) {
    DbgConsole_Printf("a=%" PRId32 " b=%" PRId64 " which=%" PRId32 "\n", a, b, which);
    return which != 0 ? y : x;
}

}  // extern "C"
