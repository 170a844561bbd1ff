// The chip's unique silicon id.
#pragma once

#include <cstdint>

extern "C" {
// Copies up to *length bytes of the 16-byte id into `id` and stores the
// number copied in *length; 0 on success.
std::int32_t SILICONID_GetID(std::uint8_t* id, std::uint32_t* length);
}
