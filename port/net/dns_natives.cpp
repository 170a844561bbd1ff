// Name resolution through lwIP's resolver, and the local addresses. A
// query that goes to the network suspends the calling green thread; the
// resolver's callback (on the "tcp/ip" thread) resumes it with the address.
#include <cstring>

#include "platform/address.h"
#include "port/net/net_errors.h"
#include "port/net/socket_natives.h"
#include "vm/core/engine/sni.h"

extern "C" {
#include "lwip/dns.h"
#include "lwip/tcpip.h"
}

using namespace tarvelo::net;

namespace {

constexpr std::int32_t kHostNameMax = 255;

// The 4 address bytes into the buffer; -9 with `message` when it is short.
std::int32_t copy_address(std::uint32_t address, std::int8_t* buffer, std::int32_t length,
                          const char* message = "invalid host buffer length") {
    if (length < 4 || !tarvelo::java_array_range_ok(buffer, 0, 4)) {
        SNI_throwNativeIOException(kErrInvalidArgument, message);
        return 0;
    }
    std::memcpy(buffer, &address, 4);
    return 4;
}

}  // namespace

extern "C" {

// On the "tcp/ip" thread: resumes the waiting thread with the address,
// 0 when the name was not found.
void LLNET_DNS_gethostbyname_lwip_callback(const char*, const ip_addr_t* address, void* threadId) {
    const std::uint32_t found = address != nullptr ? ip4_addr_get_u32(ip_2_ip4(address)) : 0;
    (void)SNI_resumeJavaThreadWithArg(static_cast<std::int32_t>(tarvelo::to_word(threadId)),
                                      tarvelo::to_ptr<void>(found));
}

std::int32_t LLNET_DNS_IMPL_getHostByNameAtCallback(std::int32_t, const std::int8_t*, std::int32_t, std::int8_t* buffer,
                                                    std::int32_t length) {
    void* answer = nullptr;
    (void)SNI_getCallbackArgs(nullptr, &answer);
    const std::uint32_t address = tarvelo::to_word(answer);
    if (address == 0) {
        SNI_throwNativeIOException(kErrDnsFailed, "Unknown host");
        return 0;
    }
    return copy_address(address, buffer, length);
}

std::int32_t Java_com_olun_support_net_natives_DNSNatives_getHostByNameAt(std::int32_t index, const std::int8_t* host,
                                                                          std::int32_t hostLength, std::int8_t* buffer,
                                                                          std::int32_t length) {
    if (host == nullptr) {
        SNI_throwNativeIOException(kErrInvalidArgument, "null hostname");
        return 0;
    }
    // The name as a C string that never runs past the array.
    char name[kHostNameMax + 1];
    std::int32_t n = hostLength;
    if (n < 0 || n > tarvelo::java_array_length(host)) n = tarvelo::java_array_length(host);
    if (n > kHostNameMax) n = kHostNameMax;
    std::memcpy(name, host, static_cast<std::size_t>(n));
    name[n] = '\0';

    const std::int32_t threadId = SNI_getCurrentJavaThreadID();
    // Cleared before the query: an answer that arrives before the thread is
    // suspended must still end the suspension.
    (void)SNI_clearCurrentJavaThreadPendingResumeFlag();
    ip_addr_t address{};
    LOCK_TCPIP_CORE();
    const err_t r = dns_gethostbyname(name, &address, LLNET_DNS_gethostbyname_lwip_callback,
                                      tarvelo::to_ptr<void>(static_cast<tarvelo::word_t>(threadId)));
    UNLOCK_TCPIP_CORE();
    if (r == ERR_OK) return copy_address(ip4_addr_get_u32(ip_2_ip4(&address)), buffer, length);
    if (r == ERR_INPROGRESS) {
        if (SNI_suspendCurrentJavaThreadWithCallback(0, reinterpret_cast<void*>(LLNET_DNS_IMPL_getHostByNameAtCallback),
                                                     nullptr) != 0) {
            SNI_throwNativeIOException(-1, "DNS getHostByNameAt cannot suspend current java thread");
        }
        return 0;
    }
    SNI_throwNativeIOException(kErrDnsFailed, "DNS resolution failed");
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_DNSNatives_getHostByNameCount(const std::int8_t*) { return 1; }

std::int32_t Java_com_olun_support_net_natives_DNSNatives_getHostByAddr(const std::int8_t*) {
    SNI_throwNativeIOException(kErrDnsFailed, "Hostname resolution from address not supported");
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_NetworkAddressNatives_getLocalHostnameNative(std::int8_t* buffer,
                                                                                           std::int32_t length) {
    if (buffer == nullptr || length <= 0) return 0;
    if (length > tarvelo::java_array_length(buffer)) length = tarvelo::java_array_length(buffer);
    if (length <= 0) return 0;
    static const char kName[] = "localhost";
    const std::int32_t n = length - 1 < static_cast<std::int32_t>(sizeof kName - 1) ? length - 1
                                                                                   : static_cast<std::int32_t>(sizeof kName - 1);
    std::memcpy(buffer, kName, static_cast<std::size_t>(n));
    buffer[length - 1] = 0;
    if (n < length - 1) buffer[n] = 0;
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_NetworkAddressNatives_lookupInaddrAny(std::int8_t* buffer,
                                                                                    std::int32_t length) {
    return copy_address(0, buffer, length, "wrong address length");
}

std::int32_t Java_com_olun_support_net_natives_NetworkAddressNatives_loopbackAddress(std::int8_t* buffer,
                                                                                    std::int32_t length) {
    return copy_address(PP_HTONL(0x7F000001UL), buffer, length, "wrong address length");
}

}  // extern "C"
