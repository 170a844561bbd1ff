// Copying one rectangle of the front buffer into the same place of the back
// buffer, as the refresh strategy brings the back buffer up to date.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"
#include "port/display/display_task.h"

extern "C" {

// Copies `rect` from `source` to the same place of `destination`; the
// drawing status (0: done; a drawer's status for a source below 8 bits per
// pixel).
std::int32_t UI_DISPLAY_BRS_restore(SPictavoGraphicsContext* destination, const SPictavoImage* source,
                                    const ui_rect_t* rect);

}  // extern "C"
