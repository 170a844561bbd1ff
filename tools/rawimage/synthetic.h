// Synthetic pictures for fixtures and demos, described in one word:
//   solid:AARRGGBB        one colour
//   gradient              red across, green down, blue diagonal, alpha across
//   checker:N             black and white squares of N pixels
//   alpha-ramp            white, opacity rising from left to right
#pragma once

#include <string>

#include "tools/rawimage/raw_encoder.h"

namespace tarvelo::rawimage {

// False with `error` set for an unknown pattern.
bool make_synthetic(const std::string& pattern, std::uint32_t width, std::uint32_t height, Picture* picture,
                    std::string* error);

}  // namespace tarvelo::rawimage
