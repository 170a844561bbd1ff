// What a TLS configuration handle and a TLS session handle point to. Each
// begins with the mbedTLS object, so the handle is that object's address;
// the rest is the firmware's own bookkeeping. Both are allocated from the
// TLS library's heap (below 4 GiB).
#pragma once

#include <mbedtls/ssl.h>
#include <mbedtls/ssl_internal.h>
#include <mbedtls/x509_crt.h>

#include <cstdint>

#include "port/security/tls_natives.h"

namespace tarvelo::tls {

struct TlsConfiguration {
    mbedtls_ssl_config conf;  // first: the handle is its address
    mbedtls_x509_crt* trustStore;
    // The own credentials. The record is installed as the configuration's
    // key-and-certificate list only while it holds both a certificate and a
    // key: the TLS library dereferences both members.
    mbedtls_ssl_key_cert credentials;
    mbedtls_x509_crt_profile profile;
    // Set while a certificate above the current one in the peer's chain was
    // found not trusted and no trust-store certificate has matched since.
    std::uint32_t pendingNotTrusted;
};

struct TlsSession {
    mbedtls_ssl_context ssl;  // first: the handle is its address
    BioContext* bio;
    TlsConfiguration* configuration;
    // The session's own verification mode: the configuration is shared by
    // all its sessions, so this is applied before each library call.
    int authMode;
};

}  // namespace tarvelo::tls
