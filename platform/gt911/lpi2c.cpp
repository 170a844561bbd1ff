#include "platform/gt911/lpi2c.h"

#include "platform/gt911/gt911_controller.h"

using namespace tarvelo::gt911;

extern "C" {

LPI2C_Type g_lpi2c5 = {5};

std::int32_t BOARD_LPI2C_Send(LPI2C_Type* base, std::uint8_t device_address, std::uint32_t sub_address,
                              std::uint8_t sub_address_size, const std::uint8_t* data, std::uint8_t length) {
    if (base != LPI2C5 || device_address != kGt911Address || sub_address_size != 2) return 1;
    return controller_write(static_cast<std::uint16_t>(sub_address), data, length) ? 0 : 1;
}

std::int32_t BOARD_LPI2C_Receive(LPI2C_Type* base, std::uint8_t device_address, std::uint32_t sub_address,
                                 std::uint8_t sub_address_size, std::uint8_t* data, std::uint8_t length) {
    if (base != LPI2C5 || device_address != kGt911Address || sub_address_size != 2) return 1;
    return controller_read(static_cast<std::uint16_t>(sub_address), data, length) ? 0 : 1;
}

}  // extern "C"
