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

// The natives of com.olun.vm.support.io.ExternalResourceStream: the port's
// answers passed through.
std::int32_t Java_com_olun_vm_support_io_ExternalResourceStream_read(std::int32_t handle, std::int8_t* buffer,
                                                                     std::int32_t* size);
std::int32_t Java_com_olun_vm_support_io_ExternalResourceStream_available(std::int32_t handle);
std::int32_t Java_com_olun_vm_support_io_ExternalResourceStream_seek(std::int32_t handle, std::int64_t offset);
}
