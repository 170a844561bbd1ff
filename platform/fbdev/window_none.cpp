// The build without SDL2: no window.
#include "platform/fbdev/window.h"

namespace tarvelo::fbdev {

bool open_window(std::uint32_t, std::uint32_t) { return false; }
void window_show_frame(const std::uint16_t*, std::uint32_t, std::uint32_t) {}

}  // namespace tarvelo::fbdev
