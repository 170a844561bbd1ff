// The X.509 native of the class library's certificate support: whether a
// byte range holds a certificate mbedTLS can parse, and in which form.
#pragma once

#include <cstdint>

namespace tarvelo::x509 {

constexpr std::int32_t kDer = 1;
constexpr std::int32_t kPem = 0;
constexpr std::int32_t kNotACertificate = -6;
constexpr std::int32_t kNotEnoughMemory = -103;

}  // namespace tarvelo::x509

extern "C" {

// kDer, kPem, kNotACertificate (also for a null array or a range outside
// it) or kNotEnoughMemory. The array is only read.
std::int32_t Java_com_olun_support_security_natives_X509CertSupportNatives_parse(const std::int8_t* array,
                                                                                 std::int32_t offset,
                                                                                 std::int32_t length);
}
