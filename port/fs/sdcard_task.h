// The SD-card task: brings the card into service for the file natives.
#pragma once

extern "C" {
void START_SDCARD_Task(void);
}
