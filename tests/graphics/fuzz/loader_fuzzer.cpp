// libFuzzer targets of the image and font loaders (one per LOADER value):
// any input is refused or loaded, never read past, and leaves the image
// heap as it was once the image is closed. Loaded images are also drawn
// rotated and scaled, fonts as plain, renderable, scaled and rotated text.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "graphics/fonts.h"
#include "graphics/image_decoders.h"
#include "graphics/image_heap.h"
#include "graphics/image_transforms.h"
#include "graphics/llui_display.h"
#include "graphics/pixel_formats.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"

using namespace tarvelo::graphics;

// 0 RAW, 1 BMP, 2 PNG, 3 font: anything else is a build mistake, not the
// font loader.
#if !defined(LOADER) || LOADER < 0 || LOADER > 3
#error "LOADER must name one of the four loaders (0 to 3)"
#endif

namespace {

SPictavoGraphicsContext g_display{};

void read_all(const SPictavoImage& image) {
    PixelSource source;
    if (!prepare_source(&image, 0xFFFFFF, &source)) return;
    volatile std::uint32_t sink = 0;
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x) sink = sink + read_pixel(source, x, y);
}

// The loaded image drawn rotated and scaled (both samplings), so that every
// format also goes through the transformed-image readers.
void draw_transformed(const SPictavoImage& image, std::uint8_t choice) {
    test::Canvas canvas(48, 32);
    const float angle = static_cast<float>(choice) * 1.41f;
    DW_DRAWING_SOFT_drawRotatedImageBilinear(&canvas.gc, &image, 3, 2, 10, 9, angle, 255 - (choice & 0x40));
    DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(&canvas.gc, &image, -4, 5, 0, 0, -angle, 255);
    const float factor = 0.05f + static_cast<float>(choice & 0x1F) * 0.13f;
    DW_DRAWING_SOFT_drawScaledImageBilinear(&canvas.gc, &image, -2, -1, factor, 2.3f - factor / 2, 200);
    DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&canvas.gc, &image, 5, 3, factor * 1.7f, factor, 255);
}

// Rewrites every whole chunk's CRC so that mutations reach the chunk and
// pixel code instead of stopping at the checksum.
void fix_png_crcs(std::uint8_t* p, std::size_t size) {
    std::size_t at = 8;
    while (at + 12 <= size) {
        const std::size_t n = static_cast<std::size_t>(p[at]) << 24 | p[at + 1] << 16 | p[at + 2] << 8 | p[at + 3];
        if (n > size - at - 12) return;
        const auto crc = static_cast<std::uint32_t>(crc32(0, p + at + 4, static_cast<uInt>(n + 4)));
        for (int i = 0; i < 4; ++i) p[at + 8 + n + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at += 12 + n;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool started = test::port().start(&g_display) == 0;
    if (!started || size == 0 || size > 8000) return 0;
    const std::uint32_t before = ImageHeap::freeBytes();
    // The bytes below 4 GiB, as resources and arrays are.
    std::uint8_t* bytes = test::low_bytes(static_cast<std::uint32_t>(size));
    std::memcpy(bytes, data, size);
    const auto length = static_cast<std::uint32_t>(size);
    SPictavoImage image{};
    std::int32_t result = 0;
#if LOADER == 0
    result = load_raw_image(bytes, length, true, false, &image);
#elif LOADER == 1
    result = decode_bmp(bytes, length, -1, &image);
#elif LOADER == 2
    fix_png_crcs(bytes, size);
    // Decoded in its own format, or converted on the way into one the
    // engine writes.
    static const std::int32_t kFormats[] = {-1, kFormatRGB565, kFormatARGB1555, kFormatA8};
    result = decode_png(bytes, length, kFormats[data[size - 1] & 3], &image);
#elif LOADER == 3
    if (font_is_valid(bytes, size)) {
        std::uint8_t font_data[12] = {};
        const std::uint32_t address = tarvelo::to_word(bytes);
        std::memcpy(font_data, &address, 4);
        test::Canvas canvas(32, 16);
        canvas.gc.foreground_color = 0xFFFFFFFF;
        canvas.gc.ellipsis_width = static_cast<std::uint16_t>(size & 31);
        std::uint16_t text[16];
        for (int i = 0; i < 16; ++i) text[i] = static_cast<std::uint16_t>(data[i % size] | data[(i + 1) % size] << 8);
        UI_DRAWING_SOFT_drawString(&canvas.gc, text, 16, font_data, -3, 2);
        DW_DRAWING_SOFT_drawScaledStringBilinear(&canvas.gc, text, 16, font_data, 0, 0, 0.3f, 1.7f);
        std::int32_t context[16];
        for (std::int32_t& c : context) c = -1;
        UI_DRAWING_SOFT_initializeRenderableStringSNIContext(text, 16, font_data, context);
        UI_DRAWING_SOFT_drawRenderableString(&canvas.gc, text, 16, font_data, 40, context, 1, -2);
        DW_DRAWING_SOFT_drawCharWithRotationBilinear(&canvas.gc, text[0], font_data, 4, 4, 8, 8, 33.0f, 200);
        DW_DRAWING_SOFT_drawCharWithRotationNearestNeighbor(&canvas.gc, text[1], font_data, 4, 4, 8, 8, -71.0f, 255);
    }
    return 0;
#endif
    if (result == 0) {
        read_all(image);
        draw_transformed(image, data[0]);
        LLUI_DISPLAY_closeOffScreen(&image);
    }
    if (ImageHeap::freeBytes() != before) std::abort();
    return 0;
}
