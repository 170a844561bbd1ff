// The engine's start: the display context becomes the descriptor of the
// display's back buffer, and the image heap is created.
#include "graphics/display/allocation_check.h"
#include "graphics/display/display_config.h"
#include "graphics/display/display_system.h"
#include "graphics/display/engine_start.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "graphics/images/new_images.h"
#include "graphics/pixels/pixel_formats.h"

namespace tarvelo::graphics {

namespace {
bool g_started = false;
bool g_colour_display = false;
}  // namespace

bool Engine::started() { return g_started; }
bool Engine::colourDisplay() { return g_colour_display; }

void Engine::resetForTests() {
    g_started = false;
    g_colour_display = false;
    ImageHeap::resetForTests();
    DisplaySystem::resetForTests();
}

}  // namespace tarvelo::graphics

using namespace tarvelo::graphics;

namespace {

std::int32_t start_engine(SPictavoGraphicsContext* gc, std::uint32_t size) {
    if (g_started) return kErrAlreadyStarted;
    if (size < sizeof(SPictavoGraphicsContext)) return kErrOutOfMemory;
    const LLUI_DISPLAY_SInitData& d = display_state().init_data;
    gc->image.data = d.lcd_buffer_address;
    gc->image.width = static_cast<std::uint16_t>(d.lcd_width);
    gc->image.height = static_cast<std::uint16_t>(d.lcd_height);
    gc->image.memory_width = static_cast<std::uint16_t>((d.memory_width + 1) & ~1u);
    gc->image.format = kDisplayFormat;
    gc->image.flags = kImageNeverTransparent | kImageBareBuffer;
    NewImages::initMutable(gc, d.lcd_width, d.lcd_height, 0);
    ImageHeap::initialize(ImageHeap::areaStart(), ImageHeap::areaEnd());
    g_colour_display = display_to_argb(argb_to_display(0xFF000000u)) != display_to_argb(argb_to_display(0));
    g_started = true;
    return 0;
}

}  // namespace

// The start between the two halves of the allocation check (which measure
// the virtual machine's runtime heap; the engine keeps its state in static
// storage, so they find it untouched).
extern "C" std::int32_t LLUI_DISPLAY_initialize(SPictavoGraphicsContext* gc, std::uint32_t size) {
    const AllocationCheck check;
    const std::int32_t result = start_engine(gc, size);
    check.finish();
    return result;
}
