// The vendor's lwIP interface layer for the gigabit controller, as a
// stand-in: `ethernetif1_init` is the interface's initialisation function
// given to netif_add with an `ethernetif_config_t` as the interface's state.
// It starts the controller and the PHY and the "lwip_rx" task, which hands
// received frames to lwIP and reports link changes.
#pragma once

#include <cstdint>

#include "platform/enet/phy.h"

struct netif;

extern "C" {

typedef struct ethernetif_config {
    phy_handle_t* phyHandle;
    std::uint8_t phyAddr;
    const phy_operations_t* phyOps;
    phy_resource_t* phyResource;
    std::uint32_t srcClockHz;
    std::uint8_t macAddress[6];
    std::uint32_t phyIntGpio;     // GPIO port address of the PHY interrupt line
    std::uint32_t phyIntGpioPin;  // and its pin
} ethernetif_config_t;

// lwIP's err_t.
std::int8_t ethernetif1_init(struct netif* netif);

// Board hook: sets the controller configuration's MII mode (RGMII when
// `speed1G` is nonzero, else RMII).
void BOARD_ENETFlexibleConfigure(enet_config_t* config, bool speed1G);

}
