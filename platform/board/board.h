// Board bring-up of the evaluation board, as stand-ins: each step leaves the
// simulated chip in the state the rest of the firmware expects (console up,
// Ethernet clock and PHY out of reset, display power slice reset).
#pragma once

#include <cstdint>

extern "C" {

void BOARD_ConfigMPU(void);
void BOARD_BootClockRUN(void);
void BOARD_ResetDisplayPowerSlice(void);
void BOARD_InitDebugUartPins(void);
void BOARD_InitMipiPanelPins(void);
void BOARD_InitTouchI2CPins(void);
void BOARD_InitDebugConsole(void);
void BOARD_InitSdCardPins(void);
void BOARD_InitDma(void);
void BOARD_InitRemainingPins(void);
void BOARD_InitModuleClock(void);
void BOARD_InitEnetPins(void);
void IOMUXC_SelectENETClock(void);
void NVIC_SetPriority(int irq, std::uint32_t priority);
std::uint32_t NVIC_GetPriority(int irq);
void NVIC_EnableMask(std::uint32_t iser_index, std::uint32_t mask);
void GPIO_PinWrite(std::uint32_t gpio, std::uint32_t pin, std::uint8_t level);
void SDK_DelayAtLeastUs(std::uint32_t delay_us, std::uint32_t core_clock_hz);
void CRYPTO_InitHardware(void);

// Core clock after BOARD_BootClockRUN.
extern std::uint32_t SystemCoreClock;

}

// The GPIO port that drives the Ethernet PHY's reset line (pin 14).
constexpr std::uint32_t kGpio11 = 11;
