#include "port/security/mbedtls_platform.h"

#include "platform/libc_heap.h"
#include "vm/core/port/os_port.h"

extern "C" void* tarvelo_mbedtls_calloc(std::size_t count, std::size_t size) { return tarvelo_calloc(count, size); }

extern "C" void tarvelo_mbedtls_free(void* ptr) { tarvelo_free(ptr); }

extern "C" std::int64_t LLNET_SSL_utils_custom_mbedtls_time(std::int64_t* out) {
    // Application time (the wall clock the application sets), not system time.
    const std::int64_t seconds = LLOSTV_IMPL_getCurrentTime__Z(0) / 1000;
    if (out != nullptr) *out = seconds;
    return seconds;
}

extern "C" std::time_t tarvelo_mbedtls_time(std::time_t* out) {
    const std::time_t now = static_cast<std::time_t>(LLNET_SSL_utils_custom_mbedtls_time(nullptr));
    if (out != nullptr) *out = now;
    return now;
}
