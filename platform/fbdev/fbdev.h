// The frame-buffer device of the board's display controller: a stack of
// free buffers, the buffer shown, and the switch to a newly set buffer at
// the panel's vertical sync (60 Hz, a simulated interrupt on the RTOS
// clock, so that it follows the virtual clock in tests).
//
// A buffer set while the device runs is shown from the next vsync; at that
// switch the buffer shown so far goes back onto the free stack. The stack is
// last in, first out.
#pragma once

#include <cstdint>

#include "FreeRTOS.h"
#include "semphr.h"
#include "timers.h"

typedef std::int32_t status_t;

// Results of the device's calls (0 is success, as everywhere on the board).
inline constexpr status_t kFBDEV_Success = 0;
inline constexpr status_t kFBDEV_Fail = 1;
inline constexpr status_t kFBDEV_InvalidArgument = 4;

// Four-character code of RGB565 ("RG16").
inline constexpr std::uint32_t kVIDEO_PixelFormatRGB565 = 0x36314752u;

inline constexpr std::uint32_t FBDEV_MAX_FRAME_BUFFER = 3;
// Flag of the get/set calls: wait without limit (the only mode used).
inline constexpr std::uint32_t kFBDEV_WaitForever = 0;

extern "C" {

// The display controller the device is opened on (the board's `g_dc`).
struct dc_fb_t {
    std::uint32_t id;
};
extern const dc_fb_t g_dc;

// Geometry of the buffers of one layer.
struct dc_fb_info_t {
    std::uint16_t startX;
    std::uint16_t startY;
    std::uint16_t width;
    std::uint16_t height;
    std::uint16_t strideBytes;
    std::uint32_t pixelFormat;
};

struct fbdev_fb_info_t {
    std::uint8_t bufferCount;
    void* buffers[FBDEV_MAX_FRAME_BUFFER];
    dc_fb_info_t bufInfo;
};

struct fbdev_t {
    const dc_fb_t* dc;
    std::uint8_t layer;
    bool enabled;
    fbdev_fb_info_t info;
    // Free buffers: a LIFO stack, counted by `freeCount`.
    void* freeStack[FBDEV_MAX_FRAME_BUFFER];
    std::uint32_t freeTop;
    SemaphoreHandle_t freeCount;
    // Given when the buffer last set has been taken by the panel.
    SemaphoreHandle_t framePending;
    void* shown;
    void* queued;
    TimerHandle_t vsyncTimer;
};

status_t FBDEV_Open(fbdev_t* fbdev, const dc_fb_t* dc, std::uint8_t layer);
status_t FBDEV_Close(fbdev_t* fbdev);
void FBDEV_GetFrameBufferInfo(fbdev_t* fbdev, fbdev_fb_info_t* info);
// Takes the geometry and the buffers, and pushes the buffers onto the free
// stack in order (the last one comes out first). Refuses a geometry other
// than the panel's or buffers the device does not know.
status_t FBDEV_SetFrameBufferInfo(fbdev_t* fbdev, fbdev_fb_info_t* info);
// A free buffer, waiting until one is free.
void* FBDEV_GetFrameBuffer(fbdev_t* fbdev, std::uint32_t flags);
// Before the device is enabled: shows `frameBuffer` at once. After: waits
// until the buffer set before has been taken, then shows this one from the
// next vsync.
void FBDEV_SetFrameBuffer(fbdev_t* fbdev, void* frameBuffer, std::uint32_t flags);
status_t FBDEV_Enable(fbdev_t* fbdev);
status_t FBDEV_Disable(fbdev_t* fbdev);

}  // extern "C"

namespace tarvelo::fbdev {

// Ticks of the RTOS clock (5 ms) at which vsync number `n` happens (60 Hz
// from tick 0).
TickType_t vsync_tick(std::uint64_t n);
// The first vsync strictly after `now`.
TickType_t next_vsync_after(TickType_t now);

// Observers of every frame the panel starts showing (the frame number
// counts from 1 since the device was opened). They run in the vsync
// interrupt; an observer that needs a task defers its work.
using FrameObserver = void (*)(void* context, const std::uint16_t* pixels, std::uint32_t width,
                               std::uint32_t height, std::uint32_t frame_number);
bool add_frame_observer(FrameObserver observer, void* context);
void remove_frame_observer(FrameObserver observer, void* context);

// Called by the task that hands the running device a buffer to show,
// before it is queued: one call for each frame the observers will see, so
// that an observer can make room for it beforehand (the vsync interrupt
// then neither allocates nor waits). Null for none.
using FrameQueuedHook = void (*)();
void set_frame_queued_hook(FrameQueuedHook hook);

// What the panel shows (tests, frame output).
struct PanelState {
    const void* shown;
    std::uint32_t frames;         // switches since the device was opened
    TickType_t last_switch_tick;  // tick of the last switch
};
PanelState panel_state();

}  // namespace tarvelo::fbdev
