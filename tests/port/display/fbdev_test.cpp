// The frame-buffer device on its own: which geometries it takes, the LIFO
// order of its free buffers, a buffer set before it runs, and the switch at
// the vsync that gives the previous buffer back.
#include <gtest/gtest.h>

#include "FreeRTOS.h"
#include "platform/address.h"
#include "platform/fbdev/fbdev.h"
#include "platform/fbdev/frame_buffers.h"
#include "port/display/display_window.h"
#include "task.h"
#include "tests/support/task_harness.h"

namespace {

using namespace tarvelo;

fbdev_fb_info_t panel_info() {
    fbdev_fb_info_t info{};
    info.bufferCount = 3;
    for (std::uint32_t i = 0; i < 3; ++i) info.buffers[i] = to_ptr(fbdev::frame_buffer_address(i));
    info.bufInfo = {0, 0, 720, 1280, 1440, kVIDEO_PixelFormatRGB565};
    return info;
}

TEST(FrameBufferDevice, TakesOnlyThePanelsGeometryAndItsOwnBuffers) {
    tarvelo::test::run_in_task([] {
        struct Case {
            const char* name;
            void (*change)(fbdev_fb_info_t&);
            status_t expected;
        };
        static std::uint16_t elsewhere[16];
        const Case cases[] = {
            {"the panel's", [](fbdev_fb_info_t&) {}, kFBDEV_Success},
            {"no buffer", [](fbdev_fb_info_t& i) { i.bufferCount = 0; }, kFBDEV_InvalidArgument},
            {"four buffers", [](fbdev_fb_info_t& i) { i.bufferCount = 4; }, kFBDEV_InvalidArgument},
            {"other format", [](fbdev_fb_info_t& i) { i.bufInfo.pixelFormat = 0x34325258; }, kFBDEV_InvalidArgument},
            {"narrow stride", [](fbdev_fb_info_t& i) { i.bufInfo.strideBytes = 1438; }, kFBDEV_InvalidArgument},
            {"taller", [](fbdev_fb_info_t& i) { i.bufInfo.height = 1281; }, kFBDEV_InvalidArgument},
            {"offset", [](fbdev_fb_info_t& i) { i.bufInfo.startX = 1; }, kFBDEV_InvalidArgument},
            {"foreign buffer", [](fbdev_fb_info_t& i) { i.buffers[1] = elsewhere; }, kFBDEV_InvalidArgument},
        };
        for (const Case& c : cases) {
            fbdev_t dev;
            ASSERT_EQ(FBDEV_Open(&dev, &g_dc, 0), kFBDEV_Success);
            fbdev_fb_info_t info = panel_info();
            c.change(info);
            EXPECT_EQ(FBDEV_SetFrameBufferInfo(&dev, &info), c.expected) << c.name;
            FBDEV_Close(&dev);
        }
        fbdev_t dev;
        EXPECT_EQ(FBDEV_Open(&dev, &g_dc, 1), kFBDEV_InvalidArgument);
        EXPECT_EQ(VGLITE_CreateDisplay(nullptr), 1);
    });
}

TEST(FrameBufferDevice, FreeBuffersComeLastInFirstOutAndReturnAtTheSwitch) {
    tarvelo::test::run_in_task([] {
        fbdev_t dev;
        ASSERT_EQ(FBDEV_Open(&dev, &g_dc, 0), kFBDEV_Success);
        fbdev_fb_info_t info = panel_info();
        ASSERT_EQ(FBDEV_SetFrameBufferInfo(&dev, &info), kFBDEV_Success);
        void* b2 = FBDEV_GetFrameBuffer(&dev, kFBDEV_WaitForever);
        void* b1 = FBDEV_GetFrameBuffer(&dev, kFBDEV_WaitForever);
        void* b0 = FBDEV_GetFrameBuffer(&dev, kFBDEV_WaitForever);
        EXPECT_EQ(b2, info.buffers[2]);
        EXPECT_EQ(b1, info.buffers[1]);
        EXPECT_EQ(b0, info.buffers[0]);
        // Before the device runs, a set buffer is shown at once.
        FBDEV_SetFrameBuffer(&dev, b2, 0);
        EXPECT_EQ(fbdev::panel_state().shown, b2);
        EXPECT_EQ(fbdev::panel_state().frames, 0u);
        FBDEV_Enable(&dev);
        const TickType_t t0 = xTaskGetTickCount();
        FBDEV_SetFrameBuffer(&dev, b0, 0);
        EXPECT_EQ(fbdev::panel_state().shown, b2);  // until the vsync
        // The panel gives buffer 2 back when it switches to buffer 0.
        EXPECT_EQ(FBDEV_GetFrameBuffer(&dev, kFBDEV_WaitForever), b2);
        EXPECT_EQ(fbdev::panel_state().shown, b0);
        EXPECT_EQ(fbdev::panel_state().last_switch_tick, fbdev::next_vsync_after(t0));
        EXPECT_EQ(fbdev::panel_state().frames, 1u);
        FBDEV_Close(&dev);
    });
}

}  // namespace
