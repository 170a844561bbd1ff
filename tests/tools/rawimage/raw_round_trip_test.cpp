// RAW files made by the builder, loaded by the engine's RAW reader and read
// back pixel by pixel: every format, at its default memory width and a wider
// one, as literal stretches and as runs.
#include "tools/rawimage/raw_encoder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "graphics/loaders/image_decoders.h"
#include "graphics/pixels/pixel_formats.h"
#include "tests/graphics/test_port.h"
#include "tools/rawimage/png_input.h"
#include "tools/rawimage/run_length.h"
#include "tools/rawimage/synthetic.h"

namespace tarvelo::rawimage {
namespace {

namespace g = tarvelo::graphics;

constexpr std::uint32_t kForeground = 0xABCDEF;  // colour of the alpha-only formats

struct Pair {
    std::uint32_t in, out;
};
struct FormatCase {
    std::int32_t format;
    std::vector<Pair> pairs;  // what the engine reads for each pixel written
};

// Alpha-only formats read their opacity with the foreground colour.
constexpr std::uint32_t fg(std::uint32_t alpha) { return alpha << 24 | kForeground; }

const std::vector<FormatCase>& cases() {
    static const std::vector<FormatCase> table = {
        {0, {{0xFF0000F8, 0xFF0000F8}, {0xFFFFFFFF, 0xFFF8FCF8}, {0x80123456, 0xFF103450}}},
        {1, {{0xFF0000F8, 0xFF0000F8}, {0x7F123456, 0}, {0xFFFFFFFF, 0xFFF8FCF8}, {0x80123456, 0xFF103450}}},
        {2, {{0x80123456, 0x80123456}, {0, 0}, {0xFFFFFFFF, 0xFFFFFFFF}}},
        {3, {{0x80123456, 0xFF123456}, {0, 0xFF000000}, {0xFFFFFFFF, 0xFFFFFFFF}}},
        {4, {{0xFF0000F8, 0xFF0000F8}, {0xFFFFFFFF, 0xFFF8FCF8}, {0x80123456, 0xFF103450}}},
        {5, {{0xFF0800F8, 0xFF0800F8}, {0x7F0800F8, 0x000800F8}, {0x80FFFFFF, 0xFFF8F8F8}}},
        {6, {{0x11223344, 0x11223344}, {0xFFFFFFFF, 0xFFFFFFFF}, {0, 0}, {0x1F2F3F4F, 0x22223344}}},
        {7, {{0x11000000, fg(0x11)}, {0xFF123456, fg(0xFF)}, {0x00FFFFFF, fg(0)}, {0x80000000, fg(0x88)}}},
        {8, {{0x7F000000, fg(0x7F)}, {0xFF123456, fg(0xFF)}, {0, fg(0)}}},
        {9, {{0x80123456, 0xFF123456}, {0xFF000000, 0xFF000000}, {0xFFFFFFFF, 0xFFFFFFFF}}},
        {10, {{0x80123456, 0x80123456}, {0, 0}, {0xFFFFFFFF, 0xFFFFFFFF}}},
        {11, {{0x55000000, fg(0x55)}, {0xAA000000, fg(0xAA)}, {0x40000000, fg(0x55)}, {0, fg(0)}}},
        {12, {{0x80000000, fg(0xFF)}, {0x7F000000, fg(0)}}},
        {13, {{0xFF111111, 0xFF111111}, {0xFFFF0000, 0xFF333333}, {0x00FFFFFF, 0xFFFFFFFF}}},
        {14, {{0xFF555555, 0xFF555555}, {0xFFAAAAAA, 0xFFAAAAAA}, {0xFF000000, 0xFF000000}}},
        {15, {{0xFF808080, 0xFFFFFFFF}, {0xFF7F7F7F, 0xFF000000}}},
        {16, {{0x11FFFFFF, 0x11FFFFFF}, {0xFF222222, 0xFF222222}, {0, 0}}},
        {17, {{0x55AAAAAA, 0x55AAAAAA}, {0xFF555555, 0xFF555555}, {0xAA000000, 0xAA000000}, {0, 0}}},
        {18, {{0xFFFFFFFF, 0xFFFFFFFF}, {0xFF000000, 0xFF000000}, {0x00FFFFFF, 0x00FFFFFF}, {0, 0}}},
        {19, {{0x7F000000, fg(0x7F)}, {0xFF123456, fg(0xFF)}, {0, fg(0)}}},
        {20, {{0x11000000, fg(0x11)}, {0xFF123456, fg(0xFF)}, {0x80000000, fg(0x88)}}},
        {21, {{0x55000000, fg(0x55)}, {0xAA000000, fg(0xAA)}, {0, fg(0)}}},
        {22, {{0x80000000, fg(0xFF)}, {0x7F000000, fg(0)}}},
        {23, {{0x7F000000, fg(0x7F)}, {0, 0}, {0xFF123456, fg(0xFF)}}},
        {24, {{0xFFFFFFFF, 0xFFFFFFFF}, {0, 0}, {0x80FF0000, 0x80FF0000}, {0x40FF7F00, 0x40FF7F00}}},
        {25, {{0xFF0800F8, 0xFF0800F8}, {0x7F123456, 0}}},
        {26, {{0xFFFFFFFF, 0xFFFFFFFF}, {0x88FF0000, 0x88FF0000}, {0x887F0000, 0x887F0000}, {0, 0}}},
    };
    return table;
}

class RawRoundTripTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(g::test::port().start(&display_), 0); }
    SPictavoGraphicsContext display_{};
};

// Loads `file` as the engine does (a copy in the image heap); -3 when refused.
std::int32_t load(const std::vector<std::uint8_t>& file, SPictavoImage* image) {
    return g::load_raw_image(file.data(), static_cast<std::uint32_t>(file.size()), true, false, image);
}

std::vector<std::uint32_t> read_back(const SPictavoImage& image) {
    g::PixelSource source;
    EXPECT_TRUE(g::prepare_source(&image, kForeground, &source));
    std::vector<std::uint32_t> out;
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x) out.push_back(g::read_pixel(source, x, y));
    return out;
}

// Width 11 leaves a partial byte in every sub-byte format; `run` repeats
// each pair that many times (1: literal stretches, 7: runs).
void round_trip(const FormatCase& c, std::uint32_t extra_stride, std::uint32_t run) {
    Picture picture;
    picture.width = 11;
    picture.height = 3;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 0; i < picture.width * picture.height; ++i) {
        const Pair& p = c.pairs[(i / run) % c.pairs.size()];
        picture.argb.push_back(p.in);
        expected.push_back(p.out);
    }
    RawOptions options;
    options.format = c.format;
    if (extra_stride != 0) {
        const std::uint32_t bpp = g::bits_per_pixel(c.format);
        const std::uint32_t normal = g::is_rle_format(c.format) ? picture.width
                                                                : g::default_memory_width(c.format, picture.width);
        options.memory_width = normal + (bpp < 8 ? 1 : extra_stride);
    }
    std::string error;
    const std::vector<std::uint8_t> file = encode_raw(picture, options, &error);
    ASSERT_FALSE(file.empty()) << error;
    const std::uint32_t before = g::ImageHeap::freeBytes();
    SPictavoImage image{};
    ASSERT_EQ(load(file, &image), 0);
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.width, picture.width);
    EXPECT_EQ(read_back(image), expected);
    LLUI_DISPLAY_closeOffScreen(&image);
    EXPECT_EQ(g::ImageHeap::freeBytes(), before);
    // One byte short is refused, not read past.
    const std::vector<std::uint8_t> cut(file.begin(), file.end() - 1);
    if (!g::is_rle_format(c.format)) {
        EXPECT_EQ(load(cut, &image), g::kErrNotRaw);
    }
}

TEST_F(RawRoundTripTest, EveryFormatReadsBackWhatWasWritten) {
    for (const FormatCase& c : cases()) {
        for (std::uint32_t stride : {0u, 3u})
            for (std::uint32_t run : {1u, 7u}) {
                SCOPED_TRACE("format " + std::to_string(c.format) + " stride+" + std::to_string(stride) + " run " +
                             std::to_string(run));
                round_trip(c, stride, run);
            }
    }
}

TEST_F(RawRoundTripTest, RunLengthGroupsNeverExceedTheirCount) {
    // 40000 pixels of one value need three groups of at most 0x3FFF.
    const std::vector<std::uint8_t> a8 = encode_a8rle(std::vector<std::uint8_t>(40000, 9));
    ASSERT_EQ(a8.size(), 3 * 4 + 2u);
    EXPECT_EQ(a8[0] | a8[1] << 8, 0x3FFF);
    Picture picture;
    std::string why;
    ASSERT_TRUE(make_synthetic("gradient", 400, 100, &picture, &why));
    for (std::int32_t format : {1, 23}) {
        RawOptions options;
        options.format = format;
        std::string error;
        const std::vector<std::uint8_t> file = encode_raw(picture, options, &error);
        ASSERT_FALSE(file.empty()) << error;
        SPictavoImage image{};
        ASSERT_EQ(load(file, &image), 0);
        const std::vector<std::uint32_t> back = read_back(image);
        for (std::size_t i = 0; i < back.size(); i += 997) {
            const std::uint32_t a = picture.argb[i] >> 24;
            const std::uint32_t want =
                format == 23 ? (a == 0 ? 0 : fg(a)) : (a < 128 ? 0 : g::rgb565_to_argb(g::argb_to_rgb565(picture.argb[i])));
            EXPECT_EQ(back[i], want) << i;
        }
        LLUI_DISPLAY_closeOffScreen(&image);
        // A stream cut inside a group is refused.
        const std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
        EXPECT_EQ(load(cut, &image), g::kErrNotRaw);
    }
}

TEST_F(RawRoundTripTest, PaletteBeyond256ColoursIsRefused) {
    Picture picture;
    std::string error;
    ASSERT_TRUE(make_synthetic("gradient", 64, 64, &picture, &error));
    RawOptions options;
    options.format = g::kFormatLARGB8888;
    EXPECT_TRUE(encode_raw(picture, options, &error).empty());
    EXPECT_NE(error.find("256"), std::string::npos);
}

TEST_F(RawRoundTripTest, HeaderFlagsAndOffsets) {
    Picture picture;
    std::string error;
    ASSERT_TRUE(make_synthetic("solid:FF102030", 3, 2, &picture, &error));
    RawOptions options;
    options.format = g::kFormatARGB8888;
    // 32-bit pixels lie at a multiple of 4: a padding of 5 is refused.
    options.padding = 5;
    EXPECT_TRUE(encode_raw(picture, options, &error).empty());
    EXPECT_NE(error.find("multiple of 4"), std::string::npos) << error;
    options.padding = 8;
    std::vector<std::uint8_t> file = encode_raw(picture, options, &error);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file[8 + 5], 0x04);  // opaque: no pixel below 255
    EXPECT_EQ(file[8 + 8], 12 + 8);
    SPictavoImage image{};
    ASSERT_EQ(load(file, &image), 0);
    EXPECT_EQ(read_back(image), std::vector<std::uint32_t>(6, 0xFF102030));
    LLUI_DISPLAY_closeOffScreen(&image);
    picture.argb[0] = 0x80102030;
    file = encode_raw(picture, options, &error);
    EXPECT_EQ(file[8 + 5], 0x00);
}

TEST_F(RawRoundTripTest, PngThroughLibpng) {
    // A 3 x 2 RGBA PNG written by libpng, read by the builder.
    const std::string path = ::testing::TempDir() + "rawimage_round_trip.png";
    const std::uint8_t rgba[] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0,
                                 16, 32, 48, 255, 255, 255, 255, 255, 0, 0, 0, 255};
    png_image out{};
    out.version = PNG_IMAGE_VERSION;
    out.width = 3;
    out.height = 2;
    out.format = PNG_FORMAT_RGBA;
    ASSERT_NE(png_image_write_to_file(&out, path.c_str(), 0, rgba, 0, nullptr), 0);
    Picture picture;
    std::string error;
    ASSERT_TRUE(read_png(path, &picture, &error)) << error;
    EXPECT_EQ(picture.argb, (std::vector<std::uint32_t>{0xFFFF0000, 0x8000FF00, 0x000000FF, 0xFF102030,
                                                        0xFFFFFFFF, 0xFF000000}));
    EXPECT_FALSE(read_png(path + ".missing", &picture, &error));
    std::remove(path.c_str());
}

}  // namespace
}  // namespace tarvelo::rawimage
