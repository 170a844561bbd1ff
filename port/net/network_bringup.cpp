// The network's bring-up, the MAC address, the DHCP task and the link
// callback.
#include <cstdio>
#include <cstring>

#include "FreeRTOS.h"
#include "mbedtls/md.h"
#include "platform/board/silicon_id.h"
#include "platform/enet/ethernetif.h"
#include "port/net/network_interfaces.h"
#include "sim_interrupt.h"
#include "task.h"

extern "C" {
#include "lwip/dhcp.h"
#include "lwip/netif.h"
#include "lwip/netifapi.h"
#include "lwip/priv/tcp_priv.h"
#include "lwip/tcpip.h"
#include "lwip/udp.h"
}

namespace {

constexpr configSTACK_DEPTH_TYPE kDhcpStackWords = 450;
constexpr UBaseType_t kDhcpPriority = 8;
constexpr TickType_t kDhcpPeriod = 50;  // ticks: 250 ms
constexpr std::uint8_t kDhcpMaxTries = 4;
// After a failed attempt the client starts again after a pause that doubles
// with each failure in a row: a device that came up before its DHCP server
// gets an address once the server is there, without flooding a network
// that has none.
constexpr TickType_t kDhcpFirstPause = pdMS_TO_TICKS(5000);
constexpr TickType_t kDhcpLongestPause = pdMS_TO_TICKS(320000);
constexpr std::uint32_t kPhyIntGpio = 0x4013C000;
constexpr std::uint32_t kPhyIntPin = 13;

// Set once the stack has been started; read by natives that may be called
// before the socket initialiser.
std::atomic<bool> g_lwip_started{false};
phy_handle_t g_phy_handle{};
phy_resource_t g_phy_resource{};
ethernetif_config_t g_enet_config{};
TaskHandle_t g_dhcp_task_handle = nullptr;
netif_ext_callback_t g_link_status_callback_info;
char g_lwip_netif[2][6];

status_t enet1_mdio_write(std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t data) {
    return ENET_MDIOWrite(ENET_1G, phyAddr, regAddr, data);
}

status_t enet1_mdio_read(std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t* data) {
    return ENET_MDIORead(ENET_1G, phyAddr, regAddr, data);
}

// The address the interface had when its fields were last cleared, until
// an address is bound again. "tcp/ip" thread or its lock.
ip4_addr_t g_address_before_clear;

// Clears the interface's address, netmask and gateway, on the "tcp/ip"
// thread or under its lock. Only the fields: lwIP's netif_set_addr would
// abort every TCP connection of the old address, and a cable out for a few
// seconds, or the client starting again, must not cost the connections
// when the same address comes back. Until then no segment is routed
// (retransmissions wait) and none is taken in.
void clear_address_fields(struct netif* netif) {
    if (!ip4_addr_isany_val(*netif_ip4_addr(netif))) g_address_before_clear = *netif_ip4_addr(netif);
    ip4_addr_set_zero(ip_2_ip4(&netif->ip_addr));
    ip4_addr_set_zero(ip_2_ip4(&netif->netmask));
    ip4_addr_set_zero(ip_2_ip4(&netif->gw));
}

// An address is bound again (under the "tcp/ip" lock): when it is not the
// one cleared, the connections of the old one can never be answered and
// end as netif_set_addr would have ended them.
void address_bound(struct netif* netif) {
    if (!ip4_addr_isany_val(g_address_before_clear) && !ip4_addr_cmp(&g_address_before_clear, netif_ip4_addr(netif))) {
        ip_addr_t old;
        ip_addr_copy_from_ip4(old, g_address_before_clear);
        tcp_netif_ip_addr_changed(&old, netif_ip_addr4(netif));
        udp_netif_ip_addr_changed(&old, netif_ip_addr4(netif));
    }
    ip4_addr_set_zero(&g_address_before_clear);
}

void dhcp_thread(void* arg) {
    auto* netif = static_cast<struct netif*>(arg);
    // Failures in a row, and when the next attempt starts after the last.
    unsigned failures = 0;
    TickType_t failed_at = 0;
    TickType_t pause = 0;
    bool retrying = false;
    for (;;) {
        if (g_dhcp_sleeping.load() == 1) vTaskSuspend(nullptr);
        switch (g_dhcp_state.load()) {
            case kDhcpStartRequested:
                // A start the link asked for begins with the shortest pause.
                if (!retrying) failures = 0;
                retrying = false;
                LOCK_TCPIP_CORE();
                clear_address_fields(netif);
                UNLOCK_TCPIP_CORE();
                (void)netifapi_dhcp_start(netif);
                g_dhcp_state.store(kDhcpWaiting);
                break;
            case kDhcpWaiting: {
                LOCK_TCPIP_CORE();
                const bool bound = !ip4_addr_isany_val(*netif_ip4_addr(netif));
                const struct dhcp* d = netif_dhcp_data(netif);
                const bool exhausted = !bound && d != nullptr && d->tries > kDhcpMaxTries;
                if (bound) address_bound(netif);
                UNLOCK_TCPIP_CORE();
                if (bound) {
                    failures = 0;
                    g_dhcp_state.store(kDhcpBound);
                    g_dhcp_sleeping.store(1);
                } else if (exhausted) {
                    g_dhcp_state.store(kDhcpFailed);
                    (void)netifapi_dhcp_stop(netif);
                    pause = failures >= 6 ? kDhcpLongestPause : kDhcpFirstPause << failures;
                    if (pause > kDhcpLongestPause) pause = kDhcpLongestPause;
                    ++failures;
                    failed_at = xTaskGetTickCount();
                }
                break;
            }
            case kDhcpFailed:
                // The same client starts again (a link change meanwhile
                // leaves this state and takes over).
                if (xTaskGetTickCount() - failed_at >= pause) {
                    std::uint8_t expected = kDhcpFailed;
                    retrying = g_dhcp_state.compare_exchange_strong(expected, kDhcpStartRequested);
                }
                break;
            default:
                break;
        }
        vTaskDelay(kDhcpPeriod);
    }
}

// Runs on the "tcp/ip" thread.
void netif_link_status_callback(struct netif* netif, netif_nsc_reason_t reason, const netif_ext_callback_args_t* args) {
    if (reason != LWIP_NSC_LINK_CHANGED || netif != &g_netif1) return;
    if (args->link_changed.state == 0) {
        g_dhcp_state.store(kDhcpLinkDown);
        netif_set_down(netif);
        clear_address_fields(netif);
    } else {
        g_dhcp_state.store(kDhcpStartRequested);
        clear_address_fields(netif);
        g_dhcp_sleeping.store(0);
        if (g_dhcp_task_handle != nullptr) vTaskResume(g_dhcp_task_handle);
        netif_set_up(netif);
    }
}

}  // namespace

extern "C" {

struct netif g_netif1;
std::atomic<std::uint8_t> g_dhcp_state{kDhcpIdle};
std::atomic<std::uint8_t> g_dhcp_sleeping{1};

void BOARD_ENETFlexibleConfigure(enet_config_t* config, bool speed1G) {
    config->miiMode = speed1G ? kENET_RgmiiMode : kENET_RmiiMode;
}

std::int32_t workaround_SILICONID_ConvertToMacAddr(std::uint8_t (*mac)[6]) {
    std::uint8_t id[16] = {};
    std::uint32_t length = sizeof id;
    const std::int32_t status = SILICONID_GetID(id, &length);
    if (status != 0) return status;
    (*mac)[0] = 0x54;
    (*mac)[1] = 0x27;
    (*mac)[2] = 0x8D;
    std::uint8_t digest[20];
    mbedtls_md_context_t ctx;
    mbedtls_md_init(&ctx);
    // The digest's context comes from the host heap.
    vSimNoPreemptEnter();
    const bool ok = mbedtls_md_setup(&ctx, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 0) == 0 &&
                    mbedtls_md_starts(&ctx) == 0 && mbedtls_md_update(&ctx, id, length) == 0 &&
                    mbedtls_md_finish(&ctx, digest) == 0;
    mbedtls_md_free(&ctx);
    vSimNoPreemptExit();
    for (int i = 0; i < 3; ++i) {
        (*mac)[3 + i] = ok ? digest[i] : id[(length >= 3 ? length - 3 : 0) + static_cast<std::uint32_t>(i)];
    }
    return status;
}

void set_lwip_netif_name(std::int32_t index, const char* name) {
    if (index < 0 || index > 1) return;
    std::snprintf(g_lwip_netif[index], sizeof g_lwip_netif[index], "%s", name);
}

const char* get_lwip_netif_name(std::int32_t index) {
    return index == 0 || index == 1 ? g_lwip_netif[index] : "";
}

std::int32_t llnet_lwip_init(void) {
    CLOCK_EnableClock_Enet();
    CLOCK_EnableClock_Enet1G();
    ENET_SetSMI(ENET, CLOCK_GetRootClockFreq_Bus(), false);
    ENET_SetSMI(ENET_1G, CLOCK_GetRootClockFreq_Bus(), false);

    tcpip_init(nullptr, nullptr);

    g_phy_resource.write = enet1_mdio_write;
    g_phy_resource.read = enet1_mdio_read;
    g_enet_config.phyHandle = &g_phy_handle;
    g_enet_config.phyAddr = enet_phy::kAddress;
    g_enet_config.phyOps = &phyrtl8211f_ops;
    g_enet_config.phyResource = &g_phy_resource;
    g_enet_config.srcClockHz = CLOCK_GetRootClockFreq_Bus();
    g_enet_config.phyIntGpio = kPhyIntGpio;
    g_enet_config.phyIntGpioPin = kPhyIntPin;
    std::uint8_t mac[6] = {};
    (void)workaround_SILICONID_ConvertToMacAddr(&mac);
    std::memcpy(g_enet_config.macAddress, mac, sizeof mac);

    // The link callback is registered before the interface exists: the
    // "lwip_rx" task may see the link come up as soon as the interface is
    // added, and that first change must not go unnoticed.
    LOCK_TCPIP_CORE();
    netif_add_ext_callback(&g_link_status_callback_info, netif_link_status_callback);
    UNLOCK_TCPIP_CORE();

    (void)netifapi_netif_add(&g_netif1, IP4_ADDR_ANY4, IP4_ADDR_ANY4, IP4_ADDR_ANY4, &g_enet_config, ethernetif1_init,
                             tcpip_input);
    (void)netifapi_netif_set_default(&g_netif1);
    (void)netifapi_netif_set_up(&g_netif1);

    g_dhcp_sleeping.store(0);
    (void)xTaskCreate(dhcp_thread, "DHCP", kDhcpStackWords, &g_netif1, kDhcpPriority, &g_dhcp_task_handle);

    g_lwip_started.store(true);
    return 0;
}

bool llnet_lwip_started(void) { return g_lwip_started.load(); }

}  // extern "C"
