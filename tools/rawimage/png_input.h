// PNG files read into ARGB8888 pixels through libpng.
#pragma once

#include <string>

#include "tools/rawimage/raw_encoder.h"

namespace tarvelo::rawimage {

// False with `error` set when the file cannot be read or decoded.
bool read_png(const std::string& path, Picture* picture, std::string* error);

}  // namespace tarvelo::rawimage
