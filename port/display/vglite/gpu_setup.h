// The GPU as the drawers use it: driver start, descriptors of destination
// and source images, paint colours, the scissor from the clip, the stride of
// images the GPU can read, submission (waiting on a semaphore, or ended by
// the completion interrupt), error logging and cache maintenance.
#pragma once

#include <atomic>
#include <cstdint>

#include "FreeRTOS.h"
#include "graphics/images/image_types.h"
#include "platform/vglite/vg_lite.h"
#include "semphr.h"

extern "C" {

// --- start-up ------------------------------------------------------------------
// Clock, interrupt priority, driver memory and command-buffer size; 0 on success.
std::int32_t BOARD_PrepareVGLiteController(void);
void BOARD_InitVGliteClock(void);
// Starts the driver (once); a failure halts through the error hook.
void UI_VGLITE_initialize(void);
// Resets the destination descriptor and keeps the semaphore synchronous
// operations wait on (created empty by the display port).
void UI_VGLITE_start(void* operation_semaphore);
// The error hook: fatal halts the device; otherwise it returns (the text is
// not printed).
void UI_VGLITE_IMPL_error(bool fatal, const char* format, ...);

// --- descriptors and colours ----------------------------------------------------
vg_lite_buffer_t* UI_VGLITE_configure_destination(SPictavoGraphicsContext* gc);
// 1 when the GPU can read the image (descriptor filled), 0 when it cannot.
std::int32_t UI_VGLITE_configure_source(vg_lite_buffer_t* buffer, const SPictavoImage* image);
std::uint32_t UI_VGLITE_get_vglite_color(const SPictavoGraphicsContext* gc, const SPictavoImage* image,
                                         std::int32_t alpha);
std::uint32_t UI_VGLITE_premultiply_alpha(std::uint32_t color, std::uint8_t alpha);
bool UI_VGLITE_need_to_premultiply(void);
// 0 when the rectangle lies outside the clip, else 1 with the scissor set.
std::int32_t UI_VGLITE_enable_vg_lite_scissor_region(const SPictavoGraphicsContext* gc, std::int32_t x1,
                                                     std::int32_t y1, std::int32_t x2, std::int32_t y2);
std::int32_t UI_VGLITE_get_bpp(std::int32_t format);
// Drawer 0's stride hook: GPU formats get rows of a multiple of 16 pixels.
std::uint32_t UI_DRAWING_getNewImageStrideInBytes(std::int32_t format, std::uint32_t width, std::uint32_t height,
                                                  std::uint32_t default_stride);

// --- submission and completion ------------------------------------------------
// Submits the queued commands; waits for their completion unless
// `asynchronous`. The driver's result.
vg_lite_error_t UI_VGLITE_start_operation(bool asynchronous);
// Drawing status of a drawing that queued commands (1 running, 0 failed).
std::int32_t UI_VGLITE_post_operation(SPictavoGraphicsContext* gc, vg_lite_error_t error);
std::int32_t UI_VGLITE_report_vglite_error(SPictavoGraphicsContext* gc, vg_lite_error_t error);
void UI_VGLITE_IRQHandler(void);
void GPU2D_IRQHandler(void);

// --- caches ---------------------------------------------------------------------
void UI_VGLITE_IMPL_notify_gpu_start(const SPictavoGraphicsContext* gc);
void UI_VGLITE_IMPL_notify_gpu_stop(const SPictavoGraphicsContext* gc);

// What the next completion interrupt does: 0 nothing, 1 release the
// synchronous waiter, 2 end the asynchronous drawing.
extern std::atomic<std::uint8_t> vg_lite_irq_operation;

}  // extern "C"

namespace tarvelo::gpu {

// The GPU's interrupt, its priority register value (3 of 16) and the root
// control value of its clock (multiplexer input 7, divided by 2).
inline constexpr int GPU2D_IRQn = 60;
inline constexpr std::uint32_t kGpuInterruptPriority = 0x30;
inline constexpr std::uint32_t kGpuClockRootControl = 0x701;

inline constexpr std::uint8_t kIrqNothing = 0;
inline constexpr std::uint8_t kIrqReleaseWaiter = 1;
inline constexpr std::uint8_t kIrqEndDrawing = 2;
inline constexpr std::uint8_t kNoGpuFormat = 255;
inline constexpr std::int32_t kLastFormat = 26;

// The GPU format of an engine format code, 255 when the GPU cannot take it.
std::uint8_t vglite_format(std::int32_t format);
// The destination descriptor shared by every GPU drawing.
vg_lite_buffer_t& destination_descriptor();
// Source pixels premultiplied on read again (the default between drawings).
void restore_premultiply();
// The cache range of a context's clip rows inside the image heap: false when
// the buffer is outside the heap (nothing to maintain).
bool cache_range(const SPictavoGraphicsContext* gc, std::uint32_t* address, std::uint32_t* size);

}  // namespace tarvelo::gpu
