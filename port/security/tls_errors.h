// Translation of mbedTLS return codes to the TLS error codes of the class
// library's TLS classes, and the codes the TLS natives use directly.
#pragma once

#include <cstdint>

namespace tarvelo::tls {

constexpr std::int32_t kTimeout = -3;
constexpr std::int32_t kInvalidArgument = -63;
constexpr std::int32_t kNotEnoughMemory = -103;
constexpr std::int32_t kUnsupportedProtocolVersion = -126;
// Every mbedTLS code the table does not list, and every positive value.
constexpr std::int32_t kUnknownError = -202;

}  // namespace tarvelo::tls

extern "C" {

// 0 stays 0; a listed mbedTLS code gives its TLS code; anything else -202.
std::int32_t LLNET_SSL_TranslateReturnCode(std::int32_t mbedtls_code);
}
