// The external-resource port: resources outside the image (a file system,
// a flash partition). This build supplies none, so every call answers that
// no resource exists (read -2, the others -1).
#pragma once

#include <cstdint>

extern "C" {
std::int32_t LLEXT_RES_open(const char* path);
std::int32_t LLEXT_RES_close(std::int32_t handle);
std::int32_t LLEXT_RES_getBaseAddress(std::int32_t handle);
std::int32_t LLEXT_RES_read(std::int32_t handle, void* buffer, std::int32_t* size);
std::int32_t LLEXT_RES_available(std::int32_t handle);
std::int32_t LLEXT_RES_seek(std::int32_t handle, std::int64_t offset);
}
