// Natives of the user-interface library's display class
// (`yq.pictavo.display.NSystemDisplay`): native-interface functions, which
// receive a byte or int array as a pointer to its first element (its length
// is the word before it), and natives-pool functions, which fetch their
// arguments from the calling thread's frame.
#include <cstdint>
#include <cstring>

#include "graphics/display/display_config.h"
#include "graphics/display/display_system.h"
#include "graphics/display/engine_start.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/new_images.h"
#include "graphics/natives/native_arguments.h"
#include "graphics/natives/pool_arguments.h"
#include "graphics/natives/vm_binding.h"
#include "graphics/pixels/pixel_formats.h"
#include "platform/halt.h"
#include "vm/core/engine/aot_interface.h"
#include "vm/core/engine/execution_context.h"

using namespace tarvelo::graphics;
using tarvelo::AOTInterface;
using tarvelo::ExecutionContext;
using tarvelo::VMThread;
using tarvelo::word_t;

namespace {

void raise(const char* message) { raise_native_error(message); }

// A context that accepts colour and clip changes: open.
SPictavoGraphicsContext* open_context_of(std::int8_t* array) {
    SPictavoGraphicsContext* gc = context_of(array);
    return gc != nullptr && !(gc->image.flags & kImageClosed) ? gc : nullptr;
}

}  // namespace

extern "C" {

// --- weak defaults of the port's display hooks -------------------------------

__attribute__((weak)) void LLUI_DISPLAY_IMPL_setContrast(std::int32_t) {}
__attribute__((weak)) std::int32_t LLUI_DISPLAY_IMPL_getContrast(void) { return 0; }
__attribute__((weak)) bool LLUI_DISPLAY_IMPL_hasBacklight(void) { return false; }
__attribute__((weak)) void LLUI_DISPLAY_IMPL_setBacklight(std::int32_t) {}
__attribute__((weak)) std::int32_t LLUI_DISPLAY_IMPL_getBacklight(void) { return 0; }
__attribute__((weak)) bool LLUI_DISPLAY_IMPL_isColor(void) { return LLUI_DISPLAY_isColor() != 0; }
__attribute__((weak)) std::uint32_t LLUI_DISPLAY_IMPL_getNumberOfColors(void) { return LLUI_DISPLAY_getNumberOfColors(); }
__attribute__((weak)) bool LLUI_DISPLAY_IMPL_isDoubleBuffered(void) { return true; }
__attribute__((weak)) std::uint32_t LLUI_DISPLAY_IMPL_convertARGBColorToDisplayColor(std::uint32_t argb) { return argb; }
__attribute__((weak)) std::uint32_t LLUI_DISPLAY_IMPL_convertDisplayColorToARGBColor(std::uint32_t c) { return c; }
__attribute__((weak)) bool LLUI_DISPLAY_IMPL_prepareBlendingOfIndexedColors(std::uint32_t*, std::uint32_t*) {
    return false;
}
// A port that takes no part in new images: the software drawer (0) for the
// display format only, the engine's strides and sizes.
__attribute__((weak)) std::int32_t LLUI_DISPLAY_IMPL_getDrawerIdentifier(std::int32_t format) {
    return format == kDisplayFormat ? 0 : -1;
}
__attribute__((weak)) std::uint32_t LLUI_DISPLAY_IMPL_getNewImageStrideInBytes(std::int32_t, std::uint32_t,
                                                                               std::uint32_t, std::uint32_t stride) {
    return stride;
}
__attribute__((weak)) void LLUI_DISPLAY_IMPL_adjustNewImageCharacteristics(std::int32_t, std::uint32_t, std::uint32_t,
                                                                           std::uint32_t*, std::uint32_t*) {}
__attribute__((weak)) void LLUI_DISPLAY_IMPL_initializeNewImage(SPictavoImage*) {}
__attribute__((weak)) void LLUI_DISPLAY_IMPL_freeImageResources(SPictavoImage*) {}

// --- native-interface functions ----------------------------------------------

std::int32_t Java_yq_pictavo_display_NSystemDisplay_initAndGetNextGraphicsContextId(std::int8_t* array,
                                                                                    std::int32_t size) {
    if (!tarvelo::java_array_range_ok(array, 0, sizeof(SPictavoGraphicsContext)) ||
        size > tarvelo::java_array_length(array)) {
        raise("bad graphics context");
        return kErrOutOfMemory;
    }
    auto* gc = reinterpret_cast<SPictavoGraphicsContext*>(array);
    // A second start leaves the first display in place.
    if (Engine::started()) return kErrAlreadyStarted;
    std::int32_t result = 0;
    if (!DisplaySystem::start(gc, static_cast<std::uint32_t>(size), &result)) platform_halt(TARVELO_EXIT_HALTED);
    return result;
}

void Java_yq_pictavo_display_NSystemDisplay_flushScreen(std::int8_t* array) {
    SPictavoGraphicsContext* gc = context_of(array);
    if (gc == nullptr || !DisplaySystem::isDisplay(&gc->image)) return;
    DisplaySystem::flush(gc, reinterpret_cast<void*>(&Java_yq_pictavo_display_NSystemDisplay_flushScreen));
}

void Java_yq_pictavo_display_NSystemDisplay_waitFlush(void) {
    DisplaySystem::waitDisplay(true, reinterpret_cast<void*>(&Java_yq_pictavo_display_NSystemDisplay_waitFlush));
}

std::int32_t Java_yq_pictavo_display_NSystemDisplay_addEndOfFlushEvent(std::int32_t event) {
    DisplayState& s = display_state();
    const bool guarded = s.init_data.binary_semaphore_0 != nullptr;
    if (guarded) LLUI_DISPLAY_IMPL_binarySemaphoreTake(s.init_data.binary_semaphore_0);
    const std::uint32_t previous = s.next_end_of_flush_event.exchange(static_cast<std::uint32_t>(event));
    if (guarded) LLUI_DISPLAY_IMPL_binarySemaphoreGive(s.init_data.binary_semaphore_0, false);
    return static_cast<std::int32_t>(previous);
}

std::int32_t Java_yq_pictavo_display_NSystemDisplay_readPixel(std::int8_t* array, std::int32_t x, std::int32_t y) {
    SPictavoImage* image = image_of(array);
    if (image == nullptr) return 0;
    const SPictavoImage* source = nullptr;
    if (!DisplaySystem::beginRead(image, reinterpret_cast<void*>(&Java_yq_pictavo_display_NSystemDisplay_readPixel),
                                  &source)) {
        return 0;
    }
    const std::uint32_t argb = LLUI_DISPLAY_readPixel(source, x, y);
    DisplaySystem::endRead(image);
    return static_cast<std::int32_t>(argb);
}

// Pixels of a rectangle into argb[offset + row * scan + column]. The
// rectangle must lie inside the image and every index inside the array;
// otherwise an exception is raised and nothing is written.
void Java_yq_pictavo_display_NSystemDisplay_getARGB(std::int8_t* array, std::int32_t* argb, std::int32_t offset,
                                                    std::int32_t scan, std::int32_t x, std::int32_t y,
                                                    std::int32_t w, std::int32_t h) {
    SPictavoImage* image = image_of(array);
    if (image == nullptr) return;
    if (argb == nullptr) {
        raise("null array");
        return;
    }
    if (w <= 0 || h <= 0) return;
    const std::int64_t length = tarvelo::java_array_length(argb);
    const std::int64_t last = static_cast<std::int64_t>(offset) + static_cast<std::int64_t>(h - 1) * scan + w;
    if (x < 0 || y < 0 || static_cast<std::int64_t>(x) + w > image->width ||
        static_cast<std::int64_t>(y) + h > image->height || offset < 0 || scan < w || last > length) {
        raise("getARGB outside the image or the array");
        return;
    }
    const SPictavoImage* source = nullptr;
    if (!DisplaySystem::beginRead(image, reinterpret_cast<void*>(&Java_yq_pictavo_display_NSystemDisplay_getARGB),
                                  &source)) {
        return;
    }
    PixelSource pixels;
    if (prepare_source(source, 0, &pixels)) {
        for (std::int32_t row = 0; row < h; ++row)
            for (std::int32_t column = 0; column < w; ++column)
                argb[offset + static_cast<std::int64_t>(row) * scan + column] =
                    static_cast<std::int32_t>(read_pixel(pixels, x + column, y + row));
    }
    DisplaySystem::endRead(image);
}

void Java_yq_pictavo_display_NSystemDisplay_closeOffScreen(std::int8_t* array) {
    SPictavoImage* image = image_of(array);
    if (image == nullptr || DisplaySystem::isDisplay(image)) return;
    const SPictavoImage* source = nullptr;
    if (!DisplaySystem::beginRead(image,
                                  reinterpret_cast<void*>(&Java_yq_pictavo_display_NSystemDisplay_closeOffScreen),
                                  &source)) {
        return;
    }
    LLUI_DISPLAY_closeOffScreen(image);
    DisplaySystem::endRead(image);
}

void Java_yq_pictavo_display_NSystemDisplay_resetClip(std::int8_t* array) {
    if (SPictavoGraphicsContext* gc = open_context_of(array)) {
        LLUI_DISPLAY_resetClip(gc);
        DisplaySystem::notifyClip(gc);
    }
}

void Java_yq_pictavo_display_NSystemDisplay_setClip(std::int8_t* array, std::int32_t x, std::int32_t y,
                                                    std::int32_t w, std::int32_t h) {
    if (SPictavoGraphicsContext* gc = open_context_of(array)) {
        LLUI_DISPLAY_PRIVATE_setClip(gc, x, y, w, h);
        DisplaySystem::notifyClip(gc);
    }
}

void Java_yq_pictavo_display_NSystemDisplay_intersectClip(std::int8_t* array, std::int32_t x, std::int32_t y,
                                                          std::int32_t w, std::int32_t h) {
    if (SPictavoGraphicsContext* gc = open_context_of(array)) {
        LLUI_DISPLAY_PRIVATE_intersectClip(gc, x, y, w, h);
        DisplaySystem::notifyClip(gc);
    }
}

void Java_yq_pictavo_display_NSystemDisplay_setForegroundColor(std::int8_t* array, std::int32_t argb) {
    if (SPictavoGraphicsContext* gc = open_context_of(array))
        LLUI_DISPLAY_setForegroundColor(gc, static_cast<std::uint32_t>(argb));
}

void Java_yq_pictavo_display_NSystemDisplay_setBackgroundColor(std::int8_t* array, std::int32_t argb,
                                                               std::int32_t set) {
    if (SPictavoGraphicsContext* gc = open_context_of(array))
        LLUI_DISPLAY_setBackgroundColor(gc, static_cast<std::uint32_t>(argb), set);
}

void Java_yq_pictavo_display_NSystemDisplay_setEllipsis(std::int8_t* array, std::int32_t width) {
    if (SPictavoGraphicsContext* gc = open_context_of(array))
        LLUI_DISPLAY_setEllipsis(gc, static_cast<std::uint32_t>(width < 0 ? 0 : width));
}

std::int32_t Java_yq_pictavo_display_NSystemDisplay_getAndClearDrawingLogFlags(std::int8_t* array) {
    SPictavoGraphicsContext* gc = context_of(array);
    if (gc == nullptr) return 0;
    const std::uint32_t log = gc->drawing_log;
    gc->drawing_log = 0;
    return static_cast<std::int32_t>(log);
}

// --- natives-pool functions ---------------------------------------------------

void VMNative_yq_pictavo_display_NSystemDisplay_getNbBitsPerPixel(VMThread*) {
    AOTInterface::f003(static_cast<std::int32_t>(bits_per_pixel(kDisplayFormat)));
}

void VMNative_yq_pictavo_display_NSystemDisplay_isColor(VMThread*) { AOTInterface::f003(1); }

void VMNative_yq_pictavo_display_NSystemDisplay_getNumberOfColors(VMThread*) {
    const std::uint32_t colours = LLUI_DISPLAY_IMPL_getNumberOfColors();
    AOTInterface::f003(static_cast<std::int32_t>(colours > 16777216u ? 16777216u : colours));
}

void VMNative_yq_pictavo_display_NSystemDisplay_isDoubleBuffered(VMThread*) {
    AOTInterface::f003(LLUI_DISPLAY_IMPL_isDoubleBuffered() ? 1 : 0);
}

void VMNative_yq_pictavo_display_NSystemDisplay_hasBacklight(VMThread*) {
    AOTInterface::f003(LLUI_DISPLAY_IMPL_hasBacklight() ? 1 : 0);
}

void VMNative_yq_pictavo_display_NSystemDisplay_getContrast(VMThread*) {
    AOTInterface::f003(LLUI_DISPLAY_IMPL_getContrast());
}

void VMNative_yq_pictavo_display_NSystemDisplay_getBacklight(VMThread*) {
    AOTInterface::f003(LLUI_DISPLAY_IMPL_getBacklight());
}

void VMNative_yq_pictavo_display_NSystemDisplay_setContrast(VMThread*) {
    LLUI_DISPLAY_IMPL_setContrast(AOTInterface::f016(0));
}

void VMNative_yq_pictavo_display_NSystemDisplay_setBacklight(VMThread*) {
    LLUI_DISPLAY_IMPL_setBacklight(AOTInterface::f016(0));
}

void VMNative_yq_pictavo_display_NSystemDisplay_getDisplayColor(VMThread*) {
    const auto argb = static_cast<std::uint32_t>(AOTInterface::f016(0));
    AOTInterface::f003(static_cast<std::int32_t>(display_to_argb(argb_to_display(argb))));
}

// openOffScreen(int width, int height, byte[] image, int format): a mutable
// image, fully opaque when the format is 0.
void VMNative_yq_pictavo_display_NSystemDisplay_openOffScreen(VMThread* t) {
    const std::int32_t width = prim_arg(t, 3, 0);
    const std::int32_t height = prim_arg(t, 3, 1);
    const std::int32_t format = prim_arg(t, 3, 2);
    const word_t array = ExecutionContext::refArg(t, 0);
    if (array == 0) {
        AOTInterface::f007();
        return;
    }
    if (AOTInterface::f040(array) < static_cast<std::int32_t>(sizeof(SPictavoGraphicsContext))) {
        AOTInterface::f003(kErrOutOfMemory);
        return;
    }
    auto* image = reinterpret_cast<SPictavoImage*>(array_elements(array));
    std::int32_t result = NewImages::open(width, height, format, true, image);
    if (result == 0 && format == 0) NewImages::setFullyOpaque(image);
    AOTInterface::f003(result);
}

// isTransparent(byte[] image)
void VMNative_yq_pictavo_display_NSystemDisplay_isTransparent(VMThread* t) {
    const word_t array = ExecutionContext::refArg(t, 0);
    if (array == 0) {
        AOTInterface::f007();
        return;
    }
    if (AOTInterface::f040(array) < static_cast<std::int32_t>(sizeof(SPictavoImage))) {
        AOTInterface::f003(0);
        return;
    }
    const auto* image = reinterpret_cast<const SPictavoImage*>(array_elements(array));
    if (image->flags & (kImageClosed | kImageNeverTransparent)) {
        AOTInterface::f003(0);
        return;
    }
    AOTInterface::f003(LLUI_DISPLAY_isTransparent(image) ? 1 : 0);
}

// getFontIdentifiers(byte[] fontData, int[] ids): the identifiers of a stored
// font, as many as the array holds; -3 when the font has no header.
void VMNative_yq_pictavo_display_NSystemDisplay_getFontIdentifiers(VMThread* t) {
    const word_t data = ExecutionContext::refArg(t, 0);
    const word_t ids = ExecutionContext::refArg(t, 1);
    if (data == 0 || ids == 0) {
        AOTInterface::f007();
        return;
    }
    if (AOTInterface::f040(data) < 4) {
        AOTInterface::f003(kErrNotRaw);
        return;
    }
    std::uint32_t font_address;
    std::memcpy(&font_address, array_elements(data), 4);
    const auto* font = tarvelo::to_ptr<const std::uint8_t>(font_address);
    if (font == nullptr || std::memcmp(font, "TRV_FNT", 7) != 0 || (font[7] != 6 && font[7] != 7)) {
        AOTInterface::f003(kErrNotRaw);
        return;
    }
    const std::uint32_t count = font[22];
    const std::uint32_t table = static_cast<std::uint32_t>(font[24] | font[25] << 8);
    const std::int32_t room = AOTInterface::f040(ids);
    const std::uint32_t n = room < 0 ? 0 : (count < static_cast<std::uint32_t>(room) ? count : room);
    std::memcpy(array_elements(ids), font + table, 4u * n);
    AOTInterface::f003(0);
}

}  // extern "C"
