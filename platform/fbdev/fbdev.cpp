#include "platform/fbdev/fbdev.h"

#include <atomic>
#include <cstring>

#include "platform/address.h"
#include "platform/fbdev/frame_buffers.h"
#include "sim_interrupt.h"
#include "task.h"

using namespace tarvelo::fbdev;

extern "C" const dc_fb_t g_dc = {0};

namespace tarvelo::fbdev {

namespace {

constexpr std::uint32_t kMaxObservers = 4;

struct Observer {
    FrameObserver fn;
    void* context;
};

// Observers are registered by tasks and called by the vsync interrupt; the
// critical section is the interrupt mask.
Observer g_observers[kMaxObservers];
fbdev_t* g_device = nullptr;
std::atomic<FrameQueuedHook> g_frame_queued_hook{nullptr};
std::uint32_t g_frames = 0;
TickType_t g_last_switch = 0;

void vsync_isr(void* arg) {
    auto* dev = static_cast<fbdev_t*>(arg);
    if (dev != g_device || dev->queued == nullptr) return;
    BaseType_t woken = pdFALSE;
    if (dev->shown != nullptr && dev->shown != dev->queued && dev->freeTop < FBDEV_MAX_FRAME_BUFFER) {
        dev->freeStack[dev->freeTop++] = dev->shown;
        xSemaphoreGiveFromISR(dev->freeCount, &woken);
    }
    dev->shown = dev->queued;
    dev->queued = nullptr;
    xSemaphoreGiveFromISR(dev->framePending, &woken);
    ++g_frames;
    g_last_switch = xTaskGetTickCountFromISR();
    for (const Observer& o : g_observers) {
        if (o.fn != nullptr)
            o.fn(o.context, static_cast<const std::uint16_t*>(dev->shown), dev->info.bufInfo.width,
                 dev->info.bufInfo.height, g_frames);
    }
    portYIELD_FROM_ISR(woken);
}

void vsync_timer(TimerHandle_t timer) { vSimRaiseInterrupt(vsync_isr, pvTimerGetTimerID(timer)); }

void arm_vsync(fbdev_t* dev) {
    const TickType_t now = xTaskGetTickCount();
    xTimerChangePeriod(dev->vsyncTimer, next_vsync_after(now) - now, portMAX_DELAY);
}

}  // namespace

TickType_t vsync_tick(std::uint64_t n) { return static_cast<TickType_t>((n * 10 + 2) / 3); }

TickType_t next_vsync_after(TickType_t now) { return vsync_tick(static_cast<std::uint64_t>(now) * 3 / 10 + 1); }

bool add_frame_observer(FrameObserver observer, void* context) {
    bool added = false;
    taskENTER_CRITICAL();
    for (Observer& o : g_observers) {
        if (o.fn == nullptr) {
            o = {observer, context};
            added = true;
            break;
        }
    }
    taskEXIT_CRITICAL();
    return added;
}

void remove_frame_observer(FrameObserver observer, void* context) {
    taskENTER_CRITICAL();
    for (Observer& o : g_observers)
        if (o.fn == observer && o.context == context) o = {};
    taskEXIT_CRITICAL();
}

void set_frame_queued_hook(FrameQueuedHook hook) { g_frame_queued_hook = hook; }

PanelState panel_state() {
    taskENTER_CRITICAL();
    PanelState s{g_device != nullptr ? g_device->shown : nullptr, g_frames, g_last_switch};
    taskEXIT_CRITICAL();
    return s;
}

}  // namespace tarvelo::fbdev

extern "C" {

status_t FBDEV_Open(fbdev_t* fbdev, const dc_fb_t* dc, std::uint8_t layer) {
    if (fbdev == nullptr || dc == nullptr || layer != 0) return kFBDEV_InvalidArgument;
    std::memset(fbdev, 0, sizeof *fbdev);
    fbdev->dc = dc;
    fbdev->layer = layer;
    fbdev->info.bufInfo = {0, 0, static_cast<std::uint16_t>(kPanelWidth), static_cast<std::uint16_t>(kPanelHeight),
                           static_cast<std::uint16_t>(kStrideBytes), kVIDEO_PixelFormatRGB565};
    fbdev->freeCount = xSemaphoreCreateCounting(FBDEV_MAX_FRAME_BUFFER, 0);
    fbdev->framePending = xSemaphoreCreateBinary();
    fbdev->vsyncTimer = xTimerCreate("vsync", 1, pdFALSE, fbdev, vsync_timer);
    if (fbdev->freeCount == nullptr || fbdev->framePending == nullptr || fbdev->vsyncTimer == nullptr)
        return kFBDEV_Fail;
    xSemaphoreGive(fbdev->framePending);
    taskENTER_CRITICAL();
    g_device = fbdev;
    g_frames = 0;
    g_last_switch = 0;
    taskEXIT_CRITICAL();
    return kFBDEV_Success;
}

status_t FBDEV_Close(fbdev_t* fbdev) {
    taskENTER_CRITICAL();
    if (g_device == fbdev) g_device = nullptr;
    taskEXIT_CRITICAL();
    if (fbdev->vsyncTimer != nullptr) xTimerDelete(fbdev->vsyncTimer, portMAX_DELAY);
    if (fbdev->freeCount != nullptr) vSemaphoreDelete(fbdev->freeCount);
    if (fbdev->framePending != nullptr) vSemaphoreDelete(fbdev->framePending);
    fbdev->vsyncTimer = nullptr;
    fbdev->freeCount = nullptr;
    fbdev->framePending = nullptr;
    return kFBDEV_Success;
}

void FBDEV_GetFrameBufferInfo(fbdev_t* fbdev, fbdev_fb_info_t* info) { *info = fbdev->info; }

status_t FBDEV_SetFrameBufferInfo(fbdev_t* fbdev, fbdev_fb_info_t* info) {
    const dc_fb_info_t& b = info->bufInfo;
    if (fbdev->enabled || info->bufferCount == 0 || info->bufferCount > FBDEV_MAX_FRAME_BUFFER ||
        b.pixelFormat != kVIDEO_PixelFormatRGB565 || b.startX != 0 || b.startY != 0 || b.width != kPanelWidth ||
        b.height != kPanelHeight || b.strideBytes != kStrideBytes)
        return kFBDEV_InvalidArgument;
    for (std::uint32_t i = 0; i < info->bufferCount; ++i)
        if (frame_buffer_index(tarvelo::to_word(info->buffers[i])) < 0) return kFBDEV_InvalidArgument;
    fbdev->info = *info;
    taskENTER_CRITICAL();
    fbdev->freeTop = 0;
    for (std::uint32_t i = 0; i < info->bufferCount; ++i) fbdev->freeStack[fbdev->freeTop++] = info->buffers[i];
    taskEXIT_CRITICAL();
    for (std::uint32_t i = 0; i < info->bufferCount; ++i) xSemaphoreGive(fbdev->freeCount);
    return kFBDEV_Success;
}

void* FBDEV_GetFrameBuffer(fbdev_t* fbdev, std::uint32_t) {
    xSemaphoreTake(fbdev->freeCount, portMAX_DELAY);
    taskENTER_CRITICAL();
    void* fb = fbdev->freeTop > 0 ? fbdev->freeStack[--fbdev->freeTop] : nullptr;
    taskEXIT_CRITICAL();
    return fb;
}

void FBDEV_SetFrameBuffer(fbdev_t* fbdev, void* frameBuffer, std::uint32_t) {
    if (!fbdev->enabled) {
        taskENTER_CRITICAL();
        fbdev->shown = frameBuffer;
        taskEXIT_CRITICAL();
        return;
    }
    if (const FrameQueuedHook hook = g_frame_queued_hook.load(); hook != nullptr) hook();
    xSemaphoreTake(fbdev->framePending, portMAX_DELAY);
    taskENTER_CRITICAL();
    fbdev->queued = frameBuffer;
    taskEXIT_CRITICAL();
    arm_vsync(fbdev);
}

status_t FBDEV_Enable(fbdev_t* fbdev) {
    fbdev->enabled = true;
    return kFBDEV_Success;
}

status_t FBDEV_Disable(fbdev_t* fbdev) {
    fbdev->enabled = false;
    return kFBDEV_Success;
}

}  // extern "C"
