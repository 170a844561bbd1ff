/* The SD host controller and card as the SD-card task drives them: board
 * configuration with a card-detect callback, host start, card power. On
 * the host the card is a directory (platform/sdmmc/card_directory.h): it is
 * in while the directory exists. */
#ifndef TARVELO_SD_HOST_H
#define TARVELO_SD_HOST_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t status_t;
#define kStatus_Success 0
#define kStatus_Fail 1

/* Called with the card's state when it changes (and once at host start
 * when the card is in), as the card-detect interrupt does. */
typedef void (*sd_cd_t)(bool inserted, void* userData);

typedef struct {
    sd_cd_t cardDetect;
    void* userData;
    uint32_t hostIrqPriority;
    bool isHostReady;
    bool powered;
    bool inserted;      /* last state reported */
    void* detectTimer;  /* polls the card-detect line until the card is in */
} sd_card_t;

/* The SD card of the board (uSDHC1). */
extern sd_card_t g_sd;

void BOARD_SD_Config(sd_card_t* card, sd_cd_t cd, uint32_t hostIrqPriority, void* userData);
status_t SD_HostInit(sd_card_t* card);
void SD_SetCardPower(sd_card_t* card, bool enable);
/* Whether the card is in now. */
bool SD_IsCardPresent(sd_card_t* card);

#ifdef __cplusplus
}
#endif

#endif /* TARVELO_SD_HOST_H */
