// One input through one of the engine's loaders, as the loader fuzz targets
// and the damaged-files test run it: the bytes are refused or loaded; a
// loaded image is read and drawn rotated and scaled, a font drawn as plain,
// renderable, scaled and rotated text; the image is closed. The engine must
// have been started (test::port().start).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvelo::graphics::test {

enum class Loader { kRaw, kBmp, kPng, kFont };

// False when the image heap is not as it was afterwards. `read_limit` caps
// the pixels read on each axis (run-length images may declare 65535 x 65535
// pixels in a few bytes).
bool exercise_loader(Loader loader, const std::uint8_t* data, std::size_t size, std::int32_t read_limit);

}  // namespace tarvelo::graphics::test
