#include "port/security/x509_natives.h"

#include <mbedtls/x509_crt.h>

#include <cstring>

#include "port/security/mbedtls_platform.h"
#include "vm/core/engine/java_array_range.h"

namespace {

using namespace tarvelo::x509;

// Parses `length` bytes as a certificate chain, DER first, then PEM text.
// Returns the chain (the caller frees it) or null, and the format code.
mbedtls_x509_crt* get_x509_certificate(const unsigned char* data, std::size_t length, std::int32_t* format) {
    auto* chain = static_cast<mbedtls_x509_crt*>(tarvelo_mbedtls_calloc(1, sizeof(mbedtls_x509_crt)));
    if (chain == nullptr) {
        *format = kNotEnoughMemory;
        return nullptr;
    }
    mbedtls_x509_crt_init(chain);
    if (mbedtls_x509_crt_parse_der(chain, data, length) == 0) {
        *format = kDer;
        return chain;
    }
    // PEM parsing needs NUL-terminated text; the caller's array is never
    // written (image arrays are read-only), so a terminated copy is parsed.
    auto* text = static_cast<unsigned char*>(tarvelo_mbedtls_calloc(1, length + 1));
    if (text == nullptr) {
        *format = kNotEnoughMemory;
        return chain;
    }
    std::memcpy(text, data, length);
    mbedtls_x509_crt_free(chain);
    mbedtls_x509_crt_init(chain);
    // A positive result counts certificates of the text that failed.
    *format = mbedtls_x509_crt_parse(chain, text, length + 1) == 0 ? kPem : kNotACertificate;
    tarvelo_mbedtls_free(text);
    return chain;
}

}  // namespace

extern "C" std::int32_t Java_com_olun_support_security_natives_X509CertSupportNatives_parse(const std::int8_t* array,
                                                                                            std::int32_t offset,
                                                                                            std::int32_t length) {
    if (!tarvelo::java_array_range_ok(array, offset, length)) return kNotACertificate;
    std::int32_t format = kNotACertificate;
    mbedtls_x509_crt* chain = get_x509_certificate(reinterpret_cast<const unsigned char*>(array) + offset,
                                                   static_cast<std::size_t>(length), &format);
    if (chain != nullptr) {
        mbedtls_x509_crt_free(chain);
        tarvelo_mbedtls_free(chain);
    }
    return format;
}
