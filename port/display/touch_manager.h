// Touch input: the input critical section of the engine's event ring, the
// touch controller's start-up, its interrupt line, and the "Touch screen
// task" that polls the controller while a finger is down.
#pragma once

#include <cstdint>

#include "platform/gt911/gt911.h"

extern "C" {

void TOUCH_MANAGER_initialize(void);
void TOUCH_MANAGER_interrupt(void);

// Board hooks of the controller's driver.
void BOARD_PullMIPIPanelTouchResetPin(bool pull_up);
void BOARD_ConfigMIPIPanelTouchIntPin(gt911_int_pin_mode_t mode);
void custom_time_delay(std::uint32_t ms);
status_t BOARD_MIPIPanelTouch_I2C_Send(std::uint8_t device_address, std::uint32_t sub_address,
                                       std::uint8_t sub_address_size, const std::uint8_t* data, std::uint8_t length);
status_t BOARD_MIPIPanelTouch_I2C_Receive(std::uint8_t device_address, std::uint32_t sub_address,
                                          std::uint8_t sub_address_size, std::uint8_t* data, std::uint8_t length);

}  // extern "C"

namespace tarvelo::display {

inline constexpr const char* kTouchTaskName = "Touch screen task";
inline constexpr std::uint32_t kTouchTaskStackWords = 256;
inline constexpr std::uint32_t kTouchTaskPriority = 5;
inline constexpr std::uint32_t kTouchPollTicks = 3;
inline constexpr std::uint32_t kTouchIntPadMuxValue = 0x15;
// The interrupt pad's multiplexer register.
inline constexpr std::uint32_t kTouchIntPadMux = 0x400E8178;

// Forgets the semaphores of an earlier scheduler run (tests start one per
// case): input is then unguarded until LLUI_INPUT_IMPL_initialize.
void reset_touch_input();

}  // namespace tarvelo::display
