// The native of the default image's touch loop: how long it waits for
// touches after the last one (its screen is drawn by the painter natives).
#include <cstdint>

#include "platform/fbdev/frame_output.h"
#include "platform/gt911/gt911_controller.h"

namespace {

constexpr std::int32_t kWindowWaitMillis = 60000;  // a person at the window
constexpr std::int32_t kScriptWaitMillis = 1000;   // a script's samples are close together

}  // namespace

extern "C" std::int32_t Java_com_tarvelo_app_Touches_waitMillis(void) {
    if (tarvelo::fbdev::window_open()) return kWindowWaitMillis;
    if (tarvelo::gt911::script_given()) return kScriptWaitMillis;
    return 0;
}
