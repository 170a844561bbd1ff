#include "port/display/touch_manager.h"

#include "FreeRTOS.h"
#include "graphics/display/event_queue.h"
#include "platform/board/board.h"
#include "platform/board/debug_console.h"
#include "platform/board/registers.h"
#include "platform/gt911/fast_gpio.h"
#include "platform/gt911/lpi2c.h"
#include "platform/halt.h"
#include "port/display/touch_helper.h"
#include "semphr.h"
#include "task.h"
#include "vm/core/port/os_port.h"

namespace tarvelo::display {

namespace {

constexpr std::uint32_t kIntBit = 1u << 31;

SemaphoreHandle_t g_sem_input = nullptr;
SemaphoreHandle_t touch_interrupt_sem = nullptr;
gt911_handle_t s_touchHandle;
const gt911_config_t s_touchConfig = {
    BOARD_MIPIPanelTouch_I2C_Send,
    BOARD_MIPIPanelTouch_I2C_Receive,
    custom_time_delay,
    BOARD_ConfigMIPIPanelTouchIntPin,
    BOARD_PullMIPIPanelTouchResetPin,
    1,  // touch points
    2,  // I2C address mode
    0,  // interrupt trigger mode
};

void __touch_manager_task(void*) {
    for (;;) {
        xSemaphoreTake(touch_interrupt_sem, portMAX_DELAY);
        int x = 0, y = 0;
        status_t status;
        for (;;) {
            vTaskDelay(kTouchPollTicks);
            status = GT911_GetSingleTouch(&s_touchHandle, &x, &y);
            if (status != 0) break;
            TOUCH_HELPER_pressed(x, y);
        }
        // An error ends the polling without a release: the press stays
        // current and the next touch continues it.
        if (status == kStatus_TOUCHPANEL_NotTouched) TOUCH_HELPER_released();
        GPIO_PortEnableInterrupts(GPIO2, kIntBit);
    }
}

}  // namespace

void reset_touch_input() {
    g_sem_input = nullptr;
    touch_interrupt_sem = nullptr;
}

}  // namespace tarvelo::display

using namespace tarvelo::display;

extern "C" {

std::int32_t LLUI_INPUT_IMPL_initialize(void) {
    g_sem_input = xSemaphoreCreateBinary();
    if (g_sem_input == nullptr) {
        // Without the section the touch and display tasks would write the
        // event ring while the application reads it.
        DbgConsole_Printf("Input critical section initialization failed\r\n");
        platform_halt(TARVELO_EXIT_HALTED);
    }
    xSemaphoreGive(g_sem_input);
    TOUCH_MANAGER_initialize();
    return 0;
}

void LLUI_INPUT_IMPL_enterCriticalSection(void) {
    if (interrupt_is_in() || g_sem_input == nullptr) return;
    xSemaphoreTake(g_sem_input, portMAX_DELAY);
}

void LLUI_INPUT_IMPL_leaveCriticalSection(void) {
    if (interrupt_is_in() || g_sem_input == nullptr) return;
    xSemaphoreGive(g_sem_input);
}

void TOUCH_MANAGER_initialize(void) {
    reset_touch_filter();
    BOARD_PullMIPIPanelTouchResetPin(false);
    BOARD_ConfigMIPIPanelTouchIntPin(kGT911_IntPinPullDown);
    const status_t status = GT911_Init(&s_touchHandle, &s_touchConfig);
    sim_registers::write(kTouchIntPadMux, kTouchIntPadMuxValue);
    if (status != 0) {
        DbgConsole_Printf("Touch IC initialization failed waiting\r\n");
        platform_halt(TARVELO_EXIT_HALTED);
    }
    touch_interrupt_sem = xSemaphoreCreateBinary();
    if (touch_interrupt_sem == nullptr) {
        // The task would never learn of a touch: the system runs without
        // touch input, as when the task cannot be created.
        DbgConsole_Printf("Touch task initialization failed\r\n");
        return;
    }
    NVIC_SetPriority(GPIO2_GPIO3_IRQn, 0x20);  // priority 2 of 16
    NVIC_EnableMask(GPIO2_GPIO3_IRQn / 32, 1u << (GPIO2_GPIO3_IRQn % 32));
    const gpio_pin_config_t int_config = {kGPIO_DigitalInput, 0, kGPIO_IntRisingEdge};
    GPIO_PinInit(GPIO2, 31, &int_config);
    GPIO_PortEnableInterrupts(GPIO2, 1u << 31);
    if (xTaskCreate(__touch_manager_task, kTouchTaskName, kTouchTaskStackWords, nullptr, kTouchTaskPriority,
                    nullptr) != pdPASS)
        DbgConsole_Printf("Touch task initialization failed\r\n");
}

void TOUCH_MANAGER_interrupt(void) {
    if ((GPIO_PortGetInterruptFlags(GPIO2) & (1u << 31)) == 0) return;
    GPIO_PortDisableInterrupts(GPIO2, 1u << 31);
    GPIO_PortClearInterruptFlags(GPIO2, 1u << 31);
    BaseType_t woken = pdFALSE;
    xSemaphoreGiveFromISR(touch_interrupt_sem, &woken);
    portYIELD_FROM_ISR(woken);
}

void CM7_GPIO2_3_IRQHandler(void) { TOUCH_MANAGER_interrupt(); }

void BOARD_PullMIPIPanelTouchResetPin(bool pull_up) {
    const gpio_pin_config_t config = {kGPIO_DigitalOutput, static_cast<std::uint8_t>(pull_up ? 1 : 0),
                                      kGPIO_NoIntmode};
    GPIO_PinInit(GPIO9, 0, &config);
}

void BOARD_ConfigMIPIPanelTouchIntPin(gt911_int_pin_mode_t mode) {
    if (mode == kGT911_IntPinInput) {
        const gpio_pin_config_t config = {kGPIO_DigitalInput, 0, kGPIO_NoIntmode};
        GPIO_PinInit(GPIO8, 31, &config);
        return;
    }
    const gpio_pin_config_t config = {kGPIO_DigitalOutput,
                                      static_cast<std::uint8_t>(mode == kGT911_IntPinPullUp ? 1 : 0),
                                      kGPIO_NoIntmode};
    GPIO_PinInit(GPIO8, 31, &config);
}

void custom_time_delay(std::uint32_t ms) {
    // The tick is 5 ms; at least one tick.
    TickType_t ticks = static_cast<TickType_t>(static_cast<std::uint64_t>(ms) * configTICK_RATE_HZ / 1000);
    vTaskDelay(ticks == 0 ? 1 : ticks);
}

status_t BOARD_MIPIPanelTouch_I2C_Send(std::uint8_t device_address, std::uint32_t sub_address,
                                       std::uint8_t sub_address_size, const std::uint8_t* data, std::uint8_t length) {
    return BOARD_LPI2C_Send(LPI2C5, device_address, sub_address, sub_address_size, data, length);
}

status_t BOARD_MIPIPanelTouch_I2C_Receive(std::uint8_t device_address, std::uint32_t sub_address,
                                          std::uint8_t sub_address_size, std::uint8_t* data, std::uint8_t length) {
    return BOARD_LPI2C_Receive(LPI2C5, device_address, sub_address, sub_address_size, data, length);
}

}  // extern "C"
