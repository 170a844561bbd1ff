// The Ethernet controllers and the PHY over the TAP device's host half.
#include "platform/enet/enet.h"

#include <atomic>
#include <cstring>

#include "FreeRTOS.h"
#include "platform/enet/tap_host.h"
#include "sim_interrupt.h"

ENET_Type enet_100m_instance{0};
ENET_Type enet_1g_instance{1};

namespace {

std::atomic<enet_handle_t*> rx_handle{nullptr};
std::atomic<bool> smi_ready_100m{false};
std::atomic<bool> smi_ready_1g{false};
std::uint16_t phy_control = 0x1140;  // auto-negotiation enabled, full duplex, 1000 Mbit/s

void receive_interrupt(void*) {
    enet_handle_t* h = rx_handle.load();
    if (h != nullptr && h->callback != nullptr) h->callback(ENET_1G, h, h->userData);
}

// Called by the host reader thread after it queued frames. The reader is
// the interrupt itself: the frames reach the firmware without a hand-off
// through the interrupt thread.
void frames_arrived() {
    vSimInterruptEnter();
    receive_interrupt(nullptr);
    vSimInterruptExit();
}

// Host calls that may take host locks (the ring's mutex, thread creation)
// run where the task is not switched out.
struct NoPreempt {
    NoPreempt() { vSimNoPreemptEnter(); }
    ~NoPreempt() { vSimNoPreemptExit(); }
};

}  // namespace

extern "C" {

void ENET_GetDefaultConfig(enet_config_t* config) {
    config->miiMode = kENET_RgmiiMode;
    config->rxMaxFrameLen = 1518;
}

status_t ENET_Init(ENET_Type* base, enet_handle_t* handle, const enet_config_t* config, const std::uint8_t* macAddr,
                   std::uint32_t srcClock_Hz) {
    if (base == nullptr || handle == nullptr || config == nullptr) return kStatus_InvalidArgument;
    if (base != ENET_1G) return kStatus_Success;  // nothing is wired to the 100 Mbit port
    rx_handle.store(handle);
    NoPreempt np;
    (void)tap_host::open(frames_arrived);
    return kStatus_Success;
}

void ENET_SetCallback(enet_handle_t* handle, enet_callback_t callback, void* userData) {
    handle->callback = callback;
    handle->userData = userData;
}

status_t ENET_GetRxFrameSize(enet_handle_t* handle, std::uint32_t* length) {
    NoPreempt np;
    const std::size_t n = tap_host::peek_length();
    *length = static_cast<std::uint32_t>(n);
    return n == 0 ? kStatus_ENET_RxFrameEmpty : kStatus_Success;
}

status_t ENET_ReadFrame(ENET_Type* base, enet_handle_t* handle, std::uint8_t* data, std::uint32_t length) {
    static std::uint8_t discard[tap_host::kMaxFrame];
    NoPreempt np;
    const std::size_t n = data != nullptr ? tap_host::receive(data, length) : tap_host::receive(discard, sizeof discard);
    return n == 0 ? kStatus_ENET_RxFrameEmpty : kStatus_Success;
}

status_t ENET_SendFrame(ENET_Type* base, enet_handle_t* handle, const std::uint8_t* data, std::uint32_t length) {
    if (length > tap_host::kMaxFrame) return kStatus_ENET_TxFrameOverLen;
    // Without a cable the frame is lost on the wire, as on the board.
    (void)tap_host::send(data, length);
    return kStatus_Success;
}

void ENET_SetSMI(ENET_Type* base, std::uint32_t srcClock_Hz, bool) {
    if (srcClock_Hz == 0) return;
    (base == ENET_1G ? smi_ready_1g : smi_ready_100m).store(true);
}

status_t ENET_MDIOWrite(ENET_Type* base, std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t data) {
    if (base != ENET_1G || !smi_ready_1g.load() || phyAddr != enet_phy::kAddress) return kStatus_Fail;
    if (regAddr == enet_phy::kBasicControl) phy_control = static_cast<std::uint16_t>(data & ~0x8000u);  // reset self-clears
    return kStatus_Success;
}

status_t ENET_MDIORead(ENET_Type* base, std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t* data) {
    if (base != ENET_1G || !smi_ready_1g.load() || phyAddr != enet_phy::kAddress) return kStatus_Fail;
    switch (regAddr) {
        case enet_phy::kBasicControl:
            *data = phy_control;
            break;
        case enet_phy::kBasicStatus: {
            bool up;
            {
                NoPreempt np;
                up = tap_host::link_up();
            }
            *data = static_cast<std::uint16_t>(0x7949 | (up ? enet_phy::kStatusLinkUp | enet_phy::kStatusAutonegComplete : 0));
            break;
        }
        case enet_phy::kId1:
            *data = 0x001C;
            break;
        case enet_phy::kId2:
            *data = 0xC916;
            break;
        case enet_phy::kPhySpecificStatus:
            *data = 0x0028;  // 100 Mbit/s, full duplex
            break;
        default:
            *data = 0;
            break;
    }
    return kStatus_Success;
}

std::uint32_t CLOCK_GetRootClockFreq_Bus(void) { return 240000000u; }
void CLOCK_EnableClock_Enet(void) {}
void CLOCK_EnableClock_Enet1G(void) {}

}  // extern "C"
