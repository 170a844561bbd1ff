// The drawer tables: every operation's table names its two entries, the
// dispatch follows the context's drawer identifier, drawer 0 draws in
// software what the software draws, drawer 1 answers text, image and
// unsupported operations with the stubs, and the image hooks follow the
// format's drawer.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "graphics/display/llui_display.h"
#include "graphics/fonts/fonts.h"
#include "port/display/drawing/painter_support.h"
#include "port/display/drawing/ui_drawing.h"
#include "tests/port/display/drawing/painter_test_arrays.h"

namespace tarvelo::port::drawing::test {
namespace {

constexpr std::uint32_t kNotSupported = 0x80000001u;

TEST(DrawerTables, EveryOperationNamesItsTwoEntries) {
    int operations = 0;
#define UI_DRAWER_OPERATION(name, drawer0, drawer1, stub, params, args)   \
    EXPECT_EQ(UI_DRAWER_##name[0], &UI_DRAWING_##name##_0) << #name;      \
    EXPECT_EQ(UI_DRAWER_##name[1], &UI_DRAWING_##name##_1) << #name;      \
    ++operations;
#include "graphics/drawing/drawer_operations.def"
#undef UI_DRAWER_OPERATION
    EXPECT_EQ(operations, 39);
    EXPECT_EQ(UI_DRAWER_getNewImageStrideInBytes[0], &UI_DRAWING_getNewImageStrideInBytes_0);
    EXPECT_EQ(UI_DRAWER_getNewImageStrideInBytes[1], &UI_DRAWING_getNewImageStrideInBytes_1);
    EXPECT_EQ(UI_DRAWER_adjustNewImageCharacteristics[0], &UI_DRAWING_adjustNewImageCharacteristics_0);
    EXPECT_EQ(UI_DRAWER_adjustNewImageCharacteristics[1], &UI_DRAWING_adjustNewImageCharacteristics_1);
    EXPECT_EQ(UI_DRAWER_initializeNewImage[0], &UI_DRAWING_initializeNewImage_0);
    EXPECT_EQ(UI_DRAWER_initializeNewImage[1], &UI_DRAWING_initializeNewImage_1);
    EXPECT_EQ(UI_DRAWER_freeImageResources[0], &UI_DRAWING_freeImageResources_0);
    EXPECT_EQ(UI_DRAWER_freeImageResources[1], &UI_DRAWING_freeImageResources_1);
}

TEST(DrawerTables, DrawerIdentifierOfEachFormat) {
    EXPECT_EQ(LLUI_DISPLAY_IMPL_getDrawerIdentifier(4), 0);  // the display format
    EXPECT_EQ(LLUI_DISPLAY_IMPL_getDrawerIdentifier(-8), 1);
    for (std::int32_t format : {-7, -1, 0, 1, 5, 9}) EXPECT_EQ(LLUI_DISPLAY_IMPL_getDrawerIdentifier(format), -1);
    // A custom format without a drawer takes drawer 0's answer: the engine's stride.
    EXPECT_EQ(LLUI_DISPLAY_IMPL_getNewImageStrideInBytes(-3, 10, 4, 123), 123u);
}

struct Inputs {
    std::int8_t* font = tiny_font();
    std::uint16_t* text = chars_of("AAA");
    std::int32_t* context = java_array<std::int32_t>(3);
    ArrayCanvas source{4, 4};
    Inputs() {
        for (int i = 0; i < 3; ++i) context[i] = -1;  // nothing looked up yet
        UI_DRAWING_initializeRenderableStringSNIContext(text, 3, font_bytes(font), context);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) source.at(x, y) = 0xFFFF;
    }
    const std::uint8_t* f() const { return font_bytes(font); }
    const SPictavoImage* image() { return &source.gc()->image; }
};

// Every operation the tests dispatch, by name, with small arguments that
// draw inside a 16 x 16 canvas.
std::map<std::string, std::function<std::int32_t(SPictavoGraphicsContext*)>> operations(Inputs& in) {
    return {
        {"writePixel", [](auto gc) { return UI_DRAWING_writePixel(gc, 3, 3); }},
        {"drawLine", [](auto gc) { return UI_DRAWING_drawLine(gc, 1, 1, 9, 5); }},
        {"drawHorizontalLine", [](auto gc) { return UI_DRAWING_drawHorizontalLine(gc, 1, 9, 2); }},
        {"drawVerticalLine", [](auto gc) { return UI_DRAWING_drawVerticalLine(gc, 2, 1, 9); }},
        {"drawRectangle", [](auto gc) { return UI_DRAWING_drawRectangle(gc, 1, 1, 8, 8); }},
        {"fillRectangle", [](auto gc) { return UI_DRAWING_fillRectangle(gc, 1, 1, 8, 8); }},
        {"drawRoundedRectangle", [](auto gc) { return UI_DRAWING_drawRoundedRectangle(gc, 1, 1, 10, 10, 4, 4); }},
        {"drawCircleArc", [](auto gc) { return UI_DRAWING_drawCircleArc(gc, 1, 1, 10, 0.0f, 90.0f); }},
        {"drawEllipseArc", [](auto gc) { return UI_DRAWING_drawEllipseArc(gc, 1, 1, 12, 8, 0.0f, 180.0f); }},
        {"drawEllipse", [](auto gc) { return UI_DRAWING_drawEllipse(gc, 1, 1, 12, 8); }},
        {"drawCircle", [](auto gc) { return UI_DRAWING_drawCircle(gc, 1, 1, 10); }},
        {"drawString", [&in](auto gc) { return UI_DRAWING_drawString(gc, in.text, 3, in.f(), 2, 2); }},
        {"drawRenderableString",
         [&in](auto gc) { return UI_DRAWING_drawRenderableString(gc, in.text, 3, in.f(), 9, in.context, 2, 2); }},
        {"drawImage", [&in](auto gc) { return UI_DRAWING_drawImage(gc, in.image(), 0, 0, 4, 4, 3, 3, 128); }},
        {"copyImage", [&in](auto gc) { return UI_DRAWING_copyImage(gc, in.image(), 0, 0, 4, 4, 3, 3); }},
        {"drawRegion", [](auto gc) { return UI_DRAWING_drawRegion(gc, 0, 0, 4, 4, 3, 3, 255); }},
        {"drawThickFadedPoint", [](auto gc) { return UI_DRAWING_drawThickFadedPoint(gc, 6, 6, 3, 2); }},
        {"drawThickFadedLine", [](auto gc) { return UI_DRAWING_drawThickFadedLine(gc, 2, 2, 12, 9, 2, 2, 1, 1); }},
        {"drawThickFadedCircle", [](auto gc) { return UI_DRAWING_drawThickFadedCircle(gc, 8, 8, 8, 2, 2); }},
        {"drawThickFadedCircleArc",
         [](auto gc) { return UI_DRAWING_drawThickFadedCircleArc(gc, 8, 8, 8, 0.0f, 180.0f, 2, 2, 1, 1); }},
        {"drawThickFadedEllipse", [](auto gc) { return UI_DRAWING_drawThickFadedEllipse(gc, 8, 8, 10, 6, 2, 2); }},
        {"drawFlippedImage",
         [&in](auto gc) { return UI_DRAWING_drawFlippedImage(gc, in.image(), 0, 0, 4, 4, 2, 2, 3, 255); }},
        {"drawRotatedImageNearestNeighbor",
         [&in](auto gc) { return UI_DRAWING_drawRotatedImageNearestNeighbor(gc, in.image(), 2, 2, 4, 4, 45.0f, 255); }},
        {"drawRotatedImageBilinear",
         [&in](auto gc) { return UI_DRAWING_drawRotatedImageBilinear(gc, in.image(), 2, 2, 4, 4, 45.0f, 255); }},
        {"drawScaledImageNearestNeighbor",
         [&in](auto gc) { return UI_DRAWING_drawScaledImageNearestNeighbor(gc, in.image(), 2, 2, 2.0f, 2.0f, 255); }},
        {"drawScaledImageBilinear",
         [&in](auto gc) { return UI_DRAWING_drawScaledImageBilinear(gc, in.image(), 2, 2, 2.0f, 2.0f, 255); }},
        {"drawScaledStringBilinear",
         [&in](auto gc) { return UI_DRAWING_drawScaledStringBilinear(gc, in.text, 3, in.f(), 1, 1, 3.0f, 3.0f); }},
        {"drawScaledRenderableStringBilinear",
         [&in](auto gc) {
             return UI_DRAWING_drawScaledRenderableStringBilinear(gc, in.text, 3, in.f(), 9, in.context, 1, 1, 3.0f,
                                                                  3.0f);
         }},
        {"drawCharWithRotationBilinear",
         [&in](auto gc) { return UI_DRAWING_drawCharWithRotationBilinear(gc, 'A', in.f(), 4, 4, 4, 4, 30.0f, 255); }},
        {"drawCharWithRotationNearestNeighbor",
         [&in](auto gc) {
             return UI_DRAWING_drawCharWithRotationNearestNeighbor(gc, 'A', in.f(), 4, 4, 4, 4, 30.0f, 255);
         }},
    };
}

// Drawn by the engine's software on drawer 0 whatever back end is linked (no
// accelerator routine exists for them; thick faded shapes with a fade above 1).
const char* const kSoftwareOnDrawerZero[] = {
    "writePixel", "drawLine", "drawHorizontalLine", "drawVerticalLine", "drawRectangle", "fillRectangle",
    "drawRoundedRectangle", "drawCircleArc", "drawEllipseArc", "drawEllipse", "drawCircle", "drawString",
    "drawRenderableString", "copyImage", "drawThickFadedPoint", "drawThickFadedLine", "drawThickFadedCircle",
    "drawThickFadedCircleArc", "drawThickFadedEllipse", "drawScaledStringBilinear",
    "drawScaledRenderableStringBilinear", "drawCharWithRotationBilinear", "drawCharWithRotationNearestNeighbor",
};

// Answered with a stub by drawer 1 (buffered vector images): nothing drawn,
// the log says "not supported".
const char* const kStubbedOnDrawerOne[] = {
    "writePixel", "drawRectangle", "drawString", "drawRenderableString", "drawImage", "copyImage", "drawRegion",
    "drawThickFadedPoint", "drawThickFadedLine", "drawThickFadedCircle", "drawThickFadedCircleArc",
    "drawThickFadedEllipse", "drawFlippedImage", "drawRotatedImageNearestNeighbor", "drawRotatedImageBilinear",
    "drawScaledImageNearestNeighbor", "drawScaledImageBilinear", "drawScaledStringBilinear",
    "drawScaledRenderableStringBilinear", "drawCharWithRotationBilinear", "drawCharWithRotationNearestNeighbor",
};

class Dispatch : public testing::Test {
protected:
    void SetUp() override {
        reset_arrays();
        port_gc = java_array<std::int8_t>(sizeof(SPictavoGraphicsContext));
        graphics::test::port().start(gc_of(port_gc));
    }
    std::int8_t* port_gc = nullptr;
};

TEST_F(Dispatch, DrawerZeroDrawsInSoftware) {
    Inputs in;
    auto draw = operations(in);
    for (const char* name : kSoftwareOnDrawerZero) {
        ArrayCanvas canvas(16, 16);
        LLUI_DISPLAY_setForegroundColor(canvas.gc(), 0xFFFFFFFF);
        ASSERT_EQ(canvas.gc()->drawer, 0) << name;
        EXPECT_EQ(draw.at(name)(canvas.gc()), 0) << name;
        EXPECT_GT(canvas.drawn(), 0) << name;
        EXPECT_EQ(canvas.gc()->drawing_log, 0u) << name;
    }
}

TEST_F(Dispatch, VectorImageDrawerAnswersWithStubs) {
    Inputs in;
    auto draw = operations(in);
    for (const char* name : kStubbedOnDrawerOne) {
        ArrayCanvas canvas(16, 16);
        LLUI_DISPLAY_setForegroundColor(canvas.gc(), 0xFFFFFFFF);
        canvas.gc()->image.format = kVectorImageFormat;
        canvas.gc()->drawer = kVectorImageDrawer;
        EXPECT_EQ(draw.at(name)(canvas.gc()), 0) << name;
        EXPECT_EQ(canvas.drawn(), 0) << name;
        EXPECT_EQ(canvas.gc()->drawing_log, kNotSupported) << name;
    }
}

TEST_F(Dispatch, RenderableStringStubDrawsThePlainString) {
    // The stub forwards to the text drawer's plain string: into a display-format
    // destination that draws the characters, without touching the context.
    Inputs in;
    ArrayCanvas plain(16, 16), forwarded(16, 16);
    LLUI_DISPLAY_setForegroundColor(plain.gc(), 0xFFFFFFFF);
    LLUI_DISPLAY_setForegroundColor(forwarded.gc(), 0xFFFFFFFF);
    UI_DRAWING_SOFT_drawString(plain.gc(), in.text, 3, in.f(), 2, 2);
    EXPECT_EQ(UI_DRAWING_STUB_drawRenderableString(forwarded.gc(), in.text, 3, in.f(), 99, nullptr, 2, 2), 0);
    ASSERT_GT(plain.drawn(), 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(forwarded.at(x, y), plain.at(x, y)) << x << "," << y;
    EXPECT_EQ(forwarded.gc()->drawing_log, 0u);
}

TEST_F(Dispatch, DrawerIdentifierBeyondTheTablesDrawsNothing) {
    ArrayCanvas canvas(16, 16);
    LLUI_DISPLAY_setForegroundColor(canvas.gc(), 0xFFFFFFFF);
    for (std::uint8_t drawer : {2, 7, 255}) {
        canvas.gc()->drawer = drawer;
        canvas.gc()->drawing_log = 0;
        EXPECT_EQ(UI_DRAWING_fillRectangle(canvas.gc(), 0, 0, 15, 15), 0);
        EXPECT_EQ(canvas.drawn(), 0);
        EXPECT_EQ(canvas.gc()->drawing_log, kNotSupported);
    }
}

TEST_F(Dispatch, StubsKeepEarlierLogBits) {
    ArrayCanvas canvas(16, 16);
    canvas.gc()->drawing_log = 0x10;  // a missing glyph reported earlier
    EXPECT_EQ(UI_DRAWING_STUB_writePixel(canvas.gc(), 1, 1), 0);
    EXPECT_EQ(canvas.gc()->drawing_log, kNotSupported | 0x10);
}

}  // namespace
}  // namespace tarvelo::port::drawing::test
