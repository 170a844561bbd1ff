// The natives of the default image's touch loop (its screen is drawn by the
// painter natives).
#include "images/default/touch_natives.h"

#include <algorithm>
#include <limits>

#include "platform/fbdev/frame_output.h"
#include "platform/gt911/gt911_controller.h"
#include "task.h"

namespace tarvelo::default_image {

namespace {

constexpr std::int64_t kMillisPerTick = 1000 / configTICK_RATE_HZ;

// The later of two ticks (ticks wrap: compared by their difference).
TickType_t later(TickType_t a, TickType_t b) { return static_cast<std::int32_t>(a - b) >= 0 ? a : b; }

TickType_t g_waiting_since = 0;

}  // namespace

std::int32_t millis_before_stop(const TouchWait& w, TickType_t now) {
    TickType_t deadline;
    std::int64_t extra_millis;
    if (w.window) {
        if (w.live_touched) return kWindowIdleMillis;
        TickType_t last = w.waiting_since;
        if (w.live_used) last = later(last, w.live_last);
        if (w.script) last = later(last, w.script_end);
        deadline = last;
        extra_millis = kWindowIdleMillis;
    } else if (w.script) {
        deadline = w.script_end;
        extra_millis = kScriptTailMillis;
    } else {
        return 0;
    }
    const std::int64_t left =
        static_cast<std::int64_t>(static_cast<std::int32_t>(deadline - now)) * kMillisPerTick + extra_millis;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(left, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace tarvelo::default_image

using namespace tarvelo::default_image;

extern "C" {

// Whether somebody can touch the panel (a window is open or a script
// plays); the wait for touches counts from here.
std::int32_t Java_com_tarvelo_app_Touches_canTouch(void) {
    g_waiting_since = xTaskGetTickCount();
    return tarvelo::fbdev::window_open() || tarvelo::gt911::script_given() ? 1 : 0;
}

std::int32_t Java_com_tarvelo_app_Touches_millisBeforeStop(void) {
    TouchWait w{};
    w.window = tarvelo::fbdev::window_open();
    w.script = tarvelo::gt911::script_end(&w.script_end);
    const tarvelo::gt911::LiveTouch live = tarvelo::gt911::live_touch();
    w.live_used = live.used;
    w.live_touched = live.touched;
    w.live_last = live.last_report;
    w.waiting_since = g_waiting_since;
    return millis_before_stop(w, xTaskGetTickCount());
}

}  // extern "C"
