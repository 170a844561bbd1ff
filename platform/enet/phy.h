// The PHY driver interface of the vendor's SDK, with the RTL8211F's
// operations: the PHY is reached through MDIO functions the board gives.
#pragma once

#include <cstdint>

#include "platform/enet/enet.h"

extern "C" {

typedef status_t (*mdio_write_t)(std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t data);
typedef status_t (*mdio_read_t)(std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t* data);

typedef struct phy_resource {
    mdio_write_t write;
    mdio_read_t read;
} phy_resource_t;

struct phy_operations;
typedef struct phy_handle {
    std::uint8_t phyAddr;
    phy_resource_t* resource;
    const struct phy_operations* ops;
} phy_handle_t;

typedef struct phy_config {
    std::uint8_t phyAddr;
    phy_resource_t* resource;
    const struct phy_operations* ops;
    bool autoNeg;
} phy_config_t;

typedef struct phy_operations {
    status_t (*phyInit)(phy_handle_t* handle, const phy_config_t* config);
    status_t (*getLinkStatus)(phy_handle_t* handle, bool* status);
} phy_operations_t;

extern const phy_operations_t phyrtl8211f_ops;

}
