// The translation table against the library's own macros and the codes the
// class library expects.
#include "port/security/tls_errors.h"

#include <gtest/gtest.h>
#include <mbedtls/aes.h>
#include <mbedtls/asn1.h>
#include <mbedtls/base64.h>
#include <mbedtls/bignum.h>
#include <mbedtls/blowfish.h>
#include <mbedtls/camellia.h>
#include <mbedtls/ccm.h>
#include <mbedtls/cipher.h>
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/des.h>
#include <mbedtls/dhm.h>
#include <mbedtls/ecp.h>
#include <mbedtls/gcm.h>
#include <mbedtls/hmac_drbg.h>
#include <mbedtls/md.h>
#include <mbedtls/net_sockets.h>
#include <mbedtls/oid.h>
#include <mbedtls/padlock.h>
#include <mbedtls/pem.h>
#include <mbedtls/pk.h>
#include <mbedtls/pkcs12.h>
#include <mbedtls/pkcs5.h>
#include <mbedtls/rsa.h>
#include <mbedtls/ssl.h>
#include <mbedtls/threading.h>
#include <mbedtls/x509.h>
#include <mbedtls/xtea.h>

#include <set>

namespace {

struct Row {
    const char* name;
    std::int32_t macro;  // the value of the name in the library's headers
    std::int32_t code;   // the value the table lists
    std::int32_t tls;
};

constexpr Row kTable[] = {
#define TLS_ERROR(name, code, tls) {#name, name, code, tls},
#include "port/security/tls_error_codes.def"
#undef TLS_ERROR
};

TEST(TlsErrorTranslation, EveryListedCodeIsTheLibrarysOwnAndTranslates) {
    EXPECT_EQ(std::size(kTable), 123u);
    std::set<std::int32_t> seen;
    for (const Row& row : kTable) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.code, row.macro);
        EXPECT_TRUE(seen.insert(row.code).second);
        EXPECT_EQ(LLNET_SSL_TranslateReturnCode(row.code), row.tls);
    }
}

TEST(TlsErrorTranslation, KnownCodes) {
    const struct {
        std::int32_t mbedtls;
        std::int32_t tls;
    } cases[] = {
        {0, 0},
        {MBEDTLS_ERR_SSL_WANT_READ, -123},
        {MBEDTLS_ERR_SSL_WANT_WRITE, -127},
        {MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY, -136},
        {MBEDTLS_ERR_X509_CERT_VERIFY_FAILED, -129},
        {MBEDTLS_ERR_NET_CONN_RESET, -2},
        {MBEDTLS_ERR_MPI_BAD_INPUT_DATA, -63},
        {MBEDTLS_ERR_SSL_ALLOC_FAILED, -103},
        {MBEDTLS_ERR_X509_INVALID_FORMAT, -195},
    };
    for (const auto& c : cases) EXPECT_EQ(LLNET_SSL_TranslateReturnCode(c.mbedtls), c.tls) << c.mbedtls;
}

TEST(TlsErrorTranslation, EveryOtherValueIsUnknown) {
    const std::int32_t others[] = {1, 2, 0x7880, 0x7FFFFFFF, -0x0001, -0x0066, -0x7F80, -0x8000, INT32_MIN};
    for (std::int32_t v : others) EXPECT_EQ(LLNET_SSL_TranslateReturnCode(v), tarvelo::tls::kUnknownError) << v;

    std::set<std::int32_t> listed;
    for (const Row& row : kTable) listed.insert(row.code);
    for (std::int32_t v = -0x10000; v < 0; ++v) {
        if (listed.count(v) == 0) {
            ASSERT_EQ(LLNET_SSL_TranslateReturnCode(v), tarvelo::tls::kUnknownError) << v;
        }
    }
}

}  // namespace
