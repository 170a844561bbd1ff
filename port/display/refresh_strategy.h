// Bringing the back buffer up to date before a frame is drawn into it. With
// three buffers the back buffer the engine receives after a flush holds the
// frame before the previous one: at the first drawing of a new frame the
// regions drawn in the two frames since are copied from the front buffer,
// except the part the new drawing is about to cover.
//
// Every drawn region goes into both dirty lists; the lists are restored and
// cleared in turn, one per frame, so the list restored at the start of a
// frame holds exactly the regions drawn in the two frames before it.
#pragma once

#include <cstdint>

#include "graphics/images/image_types.h"
#include "port/display/display_task.h"
#include "port/display/region_restore.h"

extern "C" {

inline constexpr std::uint32_t kDirtyRegionCapacity = 8;

struct DirtyRegionList {
    ui_rect_t regions[kDirtyRegionCapacity];
    std::uint32_t count;  // entries 0..count-1 in use; emptied ones keep their place
};

bool UI_RECT_contains_rect(const ui_rect_t* a, const ui_rect_t* b);
bool UI_RECT_is_empty(const ui_rect_t* r);
// r minus region: four rectangles into `out`; the number that may be
// non-empty (0, 1 or 4).
std::uint32_t UI_RECT_subtract(ui_rect_t out[4], const ui_rect_t* r, const ui_rect_t* region);

}  // extern "C"

namespace tarvelo::display {

// The strategy's state, for tests.
struct RefreshState {
    DirtyRegionList lists[2];
    std::uint32_t index_to_restore;
    bool backbuffer_ready;
    ui_rect_t diff[4];
};
const RefreshState& refresh_state();
// Back to the start: empty lists, nothing to restore on the first frame.
void reset_refresh_strategy();

// An empty rectangle (x1 = 1, x2 = 0; y1 and y2 untouched).
inline void empty_rect(ui_rect_t* r) {
    r->x1 = 1;
    r->x2 = 0;
}

}  // namespace tarvelo::display
