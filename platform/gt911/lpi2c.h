// The I2C master the touch controller hangs on (LPI2C5): transfers with a
// sub-address, status 0 on success, 1 when the device does not answer.
#pragma once

#include <cstdint>

extern "C" {

struct LPI2C_Type {
    std::uint32_t instance;
};
extern LPI2C_Type g_lpi2c5;
#define LPI2C5 (&g_lpi2c5)

std::int32_t BOARD_LPI2C_Send(LPI2C_Type* base, std::uint8_t device_address, std::uint32_t sub_address,
                              std::uint8_t sub_address_size, const std::uint8_t* data, std::uint8_t length);
std::int32_t BOARD_LPI2C_Receive(LPI2C_Type* base, std::uint8_t device_address, std::uint32_t sub_address,
                                 std::uint8_t sub_address_size, std::uint8_t* data, std::uint8_t length);

}  // extern "C"
