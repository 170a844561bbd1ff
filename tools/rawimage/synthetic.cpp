// Synthetic pictures: every pixel computed from its position.
#include "tools/rawimage/synthetic.h"

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace tarvelo::rawimage {

namespace {

std::uint32_t scale(std::uint32_t v, std::uint32_t size) { return size <= 1 ? 0 : v * 255 / (size - 1); }

}  // namespace

bool make_synthetic(const std::string& pattern, std::uint32_t w, std::uint32_t h, Picture* picture,
                    std::string* error) {
    if (w == 0 || h == 0 || w > 0xFFFF || h > 0xFFFF) {
        *error = "width and height must be 1..65535";
        return false;
    }
    const std::string kind = pattern.substr(0, pattern.find(':'));
    const std::string arg = pattern.find(':') == std::string::npos ? "" : pattern.substr(pattern.find(':') + 1);
    std::function<std::uint32_t(std::uint32_t, std::uint32_t)> at;
    if (kind == "solid" && !arg.empty()) {
        char* end = nullptr;
        const auto colour = static_cast<std::uint32_t>(std::strtoul(arg.c_str(), &end, 16));
        if (*end != '\0') {
            *error = "solid needs a colour AARRGGBB";
            return false;
        }
        at = [colour](std::uint32_t, std::uint32_t) { return colour; };
    } else if (kind == "gradient" && arg.empty()) {
        at = [w, h](std::uint32_t x, std::uint32_t y) {
            return std::max<std::uint32_t>(scale(x, w), 64) << 24 | scale(x, w) << 16 | scale(y, h) << 8 |
                   scale(x + y, w + h - 1);
        };
    } else if (kind == "checker") {
        const std::uint32_t n = arg.empty() ? 1 : static_cast<std::uint32_t>(std::strtoul(arg.c_str(), nullptr, 10));
        if (n == 0) {
            *error = "checker squares must be at least 1 pixel";
            return false;
        }
        at = [n](std::uint32_t x, std::uint32_t y) { return ((x / n + y / n) & 1) ? 0xFFFFFFFFu : 0xFF000000u; };
    } else if (kind == "alpha-ramp" && arg.empty()) {
        at = [w](std::uint32_t x, std::uint32_t) { return scale(x, w) << 24 | 0xFFFFFFu; };
    } else {
        *error = "unknown pattern '" + pattern + "' (solid:AARRGGBB, gradient, checker:N, alpha-ramp)";
        return false;
    }
    picture->width = w;
    picture->height = h;
    picture->argb.resize(std::size_t{w} * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) picture->argb[std::size_t{y} * w + x] = at(x, y);
    return true;
}

}  // namespace tarvelo::rawimage
