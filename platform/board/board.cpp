#include "platform/board/board.h"

#include <time.h>

#include "platform/board/registers.h"
#include "FreeRTOS.h"
#include "sim_clock.h"
#include "task.h"

using namespace sim_registers;

std::uint32_t SystemCoreClock = 0;

namespace {
std::uint32_t nvic_priority[256];
}

// Memory protection, clocks and pin multiplexing have no effect on the host;
// what the firmware later relies on is only that they have run.
void BOARD_ConfigMPU(void) {}
void BOARD_BootClockRUN(void) { SystemCoreClock = 996000000; }
void BOARD_InitDebugUartPins(void) {}
void BOARD_InitMipiPanelPins(void) {}
void BOARD_InitTouchI2CPins(void) {}
void BOARD_InitDebugConsole(void) {}
void BOARD_InitSdCardPins(void) {}
void BOARD_InitRemainingPins(void) {}
void BOARD_InitEnetPins(void) {}
void CRYPTO_InitHardware(void) {}

// Eight-channel DMA with the default configuration; nothing to simulate.
void BOARD_InitDma(void) {}

void BOARD_ResetDisplayPowerSlice(void) {
    // Request the slice reset, then wait while the slice reports it in
    // progress; the simulated slice completes at once.
    set_bits(kSrcSlice1Ctrl, 1u);
    while (read(kSrcSlice1Ctrl) & 0x80000000u) {
    }
    clear_bits(kSrcSlice1Ctrl, 1u);
}

void BOARD_InitModuleClock(void) {
    // System PLL1 with its divide-by-2 output, Ethernet root clock mux 4,
    // divider field 3.
    write(kCcmEnetRoot, (4u << 8) | 3u);
}

void IOMUXC_SelectENETClock(void) { set_bits(kIomuxcGpr5, 1u << 2); }

void NVIC_SetPriority(int irq, std::uint32_t priority) {
    if (irq >= 0 && irq < 256) nvic_priority[irq] = priority;
}

std::uint32_t NVIC_GetPriority(int irq) { return irq >= 0 && irq < 256 ? nvic_priority[irq] : 0; }

void NVIC_EnableMask(std::uint32_t iser_index, std::uint32_t mask) {
    if (iser_index < 8) set_bits(kNvicIser0 + 4 * iser_index, mask);
}

void GPIO_PinWrite(std::uint32_t gpio, std::uint32_t pin, std::uint8_t level) {
    if (gpio != kGpio11) return;
    if (level)
        set_bits(kGpio11Dr, 1u << pin);
    else
        clear_bits(kGpio11Dr, 1u << pin);
}

// A busy wait of the device. It follows the chosen clock: with the real
// clock it takes real time; with the fast and virtual clocks it takes none,
// and once the scheduler runs it moves the tick count by the whole ticks it
// stands for, so that time measured across it still sees them pass.
void SDK_DelayAtLeastUs(std::uint32_t delay_us, std::uint32_t) {
    if (eSimGetClockMode() != eSimClockReal) {
        if (xTaskGetSchedulerState() != taskSCHEDULER_NOT_STARTED)
            vSimAdvanceTicks(delay_us / (1000u * portTICK_PERIOD_MS));
        return;
    }
    timespec ts{static_cast<time_t>(delay_us / 1000000), static_cast<long>(delay_us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0) {
    }
}
