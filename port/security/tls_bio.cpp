// The TLS library's transport: its receive and send callbacks over the
// session's non-blocking lwIP socket, and the flag telling whether a library
// call moved data (which renews a blocking operation's deadline).
#include <cerrno>

#include "port/security/tls_natives.h"

#include "port/net/lwip_socket_api.h"

namespace {

// mbedTLS's transport codes (its network module is not linked: the firmware
// brings its own transport).
constexpr int kInvalidContext = -0x45;
constexpr int kReceiveFailed = -0x4C;
constexpr int kSendFailed = -0x4E;
constexpr int kConnectionReset = -0x50;
constexpr int kWantRead = -0x6900;
constexpr int kWantWrite = -0x6880;

// Used by the application task only: one library call completes before the
// next starts.
bool previous_bio_call_succeeded = false;

int failure(int error, int wouldBlock, int failed) {
    if (error == EPIPE || error == ECONNRESET) return kConnectionReset;
    if (error == EINTR || error == EAGAIN) return wouldBlock;
    return failed;
}

}  // namespace

extern "C" {

void LLNET_SSL_utils_mbedtls_on_bio_start(void) { previous_bio_call_succeeded = false; }

bool LLNET_SSL_utils_mbedtls_bio_moved_data(void) { return previous_bio_call_succeeded; }

int LLNET_SSL_utils_mbedtls_recv(void* context, unsigned char* buffer, std::size_t length) {
    const std::int32_t socket = static_cast<tarvelo::tls::BioContext*>(context)->socket;
    if (socket < 0) return kInvalidContext;
    const ssize_t n = lwip_recv(socket, buffer, length, 0);
    if (n >= 0) {
        previous_bio_call_succeeded = true;
        return static_cast<int>(n);
    }
    return failure(errno, kWantRead, kReceiveFailed);
}

bool LLNET_SSL_utils_mbedtls_flights_begin(void* context) {
    const std::int32_t socket = static_cast<tarvelo::tls::BioContext*>(context)->socket;
    int on = 0;
    socklen_t size = sizeof on;
    if (socket < 0 || lwip_getsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, &size) != 0 || on != 0) return false;
    on = 1;
    return lwip_setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

void LLNET_SSL_utils_mbedtls_flights_end(void* context, bool began) {
    if (!began) return;
    const int off = 0;
    (void)lwip_setsockopt(static_cast<tarvelo::tls::BioContext*>(context)->socket, IPPROTO_TCP, TCP_NODELAY, &off,
                          sizeof off);
}

int LLNET_SSL_utils_mbedtls_send(void* context, const unsigned char* data, std::size_t length) {
    const std::int32_t socket = static_cast<tarvelo::tls::BioContext*>(context)->socket;
    if (socket < 0) return kInvalidContext;
    const ssize_t n = lwip_send(socket, data, length, 0);
    if (n >= 0) {
        previous_bio_call_succeeded = true;
        return static_cast<int>(n);
    }
    return failure(errno, kWantWrite, kSendFailed);
}

}  // extern "C"
