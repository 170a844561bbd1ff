#include "port/security/tls_errors.h"

extern "C" std::int32_t LLNET_SSL_TranslateReturnCode(std::int32_t mbedtls_code) {
    switch (mbedtls_code) {
        case 0:
            return 0;
#define TLS_ERROR(name, code, tls) \
    case code:                     \
        return tls;
#include "port/security/tls_error_codes.def"
#undef TLS_ERROR
        default:
            return tarvelo::tls::kUnknownError;
    }
}
