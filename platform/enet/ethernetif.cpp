// The lwIP interface layer over the gigabit controller.
#include "platform/enet/ethernetif.h"

#include <cstring>

#include "FreeRTOS.h"
#include "task.h"

extern "C" {
#include "lwip/etharp.h"
#include "lwip/netif.h"
#include "lwip/pbuf.h"
#include "lwip/tcpip.h"
#include "netif/ethernet.h"
}

namespace {

constexpr configSTACK_DEPTH_TYPE kRxStackWords = 512;
constexpr UBaseType_t kRxPriority = 9;
constexpr TickType_t kLinkPollTicks = pdMS_TO_TICKS(100);
constexpr std::size_t kFrameBytes = 1536;

enet_handle_t g_enet_handle{};
TaskHandle_t rx_task = nullptr;
struct netif* rx_netif = nullptr;
bool link_reported = false;

void enet_callback(ENET_Type*, enet_handle_t*, void*) {
    if (rx_task == nullptr) return;
    BaseType_t woken = pdFALSE;
    vTaskNotifyGiveFromISR(rx_task, &woken);
    portYIELD_FROM_ISR(woken);
}

err_t low_level_output(struct netif*, struct pbuf* p) {
    static std::uint8_t frame[kFrameBytes];
    const u16_t n = pbuf_copy_partial(p, frame, sizeof frame, 0);
    if (n != p->tot_len) return ERR_BUF;
    return ENET_SendFrame(ENET_1G, &g_enet_handle, frame, n) == kStatus_Success ? ERR_OK : ERR_IF;
}

void set_link(void* up) {
    if (up != nullptr) {
        netif_set_link_up(rx_netif);
    } else {
        netif_set_link_down(rx_netif);
    }
}

void rx_task_main(void* arg) {
    auto* netif = static_cast<struct netif*>(arg);
    auto* config = static_cast<ethernetif_config_t*>(netif->state);
    static std::uint8_t frame[kFrameBytes];
    for (;;) {
        (void)ulTaskNotifyTake(pdTRUE, kLinkPollTicks);
        bool up = false;
        (void)config->phyOps->getLinkStatus(config->phyHandle, &up);
        if (up != link_reported) {
            link_reported = up;
            (void)tcpip_callback(set_link, up ? netif : nullptr);
        }
        std::uint32_t length = 0;
        while (ENET_GetRxFrameSize(&g_enet_handle, &length) == kStatus_Success) {
            if (length > sizeof frame) {
                (void)ENET_ReadFrame(ENET_1G, &g_enet_handle, nullptr, 0);
                continue;
            }
            if (ENET_ReadFrame(ENET_1G, &g_enet_handle, frame, length) != kStatus_Success) break;
            struct pbuf* p = pbuf_alloc(PBUF_RAW, static_cast<u16_t>(length), PBUF_POOL);
            if (p == nullptr) continue;  // out of buffers: the frame is lost
            (void)pbuf_take(p, frame, static_cast<u16_t>(length));
            if (netif->input(p, netif) != ERR_OK) pbuf_free(p);
        }
    }
}

}  // namespace

extern "C" err_t ethernetif1_init(struct netif* netif) {
    auto* config = static_cast<ethernetif_config_t*>(netif->state);
    if (config == nullptr) return ERR_ARG;
    netif->name[0] = 'e';
    netif->name[1] = 'n';
    netif->output = etharp_output;
    netif->linkoutput = low_level_output;
    netif->hwaddr_len = ETH_HWADDR_LEN;
    std::memcpy(netif->hwaddr, config->macAddress, ETH_HWADDR_LEN);
    netif->mtu = 1500;
    netif->flags = NETIF_FLAG_BROADCAST | NETIF_FLAG_ETHARP | NETIF_FLAG_ETHERNET | NETIF_FLAG_IGMP;

    phy_config_t phy{config->phyAddr, config->phyResource, config->phyOps, true};
    if (config->phyOps->phyInit(config->phyHandle, &phy) != kStatus_Success) return ERR_IF;

    enet_config_t enet{};
    ENET_GetDefaultConfig(&enet);
    BOARD_ENETFlexibleConfigure(&enet, true);
    ENET_SetCallback(&g_enet_handle, enet_callback, nullptr);
    rx_netif = netif;
    link_reported = false;
    if (xTaskCreate(rx_task_main, "lwip_rx", kRxStackWords, netif, kRxPriority, &rx_task) != pdPASS) return ERR_MEM;
    if (ENET_Init(ENET_1G, &g_enet_handle, &enet, config->macAddress, config->srcClockHz) != kStatus_Success) return ERR_IF;
    return ERR_OK;
}
