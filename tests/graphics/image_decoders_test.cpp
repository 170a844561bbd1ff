// Loading images: RAW images checked against their bytes, monochrome BMP,
// and PNG (a conformance matrix against libpng, and malformed files that
// must be refused without leaking image heap).
#include "graphics/loaders/image_decoders.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "graphics/loaders/image_loading.h"
#include "graphics/pixels/pixel_formats.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ImageDecodersTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(test::port().start(&display_), 0); }
    SPictavoGraphicsContext display_{};
};

std::uint32_t pixel(const SPictavoImage& image, std::int32_t x, std::int32_t y) {
    PixelSource source;
    EXPECT_TRUE(prepare_source(&image, 0, &source));
    return read_pixel(source, x, y);
}

// ---- RAW --------------------------------------------------------------

Bytes raw_rgb565(std::uint16_t w, std::uint16_t h, std::int8_t format = kFormatRGB565, std::uint16_t offset = 12) {
    Bytes b = {'T', 'R', 'V', '_', 'I', 'M', 'G', 1};
    const std::uint8_t header[12] = {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
                                     static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                                     static_cast<std::uint8_t>(format), 0,
                                     static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
                                     static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8),
                                     static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8)};
    b.insert(b.end(), header, header + 12);
    b.resize(8 + offset);
    for (std::uint32_t i = 0; i < std::uint32_t{w} * h; ++i) {
        b.push_back(static_cast<std::uint8_t>(0x1F));  // blue
        b.push_back(0);
    }
    return b;
}

TEST_F(ImageDecodersTest, RawCopiedFreesOnCloseInPlaceDoesNot) {
    const std::uint32_t before = ImageHeap::freeBytes();
    const Bytes bytes = raw_rgb565(3, 2);
    SPictavoImage copied{};
    ASSERT_EQ(ImageLoading::loadRaw(bytes.data(), static_cast<std::uint32_t>(bytes.size()), true, false, kKeepFormat, &copied), 0);
    EXPECT_EQ(copied.width, 3);
    EXPECT_EQ(pixel(copied, 2, 1), 0xFF0000F8u);
    EXPECT_LT(ImageHeap::freeBytes(), before);
    LLUI_DISPLAY_closeOffScreen(&copied);
    EXPECT_EQ(ImageHeap::freeBytes(), before);

    std::uint8_t* low = test::low_bytes(static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(low, bytes.data(), bytes.size());
    SPictavoImage in_place{};
    ASSERT_EQ(ImageLoading::loadRaw(low, static_cast<std::uint32_t>(bytes.size()), false, false, kKeepFormat, &in_place), 0);
    EXPECT_FALSE(in_place.flags & kImageHeapOwned);
    EXPECT_EQ(pixel(in_place, 0, 0), 0xFF0000F8u);
    EXPECT_EQ(ImageHeap::freeBytes(), before);
}

TEST_F(ImageDecodersTest, MalformedRawIsRefused) {
    SPictavoImage image{};
    const Bytes good = raw_rgb565(3, 2);
    Bytes short_file(good.begin(), good.begin() + 20);
    EXPECT_EQ(load_raw_image(short_file.data(), 20, true, false, &image), kErrNotRaw);
    Bytes bad_format = raw_rgb565(3, 2, 42);
    EXPECT_EQ(load_raw_image(bad_format.data(), static_cast<std::uint32_t>(bad_format.size()), true, false, &image), kErrNotRaw);
    Bytes truncated = good;
    truncated.pop_back();
    EXPECT_EQ(load_raw_image(truncated.data(), static_cast<std::uint32_t>(truncated.size()), true, false, &image), kErrNotRaw);
    Bytes far_offset = raw_rgb565(3, 2, kFormatRGB565, 12);
    far_offset[8 + 8] = 0xF0;  // pixel offset 0xF0 beyond the bytes
    EXPECT_EQ(load_raw_image(far_offset.data(), static_cast<std::uint32_t>(far_offset.size()), true, false, &image), kErrNotRaw);
    Bytes narrow = good;
    narrow[8 + 6] = 1;  // memory width 1 for a 3-wide image
    EXPECT_EQ(load_raw_image(narrow.data(), static_cast<std::uint32_t>(narrow.size()), true, false, &image), kErrNotRaw);
}

TEST_F(ImageDecodersTest, RawBufferAndPixelsMustBeUsable) {
    // The port's buffer (header offset 10) lies inside the bytes like the
    // pixels; 16- and 32-bit pixels and the buffer lie at a multiple of
    // their size, whether the file is copied or used in place.
    struct Case {
        const char* what;
        std::int8_t format;
        std::uint16_t pixel_offset, buffer_offset;
        std::uint32_t shift;  // bytes the file is moved by when used in place
        std::int32_t copied, in_place;
    };
    const Case cases[] = {
        {"buffer at the pixels", kFormatRGB565, 12, 12, 0, 0, 0},
        {"buffer offset 60000", kFormatRGB565, 12, 60000, 0, kErrNotRaw, kErrNotRaw},
        {"buffer inside the header", kFormatRGB565, 12, 4, 0, kErrNotRaw, kErrNotRaw},
        {"buffer one pixel short", kFormatRGB565, 12, 14, 0, kErrNotRaw, kErrNotRaw},
        {"odd 16-bit pixels", kFormatRGB565, 15, 15, 0, kErrNotRaw, kErrNotRaw},
        {"odd buffer", kFormatRGB565, 14, 13, 0, kErrNotRaw, kErrNotRaw},
        {"32-bit pixels at 2 mod 4", kFormatARGB8888, 14, 14, 0, kErrNotRaw, kErrNotRaw},
        {"a file at an odd address", kFormatRGB565, 12, 12, 1, 0, kErrNotRaw},
        {"8-bit pixels anywhere", kFormatA8, 13, 13, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint32_t before = ImageHeap::freeBytes();
        const std::uint32_t bpp = bits_per_pixel(c.format);
        Bytes file = raw_rgb565(74, 1, c.format, c.pixel_offset);  // 148 bytes of pixels
        file.resize(8 + c.pixel_offset + 74 * bpp / 8);
        file[8 + 10] = static_cast<std::uint8_t>(c.buffer_offset);
        file[8 + 11] = static_cast<std::uint8_t>(c.buffer_offset >> 8);
        SPictavoImage image{};
        EXPECT_EQ(load_raw_image(file.data(), static_cast<std::uint32_t>(file.size()), true, false, &image), c.copied);
        if (c.copied == 0) LLUI_DISPLAY_closeOffScreen(&image);
        std::uint8_t* low = test::low_bytes(static_cast<std::uint32_t>(file.size()) + 4) + c.shift;
        std::memcpy(low, file.data(), file.size());
        EXPECT_EQ(load_raw_image(low, static_cast<std::uint32_t>(file.size()), false, false, &image), c.in_place);
        EXPECT_EQ(ImageHeap::freeBytes(), before);
    }
}

TEST_F(ImageDecodersTest, RawPaletteAndRunLengthMustFit) {
    SPictavoImage image{};
    // LRGB888 (9): 14-byte header, palette of 2 entries of 4 bytes, 2 x 1 indices.
    Bytes pal = {'T', 'R', 'V', '_', 'I', 'M', 'G', 1, 2, 0, 1, 0, 9, 0, 2, 0, 14, 0, 14, 0, 4, 1};
    const std::uint8_t entries[] = {0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 1, 0};
    pal.insert(pal.end(), entries, entries + sizeof entries);
    EXPECT_EQ(load_raw_image(pal.data(), static_cast<std::uint32_t>(pal.size()), true, false, &image), 0);
    LLUI_DISPLAY_closeOffScreen(&image);
    Bytes big_palette = pal;
    big_palette[8 + 13] = 200;  // 201 entries
    EXPECT_EQ(load_raw_image(big_palette.data(), static_cast<std::uint32_t>(big_palette.size()), true, false, &image), kErrNotRaw);
    // A8RLE (23): 5 pixels as [0x8003][0xC002], then cut in the middle of a group.
    Bytes rle = {'T', 'R', 'V', '_', 'I', 'M', 'G', 1, 5, 0, 1, 0, 23, 0, 5, 0, 12, 0, 12, 0, 0x03, 0x80, 0x02, 0xC0};
    EXPECT_EQ(load_raw_image(rle.data(), static_cast<std::uint32_t>(rle.size()), true, false, &image), 0);
    EXPECT_EQ(pixel(image, 0, 0) >> 24, 255u);
    LLUI_DISPLAY_closeOffScreen(&image);
    Bytes cut = {'T', 'R', 'V', '_', 'I', 'M', 'G', 1, 5, 0, 1, 0, 23, 0, 5, 0, 12, 0, 12, 0, 0x05, 0x40, 1, 2, 3};
    EXPECT_EQ(load_raw_image(cut.data(), static_cast<std::uint32_t>(cut.size()), true, false, &image), kErrNotRaw);
    Bytes bad_type = {'T', 'R', 'V', '_', 'I', 'M', 'G', 1, 2, 0, 1, 0, 1, 0, 2, 0, 12, 0, 12, 0, 0x02, 0x80, 0, 0};
    EXPECT_EQ(load_raw_image(bad_type.data(), static_cast<std::uint32_t>(bad_type.size()), true, false, &image), kErrNotRaw);
}

// ---- BMP --------------------------------------------------------------

Bytes bmp(std::uint32_t w, std::uint32_t h, const std::vector<std::uint8_t>& rows, std::uint16_t bpp = 1) {
    Bytes b(62, 0);
    b[0] = 'B', b[1] = 'M';
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(10, 62);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    b[26] = 1;
    b[28] = static_cast<std::uint8_t>(bpp);
    b.insert(b.end(), rows.begin(), rows.end());
    put32(2, static_cast<std::uint32_t>(b.size()));
    return b;
}

TEST_F(ImageDecodersTest, MonochromeBmp33By2) {
    // Bottom-up rows of two words: the bottom row has only pixel 32 set (the
    // most significant bit of the second word), the top row only pixel 0.
    const std::vector<std::uint8_t> rows = {0, 0, 0, 0, 0x80, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const Bytes b = bmp(33, 2, rows);
    SPictavoImage image{};
    ASSERT_EQ(ImageLoading::decode(b.data(), static_cast<std::uint32_t>(b.size()), kKeepFormat, &image), 0);
    EXPECT_EQ(image.format, kFormatC1);
    EXPECT_EQ(pixel(image, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(image, 1, 0), 0xFF000000u);
    EXPECT_EQ(pixel(image, 32, 1), 0xFFFFFFFFu);
    EXPECT_EQ(pixel(image, 31, 1), 0xFF000000u);
    LLUI_DISPLAY_closeOffScreen(&image);
    SPictavoImage rgb{};
    ASSERT_EQ(ImageLoading::decode(b.data(), static_cast<std::uint32_t>(b.size()), kFormatRGB565, &rgb), 0);
    EXPECT_EQ(pixel(rgb, 32, 1), 0xFFF8FCF8u);
    LLUI_DISPLAY_closeOffScreen(&rgb);
}

TEST_F(ImageDecodersTest, MalformedBmpIsRefused) {
    const std::uint32_t before = ImageHeap::freeBytes();
    const std::vector<std::uint8_t> rows(8, 0);
    SPictavoImage image{};
    Bytes b = bmp(8, 2, rows);
    EXPECT_EQ(decode_bmp(b.data(), 33, -1, &image), kErrNoDecoder);  // the compression word is cut
    Bytes four = bmp(8, 2, rows, 4);
    EXPECT_EQ(decode_bmp(four.data(), static_cast<std::uint32_t>(four.size()), -1, &image), kErrNoDecoder);
    Bytes tall = bmp(8, 3, rows);  // a third row beyond the file
    EXPECT_EQ(decode_bmp(tall.data(), static_cast<std::uint32_t>(tall.size()), -1, &image), kErrNotRaw);
    Bytes top_down = bmp(8, static_cast<std::uint32_t>(-2), rows);
    EXPECT_EQ(decode_bmp(top_down.data(), static_cast<std::uint32_t>(top_down.size()), -1, &image), kErrNotRaw);
    Bytes far = bmp(8, 2, rows);
    far[10] = 0xFF, far[11] = 0xFF, far[12] = 0xFF, far[13] = 0xFF;
    EXPECT_EQ(decode_bmp(far.data(), static_cast<std::uint32_t>(far.size()), -1, &image), kErrNotRaw);
    EXPECT_EQ(ImageHeap::freeBytes(), before);
}

// ---- PNG --------------------------------------------------------------

void chunk(Bytes& out, const char* type, const Bytes& body) {
    const std::uint32_t n = static_cast<std::uint32_t>(body.size());
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, out.data() + start, n + 4));
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
}

std::uint8_t paeth_predictor(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

struct PngSpec {
    std::uint32_t w, h;
    std::uint8_t depth, colour_type;
    bool interlaced;
    Bytes plte, trns;
};

// A PNG of pseudo-random samples, each row with the next of the five filters.
Bytes make_png(const PngSpec& s, std::uint32_t seed = 1) {
    const std::uint32_t samples[] = {1, 0, 3, 1, 2, 0, 4};
    const std::uint32_t spp = samples[s.colour_type];
    const std::uint32_t bpp = std::max<std::uint32_t>(1, spp * s.depth / 8);
    struct P { std::uint32_t x0, y0, dx, dy; };
    const P adam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    const P whole[1] = {{0, 0, 1, 1}};
    Bytes raw;
    std::uint32_t state = seed, filter = 0;
    for (int p = 0; p < (s.interlaced ? 7 : 1); ++p) {
        const P& pass = s.interlaced ? adam7[p] : whole[0];
        const std::uint32_t pw = s.w > pass.x0 ? (s.w - pass.x0 + pass.dx - 1) / pass.dx : 0;
        const std::uint32_t ph = s.h > pass.y0 ? (s.h - pass.y0 + pass.dy - 1) / pass.dy : 0;
        if (!pw || !ph) continue;
        const std::uint32_t bytes = s.depth < 8 ? (pw * s.depth + 7) / 8 * spp : pw * s.depth / 8 * spp;
        Bytes prior(bytes, 0);
        for (std::uint32_t y = 0; y < ph; ++y) {
            Bytes row(bytes);
            for (auto& v : row) {
                state = state * 1103515245 + 12345;
                v = static_cast<std::uint8_t>(state >> 16);
            }
            if (s.colour_type == 3) {  // indices inside the palette
                const std::uint32_t entries = static_cast<std::uint32_t>(s.plte.size() / 3);
                if (s.depth == 8 && entries != 0) for (auto& v : row) v = static_cast<std::uint8_t>(v % entries);
                else for (auto& v : row) v = static_cast<std::uint8_t>(entries >= (1u << s.depth) ? v : 0);
            }
            const std::uint8_t f = static_cast<std::uint8_t>(filter++ % 5);
            raw.push_back(f);
            for (std::uint32_t i = 0; i < bytes; ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
                const int pred = f == 0 ? 0 : f == 1 ? a : f == 2 ? b : f == 3 ? (a + b) / 2 : paeth_predictor(a, b, c);
                raw.push_back(static_cast<std::uint8_t>(row[i] - pred));
            }
            prior = row;
        }
    }
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr = {static_cast<std::uint8_t>(s.w >> 24), static_cast<std::uint8_t>(s.w >> 16), static_cast<std::uint8_t>(s.w >> 8),
                  static_cast<std::uint8_t>(s.w), static_cast<std::uint8_t>(s.h >> 24), static_cast<std::uint8_t>(s.h >> 16),
                  static_cast<std::uint8_t>(s.h >> 8), static_cast<std::uint8_t>(s.h), s.depth, s.colour_type, 0, 0,
                  static_cast<std::uint8_t>(s.interlaced)};
    chunk(out, "IHDR", ihdr);
    if (!s.plte.empty()) chunk(out, "PLTE", s.plte);
    if (!s.trns.empty()) chunk(out, "tRNS", s.trns);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(size);
    compress2(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    z.resize(size);
    // Two IDAT chunks, to gather.
    const std::size_t half = z.size() / 2;
    chunk(out, "IDAT", Bytes(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(half)));
    chunk(out, "IDAT", Bytes(z.begin() + static_cast<std::ptrdiff_t>(half), z.end()));
    chunk(out, "IEND", {});
    return out;
}

// libpng's decoding as ARGB8888 words.
std::vector<std::uint32_t> libpng_argb(const Bytes& file, std::uint32_t* w, std::uint32_t* h) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<std::uint32_t> out;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return out;
    image.format = PNG_FORMAT_BGRA;
    out.resize(std::size_t{image.width} * image.height);
    if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) out.clear();
    *w = image.width;
    *h = image.height;
    return out;
}

TEST_F(ImageDecodersTest, RefusedConversionLeavesTheHeapAsItWas) {
    // The loaded image is freed when the conversion asked for is refused:
    // a few such loads would otherwise fill the image heap.
    const Bytes png = make_png({320, 320, 8, 6, false, {}, {}});
    const Bytes raw = raw_rgb565(640, 640);  // 819,200 bytes of pixels
    struct Case {
        const char* what;
        const Bytes* file;
        std::int32_t format, result;
    };
    const Case cases[] = {
        {"PNG as A4", &png, kFormatA4, kErrNoDrawer},
        {"RAW copy as ARGB8888, too big", &raw, kFormatARGB8888, kErrOutOfMemory},
        {"RAW copy as C1", &raw, kFormatC1, kErrNoDrawer},
    };
    for (int round = 0; round < 3; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            const std::uint32_t before = ImageHeap::freeBytes();
            const std::int32_t registered = test::port().registered - test::port().unregistered;
            SPictavoImage image{};
            const auto length = static_cast<std::uint32_t>(c.file->size());
            const std::int32_t result = c.file == &png
                                            ? ImageLoading::decode(c.file->data(), length, c.format, &image)
                                            : ImageLoading::loadRaw(c.file->data(), length, true, false, c.format, &image);
            EXPECT_EQ(result, c.result);
            EXPECT_TRUE(image.flags & kImageClosed);
            EXPECT_EQ(ImageHeap::freeBytes(), before);
            EXPECT_EQ(test::port().registered - test::port().unregistered, registered);
        }
    }
}

TEST_F(ImageDecodersTest, PngMatrixAgreesWithLibpng) {
    Bytes plte;
    for (int i = 0; i < 256 * 3; ++i) plte.push_back(static_cast<std::uint8_t>(i * 37));
    const std::uint8_t grey_depths[] = {1, 2, 4, 8};
    std::vector<PngSpec> specs;
    for (bool interlaced : {false, true}) {
        for (std::uint8_t d : grey_depths) {
            specs.push_back({13, 11, d, 0, interlaced, {}, {}});
            specs.push_back({13, 11, d, 3, interlaced, Bytes(plte.begin(), plte.begin() + 3 * (1 << d)), {}});
            specs.push_back({13, 11, d, 3, interlaced, Bytes(plte.begin(), plte.begin() + 3 * (1 << d)), {0x00, 0x80}});
        }
        specs.push_back({13, 11, 8, 0, interlaced, {}, {0, 7}});
        specs.push_back({13, 11, 8, 2, interlaced, {}, {}});
        specs.push_back({13, 11, 8, 4, interlaced, {}, {}});
        specs.push_back({13, 11, 8, 6, interlaced, {}, {}});
        specs.push_back({1, 1, 8, 6, interlaced, {}, {}});
    }
    for (const PngSpec& s : specs) {
        const Bytes file = make_png(s);
        std::uint32_t w = 0, h = 0;
        const std::vector<std::uint32_t> expected = libpng_argb(file, &w, &h);
        ASSERT_EQ(expected.size(), std::size_t{s.w} * s.h);
        SPictavoImage image{};
        const std::string what = "type " + std::to_string(s.colour_type) + " depth " + std::to_string(s.depth) +
                                 (s.interlaced ? " interlaced" : "") + (s.trns.empty() ? "" : " tRNS");
        ASSERT_EQ(ImageLoading::decode(file.data(), static_cast<std::uint32_t>(file.size()), kKeepFormat, &image), 0) << what;
        ASSERT_EQ(image.format, kFormatARGB8888);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) {
                std::uint32_t e = expected[y * w + x];
                if ((e >> 24) == 0) e = 0;  // libpng clears the colour of transparent pixels
                std::uint32_t got = pixel(image, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
                if ((got >> 24) == 0) got = 0;
                ASSERT_EQ(got, e) << what << " at " << x << "," << y;
            }
        LLUI_DISPLAY_closeOffScreen(&image);
    }
}

TEST_F(ImageDecodersTest, SixteenBitSamples) {
    // One RGBA pixel with alpha 0xFFFF is opaque: the image is marked so.
    Bytes file = make_png({1, 1, 16, 6, false, {}, {}});
    // Rebuild with a chosen pixel: filter 0, R 0xFFFF G 0x8080 B 0x0101 A 0xFFFF.
    const Bytes raw = {0, 0xFF, 0xFF, 0x80, 0x80, 0x01, 0x01, 0xFF, 0xFF};
    uLongf size = compressBound(9);
    Bytes z(size);
    compress2(z.data(), &size, raw.data(), 9, 9);
    z.resize(size);
    Bytes png(file.begin(), file.begin() + 33);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    SPictavoImage image{};
    ASSERT_EQ(ImageLoading::decode(png.data(), static_cast<std::uint32_t>(png.size()), kKeepFormat, &image), 0);
    EXPECT_EQ(pixel(image, 0, 0), 0xFFFF8001u);  // v * 255 / 65535: 0x0101 gives 1
    EXPECT_TRUE(reinterpret_cast<const RawHeader*>(static_cast<std::uintptr_t>(image.data))->flags & 0x04);
    LLUI_DISPLAY_closeOffScreen(&image);
}

TEST_F(ImageDecodersTest, MalformedPngsAreRefusedWithoutLeaks) {
    const std::uint32_t before = ImageHeap::freeBytes();
    SPictavoImage image{};
    const Bytes good = make_png({5, 4, 8, 2, false, {}, {}});
    auto decode = [&](const Bytes& b) { return decode_png(b.data(), static_cast<std::uint32_t>(b.size()), -1, &image); };
    EXPECT_EQ(decode_png(good.data(), 32, -1, &image), kErrNoDecoder);
    Bytes crc = good;
    crc[29] ^= 1;
    EXPECT_EQ(decode(crc), kErrNotRaw);
    // A huge IHDR is refused before the image is made.
    Bytes huge(good.begin(), good.begin() + 8);
    chunk(huge, "IHDR", {0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1, 8, 2, 0, 0, 0});
    chunk(huge, "IEND", {});
    EXPECT_EQ(decode(huge), kErrNotRaw);
    // Palette type without PLTE; tRNS before PLTE; a second PLTE.
    Bytes no_plte = make_png({4, 4, 8, 3, false, {}, {}});
    EXPECT_EQ(decode(no_plte), kErrNotRaw);
    Bytes early(good.begin(), good.begin() + 8);
    chunk(early, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 3, 0, 0, 0});
    chunk(early, "tRNS", {0});
    chunk(early, "PLTE", {1, 2, 3});
    chunk(early, "IEND", {});
    EXPECT_EQ(decode(early), kErrNotRaw);
    Bytes two = make_png({2, 2, 1, 3, false, {1, 2, 3, 4, 5, 6}, {}});
    Bytes second(two.begin(), two.begin() + 33);
    chunk(second, "PLTE", {9, 9, 9});
    second.insert(second.end(), two.begin() + 33, two.end());
    EXPECT_EQ(decode(second), kErrNotRaw);
    // A chunk length that wraps a 32-bit sum.
    Bytes wrap(good.begin(), good.begin() + 33);
    const std::uint8_t wrap_len[] = {0xFF, 0xFF, 0xFF, 0xF4, 'I', 'D', 'A', 'T'};
    wrap.insert(wrap.end(), wrap_len, wrap_len + 8);
    wrap.resize(wrap.size() + 16);
    EXPECT_EQ(decode(wrap), kErrNotRaw);
    // Filter type 5 on a row.
    const Bytes raw = {5, 1, 2, 3};
    uLongf size = compressBound(4);
    Bytes z(size);
    compress2(z.data(), &size, raw.data(), 4, 9);
    z.resize(size);
    Bytes filter5(good.begin(), good.begin() + 8);
    chunk(filter5, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0});
    chunk(filter5, "IDAT", z);
    chunk(filter5, "IEND", {});
    EXPECT_EQ(decode(filter5), kErrNotRaw);
    // Every truncation and many single-byte corruptions of a good file.
    for (std::size_t n = 33; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_NE(decode(cut), 0) << n;
    }
    std::uint32_t state = 7;
    for (int i = 0; i < 1000; ++i) {
        Bytes bad = good;
        state = state * 1103515245 + 12345;
        bad[33 + (state >> 8) % (bad.size() - 33)] ^= static_cast<std::uint8_t>(1 + (state >> 24) % 255);
        if (decode(bad) == 0) LLUI_DISPLAY_closeOffScreen(&image);
    }
    EXPECT_EQ(ImageHeap::freeBytes(), before);
}

TEST_F(ImageDecodersTest, PngEdgeCases) {
    SPictavoImage image{};
    // A 2-entry palette with 4-bit indices: index 5 is opaque black.
    Bytes file(8);
    std::memcpy(file.data(), "\x89PNG\r\n\x1A\n", 8);
    chunk(file, "IHDR", {0, 0, 0, 2, 0, 0, 0, 1, 4, 3, 0, 0, 0});
    chunk(file, "PLTE", {255, 0, 0, 0, 255, 0});
    const Bytes raw = {0, 0x15};
    uLongf size = compressBound(2);
    Bytes z(size);
    compress2(z.data(), &size, raw.data(), 2, 9);
    z.resize(size);
    chunk(file, "IDAT", z);
    chunk(file, "IEND", {});
    ASSERT_EQ(decode_png(file.data(), static_cast<std::uint32_t>(file.size()), -1, &image), 0);
    EXPECT_EQ(pixel(image, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(pixel(image, 1, 0), 0xFF000000u);
    LLUI_DISPLAY_closeOffScreen(&image);
    // One file's tRNS does not reach the next.
    const Bytes keyed = make_png({4, 4, 8, 0, false, {}, {0, 0}}, 3);
    ASSERT_EQ(decode_png(keyed.data(), static_cast<std::uint32_t>(keyed.size()), -1, &image), 0);
    LLUI_DISPLAY_closeOffScreen(&image);
    const Bytes plain = make_png({4, 4, 8, 0, false, {}, {}}, 3);
    ASSERT_EQ(decode_png(plain.data(), static_cast<std::uint32_t>(plain.size()), -1, &image), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(pixel(image, x, y) >> 24, 255u);
    LLUI_DISPLAY_closeOffScreen(&image);
}

// The rows are inflated and unfiltered a block at a time: a PNG decodes
// with not much more free heap than its image takes, where its whole
// compressed stream and all its inflated rows would not fit beside it. The
// rows span several blocks, interlaced or not.
TEST_F(ImageDecodersTest, PngNeedsLittleHeapBesideItsImage) {
    for (bool interlaced : {false, true}) {
        const Bytes file = make_png({200, 100, 8, 6, interlaced, {}, {}});
        std::uint32_t w = 0, h = 0;
        const std::vector<std::uint32_t> expected = libpng_argb(file, &w, &h);
        ASSERT_EQ(expected.size(), 200u * 100u);
        const std::uint32_t before = ImageHeap::freeBytes();
        void* filler = ImageHeap::allocate(before - (200 * 100 * 4 + 110000));
        ASSERT_NE(filler, nullptr);
        SPictavoImage image{};
        ASSERT_EQ(decode_png(file.data(), static_cast<std::uint32_t>(file.size()), -1, &image), 0) << interlaced;
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) {
                // libpng clears the colour of transparent pixels.
                const std::uint32_t got = pixel(image, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
                const std::uint32_t e = expected[y * w + x];
                ASSERT_EQ(got >> 24 == 0 ? 0 : got, e >> 24 == 0 ? 0 : e) << interlaced << " at " << x << "," << y;
            }
        LLUI_DISPLAY_closeOffScreen(&image);
        ImageHeap::free(filler);
        EXPECT_EQ(ImageHeap::freeBytes(), before);
    }
}

TEST_F(ImageDecodersTest, PngAsRgb565LeavesOnlyTheImage) {
    const std::uint32_t before = ImageHeap::freeBytes();
    const Bytes file = make_png({6, 5, 8, 6, false, {}, {}});
    SPictavoImage image{};
    ASSERT_EQ(ImageLoading::decode(file.data(), static_cast<std::uint32_t>(file.size()), kFormatRGB565, &image), 0);
    EXPECT_EQ(image.format, kFormatRGB565);
    LLUI_DISPLAY_closeOffScreen(&image);
    EXPECT_EQ(ImageHeap::freeBytes(), before);
}

}  // namespace
}  // namespace tarvelo::graphics
