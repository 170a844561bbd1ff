// Host-only controls of the GPU stand-in, for tests and benchmarks: how
// completion is delivered, a hook that makes the next driver call fail, and
// a record of the commands issued.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/vglite/vg_lite.h"

namespace tarvelo::vglite {

enum class Completion {
    Worker,     // a worker thread rasterises each flush, then raises the interrupt
    Immediate,  // the flush rasterises before it returns and raises the interrupt at once
};

enum class Delivery {
    Rtos,  // the completion interrupt runs GPU2D_IRQHandler through the RTOS stand-in
    None,  // completions are only counted (tests without a running scheduler)
};

enum class CommandKind { Draw, Blit, Flush, Finish };

// One call as the stand-in saw it.
struct Command {
    CommandKind kind = CommandKind::Draw;
    vg_lite_buffer_t target{};
    vg_lite_buffer_t source{};
    std::vector<std::uint8_t> path;  // the path data (draws)
    float bounding_box[4]{};
    vg_lite_fill_t fill_rule = VG_LITE_FILL_NON_ZERO;
    vg_lite_matrix_t matrix{};
    vg_lite_blend_t blend = VG_LITE_BLEND_NONE;
    vg_lite_color_t color = 0;
    vg_lite_filter_t filter = VG_LITE_FILTER_POINT;
    std::uint32_t rect[4]{};
    bool scissor_enabled = false;
    std::int32_t scissor[4]{};
    bool premultiply = true;  // source pixels premultiplied on read
};

// Back to the initial state: worker completion, RTOS delivery, no failure
// pending, recording off and empty, scissor off, premultiplication on. Waits
// for the GPU to be idle first.
void reset();
void set_completion(Completion mode);
void set_delivery(Delivery mode);
// Which calls the failure hook applies to.
enum class FailOn { Any, Init, Draw, Blit, Flush, Premultiply, Scissor };
// The next driver call of that kind that returns a result returns `error`
// instead of doing its work (once).
void fail_next_call(vg_lite_error_t error, FailOn on = FailOn::Any);
// Answer of the premultiplication feature query (1 by default).
void set_premultiply_feature(std::uint32_t answer);
// Rasterise (true, the default) or only record (false).
void set_rasterise(bool on);
void set_recording(bool on);
const std::vector<Command>& commands();
void clear_commands();
// Completion interrupts raised, and handled by vg_lite_IRQHandler.
std::uint32_t completions_raised();
std::uint32_t interrupts_handled();
// Waits until every submitted command has been rasterised (host threads
// only; not a driver call).
void wait_idle();
// Whether rasterising is built in (cairo is optional).
bool can_rasterise();
// Whether vg_lite_init has been called (and not closed).
bool initialised();

}  // namespace tarvelo::vglite
