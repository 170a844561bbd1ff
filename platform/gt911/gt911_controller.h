// The panel's touch controller as a device on the I2C bus: a few registers
// (product id, resolution, touch status and the first point) answering what
// the finger does, from a script of timed samples or the live mouse. While
// touched it pulses its interrupt line, a rising edge on fast GPIO2 pin 31:
// at every scripted press and move, at every mouse report, and at its report
// rate (every kReportTicks) while the finger stays down, once more when it
// lifts.
#pragma once

#include <cstdint>
#include <vector>

#include "FreeRTOS.h"
#include "platform/gt911/touch_script.h"

namespace tarvelo::gt911 {

inline constexpr std::uint8_t kGt911Address = 0x5D;
inline constexpr std::uint32_t kIntPin = 31;  // fast GPIO2 pin of the interrupt line
inline constexpr TickType_t kReportTicks = 2;  // 10 ms: the controller's report rate, 100 Hz

// Registers (16-bit sub-addresses).
inline constexpr std::uint16_t kRegProductId = 0x8140;  // "911\0"
inline constexpr std::uint16_t kRegResolution = 0x8146;  // x then y, 16-bit little-endian
inline constexpr std::uint16_t kRegStatus = 0x814E;      // bit 7 buffer ready, low bits touch count
inline constexpr std::uint16_t kRegPoint1 = 0x814F;      // id, x, y (16-bit little-endian), size

// Plays `samples`, their times counted from the controller's start;
// empties any earlier script.
void use_script(std::vector<Sample> samples);
// The script named by TARVELO_TOUCH_SCRIPT, if any: false (and a message)
// when the file cannot be read or is malformed.
bool load_script_from_environment();
// Whether a script with samples plays.
bool script_given();
// The RTOS tick of the script's last sample; false without a script.
bool script_end(TickType_t* tick);
// Live input (the window's mouse), clamped to the panel; a touch also
// pulses the line.
void set_live_touch(bool touched, std::int32_t x, std::int32_t y);
struct LiveTouch {
    bool used;                // live input has been reported
    bool touched;             // the finger is down now
    TickType_t last_report;   // RTOS tick of the last report
};
LiveTouch live_touch();
// The controller's next bus transfer fails.
void inject_bus_error();
// Starts pulsing the line for the scripted samples (at controller start-up,
// with the scheduler running).
void start_controller();
// Everything back to no finger, no script (tests).
void reset_controller();

// Bus transfers of the controller (the I2C master calls these); false when
// the transfer fails.
bool controller_read(std::uint16_t sub_address, std::uint8_t* data, std::uint32_t length);
bool controller_write(std::uint16_t sub_address, const std::uint8_t* data, std::uint32_t length);

}  // namespace tarvelo::gt911
