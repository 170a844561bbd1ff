#include "platform/gt911/gt911.h"

#include <cstring>

#include "platform/fbdev/window.h"
#include "platform/gt911/gt911_controller.h"

using namespace tarvelo::gt911;

extern "C" {

status_t GT911_Init(gt911_handle_t* handle, const gt911_config_t* config) {
    if (handle == nullptr || config == nullptr || config->I2C_ReceiveFunc == nullptr ||
        config->I2C_SendFunc == nullptr)
        return kStatus_GT911_Fail;
    std::memset(handle, 0, sizeof *handle);
    handle->I2C_SendFunc = config->I2C_SendFunc;
    handle->I2C_ReceiveFunc = config->I2C_ReceiveFunc;
    handle->deviceAddress = kGt911Address;
    // Reset with the interrupt line low selects the address; the line is
    // then released to the controller.
    if (config->pullResetPinFunc != nullptr) config->pullResetPinFunc(false);
    if (config->intPinFunc != nullptr) config->intPinFunc(kGT911_IntPinPullDown);
    if (config->timeDelayMsFunc != nullptr) config->timeDelayMsFunc(1);
    if (config->pullResetPinFunc != nullptr) config->pullResetPinFunc(true);
    if (config->timeDelayMsFunc != nullptr) config->timeDelayMsFunc(10);
    if (config->intPinFunc != nullptr) config->intPinFunc(kGT911_IntPinInput);
    if (config->timeDelayMsFunc != nullptr) config->timeDelayMsFunc(50);

    std::uint8_t id[10];
    if (handle->I2C_ReceiveFunc(handle->deviceAddress, kRegProductId, 2, id, sizeof id) != 0)
        return kStatus_GT911_Fail;
    if (std::memcmp(id, "911", 3) != 0) return kStatus_GT911_NotFound;
    handle->resolutionX = static_cast<std::uint16_t>(id[6] | (id[7] << 8));
    handle->resolutionY = static_cast<std::uint16_t>(id[8] | (id[9] << 8));
    // The finger: a script named by the environment, or the window's mouse.
    load_script_from_environment();
    tarvelo::fbdev::set_pointer_sink(set_live_touch);
    start_controller();
    return 0;
}

status_t GT911_GetSingleTouch(gt911_handle_t* handle, int* touch_x, int* touch_y) {
    std::uint8_t report[9];  // status, then the first point
    if (handle->I2C_ReceiveFunc(handle->deviceAddress, kRegStatus, 2, report, sizeof report) != 0)
        return kStatus_GT911_Fail;
    const std::uint8_t clear = 0;
    if (handle->I2C_SendFunc(handle->deviceAddress, kRegStatus, 2, &clear, 1) != 0) return kStatus_GT911_Fail;
    if ((report[0] & 0x80) == 0 || (report[0] & 0x0F) == 0) return kStatus_TOUCHPANEL_NotTouched;
    *touch_x = report[2] | (report[3] << 8);
    *touch_y = report[4] | (report[5] << 8);
    return 0;
}

status_t GT911_GetResolution(gt911_handle_t* handle, int* resolution_x, int* resolution_y) {
    *resolution_x = handle->resolutionX;
    *resolution_y = handle->resolutionY;
    return 0;
}

}  // extern "C"
