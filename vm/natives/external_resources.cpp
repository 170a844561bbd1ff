// The external-resource port of this build, which has no resources outside
// the image, and the natives of the external-resource stream, which hand
// the port's answers to the class library as they are.
#include "vm/natives/external_resources.h"

extern "C" {

std::int32_t LLEXT_RES_open(const char*) { return -1; }
std::int32_t LLEXT_RES_close(std::int32_t) { return -1; }
std::int32_t LLEXT_RES_getBaseAddress(std::int32_t) { return -1; }
std::int32_t LLEXT_RES_read(std::int32_t, void*, std::int32_t*) { return -2; }
std::int32_t LLEXT_RES_available(std::int32_t) { return -1; }
std::int32_t LLEXT_RES_seek(std::int32_t, std::int64_t) { return -1; }

// static int read(int handle, byte[] buffer, int[] size): the size in and
// out through the first element of `size`.
std::int32_t Java_com_olun_vm_support_io_ExternalResourceStream_read(std::int32_t handle, std::int8_t* buffer,
                                                                     std::int32_t* size) {
    return LLEXT_RES_read(handle, buffer, size);
}

// static int available(int handle)
std::int32_t Java_com_olun_vm_support_io_ExternalResourceStream_available(std::int32_t handle) {
    return LLEXT_RES_available(handle);
}

// static int seek(int handle, long offset)
std::int32_t Java_com_olun_vm_support_io_ExternalResourceStream_seek(std::int32_t handle, std::int64_t offset) {
    return LLEXT_RES_seek(handle, offset);
}

}  // extern "C"
