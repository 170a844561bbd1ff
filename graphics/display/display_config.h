// Link-time configuration of the graphics engine in this build.
#pragma once

#include <cstdint>

namespace tarvelo::graphics {

inline constexpr std::int32_t kLcdFormat = 5;                  // display format code + 1
inline constexpr std::int8_t kDisplayFormat = kLcdFormat - 1;  // RGB565
inline constexpr std::uint32_t kImageAlignment = 64;
inline constexpr std::uint32_t kWorkingBufferSize = 1843200;   // image heap bytes
inline constexpr std::uint32_t kThreadPoolSize = 34;           // waiting green threads
inline constexpr std::uint32_t kQueueSize = 100;               // event ring words
// Engine memory the decoders announce (the PNG decoder's two states, the
// monochrome BMP decoder's state, the external decoder's), which the
// start-up allocation check subtracts.
inline constexpr std::int32_t kPngDecoderMemory = 124;
inline constexpr std::int32_t kBmpDecoderMemory = 12;
inline constexpr std::int32_t kExternalDecoderMemory = 4;

}  // namespace tarvelo::graphics
