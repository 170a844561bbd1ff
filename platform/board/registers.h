// The few chip registers the firmware touches, simulated as a small register
// file so that bring-up code and register reads behave as on the board.
#pragma once

#include <cstdint>

namespace sim_registers {

// Addresses of the simulated registers.
constexpr std::uint32_t kAnadigMisc = 0x40C84800;     // silicon revision in the low byte
constexpr std::uint32_t kIomuxcGpr5 = 0x400E4014;     // bit 2: ENET_1G RGMII clock
constexpr std::uint32_t kIomuxcGpr28 = 0x400E4070;    // bit 1 cleared at start-up
constexpr std::uint32_t kNvicIser0 = 0xE000E100;      // interrupt set-enable registers 0..7, 4 bytes apart
constexpr std::uint32_t kNvicIser4 = kNvicIser0 + 16;
constexpr std::uint32_t kGpio11Dr = 0x40C0C000;       // GPIO11 data register (pin 14: PHY reset)
constexpr std::uint32_t kSrcSlice1Ctrl = 0x40C04240;  // display power slice: software reset
constexpr std::uint32_t kCcmEnetRoot = 0x40CC0A80;    // Ethernet root clock: mux and divider
constexpr std::uint32_t kCcmGpu2dRoot = 0x40CC1E00;   // 2D GPU root clock: mux (bits 8-10) and divider - 1
constexpr std::uint32_t kCcmGpu2dGate = 0x40CC6C00;   // 2D GPU clock gate: bit 0 on
constexpr std::uint32_t kCcmGpu2dGateStatus = 0x40CC6C04;  // bit 0: the gate is on

// The value the board reports in its silicon-revision register.
constexpr std::uint32_t kSiliconRevision = 0x000000A1;

std::uint32_t read(std::uint32_t address);
void write(std::uint32_t address, std::uint32_t value);
void set_bits(std::uint32_t address, std::uint32_t mask);
void clear_bits(std::uint32_t address, std::uint32_t mask);

}  // namespace sim_registers
