// The network-interface natives: two interfaces by fixed Java names,
// "loopback_interface" (lwIP's loopback, prefix "lo") and "en1" (the
// Ethernet interface, prefix "en"). Yes/no natives answer 0 for yes and 1
// for no; none raises an exception. Names and buffers are Java byte arrays
// (their length in the word before the first element).
#include <cstdio>
#include <cstring>

#include "port/net/network_interfaces.h"
#include "vm/core/engine/java_array_range.h"

extern "C" {
#include "lwip/netif.h"
}

namespace {

constexpr const char* kJavaNames[2] = {"loopback_interface", "en1"};
constexpr const char* kPrefixes[2] = {"lo", "en"};
constexpr std::int32_t kNoInterface = -255;
constexpr std::int32_t kTooShort = -9;

// The Java interface index of a NUL-terminated byte-array name, -1 when it
// is neither; the comparison never reads past the array.
std::int32_t java_index(const char* name) {
    if (name == nullptr) return -1;
    const std::int32_t length = tarvelo::java_array_length(name);
    for (std::int32_t i = 0; i < 2; ++i) {
        const std::size_t n = std::strlen(kJavaNames[i]);
        if (static_cast<std::size_t>(length) > n && std::memcmp(name, kJavaNames[i], n + 1) == 0) return i;
    }
    return -1;
}

void text_name(const struct netif* n, char (&out)[6]) {
    std::snprintf(out, sizeof out, "%c%c%d", n->name[0], n->name[1], n->num);
}

}  // namespace

extern "C" {

struct netif* getNetworkInterface(const char* javaName) {
    const std::int32_t i = java_index(javaName);
    if (i < 0) return nullptr;
    const char* slot = get_lwip_netif_name(i);
    return slot[0] == '\0' ? nullptr : netif_find(slot);
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_getVMInterfacesCount(void) {
    std::int32_t count = 0;
    struct netif* n;
    NETIF_FOREACH(n) ++count;
    return count;
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_getVMInterface(std::int32_t index, char* buffer,
                                                                                      std::int32_t length) {
    if (index != 0 && index != 1) return kTooShort;
    struct netif* n;
    char text[6] = {};
    bool found = false;
    NETIF_FOREACH(n) {
        text_name(n, text);
        if (std::strncmp(text, kPrefixes[index], 2) == 0) {
            found = true;
            break;
        }
    }
    if (!found) return 0;
    set_lwip_netif_name(index, text);
    const std::int32_t needed = static_cast<std::int32_t>(std::strlen(kJavaNames[index])) + 1;
    if (length < needed || !tarvelo::java_array_range_ok(buffer, 0, needed)) return kTooShort;
    std::memcpy(buffer, kJavaNames[index], static_cast<std::size_t>(needed));
    return needed;
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_getVMInterfaceAddressesCount(std::int32_t) {
    return 1;
}

// The 11-byte address record of interface `index`: length 4, the address,
// the prefix length, the broadcast flag and, with it, the broadcast address.
std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_getVMInterfaceAddress(std::int32_t index,
                                                                                             std::int32_t,
                                                                                             std::uint8_t* record) {
    if (index != 0 && index != 1) return 0;
    const char* slot = get_lwip_netif_name(index);
    struct netif* n;
    char text[6] = {};
    struct netif* match = nullptr;
    NETIF_FOREACH(n) {
        text_name(n, text);
        if (slot[0] != '\0' && std::strcmp(text, slot) == 0) {
            match = n;
            break;
        }
    }
    if (match == nullptr) return 0;
    if (!tarvelo::java_array_range_ok(record, 0, tarvelo::net::kInterfaceAddressRecordSize)) return kTooShort;
    const std::uint32_t address = ip4_addr_get_u32(netif_ip4_addr(match));
    const std::uint32_t mask = ip4_addr_get_u32(netif_ip4_netmask(match));
    record[0] = 4;
    std::memcpy(record + 1, &address, 4);
    record[5] = tarvelo::net::prefix_length(mask);
    const bool broadcast = (match->flags & NETIF_FLAG_BROADCAST) != 0;
    record[6] = broadcast ? 1 : 0;
    if (broadcast) {
        const std::uint32_t b = address | ~mask;
        std::memcpy(record + 7, &b, 4);
    }
    return tarvelo::net::kInterfaceAddressRecordSize;
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_isLoopback(const char* name) {
    return java_index(name) == 0 ? 0 : 1;
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_isUp(const char* name) {
    const struct netif* n = getNetworkInterface(name);
    if (n == nullptr) return kNoInterface;
    return (n->flags & NETIF_FLAG_UP) != 0 ? 0 : 1;
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_supportsMulticast(const char* name) {
    const struct netif* n = getNetworkInterface(name);
    if (n == nullptr) return kNoInterface;
    return (n->flags & NETIF_FLAG_BROADCAST) != 0 ? 0 : 1;
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_getHardwareAddress(const char* name,
                                                                                          std::uint8_t* buffer) {
    const struct netif* n = getNetworkInterface(name);
    if (n == nullptr) return 0;
    if (!tarvelo::java_array_range_ok(buffer, 0, n->hwaddr_len)) return kTooShort;
    std::memcpy(buffer, n->hwaddr, n->hwaddr_len);
    return n->hwaddr_len;
}

std::int32_t Java_com_olun_support_net_natives_NetworkInterfaceNatives_getMTU(const char* name) {
    const struct netif* n = getNetworkInterface(name);
    if (n == nullptr) return kNoInterface;
    return n->mtu == 0 ? -1 : n->mtu;
}

}  // extern "C"
