// Natives of `yq.pictavo.display.NSystemDisplay` that load images and
// fonts (natives-pool functions). Offsets, lengths and paths are checked
// against their arrays before any byte is read: a range outside raises
// IndexOutOfBoundsException, a null array NullPointerException.
#include <cstdint>
#include <cstring>

#include "graphics/fonts/fonts.h"
#include "graphics/loaders/image_loading.h"
#include "graphics/natives/pool_arguments.h"
#include "vm/core/engine/aot_interface.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/image/runtime_layout.h"

using namespace tarvelo::graphics;
using tarvelo::AOTInterface;
using tarvelo::ExecutionContext;
using tarvelo::VMThread;
using tarvelo::word_t;

namespace {

// [offset, offset + length) inside the array; raises otherwise.
bool in_array(VMThread* t, word_t array, std::int64_t offset, std::int64_t length) {
    if (offset < 0 || length < 0 || offset + length > AOTInterface::f040(array)) {
        ExecutionContext::checkIndexRange(t);
        return false;
    }
    return true;
}

// The descriptor array of a loaded image: null raises, a short one gives -2.
SPictavoImage* descriptor(word_t array) {
    if (AOTInterface::f040(array) < static_cast<std::int32_t>(sizeof(SPictavoImage))) return nullptr;
    return reinterpret_cast<SPictavoImage*>(array_elements(array));
}

std::int32_t wanted(std::int32_t format) { return format == -1 ? kKeepFormat : format; }

std::int32_t load(const std::uint8_t* data, std::uint32_t length, bool copy, std::int32_t format,
                  SPictavoImage* image) {
    const std::int32_t result = ImageLoading::loadRaw(data, length, copy, false, format, image);
    return result == kErrNotRaw ? ImageLoading::decode(data, length, format, image) : result;
}

// Fills the application's font data from a stored font of `size` bytes: 0,
// or -3 when it is not a font (signature, version, any table or glyph
// beyond its bytes) or the font data array is too short.
std::int32_t fill_font_data(word_t font_address, std::uint32_t size, word_t font_data) {
    const auto* font = tarvelo::to_ptr<const std::uint8_t>(font_address);
    if (!tarvelo::graphics::font_is_valid(font, size)) return kErrNotRaw;
    if (AOTInterface::f040(font_data) < 12) return kErrNotRaw;
    std::uint8_t* d = array_elements(font_data);
    const std::uint32_t style = font[20] | ((font[9] & 0x20) ? 0x100u : 0) | ((font[9] & 0x80) ? 0x200u : 0);
    std::memcpy(d, &font_address, 4);
    d[4] = static_cast<std::uint8_t>(style);
    d[5] = static_cast<std::uint8_t>(style >> 8);
    d[6] = font[22];
    d[7] = font[23];
    std::memcpy(d + 8, font + 12, 2);   // height of a line
    std::memcpy(d + 10, font + 14, 2);  // baseline
    return 0;
}

}  // namespace

extern "C" {

// loadImageFromBytes(byte[] data, int offset, int length, int format, byte[] image):
// a RAW image is copied into the image heap, anything else decoded.
void VMNative_yq_pictavo_display_NSystemDisplay_loadImageFromBytes(VMThread* t) {
    const std::int32_t offset = prim_arg(t, 3, 0);
    const std::int32_t length = prim_arg(t, 3, 1);
    const std::int32_t format = prim_arg(t, 3, 2);
    const word_t data = ExecutionContext::refArg(t, 0);
    const word_t image = ExecutionContext::refArg(t, 1);
    if (data == 0 || image == 0) {
        AOTInterface::f007();
        return;
    }
    if (!in_array(t, data, offset, length)) return;
    SPictavoImage* d = descriptor(image);
    if (d == nullptr) {
        AOTInterface::f003(kErrOutOfMemory);
        return;
    }
    AOTInterface::f003(load(array_elements(data) + offset, static_cast<std::uint32_t>(length), true, wanted(format), d));
}

// loadImageFromMIS(MemoryInputStream stream, int length, int format, byte[] image):
// at most `length` unread bytes of an image resource, used in place.
void VMNative_yq_pictavo_display_NSystemDisplay_loadImageFromMIS(VMThread* t) {
    const std::int32_t length = prim_arg(t, 2, 0);
    const std::int32_t format = prim_arg(t, 2, 1);
    const word_t stream = ExecutionContext::refArg(t, 0);
    const word_t image = ExecutionContext::refArg(t, 1);
    if (stream == 0 || image == 0) {
        AOTInterface::f007();
        return;
    }
    namespace layout = tarvelo::image::layout;
    const auto position = static_cast<word_t>(tarvelo::java::field(stream, layout::kMemoryInputStreamPosition));
    const auto end = static_cast<word_t>(tarvelo::java::field(stream, layout::kMemoryInputStreamEnd));
    std::uint32_t n = end > position ? end - position : 0;
    if (length < 0) n = 0;
    else if (static_cast<std::uint32_t>(length) < n) n = static_cast<std::uint32_t>(length);
    SPictavoImage* d = descriptor(image);
    if (d == nullptr) {
        AOTInterface::f003(kErrOutOfMemory);
        return;
    }
    AOTInterface::f003(load(tarvelo::to_ptr<const std::uint8_t>(position), n, false, wanted(format), d));
}

// loadImageFromPath(byte[] path, int length, int external, int decode,
// int loaderFlag, int format, byte[] image): a resource of the application
// image by name (-4 when absent; a null descriptor only tests that it
// exists); this build has no external loader.
void VMNative_yq_pictavo_display_NSystemDisplay_loadImageFromPath(VMThread* t) {
    const std::int32_t length = prim_arg(t, 5, 0);
    const std::int32_t external = prim_arg(t, 5, 1);
    const std::int32_t decode = prim_arg(t, 5, 2);
    const std::int32_t format = prim_arg(t, 5, 4);
    const word_t path = ExecutionContext::refArg(t, 0);
    const word_t image = ExecutionContext::refArg(t, 1);
    if (path == 0) {
        AOTInterface::f007();
        return;
    }
    if (!in_array(t, path, 0, length)) return;
    word_t data = 0;
    std::uint32_t size = 0;
    if (external == 1 || !AOTInterface::findResource(reinterpret_cast<const char*>(array_elements(path)), length, &data, &size)) {
        AOTInterface::f003(kErrNotFound);
        return;
    }
    if (image == 0) {
        AOTInterface::f003(0);
        return;
    }
    SPictavoImage* d = descriptor(image);
    if (d == nullptr) {
        AOTInterface::f003(kErrOutOfMemory);
        return;
    }
    const auto* bytes = tarvelo::to_ptr<const std::uint8_t>(data);
    AOTInterface::f003(decode == 1 ? ImageLoading::decode(bytes, size, wanted(format), d)
                                   : ImageLoading::loadRaw(bytes, size, false, false, wanted(format), d));
}

// addInternalFont(byte[] path, int pathLength, byte[] fontData): the font
// resource named by the path less its last byte (its terminator).
void VMNative_yq_pictavo_display_NSystemDisplay_addInternalFont(VMThread* t) {
    const std::int32_t length = prim_arg(t, 1, 0);
    const word_t path = ExecutionContext::refArg(t, 0);
    const word_t font_data = ExecutionContext::refArg(t, 1);
    if (path == 0 || font_data == 0) {
        AOTInterface::f007();
        return;
    }
    if (length < 1) {
        ExecutionContext::checkIndexRange(t);
        return;
    }
    if (!in_array(t, path, 0, length)) return;
    word_t data = 0;
    std::uint32_t size = 0;
    if (!AOTInterface::findResource(reinterpret_cast<const char*>(array_elements(path)), length - 1, &data, &size)) {
        AOTInterface::f003(kErrNotFound);
        return;
    }
    AOTInterface::f003(fill_font_data(data, size, font_data));
}

}  // extern "C"
