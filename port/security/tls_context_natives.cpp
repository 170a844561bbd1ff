// TLS configurations: protocol version and role, trust store, own
// certificate chain and private key, certificate profile and the verify
// callback that trusts a peer chain containing a trust-store certificate.
#include <mbedtls/ecp.h>
#include <mbedtls/pk.h>

#include <cstring>

#include "platform/address.h"
#include "port/security/mbedtls_platform.h"
#include "port/security/tls_configuration.h"
#include "port/security/tls_errors.h"
#include "port/security/tls_natives.h"
#include "vm/core/engine/java_array_range.h"
#include "vm/core/engine/sni.h"

using namespace tarvelo::tls;

namespace {

constexpr std::int32_t kFormatDer = 1;
constexpr std::int32_t kFormatPem = 0;
constexpr std::int32_t kMaxProtocol = 3;

// MD5, SHA-1, SHA-224, SHA-256, SHA-384, SHA-512, RIPEMD-160.
constexpr std::uint32_t kAllowedDigests = 0x1FC;
constexpr std::uint32_t kAllowedAny = 0x0FFFFFFF;
constexpr std::uint32_t kMinimumRsaBits = 1024;

// The curves offered for the key exchange, in the order of preference a
// client of today sends (a server that follows the client's order takes the
// first it has): x25519, then P-256, then every other curve the library
// has, in its own order. The library's default list starts with P-521,
// whose key exchange costs several times as much for no gain a peer asks
// for. Built once; the configurations keep a pointer to it.
const mbedtls_ecp_group_id* offered_curves() {
    static mbedtls_ecp_group_id list[MBEDTLS_ECP_DP_MAX + 1];
    static bool built = false;
    if (!built) {
        constexpr mbedtls_ecp_group_id preferred[] = {MBEDTLS_ECP_DP_CURVE25519, MBEDTLS_ECP_DP_SECP256R1};
        const auto is_preferred = [&](mbedtls_ecp_group_id id) {
            for (const mbedtls_ecp_group_id p : preferred)
                if (p == id) return true;
            return false;
        };
        const mbedtls_ecp_group_id* available = mbedtls_ecp_grp_id_list();
        std::size_t n = 0;
        for (const mbedtls_ecp_group_id p : preferred)
            for (const mbedtls_ecp_group_id* id = available; *id != MBEDTLS_ECP_DP_NONE; ++id)
                if (*id == p) list[n++] = p;
        for (const mbedtls_ecp_group_id* id = available; *id != MBEDTLS_ECP_DP_NONE && n < MBEDTLS_ECP_DP_MAX; ++id)
            if (!is_preferred(*id)) list[n++] = *id;
        list[n] = MBEDTLS_ECP_DP_NONE;
        built = true;
    }
    return list;
}

TlsConfiguration* configuration_of(std::int32_t handle) {
    return tarvelo::to_ptr<TlsConfiguration>(static_cast<tarvelo::word_t>(handle));
}

void throw_invalid_argument() { SNI_throwNativeIOException(kInvalidArgument, "Invalid argument"); }

template <typename T>
T* calloc_one() {
    return static_cast<T*>(tarvelo_mbedtls_calloc(1, sizeof(T)));
}

mbedtls_x509_crt* new_chain() {
    auto* chain = calloc_one<mbedtls_x509_crt>();
    if (chain != nullptr) mbedtls_x509_crt_init(chain);
    return chain;
}

void free_chain(mbedtls_x509_crt* chain) {
    if (chain == nullptr) return;
    mbedtls_x509_crt_free(chain);
    tarvelo_mbedtls_free(chain);
}

void free_key(mbedtls_pk_context* key) {
    if (key == nullptr) return;
    mbedtls_pk_free(key);
    tarvelo_mbedtls_free(key);
}

// Installs the credentials record while it holds both members, and takes it
// away otherwise (a record missing either must never reach a handshake).
void sync_credentials(TlsConfiguration* c) {
    const bool complete = c->credentials.cert != nullptr && c->credentials.key != nullptr;
    c->conf.key_cert = complete ? &c->credentials : nullptr;
}

// Whether [0, length) of a Java array is a usable, non-empty byte range.
bool bytes_ok(const std::int8_t* bytes, std::int32_t length) {
    return length > 0 && tarvelo::java_array_range_ok(bytes, 0, length);
}

// Parses one certificate in the given format, appending it to `chain`; the
// translated result.
std::int32_t parse_certificate(mbedtls_x509_crt* chain, const std::int8_t* bytes, std::int32_t length,
                               std::int32_t format) {
    if (format == kFormatDer) {
        return LLNET_SSL_TranslateReturnCode(
            mbedtls_x509_crt_parse_der(chain, reinterpret_cast<const unsigned char*>(bytes), static_cast<std::size_t>(length)));
    }
    const std::int32_t extent = pem_certificate_extent(reinterpret_cast<const unsigned char*>(bytes), length);
    if (extent < 0) return LLNET_SSL_TranslateReturnCode(kInvalidArgument);
    return LLNET_SSL_utils_mbedtls_x509_crt_parse(chain, bytes, 0, extent);
}

// The checks shared by the natives that take certificate bytes; false with
// the exception raised.
bool certificate_arguments_ok(TlsConfiguration* c, const std::int8_t* bytes, std::int32_t length, std::int32_t format) {
    if (c == nullptr || !bytes_ok(bytes, length) || (format != kFormatDer && format != kFormatPem)) {
        throw_invalid_argument();
        return false;
    }
    return true;
}

void throw_parse_error(std::int32_t code) { SNI_throwNativeIOException(code, "Certificate parsing error"); }

// Parses one certificate onto `existing`, or onto a new chain when it is
// null: the chain, or null with the exception raised (a new chain is freed;
// an existing one keeps its earlier certificates).
mbedtls_x509_crt* append_certificate(mbedtls_x509_crt* existing, const std::int8_t* bytes, std::int32_t length,
                                     std::int32_t format) {
    mbedtls_x509_crt* chain = existing != nullptr ? existing : new_chain();
    if (chain == nullptr) {
        SNI_throwNativeIOException(kNotEnoughMemory, "Not enough memory");
        return nullptr;
    }
    const std::int32_t code = parse_certificate(chain, bytes, length, format);
    if (code != 0) {
        if (existing == nullptr) free_chain(chain);
        throw_parse_error(code);
        return nullptr;
    }
    return chain;
}

int verify_callback(void* context, mbedtls_x509_crt* certificate, int depth, std::uint32_t* flags) {
    auto* c = static_cast<TlsConfiguration*>(context);
    if ((*flags & MBEDTLS_X509_BADCERT_NOT_TRUSTED) != 0) {
        *flags &= ~static_cast<std::uint32_t>(MBEDTLS_X509_BADCERT_NOT_TRUSTED);
        c->pendingNotTrusted = 1;
    } else if (c->pendingNotTrusted == 0) {
        return 0;
    }
    for (const mbedtls_x509_crt* t = c->trustStore; t != nullptr && t->raw.p != nullptr; t = t->next) {
        if (t->raw.len == certificate->raw.len && std::memcmp(t->raw.p, certificate->raw.p, t->raw.len) == 0) {
            c->pendingNotTrusted = 0;
            return 0;
        }
    }
    if (depth == 0 && c->pendingNotTrusted != 0) {
        *flags |= MBEDTLS_X509_BADCERT_NOT_TRUSTED;
        c->pendingNotTrusted = 0;
    }
    return 0;
}

}  // namespace

namespace tarvelo::tls {

std::int32_t find_text(const unsigned char* data, std::int32_t length, const char* text) {
    const auto n = static_cast<std::int32_t>(std::strlen(text));
    for (std::int32_t i = 0; i + n <= length; ++i) {
        if (std::memcmp(data + i, text, static_cast<std::size_t>(n)) == 0) return i;
    }
    return -1;
}

std::int32_t pem_certificate_extent(const unsigned char* data, std::int32_t length) {
    const std::int32_t at = find_text(data, length, kPemEndMarker);
    if (at < 0) return -1;
    const std::int32_t end = at + kPemEndMarkerLength + 1;
    return end < length ? end : length;
}

}  // namespace tarvelo::tls

extern "C" {

std::int32_t LLNET_SSL_utils_mbedtls_x509_crt_parse(void* chain, const std::int8_t* bytes, std::int32_t offset,
                                                    std::int32_t length) {
    if (!tarvelo::java_array_range_ok(bytes, offset, length)) return LLNET_SSL_TranslateReturnCode(kInvalidArgument);
    // The PEM parser needs NUL-terminated text, and the caller's array may be
    // an immortal, read-only one: parse a terminated copy.
    auto* text = static_cast<unsigned char*>(tarvelo_mbedtls_calloc(1, static_cast<std::size_t>(length) + 1));
    if (text == nullptr) return kNotEnoughMemory;
    std::memcpy(text, bytes + offset, static_cast<std::size_t>(length));
    const int r = mbedtls_x509_crt_parse(static_cast<mbedtls_x509_crt*>(chain), text, static_cast<std::size_t>(length) + 1);
    tarvelo_mbedtls_free(text);
    return LLNET_SSL_TranslateReturnCode(r);
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_createContext(std::int32_t protocol,
                                                                                         std::int32_t client) {
    auto* c = calloc_one<TlsConfiguration>();
    if (c == nullptr) {
        SNI_throwNativeIOException(kNotEnoughMemory, "Not enough memory");
        return 0;
    }
    mbedtls_ssl_config_init(&c->conf);
    const int defaults = mbedtls_ssl_config_defaults(&c->conf, client != 0 ? MBEDTLS_SSL_IS_CLIENT : MBEDTLS_SSL_IS_SERVER,
                                                     MBEDTLS_SSL_TRANSPORT_STREAM, MBEDTLS_SSL_PRESET_DEFAULT);
    if (protocol < 0 || protocol > kMaxProtocol || defaults != 0) {
        mbedtls_ssl_config_free(&c->conf);
        tarvelo_mbedtls_free(c);
        if (defaults != 0) {
            SNI_throwNativeIOException(LLNET_SSL_TranslateReturnCode(defaults), "MbedTLS SSL context setup failed");
        } else {
            SNI_throwNativeIOException(kUnsupportedProtocolVersion, "Unsupported protocol version");
        }
        return 0;
    }
    // SSL 3.0 (minor 0) is accepted here; the library built without it
    // refuses its handshake, which reports the translated error.
    mbedtls_ssl_conf_min_version(&c->conf, MBEDTLS_SSL_MAJOR_VERSION_3, protocol);
    mbedtls_ssl_conf_max_version(&c->conf, MBEDTLS_SSL_MAJOR_VERSION_3, protocol);
    mbedtls_ssl_conf_rng(&c->conf, LLNET_SSL_utils_mbedtls_random, nullptr);
    mbedtls_ssl_conf_curves(&c->conf, offered_curves());
    mbedtls_ssl_conf_authmode(&c->conf, MBEDTLS_SSL_VERIFY_UNSET);
    c->profile.allowed_mds = kAllowedDigests;
    c->profile.allowed_pks = kAllowedAny;
    c->profile.allowed_curves = kAllowedAny;
    c->profile.rsa_min_bitlen = kMinimumRsaBits;
    mbedtls_ssl_conf_cert_profile(&c->conf, &c->profile);
    c->pendingNotTrusted = 0;
    mbedtls_ssl_conf_verify(&c->conf, verify_callback, c);
    return static_cast<std::int32_t>(tarvelo::to_word(c));
}

void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_addTrustedCertificate(std::int32_t context,
                                                                                         const std::int8_t* bytes,
                                                                                         std::int32_t length,
                                                                                         std::int32_t format) {
    TlsConfiguration* c = configuration_of(context);
    if (!certificate_arguments_ok(c, bytes, length, format)) return;
    const bool created = c->trustStore == nullptr;
    mbedtls_x509_crt* chain = append_certificate(c->trustStore, bytes, length, format);
    if (chain == nullptr) return;
    if (created) {
        c->trustStore = chain;
        mbedtls_ssl_conf_ca_chain(&c->conf, chain, nullptr);
    }
}

void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_clearTrustStore(std::int32_t context) {
    TlsConfiguration* c = configuration_of(context);
    if (c == nullptr || c->trustStore == nullptr) return;
    mbedtls_ssl_conf_ca_chain(&c->conf, nullptr, nullptr);
    free_chain(c->trustStore);
    c->trustStore = nullptr;
}

void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_clearKeyStore(std::int32_t context) {
    TlsConfiguration* c = configuration_of(context);
    if (c == nullptr) return;
    mbedtls_pk_context* key = c->credentials.key;
    c->credentials.key = nullptr;
    sync_credentials(c);
    free_key(key);
}

void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_setCertificate(std::int32_t context,
                                                                                  const std::int8_t* bytes,
                                                                                  std::int32_t length,
                                                                                  std::int32_t format) {
    TlsConfiguration* c = configuration_of(context);
    if (!certificate_arguments_ok(c, bytes, length, format)) return;
    mbedtls_x509_crt* previous = c->credentials.cert;
    c->credentials.cert = nullptr;
    sync_credentials(c);
    free_chain(previous);
    mbedtls_x509_crt* chain = append_certificate(nullptr, bytes, length, format);
    if (chain == nullptr) return;
    c->credentials.cert = chain;
    sync_credentials(c);
}

void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_setPrivateKey(std::int32_t context,
                                                                                 const std::int8_t* key,
                                                                                 std::int32_t keyLength,
                                                                                 const std::int8_t* password,
                                                                                 std::int32_t passwordLength) {
    TlsConfiguration* c = configuration_of(context);
    if (c == nullptr || !bytes_ok(key, keyLength) || !bytes_ok(password, passwordLength)) {
        throw_invalid_argument();
        return;
    }
    mbedtls_pk_context* previous = c->credentials.key;
    c->credentials.key = nullptr;
    sync_credentials(c);
    free_key(previous);

    auto* pk = calloc_one<mbedtls_pk_context>();
    // PEM text must reach the parser NUL-terminated (its length counting the
    // NUL); a copy is terminated, since the caller's array is read-only.
    // DER keys are parsed as they are.
    const auto* data = reinterpret_cast<const unsigned char*>(key);
    const bool pem = data[keyLength - 1] != 0 && find_text(data, keyLength, "-----BEGIN ") >= 0;
    unsigned char* text = pem ? static_cast<unsigned char*>(tarvelo_mbedtls_calloc(1, static_cast<std::size_t>(keyLength) + 1))
                              : nullptr;
    if (pk == nullptr || (pem && text == nullptr)) {
        tarvelo_mbedtls_free(pk);
        tarvelo_mbedtls_free(text);
        SNI_throwNativeIOException(kNotEnoughMemory, "Not enough memory");
        return;
    }
    mbedtls_pk_init(pk);
    if (pem) std::memcpy(text, data, static_cast<std::size_t>(keyLength));
    const int r = mbedtls_pk_parse_key(pk, pem ? text : data, static_cast<std::size_t>(keyLength) + (pem ? 1 : 0),
                                       reinterpret_cast<const unsigned char*>(password),
                                       static_cast<std::size_t>(passwordLength));
    tarvelo_mbedtls_free(text);
    if (r != 0) {
        free_key(pk);
        SNI_throwNativeIOException(LLNET_SSL_TranslateReturnCode(r), "Private key parsing error");
        return;
    }
    c->credentials.key = pk;
    sync_credentials(c);
}

std::int32_t Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_initChainBuffer(std::int32_t) { return 0; }

void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_addChainCertificate(std::int32_t context,
                                                                                       const std::int8_t* bytes,
                                                                                       std::int32_t length,
                                                                                       std::int32_t format) {
    TlsConfiguration* c = configuration_of(context);
    if (!certificate_arguments_ok(c, bytes, length, format)) return;
    // Before any own certificate, the first chain certificate starts the
    // chain (and so is the own certificate).
    mbedtls_x509_crt* chain = append_certificate(c->credentials.cert, bytes, length, format);
    if (chain == nullptr) return;
    c->credentials.cert = chain;
    sync_credentials(c);
}

void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_freeContext(std::int32_t context) {
    TlsConfiguration* c = configuration_of(context);
    if (c == nullptr) return;
    Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_clearTrustStore(context);
    mbedtls_ssl_conf_verify(&c->conf, nullptr, nullptr);
    mbedtls_ssl_conf_cert_profile(&c->conf, &mbedtls_x509_crt_profile_default);
    // The record is ours: the library must not release it with the
    // configuration.
    c->conf.key_cert = nullptr;
    free_key(c->credentials.key);
    free_chain(c->credentials.cert);
    c->credentials = {};
    mbedtls_ssl_config_free(&c->conf);
    tarvelo_mbedtls_free(c);
}

}  // extern "C"
