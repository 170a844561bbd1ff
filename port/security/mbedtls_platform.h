// What mbedTLS takes from the firmware: its allocator (the standard
// library's heap, so the objects whose addresses become 32-bit handles lie
// below 4 GiB) and its clock (the application's time, which judges
// certificate validity). The library's own references to calloc, free and
// time are renamed to these at build time (cmake/MbedTLS.cmake).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

extern "C" {

void* tarvelo_mbedtls_calloc(std::size_t count, std::size_t size);
void tarvelo_mbedtls_free(void* ptr);
std::time_t tarvelo_mbedtls_time(std::time_t* out);

// The TLS library's clock: the application time in seconds, also stored
// through `out` when it is not null.
std::int64_t LLNET_SSL_utils_custom_mbedtls_time(std::int64_t* out);
}
