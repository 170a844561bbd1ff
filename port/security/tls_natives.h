// The TLS natives of the class library's TLS sockets: configurations
// (protocol version, trust store, own certificate chain and key) and
// sessions binding one non-blocking stream socket to one configuration,
// with mbedTLS doing the protocol work. A handle is the 32-bit address of
// the mbedTLS configuration or session context. Every blocking step parks
// its green thread in the select task with a retry callback; failures are
// raised as I/O exceptions carrying a translated TLS code and a message.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// --- configurations ----------------------------------------------------------
std::int32_t Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_createContext(std::int32_t protocol,
                                                                                         std::int32_t client);
void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_addTrustedCertificate(std::int32_t context,
                                                                                         const std::int8_t* bytes,
                                                                                         std::int32_t length,
                                                                                         std::int32_t format);
void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_clearTrustStore(std::int32_t context);
void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_clearKeyStore(std::int32_t context);
void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_setCertificate(std::int32_t context,
                                                                                  const std::int8_t* bytes,
                                                                                  std::int32_t length,
                                                                                  std::int32_t format);
void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_setPrivateKey(std::int32_t context,
                                                                                 const std::int8_t* key,
                                                                                 std::int32_t keyLength,
                                                                                 const std::int8_t* password,
                                                                                 std::int32_t passwordLength);
std::int32_t Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_initChainBuffer(std::int32_t context);
void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_addChainCertificate(std::int32_t context,
                                                                                       const std::int8_t* bytes,
                                                                                       std::int32_t length,
                                                                                       std::int32_t format);
void Java_com_olun_support_net_ssl_natives_SSLContextSupportNatives_freeContext(std::int32_t context);

// --- sessions ----------------------------------------------------------------
void Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_initialize(void);
std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_create(
    std::int32_t context, std::int32_t socket, const std::int8_t* host, std::int32_t hostLength, std::int32_t unused,
    std::int32_t flagA, std::int32_t flagB);
std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_initialClientHandShake(
    std::int32_t session, std::int32_t socket, std::int64_t start, std::int32_t timeout);
std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_initialServerHandShake(
    std::int32_t session, std::int32_t socket, std::int64_t start, std::int32_t timeout);
std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_read(
    std::int32_t session, std::int32_t socket, std::int8_t* buffer, std::int32_t offset, std::int32_t length,
    std::int64_t start, std::int32_t timeout);
std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_write(
    std::int32_t session, std::int32_t socket, const std::int8_t* buffer, std::int32_t offset, std::int32_t length,
    std::int64_t start, std::int32_t timeout);
std::int32_t Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_available(std::int32_t session);
void Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_shutdown(std::int32_t session, std::int32_t socket,
                                                                          std::int32_t autoClose,
                                                                          std::int64_t start,
                                                                          std::int32_t timeout);
void Java_com_olun_support_net_ssl_natives_SSLSocketSupportNatives_freeSSL(std::int32_t session);

// --- shared pieces -----------------------------------------------------------
// PEM-capable parse of bytes[offset, offset + length) into `chain`, always
// from a NUL-terminated copy (the caller's array is never written); the
// translated result.
std::int32_t LLNET_SSL_utils_mbedtls_x509_crt_parse(void* chain, const std::int8_t* bytes, std::int32_t offset,
                                                    std::int32_t length);
// Clears / reads the flag a BIO callback sets when it moved data.
void LLNET_SSL_utils_mbedtls_on_bio_start(void);
bool LLNET_SSL_utils_mbedtls_bio_moved_data(void);
// The deadline of a blocking step: start + elapsed + timeout, 0 (none) for
// a timeout of 0. The start is the class library's word: a sum beyond the
// 64-bit range is held at its end (no deadline is reached then, or one is
// reached at once) instead of wrapping.
std::int64_t LLNET_SSL_utils_deadline(std::int64_t start, std::int32_t elapsed, std::int32_t timeout);
// After a library call that would block or failed: the deadline the retry
// waits for and, through `outElapsed`, the time spent that the retry starts
// from. Renewed from now when a BIO call moved data; otherwise both stay.
std::int64_t LLNET_SSL_utils_mbedtls_update_next_bio_timeout(std::int64_t start, std::int64_t deadline,
                                                             std::int32_t timeout, std::int32_t elapsed,
                                                             std::int32_t* outElapsed);
// The TLS generator (seeded by `initialize`; refuses output before that).
int LLNET_SSL_utils_mbedtls_random(void* generator, unsigned char* output, std::size_t length);
// Around a handshake step: the socket sends each record at once (TCP_NODELAY)
// unless the application chose that already; `begin` answers whether it
// changed the option, which `end` then restores. A flight's last record
// would otherwise wait for the acknowledgement of the ones before it
// (Nagle), which a peer delays by up to 40 ms or more, on every handshake.
bool LLNET_SSL_utils_mbedtls_flights_begin(void* context);
void LLNET_SSL_utils_mbedtls_flights_end(void* context, bool began);
// BIO callbacks over lwIP; the context is the session's socket record.
int LLNET_SSL_utils_mbedtls_recv(void* context, unsigned char* buffer, std::size_t length);
int LLNET_SSL_utils_mbedtls_send(void* context, const unsigned char* data, std::size_t length);
}

namespace tarvelo::tls {

// The session's record of its socket, handed to the BIO callbacks.
struct BioContext {
    std::int32_t socket;
};

// The position of `text` in data[0, length), or -1.
std::int32_t find_text(const unsigned char* data, std::int32_t length, const char* text);

// A PEM certificate ends with this marker; the text is parsed up to it and
// one byte more (its line end).
inline constexpr char kPemEndMarker[] = "-----END CERTIFICATE-----";
inline constexpr std::int32_t kPemEndMarkerLength = sizeof kPemEndMarker - 1;

// How many leading bytes of a PEM certificate text to parse: through the end
// marker and one byte more, never beyond `length`; -1 without a marker.
std::int32_t pem_certificate_extent(const unsigned char* data, std::int32_t length);

}  // namespace tarvelo::tls
