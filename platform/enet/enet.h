// The Ethernet controllers of the chip and their PHY, as stand-ins: the
// 100 Mbit controller (ENET) and the gigabit controller (ENET_1G) with the
// calls the firmware makes of the vendor's driver. The gigabit controller
// carries the frames of the TAP device (platform/enet/tap_host.h); its MDIO
// bus reaches an RTL8211F PHY at address 1 whose link is up while the TAP
// interface is up. The 100 Mbit controller has nothing attached.
#pragma once

#include <cstdint>

extern "C" {

typedef std::int32_t status_t;
enum {
    kStatus_Success = 0,
    kStatus_Fail = 1,
    kStatus_InvalidArgument = 4,
    kStatus_ENET_RxFrameError = 4000,
    kStatus_ENET_RxFrameFail = 4001,
    kStatus_ENET_RxFrameEmpty = 4002,
    kStatus_ENET_TxFrameOverLen = 4005,
    kStatus_ENET_TxFrameBusy = 4006,
};

typedef struct ENET_Type {
    std::uint32_t id;
} ENET_Type;
extern ENET_Type enet_100m_instance;
extern ENET_Type enet_1g_instance;
#define ENET (&enet_100m_instance)
#define ENET_1G (&enet_1g_instance)

// Media-independent interface modes.
typedef enum { kENET_MiiMode = 0, kENET_RmiiMode = 1, kENET_RgmiiMode = 2 } enet_mii_mode_t;

typedef struct enet_config {
    enet_mii_mode_t miiMode;
    std::uint32_t rxMaxFrameLen;
} enet_config_t;

struct enet_handle;
typedef void (*enet_callback_t)(ENET_Type* base, struct enet_handle* handle, void* userData);
typedef struct enet_handle {
    enet_callback_t callback;
    void* userData;
} enet_handle_t;

void ENET_GetDefaultConfig(enet_config_t* config);
// Starts the controller with its MAC address; frames received afterwards
// call the handle's callback from the receive interrupt.
status_t ENET_Init(ENET_Type* base, enet_handle_t* handle, const enet_config_t* config, const std::uint8_t* macAddr,
                   std::uint32_t srcClock_Hz);
void ENET_SetCallback(enet_handle_t* handle, enet_callback_t callback, void* userData);
status_t ENET_GetRxFrameSize(enet_handle_t* handle, std::uint32_t* length);
// Copies the next frame into `data` (null drops it).
status_t ENET_ReadFrame(ENET_Type* base, enet_handle_t* handle, std::uint8_t* data, std::uint32_t length);
status_t ENET_SendFrame(ENET_Type* base, enet_handle_t* handle, const std::uint8_t* data, std::uint32_t length);

// Serial management interface (MDIO) of a controller.
void ENET_SetSMI(ENET_Type* base, std::uint32_t srcClock_Hz, bool isPreambleDisabled);
status_t ENET_MDIOWrite(ENET_Type* base, std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t data);
status_t ENET_MDIORead(ENET_Type* base, std::uint8_t phyAddr, std::uint8_t regAddr, std::uint16_t* data);

// Clock of the Ethernet bus root, in Hz.
std::uint32_t CLOCK_GetRootClockFreq_Bus(void);
// Clock gates of the two controllers.
void CLOCK_EnableClock_Enet(void);
void CLOCK_EnableClock_Enet1G(void);

}

// PHY registers of the simulated RTL8211F.
namespace enet_phy {
constexpr std::uint8_t kAddress = 1;
constexpr std::uint8_t kBasicControl = 0x00;
constexpr std::uint8_t kBasicStatus = 0x01;
constexpr std::uint8_t kId1 = 0x02;
constexpr std::uint8_t kId2 = 0x03;
constexpr std::uint8_t kPhySpecificStatus = 0x1A;
constexpr std::uint16_t kStatusLinkUp = 0x0004;
constexpr std::uint16_t kStatusAutonegComplete = 0x0020;
}  // namespace enet_phy
