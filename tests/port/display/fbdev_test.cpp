// The frame-buffer device on its own: which geometries it takes, the LIFO
// order of its free buffers, a buffer set before it runs, and the switch at
// the vsync that gives the previous buffer back; the PNG frames it shows.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <filesystem>
#include <string>
#include <vector>

#include "FreeRTOS.h"
#include "platform/address.h"
#include "platform/fbdev/fbdev.h"
#include "platform/fbdev/frame_buffers.h"
#include "platform/fbdev/frame_output.h"
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

// What the frame writer was given, and where it ran.
struct WrittenFrame {
    std::string path;
    std::uint16_t first_pixel;
    bool in_interrupt;
};
std::vector<WrittenFrame>& written() {
    static std::vector<WrittenFrame> w;
    return w;
}

bool record_frame(const std::string& path, const std::uint16_t* pixels, std::uint32_t, std::uint32_t,
                  std::uint32_t) {
    written().push_back({path, pixels[0], xPortIsInsideInterrupt() == pdTRUE});
    return true;
}

// Shows `colours` in turn on a running device with PNG frames going to
// `folder`, each frame's buffer painted over right after its switch; every
// frame is written once the output is finished.
void show_frames(const std::string& folder, const std::vector<std::uint16_t>& colours) {
    tarvelo::test::run_in_task([&] {
        fbdev_t dev;
        ASSERT_EQ(FBDEV_Open(&dev, &g_dc, 0), kFBDEV_Success);
        fbdev_fb_info_t info = panel_info();
        ASSERT_EQ(FBDEV_SetFrameBufferInfo(&dev, &info), kFBDEV_Success);
        void* shown = FBDEV_GetFrameBuffer(&dev, kFBDEV_WaitForever);
        FBDEV_SetFrameBuffer(&dev, shown, 0);
        FBDEV_Enable(&dev);
        fbdev::start_frame_output({folder, false});
        for (std::uint16_t colour : colours) {
            auto* next = static_cast<std::uint16_t*>(FBDEV_GetFrameBuffer(&dev, kFBDEV_WaitForever));
            std::fill(next, next + fbdev::kPanelWidth * fbdev::kPanelHeight, colour);
            FBDEV_SetFrameBuffer(&dev, next, 0);
            // Until the switch, then painted over at once: the file keeps the
            // frame as it was shown.
            const std::uint32_t frames = fbdev::panel_state().frames;
            while (fbdev::panel_state().frames == frames) vTaskDelay(1);
            std::fill(next, next + fbdev::kPanelWidth * fbdev::kPanelHeight, 0xDEAD);
        }
        fbdev::finish_frame_output();
        fbdev::stop_frame_output();
        FBDEV_Close(&dev);
    });
}

// The frames shown are encoded from copies on a host thread of their own,
// never inside the vsync interrupt (where every task would wait for them).
TEST(FrameOutput, FramesAreWrittenFromACopyOutsideTheInterrupt) {
    written().clear();
    fbdev::set_frame_file_writer(record_frame);
    const std::string folder = testing::TempDir() + "frames-copied";
    show_frames(folder, {0x1111, 0x2222, 0x3333});
    fbdev::set_frame_file_writer(nullptr);
    ASSERT_EQ(written().size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        const WrittenFrame& w = written()[i];
        EXPECT_EQ(w.path, fbdev::frame_file_name(folder, i + 1));
        EXPECT_EQ(w.first_pixel, 0x1111 * (i + 1));
        EXPECT_FALSE(w.in_interrupt) << i;
    }
}

// The folder of the frames is made with every missing parent.
TEST(FrameOutput, MakesTheWholePathOfItsFolder) {
    const std::string root = testing::TempDir() + "frames-path";
    std::filesystem::remove_all(root);
    const std::string folder = root + "/a/b/c";
    show_frames(folder, {0x07E0});
    EXPECT_TRUE(std::filesystem::is_regular_file(fbdev::frame_file_name(folder, 1)));
}

bool refuse_frame(const std::string&, const std::uint16_t*, std::uint32_t, std::uint32_t, std::uint32_t) {
    return false;
}

// A folder that stops taking frames during the run (a full disk, say): the
// failure is said once, not at every frame, and the device goes on.
TEST(FrameOutput, AFolderThatFailsDuringTheRunIsReportedOnce) {
    const std::string errors_file = testing::TempDir() + "frame-output.err";
    std::fflush(stderr);
    const int saved_stderr = ::dup(STDERR_FILENO);
    const int errors_fd = ::open(errors_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(errors_fd, 0);
    ::dup2(errors_fd, STDERR_FILENO);
    ::close(errors_fd);
    fbdev::set_frame_file_writer(refuse_frame);
    const std::string folder = testing::TempDir() + "frames-refused";
    show_frames(folder, {0x1111, 0x2222, 0x3333});
    fbdev::set_frame_file_writer(nullptr);
    std::fflush(stderr);
    ::dup2(saved_stderr, STDERR_FILENO);
    ::close(saved_stderr);
    std::stringstream errors;
    errors << std::ifstream(errors_file).rdbuf();
    EXPECT_EQ(errors.str(), "frame output: no more frames are written to " + folder + "\n");
}

// The check at the firmware's start: a folder is writable when it is one
// (made with its parents if missing) and takes a file.
TEST(FrameOutput, AFolderIsWritableWhenItTakesAFile) {
    const std::string root = testing::TempDir() + "frames-writable";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::ofstream(root + "/file") << "x";
    struct Case {
        std::string folder;
        bool writable;
    };
    for (const Case& c : {Case{root + "/new/and/nested", true}, Case{root, true}, Case{root + "/file", false},
                          Case{root + "/file/frames", false}, Case{"/proc/frames", false}}) {
        std::string why;
        EXPECT_EQ(fbdev::frame_folder_writable(c.folder, &why), c.writable) << c.folder;
        EXPECT_EQ(why.empty(), c.writable) << c.folder << ": " << why;
    }
    // The probe leaves nothing behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root + "/new/and/nested"),
                            std::filesystem::directory_iterator()),
              0);
}

}  // namespace
