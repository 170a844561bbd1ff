// The SD host: card detection over the card's directory. The detect line is
// sampled every 100 ms (a software timer stands for its interrupt) until the
// card is in; the SD-card task needs no more, since it mounts the card once.
#include "platform/sdmmc/sd_host.h"

#include "FreeRTOS.h"
#include "platform/sdmmc/card_directory.h"
#include "timers.h"

sd_card_t g_sd;

namespace {

constexpr TickType_t kDetectPeriodTicks = 20;

void sample(sd_card_t* card) {
    const bool in = tarvelo::sdcard::present();
    if (in == card->inserted) return;
    card->inserted = in;
    if (card->cardDetect != nullptr) card->cardDetect(in, card->userData);
    if (in && card->detectTimer != nullptr) xTimerStop(static_cast<TimerHandle_t>(card->detectTimer), 0);
}

void detect_timer(TimerHandle_t timer) { sample(static_cast<sd_card_t*>(pvTimerGetTimerID(timer))); }

}  // namespace

extern "C" {

void BOARD_SD_Config(sd_card_t* card, sd_cd_t cd, uint32_t hostIrqPriority, void* userData) {
    if (card == nullptr) return;
    card->cardDetect = cd;
    card->userData = userData;
    card->hostIrqPriority = hostIrqPriority;
}

status_t SD_HostInit(sd_card_t* card) {
    if (card == nullptr) return kStatus_Fail;
    card->inserted = false;
    card->isHostReady = true;
    sample(card);
    if (!card->inserted) {
        TimerHandle_t timer = xTimerCreate("SD detect", kDetectPeriodTicks, pdTRUE, card, detect_timer);
        if (timer == nullptr) return kStatus_Fail;
        card->detectTimer = timer;
        xTimerStart(timer, 0);
    }
    return kStatus_Success;
}

void SD_SetCardPower(sd_card_t* card, bool enable) {
    if (card != nullptr) card->powered = enable;
}

bool SD_IsCardPresent(sd_card_t* card) { return tarvelo::sdcard::present(); }

}  // extern "C"
