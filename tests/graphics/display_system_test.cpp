// The flush state machine through its edge cases, with the test port.
#include "graphics/display/display_system.h"

#include <gtest/gtest.h>

#include "graphics/display/allocation_check.h"
#include "graphics/display/engine_start.h"
#include "graphics/display/event_queue.h"
#include "graphics/display/llui_display.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/new_images.h"
#include "tests/graphics/test_port.h"
#include "tests/support/isolated_run.h"

extern "C" std::int32_t Java_yq_pictavo_display_NSystemDisplay_addEndOfFlushEvent(std::int32_t event);

namespace tarvelo::graphics {
namespace {

using test::port;
using test::RefreshMode;

void* const kNative = reinterpret_cast<void*>(0x1234);

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(port().start(&gc_), 0); }

    // A display drawing as a painter native makes it: request, fill, status.
    bool fill(std::uint32_t colour, std::int32_t status = 0) {
        if (!LLUI_DISPLAY_requestDrawing(&gc_, kNative)) return false;
        gc_.foreground_color = colour;
        UI_DRAWING_SOFT_fillRectangle(&gc_, 0, 0, test::kWidth - 1, test::kHeight - 1);
        LLUI_DISPLAY_setDrawingStatus(status);
        return true;
    }
    void flush() { DisplaySystem::flush(&gc_, kNative); }
    std::uint32_t readDisplay() {
        const SPictavoImage* source = nullptr;
        if (!DisplaySystem::beginRead(&gc_.image, kNative, &source)) return 0xDEAD;
        const std::uint32_t p = LLUI_DISPLAY_readPixel(source, 0, 0);
        DisplaySystem::endRead(&gc_.image);
        return p;
    }
    std::uint8_t state() const { return display_state().back_buffer_status; }

    SPictavoGraphicsContext gc_{};
};

TEST_F(DisplayTest, StartUpDescribesTheBackBuffer) {
    EXPECT_EQ(gc_.image.flags, kImageMutable | kImageNeverTransparent | kImageBareBuffer);
    EXPECT_EQ(gc_.image.data, port().buffer(0));
    EXPECT_EQ(gc_.image.format, 4);
    EXPECT_EQ(gc_.clip_x2, static_cast<std::int16_t>(test::kWidth - 1));
    EXPECT_FALSE(LLUI_DISPLAY_isTransparent(&gc_.image));
    // A second start keeps the first display.
    SPictavoGraphicsContext other{};
    EXPECT_EQ(LLUI_DISPLAY_initialize(&other, sizeof other), kErrAlreadyStarted);
    EXPECT_EQ(other.image.data, 0u);
}

TEST_F(DisplayTest, InvalidDisplayRecordIsRefused) {
    Engine::resetForTests();
    port().invalid_record = true;
    SPictavoGraphicsContext other{};
    std::int32_t result = 0;
    EXPECT_FALSE(DisplaySystem::start(&other, sizeof other, &result));  // the native then halts
    EXPECT_FALSE(Engine::started());
}

TEST_F(DisplayTest, FrameGoesThroughTheStates) {
    DisplaySystem::notifyClip(&gc_);  // the application's first clip
    ASSERT_TRUE(fill(0xFFFF0000));
    EXPECT_EQ(state(), kStateDrawn);
    EXPECT_EQ(display_state().expected_flush_identifier, 1);
    EXPECT_EQ(port().drawing_regions, 1);
    EXPECT_EQ(readDisplay(), 0xFFF80000u);  // read from the back buffer once drawn
    flush();
    EXPECT_EQ(state(), kStateIdle);
    ASSERT_EQ(port().refresh_ids.size(), 1u);
    EXPECT_EQ(port().refresh_ids[0], 1);
    EXPECT_EQ(port().shown, port().buffer(0));
    // The display is read from the presented frame until the next is drawn.
    EXPECT_EQ(readDisplay(), 0xFFF80000u);
    ASSERT_TRUE(fill(0xFF0000FF));
    EXPECT_EQ(gc_.image.data, port().buffer(1));
    EXPECT_EQ(readDisplay(), 0xFF0000F8u);
}

TEST_F(DisplayTest, TwoFlushesWithoutDrawingOnlyQueueTheEvent) {
    DisplaySystem::notifyClip(&gc_);
    ASSERT_TRUE(fill(0xFFFFFFFF));
    flush();
    const std::size_t refreshes = port().refresh_ids.size();
    Java_yq_pictavo_display_NSystemDisplay_addEndOfFlushEvent(0x0B000001);
    flush();
    EXPECT_EQ(port().refresh_ids.size(), refreshes);
    std::uint32_t word = 0;
    ASSERT_TRUE(EventQueue::read(kNative, &word));
    EXPECT_EQ(word, 0x0B000001u);
    flush();  // the event was taken
    EXPECT_EQ(EventQueue::length(), 0u);
}

TEST_F(DisplayTest, StaleFlushIdentifierIsRefused) {
    port().mode = RefreshMode::Deferred;
    DisplaySystem::notifyClip(&gc_);
    ASSERT_TRUE(fill(0xFFFFFFFF));
    flush();
    EXPECT_EQ(state(), kStateFlushing);
    EXPECT_FALSE(port().present(static_cast<std::uint8_t>(port().last_id + 1)));
    EXPECT_EQ(state(), kStateFlushing);
    // A display drawing waits meanwhile.
    EXPECT_FALSE(fill(0xFF000000));
    EXPECT_EQ(port().suspensions.size(), 1u);
    // A drawing into an off-screen image does not.
    SPictavoGraphicsContext image{};
    ASSERT_EQ(NewImages::open(4, 4, 0, true, &image.image), 0);
    EXPECT_TRUE(LLUI_DISPLAY_requestDrawing(&image, kNative));
    LLUI_DISPLAY_setDrawingStatus(0);
    EXPECT_TRUE(port().present(port().last_id));
    EXPECT_EQ(state(), kStateIdle);
    ASSERT_EQ(port().resumed.size(), 1u);  // the waiting thread
    EXPECT_EQ(port().resumed[0], port().thread_id);
}

TEST_F(DisplayTest, RefreshLaterWaitsForTheAsynchronousEndAndRetries) {
    port().mode = RefreshMode::Later;
    DisplaySystem::notifyClip(&gc_);
    ASSERT_TRUE(fill(0xFFFFFFFF));
    flush();
    EXPECT_EQ(state(), kStateRefreshLater);
    EXPECT_EQ(port().suspensions.size(), 1u);
    port().mode = RefreshMode::Immediate;
    LLUI_DISPLAY_notifyAsynchronousDrawingEnd(true);
    EXPECT_EQ(port().resumed.size(), 1u);
    flush();  // the resumed native runs again
    ASSERT_EQ(port().refresh_ids.size(), 2u);
    EXPECT_EQ(port().refresh_ids[0], port().refresh_ids[1]);
    EXPECT_EQ(state(), kStateIdle);
}

TEST_F(DisplayTest, FlushIdentifierWraps) {
    for (int frame = 0; frame < 257; ++frame) {
        DisplaySystem::notifyClip(&gc_);
        ASSERT_TRUE(fill(0xFFFFFFFF));
        flush();
    }
    EXPECT_EQ(port().refresh_ids[254], 255);
    EXPECT_EQ(port().refresh_ids[255], 0);
    EXPECT_EQ(port().refresh_ids[256], 1);
}

TEST_F(DisplayTest, AsynchronousEndBeforeTheStatusStillMarksTheFrameDrawn) {
    DisplaySystem::notifyClip(&gc_);
    ASSERT_TRUE(LLUI_DISPLAY_requestDrawing(&gc_, kNative));
    gc_.foreground_color = 0xFF00FF00;
    UI_DRAWING_SOFT_fillRectangle(&gc_, 0, 0, 3, 3);
    // An accelerator that completes before the native reports status 1.
    LLUI_DISPLAY_notifyAsynchronousDrawingEnd(true);
    LLUI_DISPLAY_setDrawingStatus(1);
    EXPECT_EQ(state(), kStateDrawn);
    EXPECT_EQ(readDisplay(), 0xFF00FC00u);
}

TEST_F(DisplayTest, NewDrawingRegionAnsweringOneWaits) {
    port().new_region_answers_one = 1;
    DisplaySystem::notifyClip(&gc_);
    EXPECT_FALSE(LLUI_DISPLAY_requestDrawing(&gc_, kNative));
    EXPECT_EQ(port().suspensions.size(), 1u);
    LLUI_DISPLAY_notifyAsynchronousDrawingEnd(false);
    ASSERT_TRUE(fill(0xFFFFFFFF));  // the native again: announced once more
    EXPECT_EQ(port().drawing_regions, 2);
}

TEST_F(DisplayTest, EmptyClipAndClosedImagesAreNotDrawn) {
    LLUI_DISPLAY_PRIVATE_setClip(&gc_, -5, -5, 1, 1);
    DisplaySystem::notifyClip(&gc_);
    EXPECT_FALSE(LLUI_DISPLAY_requestDrawing(&gc_, kNative));
    EXPECT_EQ(display_state().new_display_clip, 0);
    SPictavoGraphicsContext image{};
    ASSERT_EQ(NewImages::open(4, 4, 0, true, &image.image), 0);
    LLUI_DISPLAY_closeOffScreen(&image.image);
    EXPECT_FALSE(LLUI_DISPLAY_requestDrawing(&image, kNative));
}

TEST_F(DisplayTest, AnImageDrawingMakesOthersWait) {
    SPictavoGraphicsContext image{};
    ASSERT_EQ(NewImages::open(4, 4, 0, true, &image.image), 0);
    ASSERT_TRUE(LLUI_DISPLAY_requestDrawing(&image, kNative));
    LLUI_DISPLAY_setDrawingStatus(1);  // runs on an accelerator
    EXPECT_FALSE(LLUI_DISPLAY_requestDrawing(&image, kNative));
    port().thread_id = 2;
    EXPECT_FALSE(LLUI_DISPLAY_requestDrawing(&gc_, kNative));
    LLUI_DISPLAY_notifyAsynchronousDrawingEnd(true);
    EXPECT_EQ(port().resumed.size(), 2u);
    EXPECT_TRUE(LLUI_DISPLAY_requestDrawing(&image, kNative));
}

TEST(AllocationCheck, WarnsWhenTheStartTakesMoreThanExpected) {
    // The figures after the start (the program test switches the check on
    // for a real start); a start that took 600 bytes of the runtime heap,
    // 460 beyond the decoders' 140, exceeds an expected 416.
    struct Case {
        std::int64_t before, after;
        const char* output;
    };
    static const Case cases[] = {
        {5000, 5000, "2:\t5000\n3:\t0\n4:\t-140\n"},
        {5000, 4444, "2:\t4444\n3:\t556\n4:\t416\n"},
        {5000, 4400,
         "2:\t4400\n3:\t600\n4:\t460\n"
         "[WARNING] Display allocation: expected allocation is smaller than real allocation!!\n"
         "expected:\t416\nreal:\t460\n"},
    };
    for (const Case& c : cases) {
        static const Case* current;
        current = &c;
        auto r = tarvelo::test::run_isolated([] {
            AllocationCheck::reportAfter(current->before, current->after, 416);
            return 0;
        });
        EXPECT_EQ(r.output, c.output);
    }
}

}  // namespace
}  // namespace tarvelo::graphics
