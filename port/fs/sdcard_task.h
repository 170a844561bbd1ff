// The SD-card task: brings the card into service for the file natives. It
// waits for the card, registers its volume as drive "2:/", makes that the
// current drive, marks the card ready and ends.
#pragma once

#include <cstdint>

extern "C" {
// Creates the task; called from main before the scheduler starts. Halts
// when the task cannot be created.
void START_SDCARD_Task(void);
// Card-detect callback of the board's SD configuration.
void SDCARD_detect_callback(bool inserted, void* userData);
// Blocks the calling task until the card is ready, looking once a second;
// returns 1.
std::int32_t SDCARD_waitCardReady(void);
}
