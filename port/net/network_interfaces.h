// The network's bring-up (controller, PHY, lwIP's "tcp/ip" thread, the
// Ethernet interface and the "DHCP" task), the DHCP states, and the
// interface natives' helpers.
#pragma once

#include <atomic>
#include <cstdint>

struct netif;

// DHCP states of the Ethernet interface.
enum DhcpState : std::uint8_t {
    kDhcpIdle = 0,
    kDhcpStartRequested = 1,
    kDhcpWaiting = 2,
    kDhcpBound = 3,
    kDhcpFailed = 4,
    kDhcpLinkDown = 5,
};

extern "C" {

extern struct netif g_netif1;
extern std::atomic<std::uint8_t> g_dhcp_state;
extern std::atomic<std::uint8_t> g_dhcp_sleeping;

// Starts the network; returns 0. Called once, by the socket initialiser.
std::int32_t llnet_lwip_init(void);
// Whether llnet_lwip_init has run: before it lwIP has no "tcp/ip" thread
// and no lock to take.
bool llnet_lwip_started(void);

// The MAC address derived from the silicon id: 54:27:8D and three bytes of
// the id's SHA-1 (or of the id itself when the digest fails). Returns the
// silicon-id read's result; on failure the MAC is left unchanged.
std::int32_t workaround_SILICONID_ConvertToMacAddr(std::uint8_t (*mac)[6]);

// The lwIP text names ("lo0", "en1") last found for the Java interfaces 0
// (loopback) and 1 (Ethernet).
void set_lwip_netif_name(std::int32_t index, const char* name);
const char* get_lwip_netif_name(std::int32_t index);
// The lwIP interface of a Java interface name (NUL-terminated bytes), null
// when the name is unknown or its slot finds nothing.
struct netif* getNetworkInterface(const char* javaName);

}

namespace tarvelo::net {

// The prefix length of an IPv4 netmask held as lwIP holds it (network byte
// order): the count of its leading one bits.
constexpr std::uint8_t prefix_length(std::uint32_t maskNetworkOrder) {
    const std::uint32_t host = ((maskNetworkOrder & 0xFFu) << 24) | ((maskNetworkOrder & 0xFF00u) << 8) |
                               ((maskNetworkOrder >> 8) & 0xFF00u) | (maskNetworkOrder >> 24);
    std::uint8_t n = 0;
    for (std::uint32_t bit = 0x80000000u; bit != 0 && (host & bit) != 0; bit >>= 1) ++n;
    return n;
}

// Size of the interface address record of getVMInterfaceAddress.
constexpr std::int32_t kInterfaceAddressRecordSize = 11;

}  // namespace tarvelo::net
