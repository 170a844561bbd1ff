#include "port/display/refresh_strategy.h"

#include <algorithm>

#include "graphics/display/llui_display.h"
#include "port/display/drawing/ui_trace.h"

namespace tarvelo::display {

namespace {

using port::drawing::ui_trace_event;

// The strategy's trace events (UI+N).
enum TraceEvent : std::int32_t {
    kTraceNewRegion = 10,      // a drawing region: x1, y1, x2, y2
    kTraceFlushOne = 11,       // a flush restoring one rectangle: id, buffer, x1, y1, x2, y2
    kTraceFlushMany = 12,      // a flush: id, buffer, rectangle count
    kTraceAddRegion = 13,      // a rectangle added to a list: x1, y1, x2, y2
    kTraceRemoveRegion = 14,   // a rectangle about to be drawn over: x1, y1, x2, y2
    kTraceRestoreRegion = 15,  // a piece restored: x1, y1, x2, y2
    kTraceListFull = 16,       // a list collapsed to the whole screen
};

void trace_rect(TraceEvent event, const ui_rect_t& r) { ui_trace_event(event, r.x1, r.y1, r.x2, r.y2); }

constexpr ui_rect_t kEmpty{1, 1, 0, 0};

// The first frame restores nothing.
constexpr RefreshState kInitialState{{}, 0, true, {kEmpty, kEmpty, kEmpty, kEmpty}};

RefreshState state = kInitialState;

ui_rect_t rect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    return ui_rect_t{static_cast<std::int16_t>(x1), static_cast<std::int16_t>(y1), static_cast<std::int16_t>(x2),
                     static_cast<std::int16_t>(y2)};
}

ui_rect_t full_screen(const SPictavoGraphicsContext* gc) {
    return rect(0, 0, gc->image.width - 1, gc->image.height - 1);
}

bool same(const ui_rect_t& a, const ui_rect_t& b) {
    return a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 && a.y2 == b.y2;
}

void add_to_list(DirtyRegionList& list, const SPictavoGraphicsContext* gc, const ui_rect_t& region) {
    if (list.count > 0 && UI_RECT_contains_rect(&list.regions[list.count - 1], &region)) return;
    ui_rect_t added = region;
    if (list.count == kDirtyRegionCapacity) {
        // No room for another rectangle: the next restore copies the whole
        // screen instead.
        ui_trace_event(kTraceListFull);
        list.count = 0;
        added = full_screen(gc);
    }
    trace_rect(kTraceAddRegion, added);
    list.regions[list.count++] = added;
}

void add_drawing_region(const SPictavoGraphicsContext* gc, const ui_rect_t& region) {
    add_to_list(state.lists[0], gc, region);
    add_to_list(state.lists[1], gc, region);
}

// Restores the pending pieces of `diff`, each emptied once issued; stops at
// the first non-zero status.
std::int32_t restore_sub_rects(SPictavoGraphicsContext* gc, const SPictavoImage* front) {
    for (ui_rect_t& piece : state.diff) {
        if (UI_RECT_is_empty(&piece)) continue;
        trace_rect(kTraceRestoreRegion, piece);
        const std::int32_t status = UI_DISPLAY_BRS_restore(gc, front, &piece);
        empty_rect(&piece);
        if (status != 0) return status;
    }
    return 0;
}

void finish_frame_start(DirtyRegionList& list, const SPictavoGraphicsContext* gc, const ui_rect_t& region) {
    list.count = 0;
    state.index_to_restore ^= 1u;
    state.backbuffer_ready = true;
    add_drawing_region(gc, region);
}

}  // namespace

const RefreshState& refresh_state() { return state; }

void reset_refresh_strategy() { state = kInitialState; }

}  // namespace tarvelo::display

using namespace tarvelo;
using namespace tarvelo::display;

extern "C" {

bool UI_RECT_contains_rect(const ui_rect_t* a, const ui_rect_t* b) {
    return a->x1 <= b->x1 && a->y1 <= b->y1 && a->x2 >= b->x2 && a->y2 >= b->y2;
}

bool UI_RECT_is_empty(const ui_rect_t* r) { return r->x2 < r->x1 || r->y2 < r->y1; }

std::uint32_t UI_RECT_subtract(ui_rect_t out[4], const ui_rect_t* r, const ui_rect_t* region) {
    if (UI_RECT_contains_rect(r, region)) {
        out[0] = rect(r->x1, r->y1, r->x2, region->y1 - 1);
        out[1] = rect(r->x1, region->y1, region->x1 - 1, region->y2);
        out[2] = rect(region->x2 + 1, region->y1, r->x2, region->y2);
        out[3] = rect(r->x1, region->y2 + 1, r->x2, r->y2);
        return 4;
    }
    if (UI_RECT_contains_rect(region, r)) {
        for (int i = 0; i < 4; ++i) out[i] = kEmpty;
        return 0;
    }
    if (region->x2 >= r->x1 && region->y2 >= r->y1 && region->x1 <= r->x2 && r->y2 >= region->y1) {
        const std::int32_t top = std::max(region->y1, r->y1);
        const std::int32_t bottom = std::min(region->y2, r->y2);
        out[0] = rect(r->x1, r->y1, r->x2, region->y1 - 1);
        out[1] = rect(r->x1, top, region->x1 - 1, bottom);
        out[2] = rect(region->x2 + 1, top, r->x2, bottom);
        out[3] = rect(r->x1, region->y2 + 1, r->x2, r->y2);
        return 4;
    }
    out[0] = *r;
    for (int i = 1; i < 4; ++i) out[i] = kEmpty;
    return 1;
}

std::int32_t LLUI_DISPLAY_IMPL_newDrawingRegion(SPictavoGraphicsContext* gc, std::int32_t x1, std::int32_t y1,
                                                std::int32_t x2, std::int32_t y2, bool drawing_now) {
    const ui_rect_t region = rect(x1, y1, x2, y2);
    if (!drawing_now) {
        // Regions about to be drawn over entirely need no restore.
        for (DirtyRegionList& list : state.lists)
            for (std::uint32_t i = 0; i < list.count; ++i)
                if (!UI_RECT_is_empty(&list.regions[i]) && UI_RECT_contains_rect(&region, &list.regions[i])) {
                    trace_rect(kTraceRemoveRegion, list.regions[i]);
                    empty_rect(&list.regions[i]);
                }
        return 0;
    }
    trace_rect(kTraceNewRegion, region);
    if (state.backbuffer_ready) {
        add_drawing_region(gc, region);
        return 0;
    }
    DirtyRegionList& list = state.lists[state.index_to_restore];
    if (list.count == 0) {
        state.backbuffer_ready = true;
        add_drawing_region(gc, region);
        return 0;
    }
    const SPictavoImage* front = LLUI_DISPLAY_getSourceImage(&gc->image);
    if (!UI_RECT_is_empty(&list.regions[0])) {
        if (LLUI_DISPLAY_getBufferAddress(front) == LLUI_DISPLAY_getBufferAddress(&gc->image)) {
            // The engine kept the presented buffer as its back buffer: it
            // already holds the front.
            state.backbuffer_ready = true;
            add_drawing_region(gc, region);
            return 0;
        }
        if (same(region, full_screen(gc))) {
            finish_frame_start(list, gc, region);
            return 0;
        }
    }
    LLUI_DISPLAY_configureClip(gc, false);
    if (const std::int32_t status = restore_sub_rects(gc, front); status != 0) return status;
    for (std::uint32_t i = 0; i < list.count; ++i) {
        ui_rect_t& r = list.regions[i];
        if (UI_RECT_is_empty(&r)) continue;
        std::int32_t status = 0;
        if (UI_RECT_subtract(state.diff, &r, &region) != 0) status = restore_sub_rects(gc, front);
        empty_rect(&r);
        if (status != 0) return status;
    }
    finish_frame_start(list, gc, region);
    return 0;
}

std::int32_t LLUI_DISPLAY_IMPL_refresh(SPictavoGraphicsContext* gc, std::uint8_t flush_identifier) {
    const DirtyRegionList& list = state.lists[state.index_to_restore];
    const auto buffer = static_cast<std::int32_t>(LLUI_DISPLAY_getBufferAddress(&gc->image));
    if (list.count == 1) {
        const ui_rect_t& r = list.regions[0];
        ui_trace_event(kTraceFlushOne, flush_identifier, buffer, r.x1, r.y1, r.x2, r.y2);
    } else {
        ui_trace_event(kTraceFlushMany, flush_identifier, buffer, static_cast<std::int32_t>(list.count));
    }
    LLUI_DISPLAY_IMPL_flush(gc, flush_identifier, list.regions, list.count);
    state.backbuffer_ready = false;
    return 0;
}

}  // extern "C"
