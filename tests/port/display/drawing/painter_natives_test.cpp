// The painter natives of both libraries against recording dispatch
// functions: which calls ask to draw, what they hand the drawers (clipped
// coordinates, the clip mode, bounded image rectangles, the image-drawing
// choice, alpha), the trace events, and the status the engine is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "graphics/display/display_system.h"
#include "graphics/display/llui_display.h"
#include "graphics/drawing/soft_drawing.h"
#include "port/display/drawing/painter_natives.h"
#include "tests/port/display/drawing/painter_test_arrays.h"
#include "tests/port/display/drawing/recording_drawers.h"

namespace tarvelo::port::drawing::test {
namespace {

using graphics::display_state;
using graphics::kImageClosed;
using graphics::kImageDrawing;
using graphics::kNoDrawing;
using Args = std::vector<double>;

constexpr float kNaN = NAN;

class PainterNatives : public testing::Test {
protected:
    void SetUp() override {
        reset_arrays();
        display = java_array<std::int8_t>(sizeof(SPictavoGraphicsContext));
        graphics::test::port().start(gc_of(display));
        recording() = Recording{};
    }

    // Runs `call` and tells whether it asked to draw: with an earlier drawing
    // pending, the engine suspends a caller that asks.
    bool asks_to_draw(const std::function<void()>& call) {
        display_state().pending_draw = kImageDrawing;
        graphics::test::port().suspensions.clear();
        call();
        display_state().pending_draw = kNoDrawing;
        return !graphics::test::port().suspensions.empty();
    }

    std::int8_t* display = nullptr;
};

// One call of a native and what must reach the drawers: nothing (an empty
// operation) or one operation with its arguments and clip mode.
struct Case {
    const char* name;
    std::function<void()> call;
    bool requests;             // asks to draw (and reports a status)
    const char* operation;     // "" when nothing is drawn
    Args args;
    bool clip_enabled = false;
};

void check(const Case& c, std::int32_t trace_operation) {
    recording() = Recording{};
    c.call();
    const Recording& r = recording();
    if (!c.requests) {
        EXPECT_TRUE(r.trace.empty()) << c.name;
        EXPECT_TRUE(r.calls.empty()) << c.name;
        return;
    }
    EXPECT_EQ(display_state().pending_draw, kNoDrawing) << c.name << ": the status was reported";
    const std::vector<std::string> trace{"UI+0 " + std::to_string(trace_operation), "UI+0 end 0"};
    EXPECT_EQ(r.trace, trace) << c.name;
    if (*c.operation == '\0') {
        EXPECT_TRUE(r.calls.empty()) << c.name;
        return;
    }
    ASSERT_EQ(r.calls.size(), 1u) << c.name;
    EXPECT_EQ(r.calls[0].operation, c.operation) << c.name;
    EXPECT_EQ(r.calls[0].args, c.args) << c.name;
    EXPECT_EQ(r.calls[0].clip_enabled, c.clip_enabled) << c.name;
}

TEST_F(PainterNatives, UserInterfaceShapes) {
    ArrayCanvas canvas(16, 16);
    std::int8_t* gc = canvas.array;
    LLUI_DISPLAY_PRIVATE_setClip(canvas.gc(), 2, 2, 10, 10);  // clip 2..11 on both axes
    using namespace std;
    const vector<pair<int, Case>> cases = {
        {1, {"pixel in clip", [&] { Java_yq_pictavo_display_PainterNatives_writePixel(gc, 5, 5); }, true,
             "writePixel", {5, 5}, false}},
        {1, {"pixel outside", [&] { Java_yq_pictavo_display_PainterNatives_writePixel(gc, 1, 5); }, true, ""}},
        {2, {"line", [&] { Java_yq_pictavo_display_PainterNatives_drawLine(gc, 0, 0, 20, 3); }, true, "drawLine",
             {0, 0, 20, 3}, true}},
        {3, {"horizontal line to the 32-bit end",
             [&] { Java_yq_pictavo_display_PainterNatives_drawHorizontalLine(gc, 0, 4, INT_MAX); }, true,
             "drawHorizontalLine", {2, 11, 4}, false}},
        {3, {"horizontal line of length 0",
             [&] { Java_yq_pictavo_display_PainterNatives_drawHorizontalLine(gc, 5, 4, 0); }, true, ""}},
        {3, {"horizontal line past the clip",
             [&] { Java_yq_pictavo_display_PainterNatives_drawHorizontalLine(gc, 12, 4, 5); }, true, ""}},
        {3, {"horizontal line ending beyond 2^31",
             [&] { Java_yq_pictavo_display_PainterNatives_drawHorizontalLine(gc, INT_MAX - 2, 4, 10); }, true, ""}},
        {4, {"vertical line", [&] { Java_yq_pictavo_display_PainterNatives_drawVerticalLine(gc, 3, -5, 100); }, true,
             "drawVerticalLine", {3, 2, 11}, false}},
        {4, {"vertical line to the 32-bit end",
             [&] { Java_yq_pictavo_display_PainterNatives_drawVerticalLine(gc, 3, 5, INT_MAX); }, true,
             "drawVerticalLine", {3, 5, 11}, false}},
        {4, {"vertical line of negative length",
             [&] { Java_yq_pictavo_display_PainterNatives_drawVerticalLine(gc, 3, 5, -3); }, true, ""}},
        {5, {"rectangle inside", [&] { Java_yq_pictavo_display_PainterNatives_drawRectangle(gc, 3, 3, 4, 4); }, true,
             "drawRectangle", {3, 3, 6, 6}, false}},
        {5, {"rectangle across", [&] { Java_yq_pictavo_display_PainterNatives_drawRectangle(gc, 0, 3, 4, 4); }, true,
             "drawRectangle", {0, 3, 3, 6}, true}},
        {5, {"rectangle of width 0", [&] { Java_yq_pictavo_display_PainterNatives_drawRectangle(gc, 3, 3, 0, 4); },
             true, ""}},
        {5, {"rectangle to the 32-bit end",
             [&] { Java_yq_pictavo_display_PainterNatives_drawRectangle(gc, 3, 3, INT_MAX, 4); }, true,
             "drawRectangle", {3, 3, INT_MAX, 6}, true}},
        {6, {"filled rectangle to the 32-bit end",
             [&] { Java_yq_pictavo_display_PainterNatives_fillRectangle(gc, 0, 0, INT_MAX, INT_MAX); }, true,
             "fillRectangle", {2, 2, 11, 11}, false}},
        {6, {"filled rectangle outside",
             [&] { Java_yq_pictavo_display_PainterNatives_fillRectangle(gc, 20, 20, 3, 3); }, true, ""}},
        {6, {"filled rectangle of height 0",
             [&] { Java_yq_pictavo_display_PainterNatives_fillRectangle(gc, 3, 3, 3, 0); }, true, ""}},
        {8, {"rounded rectangle inside",
             [&] { Java_yq_pictavo_display_PainterNatives_drawRoundedRectangle(gc, 3, 3, 5, 5, 2, 2); }, true,
             "drawRoundedRectangle", {3, 3, 5, 5, 2, 2}, false}},
        {8, {"rounded rectangle across",
             [&] { Java_yq_pictavo_display_PainterNatives_drawRoundedRectangle(gc, 1, 3, 5, 5, 2, 2); }, true,
             "drawRoundedRectangle", {1, 3, 5, 5, 2, 2}, true}},
        {9, {"filled rounded rectangle of height 0",
             [&] { Java_yq_pictavo_display_PainterNatives_fillRoundedRectangle(gc, 3, 3, 5, 0, 2, 2); }, true, ""}},
        {9, {"filled rounded rectangle",
             [&] { Java_yq_pictavo_display_PainterNatives_fillRoundedRectangle(gc, 3, 3, 9, 9, 2, 2); }, true,
             "fillRoundedRectangle", {3, 3, 9, 9, 2, 2}, false}},
        {10, {"arc of half a degree",
              [&] { Java_yq_pictavo_display_PainterNatives_drawCircleArc(gc, 3, 3, 6, 10.0f, 0.5f); }, true, ""}},
        {10, {"arc of -0.99 degree",
              [&] { Java_yq_pictavo_display_PainterNatives_drawCircleArc(gc, 3, 3, 6, 10.0f, -0.99f); }, true, ""}},
        {10, {"arc of no number", [&] { Java_yq_pictavo_display_PainterNatives_drawCircleArc(gc, 3, 3, 6, 0, kNaN); },
              true, ""}},
        {10, {"arc keeps its float angle",
              [&] { Java_yq_pictavo_display_PainterNatives_drawCircleArc(gc, 3, 3, 6, 10.0f, 1.5f); }, true,
              "drawCircleArc", {3, 3, 6, 10, 1.5}, false}},
        {10, {"arc of diameter 0",
              [&] { Java_yq_pictavo_display_PainterNatives_drawCircleArc(gc, 3, 3, 0, 10.0f, 90.0f); }, true, ""}},
        {11, {"filled arc across",
              [&] { Java_yq_pictavo_display_PainterNatives_fillCircleArc(gc, 0, 0, 6, 0.0f, -90.0f); }, true,
              "fillCircleArc", {0, 0, 6, 0, -90}, true}},
        {12, {"ellipse arc of height 0",
              [&] { Java_yq_pictavo_display_PainterNatives_drawEllipseArc(gc, 3, 3, 6, 0, 0.0f, 90.0f); }, true, ""}},
        {12, {"ellipse arc", [&] { Java_yq_pictavo_display_PainterNatives_drawEllipseArc(gc, 3, 3, 6, 4, 0, -45); },
              true, "drawEllipseArc", {3, 3, 6, 4, 0, -45}, false}},
        {13, {"filled ellipse arc under a degree",
              [&] { Java_yq_pictavo_display_PainterNatives_fillEllipseArc(gc, 3, 3, 6, 4, 0.0f, 0.9f); }, true, ""}},
        {14, {"ellipse of width 0", [&] { Java_yq_pictavo_display_PainterNatives_drawEllipse(gc, 3, 3, 0, 2); }, true,
              ""}},
        {14, {"ellipse inside", [&] { Java_yq_pictavo_display_PainterNatives_drawEllipse(gc, 3, 3, 9, 9); }, true,
              "drawEllipse", {3, 3, 9, 9}, false}},
        {15, {"filled ellipse across", [&] { Java_yq_pictavo_display_PainterNatives_fillEllipse(gc, 3, 3, 10, 9); },
              true, "fillEllipse", {3, 3, 10, 9}, true}},
        {16, {"circle of diameter 0", [&] { Java_yq_pictavo_display_PainterNatives_drawCircle(gc, 3, 3, 0); }, true,
              ""}},
        {17, {"filled circle inside", [&] { Java_yq_pictavo_display_PainterNatives_fillCircle(gc, 3, 3, 9); }, true,
              "fillCircle", {3, 3, 9}, false}},
    };
    for (const auto& [operation, c] : cases) check(c, operation);
}

TEST_F(PainterNatives, UserInterfaceText) {
    ArrayCanvas canvas(16, 16);
    std::int8_t* gc = canvas.array;
    std::int8_t* font = tiny_font();
    std::int8_t* no_font = java_array<std::int8_t>(4);  // a font array never loaded
    std::uint16_t* text = chars_of("AAA");
    std::int32_t* context = java_array<std::int32_t>(2);
    const auto f = address(font);
    const std::vector<Case> cases = {
        {"string", [&] { Java_yq_pictavo_display_PainterNatives_drawString(gc, text, 1, 2, font, 4, 5); }, true,
         "drawString", {address(text + 1), 2, f, 4, 5}, true},
        {"string of length 0", [&] { Java_yq_pictavo_display_PainterNatives_drawString(gc, text, 1, 0, font, 4, 5); },
         false, ""},
        {"string at a negative offset",
         [&] { Java_yq_pictavo_display_PainterNatives_drawString(gc, text, -1, 2, font, 4, 5); }, true, ""},
        {"string past the array", [&] { Java_yq_pictavo_display_PainterNatives_drawString(gc, text, 2, 2, font, 4, 5); },
         true, ""},
        {"string longer than any array",
         [&] { Java_yq_pictavo_display_PainterNatives_drawString(gc, text, 1, INT_MAX, font, 4, 5); }, true, ""},
        {"string without characters",
         [&] { Java_yq_pictavo_display_PainterNatives_drawString(gc, nullptr, 0, 2, font, 4, 5); }, true, ""},
        {"string in an unloaded font",
         [&] { Java_yq_pictavo_display_PainterNatives_drawString(gc, text, 0, 2, no_font, 4, 5); }, true, ""},
        {"renderable string",
         [&] {
             Java_yq_pictavo_display_PainterNatives_drawRenderableString(gc, text, 1, 2, font, 6, context, 4, 5);
         },
         true, "drawRenderableString", {address(text + 1), 2, f, 6, address(context), 4, 5}, true},
        {"renderable string with a short context",
         [&] {
             Java_yq_pictavo_display_PainterNatives_drawRenderableString(gc, text, 0, 3, font, 6, context, 4, 5);
         },
         true, ""},
        {"renderable string of length 0",
         [&] {
             Java_yq_pictavo_display_PainterNatives_drawRenderableString(gc, text, 0, 0, font, 6, context, 4, 5);
         },
         false, ""},
    };
    for (const Case& c : cases) check(c, 20);
}

TEST_F(PainterNatives, TextMeasures) {
    std::int8_t* font = tiny_font();
    std::uint16_t* text = chars_of("AAA");
    std::int32_t* context = java_array<std::int32_t>(3);
    EXPECT_EQ(Java_yq_pictavo_display_PainterNatives_stringWidth(text, 1, 2, font), 42);
    const std::vector<std::string> trace{"UI+0 21", "UI+0 end 0"};
    EXPECT_EQ(recording().trace, trace);
    ASSERT_EQ(recording().calls.size(), 1u);
    EXPECT_EQ(recording().calls[0].args, (Args{address(text + 1), 2, address(font)}));

    recording() = Recording{};
    EXPECT_EQ(Java_yq_pictavo_display_PainterNatives_initializeRenderableStringSNIContext(text, 0, 3, font, context),
              7);
    EXPECT_TRUE(recording().trace.empty());
    ASSERT_EQ(recording().calls.size(), 1u);
    EXPECT_EQ(recording().calls[0].args, (Args{address(text), 3, address(font), address(context)}));

    // Refused: nothing measured, 0.
    recording() = Recording{};
    EXPECT_EQ(Java_yq_pictavo_display_PainterNatives_stringWidth(text, 0, 0, font), 0);
    EXPECT_EQ(Java_yq_pictavo_display_PainterNatives_stringWidth(text, 2, 2, font), 0);
    EXPECT_EQ(Java_yq_pictavo_display_PainterNatives_stringWidth(text, -1, 1, font), 0);
    EXPECT_EQ(Java_yq_pictavo_display_PainterNatives_initializeRenderableStringSNIContext(text, 1, 2, font, context),
              7);
    recording() = Recording{};
    std::int32_t* short_context = java_array<std::int32_t>(2);
    EXPECT_EQ(
        Java_yq_pictavo_display_PainterNatives_initializeRenderableStringSNIContext(text, 0, 3, font, short_context), 0);
    EXPECT_EQ(Java_yq_pictavo_display_PainterNatives_initializeRenderableStringSNIContext(text, 3, 1, font, context),
              0);
    EXPECT_TRUE(recording().calls.empty());
    EXPECT_TRUE(recording().trace.empty());
}

// An off-screen image of the display format, opaque, as an application array.
struct ImageArray {
    ArrayCanvas canvas;
    std::int8_t* array;
    ImageArray(std::uint32_t w, std::uint32_t h)
        : canvas(w, h), array(byte_array_of(&canvas.gc()->image, sizeof(SPictavoImage))) {}
    SPictavoImage* image() { return reinterpret_cast<SPictavoImage*>(array); }
};

TEST_F(PainterNatives, DrawImageBoundsTheRectangleToBothImages) {
    ArrayCanvas canvas(16, 16);
    ImageArray source(4, 4);
    std::int8_t* gc = canvas.array;
    std::int8_t* img = source.array;
    const double s = address(source.image());
    auto draw = [&](std::int32_t rx, std::int32_t ry, std::int32_t w, std::int32_t h, std::int32_t x, std::int32_t y,
                    std::int32_t alpha) {
        return [=] { Java_yq_pictavo_display_PainterNatives_drawImage(gc, img, rx, ry, w, h, x, y, alpha); };
    };
    const std::vector<Case> cases = {
        {"region before the source", draw(-2, -1, 4, 4, 5, 5, 255), true, "copyImage", {s, 0, 0, 2, 3, 7, 6}},
        {"destination before the context", draw(0, 0, 4, 4, -1, -3, 255), true, "copyImage", {s, 1, 3, 3, 1, 0, 0}},
        {"region past the source", draw(3, 2, 4, 4, 0, 0, 255), true, "copyImage", {s, 3, 2, 1, 2, 0, 0}},
        {"destination past the context", draw(0, 0, 4, 4, 14, 0, 255), true, "copyImage", {s, 0, 0, 2, 4, 14, 0}},
        {"alpha 0", draw(0, 0, 4, 4, 0, 0, 0), true, ""},
        {"region beside the source", draw(4, 0, 4, 4, 0, 0, 255), true, ""},
        {"extreme positions", draw(INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MIN, 255), true, ""},
        {"extreme sizes", draw(1, 1, INT_MIN, INT_MAX, 1, 1, 255), true, ""},
    };
    for (const Case& c : cases) check(c, 19);

    LLUI_DISPLAY_PRIVATE_setClip(canvas.gc(), 2, 2, 10, 10);
    check({"clipped with the destination", draw(0, 0, 4, 4, 0, 0, 255), true, "copyImage", {s, 2, 2, 2, 2, 2, 2}},
          19);
    source.image()->flags |= kImageClosed;
    check({"closed image", draw(0, 0, 4, 4, 4, 4, 255), true, ""}, 19);
}

TEST_F(PainterNatives, DrawImageChoosesCopyRegionOrBlend) {
    ArrayCanvas canvas(16, 16);
    ImageArray source(4, 4);
    std::int8_t* gc = canvas.array;
    std::int8_t* img = source.array;
    const double s = address(source.image());
    auto draw = [&](std::int8_t* image, std::int32_t alpha) {
        return [=] { Java_yq_pictavo_display_PainterNatives_drawImage(gc, image, 0, 0, 4, 4, 5, 6, alpha); };
    };
    check({"opaque at full alpha: copied", draw(img, 255), true, "copyImage", {s, 0, 0, 4, 4, 5, 6}}, 19);
    check({"alpha above 255: copied", draw(img, 300), true, "copyImage", {s, 0, 0, 4, 4, 5, 6}}, 19);
    check({"translucent: blended", draw(img, 254), true, "drawImage", {s, 0, 0, 4, 4, 5, 6, 254}}, 19);
    check({"the destination itself: moved inside it", draw(gc, 254), true, "drawRegion", {0, 0, 4, 4, 5, 6, 254}},
          19);

    ImageArray other(4, 4);
    other.image()->format = 2;
    check({"another format: converted", draw(other.array, 255), true, "drawImage",
           {address(other.image()), 0, 0, 4, 4, 5, 6, 255}},
          19);
}

TEST_F(PainterNatives, DrawImageOfTheDisplay) {
    // The display is opaque: at full alpha it is copied from its readable
    // source (the presented frame until the new frame is drawn); translucent
    // onto itself it is moved inside its own buffer.
    std::int8_t* d = display;
    ArrayCanvas canvas(16, 16);
    const SPictavoImage* presented = LLUI_DISPLAY_getSourceImage(&gc_of(d)->image);
    ASSERT_NE(static_cast<const void*>(presented), static_cast<const void*>(d));
    check({"display into an image",
           [&] { Java_yq_pictavo_display_PainterNatives_drawImage(canvas.array, d, 0, 0, 4, 4, 2, 1, 255); }, true,
           "copyImage", {address(presented), 0, 0, 4, 4, 2, 1}},
          19);
    check({"display onto itself, translucent",
           [&] { Java_yq_pictavo_display_PainterNatives_drawImage(d, d, 0, 0, 4, 4, 2, 1, 254); }, true, "drawRegion",
           {0, 0, 4, 4, 2, 1, 254}},
          19);
    const SPictavoImage* drawn = LLUI_DISPLAY_getSourceImage(&gc_of(d)->image);
    check({"display onto itself, opaque",
           [&] { Java_yq_pictavo_display_PainterNatives_drawImage(d, d, 0, 0, 4, 4, 2, 1, 255); }, true, "copyImage",
           {address(drawn), 0, 0, 4, 4, 2, 1}},
          19);
}

TEST_F(PainterNatives, StatusOfTheDrawerReachesTheEngine) {
    ArrayCanvas canvas(16, 16);
    recording().status = 1;  // the drawing runs on the accelerator
    Java_yq_pictavo_display_PainterNatives_drawLine(canvas.array, 0, 0, 5, 5);
    const std::vector<std::string> trace{"UI+0 2", "UI+0 end 1"};
    EXPECT_EQ(recording().trace, trace);
    EXPECT_EQ(display_state().pending_draw, kImageDrawing);
    // The next drawing waits for the end of this one.
    EXPECT_TRUE(asks_to_draw([&] { Java_yq_pictavo_display_PainterNatives_drawLine(canvas.array, 0, 0, 5, 5); }));
    LLUI_DISPLAY_notifyAsynchronousDrawingEnd(false);
    EXPECT_EQ(display_state().pending_draw, kNoDrawing);
}

TEST_F(PainterNatives, ChecksComeAfterTheRequestInTheUserInterfaceLibrary) {
    // A refused shape still asks to draw (and so waits for a pending drawing);
    // only empty text returns at once.
    ArrayCanvas canvas(16, 16);
    std::int8_t* font = tiny_font();
    std::uint16_t* text = chars_of("A");
    EXPECT_TRUE(asks_to_draw([&] { Java_yq_pictavo_display_PainterNatives_drawCircle(canvas.array, 0, 0, 0); }));
    EXPECT_TRUE(
        asks_to_draw([&] { Java_yq_pictavo_display_PainterNatives_drawString(canvas.array, text, 5, 1, font, 0, 0); }));
    EXPECT_FALSE(
        asks_to_draw([&] { Java_yq_pictavo_display_PainterNatives_drawString(canvas.array, text, 0, 0, font, 0, 0); }));
}

TEST_F(PainterNatives, DrawingLibrary) {
    ArrayCanvas canvas(16, 16);
    ImageArray source(4, 4);
    ImageArray closed(4, 4);
    closed.image()->flags |= kImageClosed;
    std::int8_t* gc = canvas.array;
    std::int8_t* img = source.array;
    const double s = address(source.image());
    std::int8_t* font = tiny_font();
    const double f = address(font);
    std::int8_t* no_font = java_array<std::int8_t>(4);
    std::uint16_t* text = chars_of("AAA");
    std::int32_t* context = java_array<std::int32_t>(3);
    std::int32_t* short_context = java_array<std::int32_t>(2);
    using namespace std;
    const vector<pair<int, Case>> cases = {
        {100, {"point of thickness 0 and fade 1",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedPoint(gc, 5, 5, 0, 1); }, true,
               "drawThickFadedPoint", {5, 5, 0, 1}, true}},
        {100, {"point of thickness and fade 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedPoint(gc, 5, 5, 0, 0); }, false, ""}},
        {100, {"point of negative thickness",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedPoint(gc, 5, 5, -5, 1); }, false, ""}},
        {100, {"point of negative fade",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedPoint(gc, 5, 5, 3, -4); }, false, ""}},
        {101, {"faded line", [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedLine(gc, 1, 2, 9, 8, 2, 1, 1, 2); },
               true, "drawThickFadedLine", {1, 2, 9, 8, 2, 1, 1, 2}, true}},
        {101, {"faded line of negative thickness",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedLine(gc, 1, 2, 9, 8, -1, 3, 0, 0); }, false,
               ""}},
        {102, {"faded circle of diameter 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircle(gc, 1, 2, 0, 2, 1); }, false, ""}},
        {103, {"faded arc of half a degree",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircleArc(gc, 1, 2, 8, 0, 0.5f, 2, 1, 0, 0); },
               false, ""}},
        {103, {"faded arc",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedCircleArc(gc, 1, 2, 8, 10, 90, 2, 3, 1, 0); },
               true, "drawThickFadedCircleArc", {1, 2, 8, 10, 90, 2, 3, 1, 0}, true}},
        {104, {"faded ellipse of height 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedEllipse(gc, 1, 2, 8, 0, 2, 1); }, false, ""}},
        {104, {"faded ellipse of negative fade",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickFadedEllipse(gc, 1, 2, 8, 6, 2, -1); }, false,
               ""}},
        {105, {"thick line of thickness 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickLine(gc, 1, 2, 9, 8, 0); }, false, ""}},
        {105, {"thick line", [&] { Java_yq_drawing_DrawingPainterNatives_drawThickLine(gc, 1, 2, 9, 8, 1); }, true,
               "drawThickLine", {1, 2, 9, 8, 1}, true}},
        {106, {"thick circle of diameter 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickCircle(gc, 1, 2, 0, 3); }, false, ""}},
        {107, {"thick ellipse of width 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickEllipse(gc, 1, 2, 0, 4, 3); }, false, ""}},
        {108, {"thick arc of -0.5 degree",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawThickCircleArc(gc, 1, 2, 8, 0, -0.5f, 3); }, false,
               ""}},
        {200, {"flip code -1",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawFlippedImage(gc, img, 0, 0, 4, 4, 1, 1, -1, 255); },
               false, ""}},
        {200, {"flip code 8",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawFlippedImage(gc, img, 0, 0, 4, 4, 1, 1, 8, 255); },
               false, ""}},
        {200, {"flip code 7, alpha above 255",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawFlippedImage(gc, img, 0, 0, 4, 4, 1, 1, 7, 300); },
               true, "drawFlippedImage", {s, 0, 0, 4, 4, 1, 1, 7, 255}, true}},
        {200, {"flipped image at alpha 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawFlippedImage(gc, img, 0, 0, 4, 4, 1, 1, 0, 0); },
               false, ""}},
        {200, {"flipped closed image",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawFlippedImage(gc, closed.array, 0, 0, 4, 4, 1, 1, 0, 255);
               },
               false, ""}},
        {201, {"rotated image, alpha above 255",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawRotatedImageNearestNeighbor(gc, img, 1, 2, 3, 4, 30, 999);
               },
               true, "drawRotatedImageNearestNeighbor", {s, 1, 2, 3, 4, 30, 255}, true}},
        {201, {"rotated image at negative alpha",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawRotatedImageNearestNeighbor(gc, img, 1, 2, 3, 4, 30, -3);
               },
               false, ""}},
        {202, {"rotated image, bilinear",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawRotatedImageBilinear(gc, img, 1, 2, 3, 4, -30, 10); },
               true, "drawRotatedImageBilinear", {s, 1, 2, 3, 4, -30, 10}, true}},
        {203, {"scaled by 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledImageNearestNeighbor(gc, img, 1, 2, 0, 1, 255); },
               false, ""}},
        {203, {"scaled by a negative factor",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledImageNearestNeighbor(gc, img, 1, 2, 1, -1, 255); },
               false, ""}},
        {203, {"scaled by no number",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawScaledImageNearestNeighbor(gc, img, 1, 2, kNaN, 1, 255);
               },
               false, ""}},
        {203, {"scaled, alpha above 255",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawScaledImageNearestNeighbor(gc, img, 1, 2, 2, 0.5f, 256);
               },
               true, "drawScaledImageNearestNeighbor", {s, 1, 2, 2, 0.5, 255}, true}},
        {204, {"scaled closed image",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledImageBilinear(gc, closed.array, 1, 2, 2, 2, 255); },
               false, ""}},
        {205, {"scaled string",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear(gc, text, 3, font, 1, 2, 2, 3); },
               true, "drawScaledStringBilinear", {address(text), 3, f, 1, 2, 2, 3}, true}},
        {205, {"scaled string longer than its array",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear(gc, text, 4, font, 1, 2, 2, 3); },
               false, ""}},
        {205, {"scaled string of length 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear(gc, text, 0, font, 1, 2, 2, 3); },
               false, ""}},
        {205, {"scaled string by 0",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear(gc, text, 3, font, 1, 2, 0, 3); },
               false, ""}},
        {205, {"scaled string in an unloaded font",
               [&] { Java_yq_drawing_DrawingPainterNatives_drawScaledStringBilinear(gc, text, 3, no_font, 1, 2, 2, 3); },
               false, ""}},
        {205, {"scaled renderable string",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawScaledRenderableStringBilinear(gc, text, 3, font, 9, context,
                                                                                            1, 2, 2, 3);
               },
               true, "drawScaledRenderableStringBilinear", {address(text), 3, f, 9, address(context), 1, 2, 2, 3}, true}},
        {205, {"scaled renderable string with a short context",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawScaledRenderableStringBilinear(
                       gc, text, 3, font, 9, short_context, 1, 2, 2, 3);
               },
               false, ""}},
        {206, {"rotated character, alpha above 255",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationBilinear(gc, 'A', font, 1, 2, 3, 4, 45, 400);
               },
               true, "drawCharWithRotationBilinear", {'A', f, 1, 2, 3, 4, 45, 255}, true}},
        {206, {"rotated character at alpha 0",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationBilinear(gc, 'A', font, 1, 2, 3, 4, 45, 0);
               },
               false, ""}},
        {207, {"rotated character, nearest",
               [&] {
                   Java_yq_drawing_DrawingPainterNatives_drawCharWithRotationNearestNeighbor(gc, 'A', font, 1, 2, 3, 4,
                                                                                             45, 128);
               },
               true, "drawCharWithRotationNearestNeighbor", {'A', f, 1, 2, 3, 4, 45, 128}, true}},
    };
    for (const auto& [operation, c] : cases) {
        check(c, operation);
        // Checked before the request: a refused call does not even wait for
        // a pending drawing.
        EXPECT_EQ(asks_to_draw(c.call), c.requests) << c.name;
    }
}

TEST_F(PainterNatives, PolygonsAndDeformedImagesCheckTheirArrays) {
    // These draw in the engine's software: the pixels tell what was drawn.
    ArrayCanvas canvas(16, 16);
    ImageArray source(4, 4);
    source.canvas.gc()->foreground_color = 0xFFFFFFFF;
    graphics::SoftDrawing::fillRect(source.canvas.gc(), 0, 0, 3, 3);
    ImageArray closed(4, 4);
    closed.image()->flags |= kImageClosed;
    std::int8_t* gc = canvas.array;
    canvas.gc()->foreground_color = 0xFFFFFFFF;
    auto ints = [](std::initializer_list<std::int32_t> v) {
        std::int32_t* a = java_array<std::int32_t>(static_cast<std::uint32_t>(v.size()));
        std::copy(v.begin(), v.end(), a);
        return a;
    };
    std::int32_t* triangle = ints({2, 2, 12, 2, 2, 12});
    std::int32_t* corners = ints({1, 1, 9, 3, 10, 10, 2, 8});  // no side parallel to an axis
    std::int32_t* three_corners = ints({1, 1, 9, 3, 10, 10});
    std::int8_t* work3 = java_array<std::int8_t>(96 * 3 + 20);
    std::int8_t* work4 = java_array<std::int8_t>(96 * 4 + 20);
    std::int8_t* short3 = java_array<std::int8_t>(96 * 3 + 19);
    std::int8_t* short4 = java_array<std::int8_t>(96 * 4 + 19);
    struct PolygonCase {
        const char* name;
        std::int32_t operation;
        std::function<void()> call;
        bool draws;
    };
    const std::vector<PolygonCase> cases = {
        {"outline", 50, [&] { Java_yq_drawing_DrawingPainterNatives_drawPolygon(gc, triangle, 6); }, true},
        {"outline of one point", 50, [&] { Java_yq_drawing_DrawingPainterNatives_drawPolygon(gc, triangle, 2); }, true},
        {"outline of no point", 50, [&] { Java_yq_drawing_DrawingPainterNatives_drawPolygon(gc, triangle, 1); }, false},
        {"outline past the array", 50, [&] { Java_yq_drawing_DrawingPainterNatives_drawPolygon(gc, triangle, 8); },
         false},
        {"outline of a negative count", 50,
         [&] { Java_yq_drawing_DrawingPainterNatives_drawPolygon(gc, triangle, -6); }, false},
        {"outline without points", 50, [&] { Java_yq_drawing_DrawingPainterNatives_drawPolygon(gc, nullptr, 6); },
         false},
        {"filled", 51, [&] { Java_yq_drawing_DrawingPainterNatives_fillPolygon(gc, triangle, 6, work3); }, true},
        {"filled with a short buffer", 51,
         [&] { Java_yq_drawing_DrawingPainterNatives_fillPolygon(gc, triangle, 6, short3); }, false},
        {"filled without a buffer", 51,
         [&] { Java_yq_drawing_DrawingPainterNatives_fillPolygon(gc, triangle, 6, nullptr); }, false},
        {"filled past the array", 51,
         [&] { Java_yq_drawing_DrawingPainterNatives_fillPolygon(gc, triangle, 7, work4); }, false},
        {"deformed", 55,
         [&] { Java_yq_drawing_DrawingPainterNatives_drawDeformedImage(gc, source.array, corners, work4); }, true},
        {"deformed with a short buffer", 55,
         [&] { Java_yq_drawing_DrawingPainterNatives_drawDeformedImage(gc, source.array, corners, short4); }, false},
        {"deformed with three corners", 55,
         [&] { Java_yq_drawing_DrawingPainterNatives_drawDeformedImage(gc, source.array, three_corners, work4); },
         false},
        {"deformed closed image", 55,
         [&] { Java_yq_drawing_DrawingPainterNatives_drawDeformedImage(gc, closed.array, corners, work4); }, false},
    };
    for (const PolygonCase& c : cases) {
        canvas.clear();
        check({c.name, c.call, c.draws, ""}, c.operation);
        EXPECT_EQ(canvas.drawn() > 0, c.draws) << c.name;
        EXPECT_EQ(asks_to_draw(c.call), c.draws) << c.name;
    }
    // The filled triangle: its corners and nothing past its long side.
    canvas.clear();
    Java_yq_drawing_DrawingPainterNatives_fillPolygon(gc, triangle, 6, work3);
    EXPECT_TRUE(canvas.at(2, 2) && canvas.at(12, 2) && canvas.at(2, 12) && canvas.at(7, 7));
    EXPECT_FALSE(canvas.at(8, 8));
    EXPECT_EQ(canvas.drawn(), 11 + 10 + 9 + 8 + 7 + 6 + 5 + 4 + 3 + 2 + 1);
}

}  // namespace
}  // namespace tarvelo::port::drawing::test
