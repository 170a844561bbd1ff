// The touch controller's driver: start-up (reset and address selection
// through the reset and interrupt lines, then the product id over I2C) and
// the single-touch read. Status 0 is success; a read without a finger
// answers kStatus_TOUCHPANEL_NotTouched.
#pragma once

#include <cstdint>

extern "C" {

typedef std::int32_t status_t;

inline constexpr status_t kStatus_TOUCHPANEL_NotTouched = 10600;
inline constexpr status_t kStatus_GT911_Fail = 1;
inline constexpr status_t kStatus_GT911_NotFound = 2;

enum gt911_int_pin_mode_t : std::uint8_t {
    kGT911_IntPinPullDown = 0,
    kGT911_IntPinPullUp = 1,
    kGT911_IntPinInput = 2,
};

typedef status_t (*gt911_i2c_send_func_t)(std::uint8_t device_address, std::uint32_t sub_address,
                                          std::uint8_t sub_address_size, const std::uint8_t* data,
                                          std::uint8_t length);
typedef status_t (*gt911_i2c_receive_func_t)(std::uint8_t device_address, std::uint32_t sub_address,
                                             std::uint8_t sub_address_size, std::uint8_t* data, std::uint8_t length);

struct gt911_config_t {
    gt911_i2c_send_func_t I2C_SendFunc;
    gt911_i2c_receive_func_t I2C_ReceiveFunc;
    void (*timeDelayMsFunc)(std::uint32_t ms);
    void (*intPinFunc)(gt911_int_pin_mode_t mode);
    void (*pullResetPinFunc)(bool pullUp);
    std::uint8_t touchPointNum;
    std::uint8_t i2cAddrMode;
    std::uint8_t intTrigMode;
};

struct gt911_handle_t {
    gt911_i2c_send_func_t I2C_SendFunc;
    gt911_i2c_receive_func_t I2C_ReceiveFunc;
    std::uint8_t deviceAddress;
    std::uint16_t resolutionX;
    std::uint16_t resolutionY;
};

status_t GT911_Init(gt911_handle_t* handle, const gt911_config_t* config);
status_t GT911_GetSingleTouch(gt911_handle_t* handle, int* touch_x, int* touch_y);
status_t GT911_GetResolution(gt911_handle_t* handle, int* resolution_x, int* resolution_y);

}  // extern "C"
