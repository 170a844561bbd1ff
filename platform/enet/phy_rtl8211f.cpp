// The RTL8211F's operations over MDIO: identify, reset and restart
// auto-negotiation; the link bit of the basic status register.
#include "platform/enet/phy.h"

namespace {

status_t rtl8211f_init(phy_handle_t* handle, const phy_config_t* config) {
    handle->phyAddr = config->phyAddr;
    handle->resource = config->resource;
    handle->ops = config->ops;
    std::uint16_t id1 = 0;
    std::uint16_t id2 = 0;
    if (handle->resource->read(handle->phyAddr, enet_phy::kId1, &id1) != kStatus_Success ||
        handle->resource->read(handle->phyAddr, enet_phy::kId2, &id2) != kStatus_Success || id1 != 0x001C) {
        return kStatus_Fail;
    }
    // Reset, then auto-negotiation enabled and restarted.
    if (handle->resource->write(handle->phyAddr, enet_phy::kBasicControl, 0x8000) != kStatus_Success) return kStatus_Fail;
    return handle->resource->write(handle->phyAddr, enet_phy::kBasicControl, config->autoNeg ? 0x1340 : 0x0140);
}

status_t rtl8211f_link(phy_handle_t* handle, bool* status) {
    std::uint16_t bmsr = 0;
    const status_t s = handle->resource->read(handle->phyAddr, enet_phy::kBasicStatus, &bmsr);
    *status = s == kStatus_Success && (bmsr & enet_phy::kStatusLinkUp) != 0;
    return s;
}

}  // namespace

extern "C" const phy_operations_t phyrtl8211f_ops = {rtl8211f_init, rtl8211f_link};
