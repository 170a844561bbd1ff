// Runs of one RGB565 colour, the inner loop of rectangle fills and
// horizontal lines, at memset's speed: a colour whose two bytes are equal
// is a memset; the others take the stores memset itself would take (the
// processor's string store for long runs on x86, aligned vector stores of
// the widest kind the processor has for short ones).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvelo::graphics {

// `count` pixels of `colour` from `pixels` (any 2-byte boundary).
void fill_rgb565(std::uint16_t* pixels, std::size_t count, std::uint16_t colour);

}  // namespace tarvelo::graphics
