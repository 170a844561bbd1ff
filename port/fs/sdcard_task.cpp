// Until the file natives exist, the SD-card task only takes its place among
// the tasks (with its stack and priority) and ends at once, as it does on
// the board once the card is in service.
#include "port/fs/sdcard_task.h"

#include "FreeRTOS.h"
#include "platform/halt.h"
#include "task.h"

namespace {

constexpr configSTACK_DEPTH_TYPE kStackWords = 512;
constexpr UBaseType_t kPriority = 5;

void APP_SDCARD_Task(void*) { vTaskDelete(nullptr); }

}  // namespace

extern "C" void START_SDCARD_Task(void) {
    if (xTaskCreate(APP_SDCARD_Task, "SDCard Task", kStackWords, nullptr, kPriority, nullptr) != pdPASS)
        platform_halt(TARVELO_EXIT_HALTED);
}
