// The GPIO ports the touch panel uses: pin directions and levels, and, for
// the fast port GPIO2, the edge-interrupt logic (mode per pin, mask,
// write-1-to-clear status) behind interrupt 99, whose handler is
// CM7_GPIO2_3_IRQHandler. A pin's edge latches its status bit whatever the
// mask; the interrupt is raised while a status bit is set and unmasked.
#pragma once

#include <atomic>
#include <cstdint>

extern "C" {

struct GPIO_Type {
    std::atomic<std::uint32_t> DR;    // output levels
    std::atomic<std::uint32_t> GDIR;  // 1: output
    std::atomic<std::uint32_t> IMR;   // interrupt mask (1: enabled)
    std::atomic<std::uint32_t> ISR;   // interrupt status (write 1 to clear)
    std::atomic<std::uint32_t> ICR[32];
};

enum gpio_pin_direction_t : std::uint8_t { kGPIO_DigitalInput = 0, kGPIO_DigitalOutput = 1 };
enum gpio_interrupt_mode_t : std::uint8_t {
    kGPIO_NoIntmode = 0,
    kGPIO_IntLowLevel = 1,
    kGPIO_IntHighLevel = 2,
    kGPIO_IntRisingEdge = 3,
    kGPIO_IntFallingEdge = 4,
    kGPIO_IntRisingOrFallingEdge = 5,
};
struct gpio_pin_config_t {
    gpio_pin_direction_t direction;
    std::uint8_t outputLogic;
    gpio_interrupt_mode_t interruptMode;
};

extern GPIO_Type g_gpio2;
extern GPIO_Type g_gpio8;
extern GPIO_Type g_gpio9;

inline constexpr int GPIO2_GPIO3_IRQn = 99;

void GPIO_PinInit(GPIO_Type* base, std::uint32_t pin, const gpio_pin_config_t* config);
void GPIO_PortSet(GPIO_Type* base, std::uint32_t mask);
void GPIO_PortClear(GPIO_Type* base, std::uint32_t mask);
void GPIO_SetPinInterruptConfig(GPIO_Type* base, std::uint32_t pin, gpio_interrupt_mode_t mode);
void GPIO_PortEnableInterrupts(GPIO_Type* base, std::uint32_t mask);
void GPIO_PortDisableInterrupts(GPIO_Type* base, std::uint32_t mask);
std::uint32_t GPIO_PortGetInterruptFlags(GPIO_Type* base);
void GPIO_PortClearInterruptFlags(GPIO_Type* base, std::uint32_t mask);

// The handler of interrupt 99 (fast GPIO2 and GPIO3); the touch port
// defines it.
void CM7_GPIO2_3_IRQHandler(void);

}  // extern "C"

#define GPIO2 (&g_gpio2)
#define GPIO8 (&g_gpio8)
#define GPIO9 (&g_gpio9)

namespace tarvelo::gt911 {

// An input edge on a pin of GPIO2 (the wire from a device): latches the
// status bit when the pin's mode asks for it and raises the interrupt if
// unmasked. Any host thread or task.
void gpio2_input_edge(std::uint32_t pin, bool rising);
// Forgets every pin (tests).
void reset_gpio();

}  // namespace tarvelo::gt911
