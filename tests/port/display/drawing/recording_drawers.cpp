#include "tests/port/display/drawing/recording_drawers.h"

#include <type_traits>

#include "graphics/display/llui_display.h"
#include "port/display/drawing/ui_drawing.h"
#include "port/display/drawing/ui_trace.h"

namespace tarvelo::port::drawing {

namespace test {

Recording& recording() {
    static Recording r;
    return r;
}

}  // namespace test

void ui_trace_event(std::int32_t n, std::int32_t value) {
    test::recording().trace.push_back("UI+" + std::to_string(n) + " " + std::to_string(value));
}

void ui_trace_event_end(std::int32_t n, std::int32_t value) {
    test::recording().trace.push_back("UI+" + std::to_string(n) + " end " + std::to_string(value));
}

}  // namespace tarvelo::port::drawing

namespace {

using tarvelo::port::drawing::test::recording;

template <typename T>
double number(T v) {
    if constexpr (std::is_pointer_v<T>) return tarvelo::port::drawing::test::address(v);
    else return static_cast<double>(v);
}

struct Recorder {
    const char* operation;
    template <typename... A>
    std::int32_t operator()(SPictavoGraphicsContext* gc, A... a) const {
        recording().calls.push_back({operation, {number(a)...}, LLUI_DISPLAY_isClipEnabled(gc)});
        return recording().status;
    }
};

}  // namespace

extern "C" {

#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args) \
    std::int32_t UI_DRAWING_##name params { return Recorder{#name} args; }
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION

std::int32_t UI_DRAWING_stringWidth(const std::uint16_t* chars, std::int32_t length, const std::uint8_t* font) {
    recording().calls.push_back({"stringWidth", {number(chars), number(length), number(font)}, true});
    return 42;
}

std::int32_t UI_DRAWING_initializeRenderableStringSNIContext(const std::uint16_t* chars, std::int32_t length,
                                                             const std::uint8_t* font, std::int32_t* context) {
    recording().calls.push_back(
        {"initializeRenderableStringSNIContext", {number(chars), number(length), number(font), number(context)}, true});
    return 7;
}

}  // extern "C"
