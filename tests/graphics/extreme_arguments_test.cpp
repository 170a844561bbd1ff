// Every software drawing entry point with arguments at the ends of their
// ranges: coordinates and sizes near the ends of the 32-bit range, zero and
// negative sizes, fades, angles and factors that are not numbers or
// infinite. Nothing may overflow or convert out of range (the sanitizer
// build of CI runs this with UndefinedBehaviorSanitizer, which stops at the
// first such operation), nothing may be written outside the canvas, and
// each call may only cost what the canvas's pixels cost (a call that walked
// a shape two billion pixels long would hold the test for minutes).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/fonts/fonts.h"
#include "graphics/images/image_transforms.h"
#include "graphics/images/new_images.h"
#include "graphics/shapes/aliased_shapes.h"
#include "graphics/shapes/shape_entry_points.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using test::Canvas;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
const std::int32_t kInts[] = {kMin, kMin + 1, -2000000000, -3000000, -65536, -32768, -2, -1, 0, 1, 2,
                              5, 32767, 65535, 3000000, 2000000000, kMax - 1, kMax};
const float kFloats[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(), -1e30f,
                         -3e9f, -360.0f, -0.5f, 0.0f, 1e-30f, 0.5f, 1.0f, 45.0f, 720.5f, 3e9f, 1e30f};

// Picks arguments from the tables above, the same ones on every run.
class Arguments {
public:
    std::int32_t i() { return kInts[next() % std::size(kInts)]; }
    // A small value near the canvas, or one of the far ones.
    std::int32_t coordinate() { return next() % 3 == 0 ? static_cast<std::int32_t>(next() % 40) - 12 : i(); }
    float f() { return kFloats[next() % std::size(kFloats)]; }
    std::uint32_t next() {
        state_ = state_ * 1103515245u + 12345u;
        return state_ >> 8;
    }

private:
    std::uint32_t state_ = 2705;
};

// The canvas inside a frame of guard pixels: a write outside the canvas
// lands in the frame.
struct Framed {
    static constexpr std::int32_t kW = 16, kH = 8, kFrame = 4, kStride = kW + 2 * kFrame;
    std::uint8_t* block = test::low_bytes(12 + 2 * kStride * (kH + 2 * kFrame));
    SPictavoGraphicsContext gc{};
    Framed() {
        const auto first = static_cast<std::uint32_t>(12 + 2 * (kFrame * kStride + kFrame));
        gc.image = NewImages::describe(block, 4, kW, kH, kStride, kRawDisplayFormat | kRawOpaque, first);
        NewImages::initMutable(&gc, kW, kH, 0);
        gc.foreground_color = 0xFFFFFFFF;
    }
    bool frame_untouched() const {
        const auto* pixels = reinterpret_cast<const std::uint16_t*>(block + 12);
        for (std::int32_t y = 0; y < kH + 2 * kFrame; ++y)
            for (std::int32_t x = 0; x < kStride; ++x) {
                const bool inside = x >= kFrame && x < kFrame + kW && y >= kFrame && y < kFrame + kH;
                if (!inside && pixels[y * kStride + x] != 0) return false;
            }
        return true;
    }
};

// The engine's test font (one glyph, 'A') as an application's font array.
const std::uint8_t* tiny_font() {
    static std::uint8_t font_data[12];
    static bool loaded = false;
    if (!loaded) {
        std::ifstream in(TINY_FONT, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Static, so below 4 GiB and kept (the canvases reuse low_bytes).
        alignas(4) static std::uint8_t font[1024];
        if (bytes.size() > sizeof font || !font_is_valid(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
            return nullptr;
        std::memcpy(font, bytes.data(), bytes.size());
        const std::uint32_t address = to_word(font);
        std::memcpy(font_data, &address, 4);
        loaded = true;
    }
    return font_data;
}

using Draw = std::function<void(SPictavoGraphicsContext*, Arguments&)>;

struct EntryPoint {
    const char* name;
    Draw draw;
};

TEST(ExtremeArguments, EveryEntryPointStaysInsideItsCanvas) {
    Canvas source(5, 3);
    for (std::int32_t y = 0; y < 3; ++y)
        for (std::int32_t x = 0; x < 5; ++x) source.at(x, y) = static_cast<std::uint16_t>(0x1234 * (x + 5 * y + 1));
    const SPictavoImage* image = &source.gc.image;
    const std::uint8_t* font = tiny_font();
    ASSERT_NE(font, nullptr);
    static const std::uint16_t text[] = {'A', 'A', 'B', 'A', 0xD801, 0xDC00, 'A', '\t'};
    std::vector<std::uint8_t> work(static_cast<std::size_t>(Polygon::workSize(6)));
    const std::vector<EntryPoint> entries = {
        {"writePixel", [](auto* gc, auto& a) { UI_DRAWING_SOFT_writePixel(gc, a.i(), a.i()); }},
        {"drawLine", [](auto* gc, auto& a) { UI_DRAWING_SOFT_drawLine(gc, a.coordinate(), a.i(), a.i(), a.coordinate()); }},
        {"drawHorizontalLine", [](auto* gc, auto& a) { UI_DRAWING_SOFT_drawHorizontalLine(gc, a.i(), a.i(), a.coordinate()); }},
        {"drawVerticalLine", [](auto* gc, auto& a) { UI_DRAWING_SOFT_drawVerticalLine(gc, a.coordinate(), a.i(), a.i()); }},
        {"drawRectangle", [](auto* gc, auto& a) { UI_DRAWING_SOFT_drawRectangle(gc, a.i(), a.coordinate(), a.i(), a.i()); }},
        {"fillRectangle", [](auto* gc, auto& a) { UI_DRAWING_SOFT_fillRectangle(gc, a.i(), a.coordinate(), a.i(), a.i()); }},
        {"drawRoundedRectangle",
         [](auto* gc, auto& a) {
             UI_DRAWING_SOFT_drawRoundedRectangle(gc, a.coordinate(), a.coordinate(), a.i(), a.i(), a.i(), a.i());
         }},
        {"drawCircleArc",
         [](auto* gc, auto& a) { UI_DRAWING_SOFT_drawCircleArc(gc, a.coordinate(), a.coordinate(), a.i(), a.f(), a.f()); }},
        {"drawEllipseArc",
         [](auto* gc, auto& a) {
             UI_DRAWING_SOFT_drawEllipseArc(gc, a.coordinate(), a.coordinate(), a.i(), a.i(), a.f(), a.f());
         }},
        {"drawCircle", [](auto* gc, auto& a) { UI_DRAWING_SOFT_drawCircle(gc, a.coordinate(), a.coordinate(), a.i()); }},
        {"drawEllipse",
         [](auto* gc, auto& a) { UI_DRAWING_SOFT_drawEllipse(gc, a.coordinate(), a.coordinate(), a.i(), a.i()); }},
        {"drawThickFadedPoint",
         [](auto* gc, auto& a) { DW_DRAWING_SOFT_drawThickFadedPoint(gc, a.coordinate(), a.coordinate(), a.i(), a.i()); }},
        {"drawThickFadedLine",
         [](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawThickFadedLine(gc, a.coordinate(), a.i(), a.i(), a.coordinate(), a.i(), a.i(),
                                                static_cast<std::int32_t>(a.next() % 5) - 1,
                                                static_cast<std::int32_t>(a.next() % 5) - 1);
         }},
        {"drawThickFadedCircle",
         [](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawThickFadedCircle(gc, a.coordinate(), a.coordinate(), a.i(), a.i(), a.i());
         }},
        {"drawThickFadedCircleArc",
         [](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawThickFadedCircleArc(gc, a.coordinate(), a.coordinate(), a.i(), a.f(), a.f(), a.i(),
                                                     a.i(), static_cast<std::int32_t>(a.next() % 5) - 1,
                                                     static_cast<std::int32_t>(a.next() % 5) - 1);
         }},
        {"drawThickFadedEllipse",
         [](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawThickFadedEllipse(gc, a.coordinate(), a.coordinate(), a.i(), a.i(), a.i(), a.i());
         }},
        {"drawPolygon",
         [](auto* gc, auto& a) {
             std::int32_t p[12];
             for (std::int32_t& v : p) v = a.coordinate();
             DW_DRAWING_SOFT_drawPolygon(gc, p, 2 * static_cast<std::int32_t>(1 + a.next() % 6));
         }},
        {"fillPolygon",
         [&](auto* gc, auto& a) {
             std::int32_t p[12];
             for (std::int32_t& v : p) v = a.coordinate();
             DW_DRAWING_SOFT_fillPolygon(gc, p, 2 * static_cast<std::int32_t>(1 + a.next() % 6), work.data());
         }},
        {"drawImage",
         [&](auto* gc, auto& a) {
             UI_DRAWING_SOFT_drawImage(gc, image, a.i(), a.coordinate(), a.i(), a.i(), a.coordinate(), a.i(), a.i());
         }},
        {"drawRegion",
         [](auto* gc, auto& a) {
             UI_DRAWING_SOFT_drawRegion(gc, a.coordinate(), a.i(), a.i(), a.i(), a.i(), a.coordinate(), a.i());
         }},
        {"copyImage",
         [&](auto* gc, auto& a) {
             UI_DRAWING_SOFT_copyImage(gc, image, a.i(), a.coordinate(), a.i(), a.i(), a.coordinate(), a.i());
         }},
        {"drawFlippedImage",
         [&](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawFlippedImage(gc, image, a.i(), a.coordinate(), a.i(), a.i(), a.coordinate(), a.i(),
                                              static_cast<std::int32_t>(a.next() % 12) - 2, a.i());
         }},
        {"drawRotatedImageNearestNeighbor",
         [&](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(gc, image, a.coordinate(), a.i(), a.i(), a.coordinate(),
                                                             a.f(), a.i());
         }},
        {"drawRotatedImageBilinear",
         [&](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawRotatedImageBilinear(gc, image, a.coordinate(), a.i(), a.i(), a.coordinate(), a.f(),
                                                      a.i());
         }},
        {"drawScaledImageNearestNeighbor",
         [&](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(gc, image, a.coordinate(), a.i(), a.f(), a.f(), a.i());
         }},
        {"drawScaledImageBilinear",
         [&](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawScaledImageBilinear(gc, image, a.i(), a.coordinate(), a.f(), a.f(), a.i());
         }},
        {"drawDeformedImage",
         [&](auto* gc, auto& a) {
             std::int32_t corners[8];
             for (std::int32_t& v : corners) v = a.coordinate();
             if (a.next() % 2) corners[6] = corners[0], corners[4] = corners[2];  // a trapezoid
             DW_DRAWING_SOFT_drawDeformedImage(gc, image, corners, work.data());
         }},
        {"drawString",
         [&](auto* gc, auto& a) {
             gc->ellipsis_width = static_cast<std::uint16_t>(a.next());
             UI_DRAWING_SOFT_drawString(gc, text, static_cast<std::int32_t>(a.next() % 9), font, a.i(), a.coordinate());
             gc->ellipsis_width = 0;
         }},
        {"drawScaledStringBilinear",
         [&](auto* gc, auto& a) {
             gc->ellipsis_width = static_cast<std::uint16_t>(a.next() % 3 == 0 ? a.next() : 0);
             DW_DRAWING_SOFT_drawScaledStringBilinear(gc, text, static_cast<std::int32_t>(a.next() % 9), font,
                                                      a.coordinate(), a.i(), a.f(), a.f());
             gc->ellipsis_width = 0;
         }},
        {"drawScaledRenderableStringBilinear",
         [&](auto* gc, auto& a) {
             std::int32_t context[8];
             const auto length = static_cast<std::int32_t>(a.next() % 9);
             UI_DRAWING_SOFT_initializeRenderableStringSNIContext(text, length, font, context);
             gc->ellipsis_width = static_cast<std::uint16_t>(a.next());
             DW_DRAWING_SOFT_drawScaledRenderableStringBilinear(gc, text, length, font, context, a.i(),
                                                                a.coordinate(), a.f(), a.f());
             UI_DRAWING_SOFT_drawRenderableString(gc, text, length, font, a.i(), context, a.coordinate(), a.i());
             gc->ellipsis_width = 0;
         }},
        {"drawCharWithRotationBilinear",
         [&](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawCharWithRotationBilinear(gc, 'A', font, a.coordinate(), a.i(), a.i(), a.coordinate(),
                                                          a.f(), a.i());
         }},
        {"drawCharWithRotationNearestNeighbor",
         [&](auto* gc, auto& a) {
             DW_DRAWING_SOFT_drawCharWithRotationNearestNeighbor(gc, 'A', font, a.i(), a.coordinate(), a.coordinate(),
                                                                 a.i(), a.f(), a.i());
         }},
    };
    Arguments arguments;
    for (const EntryPoint& e : entries) {
        for (int call = 0; call < 400; ++call) {
            Framed canvas;
            e.draw(&canvas.gc, arguments);
            ASSERT_TRUE(canvas.frame_untouched()) << e.name << ", call " << call;
        }
    }
}

}  // namespace
}  // namespace tarvelo::graphics
