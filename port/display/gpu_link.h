// What the display task calls of the GPU back end: preparing the GPU
// controller, starting the driver, and the error hook of the start-up
// (draining the GPU before a buffer is shown is the driver's own
// `vg_lite_finish`). The GPU back end defines them; the
// weak definitions in gpu_link_defaults.cpp stand in for a firmware built
// without it (the display is then drawn by the software drawers only).
#pragma once

#include <cstdint>

#include "platform/vglite/vg_lite.h"  // vg_lite_finish: drains the GPU before a buffer is shown

extern "C" {

// 0 when the GPU's clock, driver memory and command buffer are set up.
std::int32_t BOARD_PrepareVGLiteController(void);
// Starts the GPU driver (once; later calls do nothing).
void UI_VGLITE_initialize(void);
// Hands the back end the binary semaphore that its synchronous operations
// wait on.
void UI_VGLITE_start(void* operation_semaphore);
// The error hook: with `fatal` set the device halts; otherwise it returns.
void UI_VGLITE_IMPL_error(bool fatal, const char* format, ...);

}  // extern "C"
