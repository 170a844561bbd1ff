// One input through one of the engine's loaders (see the header).
#include "tests/graphics/loader_exercise.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "graphics/display/llui_display.h"
#include "graphics/fonts/fonts.h"
#include "graphics/images/image_heap.h"
#include "graphics/images/image_transforms.h"
#include "graphics/loaders/image_decoders.h"
#include "graphics/pixels/pixel_formats.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics::test {

namespace {

void read_all(const SPictavoImage& image, std::int32_t limit) {
    PixelSource source;
    if (!prepare_source(&image, 0xFFFFFF, &source)) return;
    volatile std::uint32_t sink = 0;
    for (std::int32_t y = 0; y < std::min<std::int32_t>(image.height, limit); ++y)
        for (std::int32_t x = 0; x < std::min<std::int32_t>(image.width, limit); ++x) sink = sink + read_pixel(source, x, y);
}

// The loaded image drawn rotated and scaled (both samplings), so that every
// format also goes through the transformed-image readers.
void draw_transformed(const SPictavoImage& image, std::uint8_t choice) {
    Canvas canvas(48, 32);
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

// A font that passed validation, as plain, scaled, renderable and rotated
// text built from the input's bytes.
void draw_text(const std::uint8_t* font, const std::uint8_t* data, std::size_t size) {
    std::uint8_t font_data[12] = {};
    const std::uint32_t address = to_word(font);
    std::memcpy(font_data, &address, 4);
    Canvas canvas(32, 16);
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

}  // namespace

bool exercise_loader(Loader loader, const std::uint8_t* data, std::size_t size, std::int32_t read_limit) {
    if (size == 0) return true;
    const std::uint32_t before = ImageHeap::freeBytes();
    // The bytes below 4 GiB, as resources and arrays are.
    std::uint8_t* bytes = low_bytes(static_cast<std::uint32_t>(size));
    std::memcpy(bytes, data, size);
    const auto length = static_cast<std::uint32_t>(size);
    SPictavoImage image{};
    std::int32_t result = 0;
    switch (loader) {
        case Loader::kRaw: result = load_raw_image(bytes, length, true, false, &image); break;
        case Loader::kBmp: result = decode_bmp(bytes, length, -1, &image); break;
        case Loader::kPng: {
            fix_png_crcs(bytes, size);
            // Decoded in its own format, or converted on the way into one the
            // engine writes.
            static const std::int32_t kFormats[] = {-1, kFormatRGB565, kFormatARGB1555, kFormatA8};
            result = decode_png(bytes, length, kFormats[data[size - 1] & 3], &image);
            break;
        }
        case Loader::kFont:
            if (font_is_valid(bytes, size)) draw_text(bytes, data, size);
            return ImageHeap::freeBytes() == before;
    }
    if (result == 0) {
        read_all(image, read_limit);
        draw_transformed(image, data[0]);
        LLUI_DISPLAY_closeOffScreen(&image);
    }
    return ImageHeap::freeBytes() == before;
}

}  // namespace tarvelo::graphics::test
