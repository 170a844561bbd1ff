#include "port/fs/sdcard_task.h"

#include <atomic>

#include "FreeRTOS.h"
#include "platform/board/debug_console.h"
#include "platform/fatfs/ff.h"
#include "platform/halt.h"
#include "platform/sdmmc/sd_host.h"
#include "task.h"

namespace {

constexpr configSTACK_DEPTH_TYPE kStackWords = 512;
constexpr UBaseType_t kPriority = 5;
constexpr std::uint32_t kHostIrqPriority = 5;
constexpr TickType_t kSettleTicks = 20;
constexpr TickType_t kPollTicks = 100;    // 500 ms
constexpr TickType_t kReadyPollTicks = 200;  // 1 s
constexpr const char* kDrive = "2:/";

// Set by the card-detect callback, read by the task.
std::atomic<std::uint8_t> card_inserted{0};
// Set once by the task, read by the application task.
std::atomic<std::uint8_t> card_ready{0};
FATFS fileSystem;

void APP_SDCARD_Task(void*) {
    BOARD_SD_Config(&g_sd, SDCARD_detect_callback, kHostIrqPriority, nullptr);
    if (SD_HostInit(&g_sd) != kStatus_Success) {
        DbgConsole_Printf("[SD Card][ERROR] ");
        DbgConsole_Printf("SD host init failed.\n");
        vTaskDelete(nullptr);
    }
    vTaskDelay(kSettleTicks);
    for (;;) {
        if (card_ready.load() == 0 && card_inserted.load() != 0) {
            SD_SetCardPower(&g_sd, false);
            SD_SetCardPower(&g_sd, true);
            if (f_mount(&fileSystem, kDrive, 0) == FR_OK && f_chdrive(kDrive) == FR_OK) {
                card_ready.store(1);
                vTaskDelete(nullptr);
            }
        }
        vTaskDelay(kPollTicks);
    }
}

}  // namespace

extern "C" void SDCARD_detect_callback(bool inserted, void*) { card_inserted.store(inserted ? 1 : 0); }

extern "C" std::int32_t SDCARD_waitCardReady(void) {
    while (card_ready.load() == 0) vTaskDelay(kReadyPollTicks);
    return 1;
}

extern "C" void START_SDCARD_Task(void) {
    card_inserted.store(0);
    card_ready.store(0);
    if (xTaskCreate(APP_SDCARD_Task, "SDCard Task", kStackWords, nullptr, kPriority, nullptr) != pdPASS)
        platform_halt(TARVELO_EXIT_HALTED);
}
