#include "platform/gt911/fast_gpio.h"

#include "sim_interrupt.h"

extern "C" {

GPIO_Type g_gpio2;
GPIO_Type g_gpio8;
GPIO_Type g_gpio9;

}  // extern "C"

namespace tarvelo::gt911 {

namespace {

void irq99(void*) { CM7_GPIO2_3_IRQHandler(); }

void raise_if_pending(GPIO_Type* base) {
    if (base == GPIO2 && (base->ISR.load() & base->IMR.load()) != 0) vSimRaiseInterrupt(irq99, nullptr);
}

}  // namespace

void gpio2_input_edge(std::uint32_t pin, bool rising) {
    if (pin > 31) return;
    const auto mode = static_cast<gpio_interrupt_mode_t>(GPIO2->ICR[pin].load());
    const bool latch = (mode == kGPIO_IntRisingEdge && rising) || (mode == kGPIO_IntFallingEdge && !rising) ||
                       mode == kGPIO_IntRisingOrFallingEdge;
    if (!latch) return;
    GPIO2->ISR |= 1u << pin;
    raise_if_pending(GPIO2);
}

void reset_gpio() {
    for (GPIO_Type* g : {GPIO2, GPIO8, GPIO9}) {
        g->DR = 0;
        g->GDIR = 0;
        g->IMR = 0;
        g->ISR = 0;
        for (auto& icr : g->ICR) icr = 0;
    }
}

}  // namespace tarvelo::gt911

extern "C" {

// No touch handler in this firmware: the line's interrupts stay masked.
__attribute__((weak)) void CM7_GPIO2_3_IRQHandler(void) { GPIO2->IMR = 0; }

void GPIO_PinInit(GPIO_Type* base, std::uint32_t pin, const gpio_pin_config_t* config) {
    if (pin > 31) return;
    const std::uint32_t bit = 1u << pin;
    base->IMR &= ~bit;
    if (config->direction == kGPIO_DigitalOutput) {
        base->GDIR |= bit;
        if (config->outputLogic) base->DR |= bit;
        else base->DR &= ~bit;
    } else {
        base->GDIR &= ~bit;
    }
    base->ICR[pin] = config->interruptMode;
}

void GPIO_PortSet(GPIO_Type* base, std::uint32_t mask) { base->DR |= mask; }
void GPIO_PortClear(GPIO_Type* base, std::uint32_t mask) { base->DR &= ~mask; }

void GPIO_SetPinInterruptConfig(GPIO_Type* base, std::uint32_t pin, gpio_interrupt_mode_t mode) {
    if (pin <= 31) base->ICR[pin] = mode;
}

void GPIO_PortEnableInterrupts(GPIO_Type* base, std::uint32_t mask) {
    base->IMR |= mask;
    tarvelo::gt911::raise_if_pending(base);
}

void GPIO_PortDisableInterrupts(GPIO_Type* base, std::uint32_t mask) { base->IMR &= ~mask; }
std::uint32_t GPIO_PortGetInterruptFlags(GPIO_Type* base) { return base->ISR.load(); }
void GPIO_PortClearInterruptFlags(GPIO_Type* base, std::uint32_t mask) { base->ISR &= ~mask; }

}  // extern "C"
