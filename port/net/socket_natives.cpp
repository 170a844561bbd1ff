// The socket natives of the class library's channels over lwIP's BSD
// sockets. Every socket is non-blocking; a call that would block parks its
// green thread in the select task with a retry callback. Errors are raised
// as I/O exceptions with a negative code and a message.
#include "port/net/socket_natives.h"

#include <cerrno>
#include <cstring>

#include "platform/address.h"
#include "port/net/async_select.h"
#include "port/net/net_errors.h"
#include "port/net/network_interfaces.h"
#include "vm/core/engine/sni.h"
#include "vm/core/port/os_port.h"

#include "port/net/lwip_socket_api.h"

using namespace tarvelo::net;

namespace {

constexpr std::int32_t kOptionMulticastInterface1 = 16;
constexpr std::int32_t kOptionMulticastInterface2 = 31;
constexpr std::int32_t kOptionLinger = 128;
constexpr std::int32_t kOptionReuseAddress = 4;
constexpr std::int32_t kOptionTimeToLive = 7777;

struct OptionEntry {
    std::int32_t id;
    int level;
    int option;
};

constexpr OptionEntry kOptions[] = {
#define SOCKET_OPTION(id, level, option) {id, level, option},
#include "port/net/socket_options.def"
#undef SOCKET_OPTION
};

const OptionEntry* find_option(std::int32_t id) {
    for (const OptionEntry& e : kOptions) {
        if (e.id == id) return &e;
    }
    return nullptr;
}

std::int64_t now_ms() { return LLOSTV_IMPL_getCurrentTime__Z(1); }

void throw_errno(int error) {
    SNI_throwNativeIOException(LLNET_map_to_java_exception(error), LLNET_get_socket_error_msg(error));
}

void* word_arg(std::uint32_t value) { return tarvelo::to_ptr<void>(value); }

sockaddr_in ipv4_address(const std::int8_t* address, std::int32_t port) {
    sockaddr_in a{};
    a.sin_len = 0;
    a.sin_family = AF_INET;
    a.sin_port = lwip_htons(static_cast<u16_t>(port));
    std::memcpy(&a.sin_addr.s_addr, address, 4);
    return a;
}

// The socket's own or its peer's IPv4 address; false with an exception
// pending when lwIP fails or the family is not IPv4.
bool ipv4_name(std::int32_t fd, bool peer, sockaddr_in* a) {
    socklen_t n = sizeof *a;
    const int r = peer ? lwip_getpeername(fd, reinterpret_cast<sockaddr*>(a), &n)
                       : lwip_getsockname(fd, reinterpret_cast<sockaddr*>(a), &n);
    if (r != 0) {
        throw_errno(errno);
        return false;
    }
    if (a->sin_family != AF_INET) {
        SNI_throwNativeIOException(kErrAddressFamily, "unsupported address family");
        return false;
    }
    return true;
}

// A new socket made non-blocking; when that fails it is closed and the
// error raised.
std::int32_t non_blocking_or_closed(int s) {
    if (LLNET_set_non_blocking(s) < 0) {
        const int error = errno;
        lwip_close(s);
        throw_errno(error);
        return 0;
    }
    return s;
}

// Whether the socket has a local port already (bound, or connected).
bool already_bound(std::int32_t fd) {
    sockaddr_in a{};
    socklen_t n = sizeof a;
    return lwip_getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0 && a.sin_port != 0;
}

bool check_buffer(const void* buffer, std::int32_t offset, std::int32_t length) {
    if (tarvelo::java_array_range_ok(buffer, offset, length)) return true;
    SNI_throwNativeIOException(kErrInvalidArgument, "invalid buffer range");
    return false;
}

}  // namespace

extern "C" {

std::int32_t LLNET_set_non_blocking(std::int32_t socket) {
    const int flags = lwip_fcntl(socket, F_GETFL, 0);
    if (flags < 0) return -1;
    return lwip_fcntl(socket, F_SETFL, flags | O_NONBLOCK);
}

std::int32_t LLNET_handle_blocking_operation_error(std::int32_t socket, std::int32_t error, std::int32_t operation,
                                                   std::int64_t deadline, void* callback, void* callbackArgument) {
    if (deadline != 0 && deadline < now_ms()) {
        SNI_throwNativeIOException(kErrTimeout, "timeout");
        return 0;
    }
    if (error == EAGAIN || error == EINPROGRESS) {
        (void)async_select(socket, operation, deadline, callback, callbackArgument);
        return 0;
    }
    throw_errno(error);
    return 0;
}

// --- ChannelNatives ---------------------------------------------------------

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_initialize(void) {
    (void)llnet_lwip_init();
    if (async_select_init() != 0) SNI_throwNativeIOException(kErrUnspecified, "init error");
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_closeNative(std::int32_t fd) {
    if (lwip_close(fd) != 0) {
        throw_errno(errno);
        return 0;
    }
    async_select_notify_closed_fd(fd);
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_shutdown(std::int32_t fd) {
    return lwip_shutdown(fd, SHUT_RDWR);
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_bind(std::int32_t fd, const std::int8_t* address,
                                                                   std::int32_t addressLength, std::int32_t port) {
    if (addressLength != 4 || !tarvelo::java_array_range_ok(address, 0, 4)) {
        SNI_throwNativeIOException(kErrInvalidArgument, "invalid address length");
        return 0;
    }
    // lwIP would cut a port outside 16 bits down to another port, and it
    // links a stream socket bound a second time into its list of bound
    // sockets again, which then loops: both are refused as invalid here.
    if (port < 0 || port > 0xFFFF || already_bound(fd)) {
        throw_errno(EINVAL);
        return 0;
    }
    sockaddr_in a = ipv4_address(address, port);
    if (lwip_bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw_errno(errno);
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_listen(std::int32_t fd, std::int32_t backlog) {
    if (lwip_listen(fd, backlog) != 0) throw_errno(errno);
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_getOption__II(std::int32_t fd, std::int32_t id) {
    const OptionEntry* e = find_option(id);
    if (e == nullptr) {
        SNI_throwNativeIOException(kErrOptionNotSupported, "socket option not supported");
        return 0;
    }
    if (id == kOptionLinger) {
        linger l{};
        socklen_t n = sizeof l;
        if (lwip_getsockopt(fd, e->level, e->option, &l, &n) != 0) {
            throw_errno(errno);
            return 0;
        }
        return l.l_onoff != 0 ? l.l_linger : -1;
    }
    // lwIP writes one byte for some options: the rest stays 0.
    std::int32_t value = 0;
    socklen_t n = sizeof value;
    if (lwip_getsockopt(fd, e->level, e->option, &value, &n) != 0) {
        throw_errno(errno);
        return 0;
    }
    return value;
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_setOption__III(std::int32_t fd, std::int32_t id,
                                                                             std::int32_t value) {
    const OptionEntry* e = find_option(id);
    if (e == nullptr) {
        SNI_throwNativeIOException(kErrOptionNotSupported, "socket option not supported");
        return 0;
    }
    int r;
    if (id == kOptionLinger) {
        // -1 (and any other negative value) turns lingering off.
        linger l{};
        l.l_onoff = value >= 0 ? 1 : 0;
        l.l_linger = value >= 0 ? value : 0;
        r = lwip_setsockopt(fd, e->level, e->option, &l, sizeof l);
    } else {
        // SO_REUSEADDR alone: lwIP has no SO_REUSEPORT, and its binding
        // already lets datagram sockets share a port with SO_REUSEADDR.
        r = lwip_setsockopt(fd, e->level, e->option, &value, sizeof value);
    }
    (void)kOptionReuseAddress;
    if (r != 0) throw_errno(errno);
    return 0;
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_getOption__II_3BI(std::int32_t fd, std::int32_t id,
                                                                                std::int8_t* buffer,
                                                                                std::int32_t length) {
    if (id != kOptionMulticastInterface1 && id != kOptionMulticastInterface2) {
        SNI_throwNativeIOException(kErrOptionNotSupported, "socket option not supported");
        return 0;
    }
    if (length < 4 || !tarvelo::java_array_range_ok(buffer, 0, 4)) {
        SNI_throwNativeIOException(kErrInvalidArgument, "wrong option length");
        return 0;
    }
    socklen_t n = 4;
    if (lwip_getsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, buffer, &n) != 0) {
        throw_errno(errno);
        return 0;
    }
    return static_cast<std::int32_t>(n);
}

std::int32_t Java_com_olun_support_net_natives_ChannelNatives_setOption__II_3BI(std::int32_t fd, std::int32_t id,
                                                                                const std::int8_t* buffer,
                                                                                std::int32_t length) {
    if (id != kOptionMulticastInterface1 && id != kOptionMulticastInterface2) {
        SNI_throwNativeIOException(kErrOptionNotSupported, "socket option not supported");
        return 0;
    }
    if (length != 4 || !tarvelo::java_array_range_ok(buffer, 0, 4)) {
        SNI_throwNativeIOException(kErrInvalidArgument, "wrong option length");
        return 0;
    }
    if (lwip_setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, buffer, 4) != 0) throw_errno(errno);
    return 0;
}

void LLNET_CHANNEL_setOption_multicast_loopback(std::int32_t fd, std::int32_t value) {
    if (lwip_setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &value, sizeof value) != 0) throw_errno(errno);
}

// --- SocketChannelNatives ---------------------------------------------------

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_socket(std::int32_t stream) {
    const int s = lwip_socket(AF_INET, stream != 0 ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (s < 0) {
        throw_errno(errno);
        return 0;
    }
    return non_blocking_or_closed(s);
}

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_serverSocket(void) {
    return Java_com_olun_support_net_natives_SocketChannelNatives_socket(1);
}

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_multicastSocket(void) {
    return Java_com_olun_support_net_natives_SocketChannelNatives_socket(0);
}

std::int32_t LLNET_SOCKETCHANNEL_connect_callback(std::int32_t fd, const std::int8_t*, std::int32_t, std::int32_t,
                                                  std::int64_t deadline) {
    int pending = 0;
    socklen_t n = sizeof pending;
    int error;
    if (lwip_getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &n) != 0) {
        error = -1;
    } else if (pending != 0) {
        // lwIP reports a reset answering the connection request as a reset;
        // the handshake never completed, so the peer refused the connection.
        error = pending == ECONNRESET ? ECONNREFUSED : pending;
    } else {
        sockaddr_in peer{};
        socklen_t pn = sizeof peer;
        if (lwip_getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &pn) == 0 && fd >= 0 && fd < 10) {
            lwip_fd_set_t w;
            FD_ZERO(&w);
            FD_SET(fd, &w);
            lwip_timeval_t zero{};
            const int ready = lwip_select(fd + 1, nullptr, &w, nullptr, &zero);
            if (ready > 0) return ready;
            error = EAGAIN;
        } else {
            error = errno;
        }
    }
    return LLNET_handle_blocking_operation_error(fd, error, 1, deadline,
                                                 reinterpret_cast<void*>(LLNET_SOCKETCHANNEL_connect_callback), nullptr);
}

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_connect(std::int32_t fd, const std::int8_t* address,
                                                                            std::int32_t addressLength,
                                                                            std::int32_t port, std::int64_t deadline) {
    if (addressLength != 4 || !tarvelo::java_array_range_ok(address, 0, 4)) {
        SNI_throwNativeIOException(kErrInvalidArgument, "wrong address size");
        return 0;
    }
    sockaddr_in a = ipv4_address(address, port);
    if (lwip_connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return 0;
    return LLNET_handle_blocking_operation_error(fd, errno, 1, deadline,
                                                 reinterpret_cast<void*>(LLNET_SOCKETCHANNEL_connect_callback), nullptr);
}

std::int32_t LLNET_SOCKETCHANNEL_get_port(std::int32_t fd, bool peer) {
    sockaddr_in a{};
    if (!ipv4_name(fd, peer, &a)) return 0;
    return lwip_ntohs(a.sin_port);
}

std::int32_t LLNET_SOCKETCHANNEL_get_address(std::int32_t fd, std::int8_t* buffer, std::int32_t length, bool peer) {
    sockaddr_in a{};
    if (!ipv4_name(fd, peer, &a)) return 0;
    if (peer && (a.sin_addr.s_addr == 0 || a.sin_port == 0)) {
        SNI_throwNativeIOException(kErrNotConnected, "not connected");
        return 0;
    }
    if (length < 4 || !tarvelo::java_array_range_ok(buffer, 0, 4)) {
        SNI_throwNativeIOException(kErrInvalidArgument, "wrong name length");
        return 0;
    }
    std::memcpy(buffer, &a.sin_addr.s_addr, 4);
    return 4;
}

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_getLocalPort(std::int32_t fd) {
    return LLNET_SOCKETCHANNEL_get_port(fd, false);
}

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_getPeerPort(std::int32_t fd) {
    return LLNET_SOCKETCHANNEL_get_port(fd, true);
}

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_getLocalAddress(std::int32_t fd, std::int8_t* buffer,
                                                                                    std::int32_t length) {
    return LLNET_SOCKETCHANNEL_get_address(fd, buffer, length, false);
}

std::int32_t Java_com_olun_support_net_natives_SocketChannelNatives_getPeerAddress(std::int32_t fd, std::int8_t* buffer,
                                                                                   std::int32_t length) {
    return LLNET_SOCKETCHANNEL_get_address(fd, buffer, length, true);
}

// --- StreamSocketChannelNatives ---------------------------------------------

std::int32_t Java_com_olun_support_net_natives_StreamSocketChannelNatives_accept(std::int32_t fd, std::int64_t deadline) {
    const int s = lwip_accept(fd, nullptr, nullptr);
    if (s < 0) {
        return LLNET_handle_blocking_operation_error(
            fd, errno, 0, deadline, reinterpret_cast<void*>(Java_com_olun_support_net_natives_StreamSocketChannelNatives_accept),
            nullptr);
    }
    return non_blocking_or_closed(s);
}

std::int32_t Java_com_olun_support_net_natives_StreamSocketChannelNatives_read(std::int32_t fd, std::int8_t* buffer,
                                                                              std::int32_t offset, std::int32_t length,
                                                                              std::int64_t deadline) {
    if (!check_buffer(buffer, offset, length)) return 0;
    const ssize_t n = lwip_recv(fd, buffer + offset, static_cast<size_t>(length), 0);
    if (n > 0) return static_cast<std::int32_t>(n);
    if (n == 0) return -1;
    return LLNET_handle_blocking_operation_error(
        fd, errno, 0, deadline, reinterpret_cast<void*>(Java_com_olun_support_net_natives_StreamSocketChannelNatives_read),
        nullptr);
}

std::int32_t LLNET_STREAMSOCKETCHANNEL_write_callback(std::int32_t fd, const std::int8_t* buffer, std::int32_t offset,
                                                      std::int32_t length);

std::int32_t LLNET_STREAMSOCKETCHANNEL_write(std::int32_t fd, const std::int8_t* data, std::int32_t written,
                                             std::int32_t left) {
    const ssize_t n = lwip_send(fd, data + written, static_cast<size_t>(left), 0);
    if (n == 0) {
        SNI_throwNativeIOException(kErrUnspecified, "0 byte written");
        return 0;
    }
    if (n == left) return written + left;
    int error = errno;
    if (n > 0) {
        written += static_cast<std::int32_t>(n);
        error = EAGAIN;
    }
    return LLNET_handle_blocking_operation_error(fd, error, 1, 0,
                                                 reinterpret_cast<void*>(LLNET_STREAMSOCKETCHANNEL_write_callback),
                                                 word_arg(static_cast<std::uint32_t>(written)));
}

// Runs with the write native's own arguments again (the array may have
// moved); the bytes already written are the callback's argument.
std::int32_t LLNET_STREAMSOCKETCHANNEL_write_callback(std::int32_t fd, const std::int8_t* buffer, std::int32_t offset,
                                                      std::int32_t length) {
    if (!check_buffer(buffer, offset, length)) return 0;
    void* argument = nullptr;
    (void)SNI_getCallbackArgs(&argument, nullptr);
    const auto written = static_cast<std::int32_t>(tarvelo::to_word(argument));
    if (written < 0 || written > length) {
        SNI_throwNativeIOException(kErrInvalidArgument, "invalid buffer range");
        return 0;
    }
    return LLNET_STREAMSOCKETCHANNEL_write(fd, buffer + offset, written, length - written);
}

std::int32_t Java_com_olun_support_net_natives_StreamSocketChannelNatives_write(std::int32_t fd, const std::int8_t* buffer,
                                                                               std::int32_t offset, std::int32_t length) {
    if (!check_buffer(buffer, offset, length)) return 0;
    if (length == 0) return 0;
    return LLNET_STREAMSOCKETCHANNEL_write(fd, buffer + offset, 0, length);
}

std::int32_t Java_com_olun_support_net_natives_StreamSocketChannelNatives_available(std::int32_t fd) {
    int count = 0;
    if (lwip_ioctl(fd, FIONREAD, &count) != 0) {
        throw_errno(errno);
        return 0;
    }
    return count;
}

// --- DatagramSocketChannelNatives -------------------------------------------

std::int64_t Java_com_olun_support_net_natives_DatagramSocketChannelNatives_receive(
    std::int32_t fd, std::int8_t* buffer, std::int32_t offset, std::int32_t length, std::int8_t* sender,
    std::int32_t senderLength, std::int64_t deadline) {
    if (!check_buffer(buffer, offset, length)) return 0;
    // The sender record is checked before the datagram is taken, so a
    // short record never loses it.
    if (senderLength < 8 || !tarvelo::java_array_range_ok(sender, 0, 8)) {
        SNI_throwNativeIOException(kErrInvalidArgument, "wrong host port length");
        return 0;
    }
    sockaddr_in from{};
    socklen_t n = sizeof from;
    const ssize_t r = lwip_recvfrom(fd, buffer + offset, static_cast<size_t>(length), MSG_WAITALL,
                                    reinterpret_cast<sockaddr*>(&from), &n);
    if (r == 0) return -1;
    if (r < 0) {
        return LLNET_handle_blocking_operation_error(
            fd, errno, 0, deadline,
            reinterpret_cast<void*>(Java_com_olun_support_net_natives_DatagramSocketChannelNatives_receive), nullptr);
    }
    if (from.sin_family != AF_INET) {
        SNI_throwNativeIOException(kErrAddressFamily, "unsupported address family");
        return 0;
    }
    std::memcpy(sender, &from.sin_addr.s_addr, 4);
    const std::int32_t port = lwip_ntohs(from.sin_port);
    std::memcpy(sender + 4, &port, 4);
    return (static_cast<std::int64_t>(r) << 32) | 4;
}

std::int32_t Java_com_olun_support_net_natives_DatagramSocketChannelNatives_send(
    std::int32_t fd, const std::int8_t* buffer, std::int32_t offset, std::int32_t length, const std::int8_t* address,
    std::int32_t addressLength, std::int32_t port) {
    if (!check_buffer(buffer, offset, length)) return 0;
    if (addressLength != 4 || !tarvelo::java_array_range_ok(address, 0, 4)) {
        SNI_throwNativeIOException(kErrInvalidArgument, "invalid address length");
        return 0;
    }
    sockaddr_in a = ipv4_address(address, port);
    ssize_t r = lwip_sendto(fd, buffer + offset, static_cast<size_t>(length), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (r < 0 && errno == EISCONN) r = lwip_send(fd, buffer + offset, static_cast<size_t>(length), 0);
    if (r > 0) return static_cast<std::int32_t>(r);
    if (r == 0) {
        SNI_throwNativeIOException(kErrUnspecified, "0 byte written");
        return 0;
    }
    return LLNET_handle_blocking_operation_error(
        fd, errno, 1, 0, reinterpret_cast<void*>(Java_com_olun_support_net_natives_DatagramSocketChannelNatives_send),
        nullptr);
}

std::int32_t Java_com_olun_support_net_natives_DatagramSocketChannelNatives_disconnect(std::int32_t fd) {
    sockaddr_in none{};
    none.sin_family = AF_UNSPEC;
    if (lwip_connect(fd, reinterpret_cast<sockaddr*>(&none), sizeof none) != 0) throw_errno(errno);
    return 0;
}

// --- MulticastSocketChannelNatives ------------------------------------------

std::int32_t Java_com_olun_support_net_natives_MulticastSocketChannelNatives_getTimeToLive(std::int32_t fd) {
    return Java_com_olun_support_net_natives_ChannelNatives_getOption__II(fd, kOptionTimeToLive);
}

std::int32_t Java_com_olun_support_net_natives_MulticastSocketChannelNatives_setTimeToLive(std::int32_t fd,
                                                                                         std::int32_t ttl) {
    return Java_com_olun_support_net_natives_ChannelNatives_setOption__III(fd, kOptionTimeToLive, ttl);
}

std::int32_t Java_com_olun_support_net_natives_MulticastSocketChannelNatives_joinOrLeave(
    std::int32_t fd, std::int32_t join, const std::int8_t* group, std::int32_t groupLength, const std::int8_t* iface,
    std::int32_t ifaceLength) {
    if (groupLength != 4 || (ifaceLength != 0 && ifaceLength != 4) || !tarvelo::java_array_range_ok(group, 0, 4) ||
        (ifaceLength == 4 && !tarvelo::java_array_range_ok(iface, 0, 4))) {
        SNI_throwNativeIOException(kErrInvalidArgument, "wrong address length");
        return 0;
    }
    ip_mreq request{};
    std::memcpy(&request.imr_multiaddr.s_addr, group, 4);
    if (ifaceLength == 4) std::memcpy(&request.imr_interface.s_addr, iface, 4);
    if (lwip_setsockopt(fd, IPPROTO_IP, join != 0 ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request, sizeof request) != 0) {
        throw_errno(errno);
    }
    return 0;
}

}  // extern "C"
