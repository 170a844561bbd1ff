// Digests of what the software drawers with tuned inner loops write, over
// many cases each: rotated and scaled images (every source kind, angle,
// factor, alpha and clip below), image blends of every row width up to
// past the widest vector step, vertical lines, fills, PNG decoding (every
// colour type, depth, filter, interlacing and a few damaged files) and the
// anti-aliased shapes' fades. Run it
// before and after changing such a loop: every line must stay the same.
// Needs no benchmark library, so that the cross build can run it too.
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "graphics/display/llui_display.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_transforms.h"
#include "graphics/images/new_images.h"
#include "graphics/loaders/image_decoders.h"
#include "graphics/shapes/shape_entry_points.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"

namespace {

using namespace tarvelo::graphics;

// FNV-1a, 64 bits.
class Digest {
public:
    void add(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size; ++i) value_ = (value_ ^ p[i]) * 0x100000001B3ull;
    }
    void add_word(std::int64_t v) { add(&v, sizeof v); }
    // A case, and whether it drew (or decoded) anything.
    void count(bool did) {
        ++cases_;
        if (did) ++did_;
    }
    void print(const char* what) const {
        std::printf("%-18s %6u cases, %6u drew  %016llx\n", what, cases_, did_, static_cast<unsigned long long>(value_));
    }

private:
    std::uint64_t value_ = 0xCBF29CE484222325ull;
    unsigned cases_ = 0, did_ = 0;
};

std::uint32_t g_seed = 1;
std::uint32_t next_random() {
    g_seed = g_seed * 1103515245u + 12345u;
    return g_seed >> 8;
}

// The destination: an RGB565 canvas with an odd memory width (rows start at
// both 2- and 4-byte boundaries) over a fixed random picture.
constexpr std::uint32_t kCanvasW = 96, kCanvasH = 80, kCanvasStride = 97;
alignas(64) std::uint8_t g_canvas_block[12 + 2 * kCanvasStride * kCanvasH];
std::uint16_t g_picture[kCanvasStride * kCanvasH];
SPictavoGraphicsContext g_gc;

std::uint16_t* canvas_pixels() { return reinterpret_cast<std::uint16_t*>(g_canvas_block + 12); }

struct Clip {
    std::int16_t x1, y1, x2, y2;
};
constexpr Clip kClips[] = {{0, 0, kCanvasW - 1, kCanvasH - 1}, {13, 7, 70, 61}};

void reset_canvas(const Clip& clip) {
    std::memcpy(canvas_pixels(), g_picture, sizeof g_picture);
    g_gc.clip_x1 = clip.x1, g_gc.clip_y1 = clip.y1, g_gc.clip_x2 = clip.x2, g_gc.clip_y2 = clip.y2;
}

void add_canvas(Digest& d) {
    d.add(canvas_pixels(), sizeof g_picture);
    d.count(std::memcmp(canvas_pixels(), g_picture, sizeof g_picture) != 0);
}

// Source images of several formats and sizes, random pixels with runs of
// fully opaque and fully transparent ones.
struct Source {
    std::int8_t format;
    std::uint8_t flags;
    std::uint32_t bits;
};
constexpr Source kFormats[] = {
    {4, kRawOpaque | kRawDisplayFormat, 16}, {2, 0, 32}, {3, kRawOpaque, 24}, {6, 0, 16}, {8, 0, 8}, {7, 0, 4},
};
struct Size {
    std::uint32_t w, h;
};
constexpr Size kSizes[] = {{1, 1}, {2, 3}, {7, 5}, {31, 17}, {64, 48}};

alignas(64) std::uint8_t g_source_blocks[6][5][64 + 4 * 64 * 48];
SPictavoImage g_sources[6][5];

std::uint32_t memory_width(std::uint32_t bits, std::uint32_t w) { return bits < 8 ? (w * bits + 7) / 8 : w; }

void make_sources() {
    for (std::size_t f = 0; f < 6; ++f) {
        for (std::size_t s = 0; s < 5; ++s) {
            const Source& src = kFormats[f];
            const Size size = kSizes[s];
            std::uint8_t* block = g_source_blocks[f][s];
            const std::uint32_t m = memory_width(src.bits, size.w);
            g_sources[f][s] = NewImages::describe(block, src.format, size.w, size.h, m, src.flags, 64);
            std::uint8_t* pixels = block + 64;
            const std::uint32_t bytes = src.bits < 8 ? m * size.h : m * size.h * src.bits / 8;
            for (std::uint32_t i = 0; i < bytes; ++i) {
                std::uint8_t v = static_cast<std::uint8_t>(next_random());
                // Alpha bytes of ARGB8888: whole runs opaque or transparent.
                if (src.format == 2 && i % 4 == 3) {
                    const std::uint32_t run = (i / 4 / 9) % 3;
                    v = run == 0 ? 255 : run == 1 ? 0 : v;
                }
                pixels[i] = v;
            }
        }
    }
}

// ---- rotated images ---------------------------------------------------------

constexpr float kAngles[] = {0, 1, 30, 45, 89.5f, 90, 133.7f, 180, 270, -17, 359.5f, 1000};
constexpr std::int32_t kAlphas[] = {255, 160, 0};
struct Place {
    std::int32_t x, y, rx, ry;
};
constexpr Place kRotatePlaces[] = {{30, 20, 40, 30}, {-10, -8, 0, 0}, {70, 60, 90, 75}, {20, 25, 20, 25}};

void rotations(Digest& nearest_digest, Digest& bilinear_digest) {
    for (std::size_t f = 0; f < 6; ++f)
        for (std::size_t s = 0; s < 5; ++s)
            for (float angle : kAngles)
                for (std::int32_t alpha : kAlphas)
                    for (const Place& p : kRotatePlaces)
                        for (const Clip& clip : kClips)
                            for (bool nearest : {true, false}) {
                                reset_canvas(clip);
                                if (nearest)
                                    DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(&g_gc, &g_sources[f][s], p.x, p.y,
                                                                                    p.rx, p.ry, angle, alpha);
                                else
                                    DW_DRAWING_SOFT_drawRotatedImageBilinear(&g_gc, &g_sources[f][s], p.x, p.y, p.rx,
                                                                             p.ry, angle, alpha);
                                add_canvas(nearest ? nearest_digest : bilinear_digest);
                            }
}

// Mirrored and region-relative rotation (as rotated glyphs use it).
void mirrored_rotations(Digest& d) {
    for (std::size_t f : {0u, 1u, 4u, 5u})
        for (float angle : {0.0f, 30.0f, 200.0f})
            for (bool nearest : {true, false})
                for (bool mirror : {false, true})
                    for (std::int32_t region : {0, 3}) {
                        reset_canvas(kClips[0]);
                        Rotation::draw(&g_sources[f][4], &g_gc, 20, 15, 50, 40, angle, nearest, 200, mirror, 40, 30,
                                       region, region / 2);
                        add_canvas(d);
                    }
}

// ---- scaled images ----------------------------------------------------------

struct Factors {
    float x, y;
};
constexpr Factors kFactors[] = {{1, 1}, {2.5f, 2.5f}, {0.3f, 0.7f}, {3.7f, 1.2f}, {0.01f, 5}, {1.5f, 0.5f}, {9, 9}};
constexpr Place kScalePlaces[] = {{5, 4, 0, 0}, {-13, -9, 0, 0}, {60, 50, 0, 0}};

void scalings(Digest& nearest_digest, Digest& bilinear_digest) {
    for (std::size_t f = 0; f < 6; ++f)
        for (std::size_t s = 0; s < 5; ++s)
            for (const Factors& k : kFactors)
                for (std::int32_t alpha : kAlphas)
                    for (const Place& p : kScalePlaces)
                        for (const Clip& clip : kClips)
                            for (bool nearest : {true, false}) {
                                reset_canvas(clip);
                                if (nearest)
                                    DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&g_gc, &g_sources[f][s], p.x, p.y,
                                                                                   k.x, k.y, alpha);
                                else
                                    DW_DRAWING_SOFT_drawScaledImageBilinear(&g_gc, &g_sources[f][s], p.x, p.y, k.x,
                                                                            k.y, alpha);
                                add_canvas(nearest ? nearest_digest : bilinear_digest);
                            }
}

// The canvas scaled and rotated onto itself: its rows change as they are
// read.
void onto_itself(Digest& d) {
    for (const Factors& k : kFactors)
        for (const Place& p : kScalePlaces)
            for (bool nearest : {true, false}) {
                reset_canvas(kClips[0]);
                SPictavoImage self = g_gc.image;
                if (nearest)
                    DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&g_gc, &self, p.x, p.y, k.x, k.y, 255);
                else
                    DW_DRAWING_SOFT_drawScaledImageBilinear(&g_gc, &self, p.x, p.y, k.x, k.y, 255);
                add_canvas(d);
            }
    for (float angle : kAngles)
        for (bool nearest : {true, false}) {
            reset_canvas(kClips[1]);
            SPictavoImage self = g_gc.image;
            if (nearest)
                DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(&g_gc, &self, 3, 2, 40, 30, angle, 255);
            else
                DW_DRAWING_SOFT_drawRotatedImageBilinear(&g_gc, &self, 3, 2, 40, 30, angle, 255);
            add_canvas(d);
        }
}

// ---- blends and lines -------------------------------------------------------

void blends(Digest& d) {
    for (std::size_t f = 0; f < 6; ++f)
        for (std::int32_t w = 1; w <= 40; ++w)
            for (std::int32_t alpha : {255, 254, 128, 1, 0})
                for (std::int32_t sx : {0, 1, 3})
                    for (std::int32_t dx : {0, 1, 2, 60})
                        for (const Clip& clip : kClips) {
                            reset_canvas(clip);
                            UI_DRAWING_SOFT_drawImage(&g_gc, &g_sources[f][4], sx, 2, w, 40, dx, 5, alpha);
                            add_canvas(d);
                        }
}

void vertical_lines(Digest& d) {
    for (std::int32_t x : {-1, 0, 1, 13, 50, 95, 96})
        for (std::int32_t y1 : {-5, 0, 7, 40, 79})
            for (std::int32_t y2 : {-1, 0, 8, 61, 79, 200})
                for (const Clip& clip : kClips) {
                    reset_canvas(clip);
                    g_gc.foreground_color = 0xFF000000u | next_random();
                    UI_DRAWING_SOFT_drawVerticalLine(&g_gc, x, y1, y2);
                    add_canvas(d);
                }
}

// ---- fills --------------------------------------------------------------------

// Colours whose two RGB565 bytes differ and colours whose bytes are equal
// (0x0000, 0xFFFF, 0x3333): a fill may store the two kinds differently.
std::uint32_t fill_colour(int k) {
    constexpr std::uint32_t kEqualBytes[] = {0xFF000000u, 0xFFFFFFFFu, 0xFF336699u};
    return k < 3 ? kEqualBytes[k] : 0xFF000000u | next_random();
}

// Horizontal lines and rectangles of every width up to past the widest
// vector step and beyond, at both pixel parities, on rows starting at 2-
// and 4-byte boundaries; and whole-canvas rectangles of a canvas whose rows
// follow one another without a gap (one run of memory).
void fills(Digest& d) {
    for (int k = 0; k < 5; ++k)
        for (std::int32_t x1 : {-3, 0, 1, 2, 3, 5, 8, 17})
            for (std::int32_t w = 0; w <= 90; w += w < 40 ? 1 : 7)
                for (const Clip& clip : kClips) {
                    reset_canvas(clip);
                    g_gc.foreground_color = fill_colour(k);
                    const std::int32_t x2 = x1 + w - 1;
                    UI_DRAWING_SOFT_drawHorizontalLine(&g_gc, x1, x2, 10 + (x1 & 1));
                    UI_DRAWING_SOFT_fillRectangle(&g_gc, x1, 20, x2, 22 + w % 5);
                    add_canvas(d);
                }
    constexpr std::uint32_t kW = 96, kH = 40;
    alignas(64) static std::uint8_t block[12 + 2 * kW * kH];
    SPictavoGraphicsContext gc{};
    gc.image = NewImages::describe(block, 4, kW, kH, kW, kRawOpaque | kRawDisplayFormat, 12);
    NewImages::initMutable(&gc, kW, kH, 0);
    for (int k = 0; k < 5; ++k)
        for (std::int32_t y1 : {-2, 0, 1, 39})
            for (std::int32_t y2 : {0, 1, 17, 39, 60}) {
                std::memset(block + 12, 0xA5, 2 * kW * kH);
                gc.foreground_color = fill_colour(k);
                UI_DRAWING_SOFT_fillRectangle(&gc, -1, y1, kW, y2);
                d.add(block + 12, 2 * kW * kH);
                d.count(y1 <= y2);
            }
    g_gc.foreground_color = 0xFF3A7D21;
}

// ---- PNG decoding -----------------------------------------------------------

void write_callback(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

struct PngKind {
    int colour_type, depth;
};
constexpr PngKind kPngKinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                 {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
constexpr int kPngFilters[] = {PNG_ALL_FILTERS, PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                               PNG_FILTER_PAETH};

std::vector<std::uint8_t> make_png(const PngKind& kind, std::uint32_t w, std::uint32_t h, bool interlaced,
                                   int filters, bool transparency) {
    const int channels = kind.colour_type == 0 || kind.colour_type == 3 ? 1
                         : kind.colour_type == 4                        ? 2
                         : kind.colour_type == 2                        ? 3
                                                                        : 4;
    const std::size_t row_bytes = (std::size_t{w} * channels * kind.depth + 7) / 8;
    std::vector<std::uint8_t> pixels(row_bytes * h);
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t i = 0; i < row_bytes; ++i)
            // Smooth with noise, so that every filter has work.
            pixels[y * row_bytes + i] = static_cast<std::uint8_t>(i * 3 + y * 5 + (next_random() & 15));
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, write_callback, nullptr);
    png_set_IHDR(png, info, w, h, kind.depth, kind.colour_type, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (kind.colour_type == 3) {
        png_color palette[256];
        png_byte alpha[256];
        for (int i = 0; i < 256; ++i) {
            palette[i] = {static_cast<png_byte>(i * 7), static_cast<png_byte>(255 - i), static_cast<png_byte>(i * 13)};
            alpha[i] = static_cast<png_byte>(i * 37);
        }
        png_set_PLTE(png, info, palette, 1 << kind.depth);
        if (transparency) png_set_tRNS(png, info, alpha, 1 << (kind.depth - 1), nullptr);
    } else if (transparency && (kind.colour_type == 0 || kind.colour_type == 2)) {
        png_color_16 key{};
        key.gray = static_cast<png_uint_16>(pixels[0] & ((1 << kind.depth) - 1));
        key.red = pixels[0], key.green = pixels[1 % row_bytes], key.blue = pixels[2 % row_bytes];
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_set_filter(png, 0, filters);
    png_write_info(png, info);
    std::vector<png_bytep> rows(h);
    for (std::uint32_t y = 0; y < h; ++y) rows[y] = &pixels[y * row_bytes];
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

alignas(64) std::uint8_t g_png_area[1 << 20];

void decode_into(Digest& d, const std::vector<std::uint8_t>& file, std::int32_t format) {
    if (file.size() > sizeof g_png_area) return;
    std::memcpy(g_png_area, file.data(), file.size());
    SPictavoImage image{};
    const std::int32_t result = decode_png(g_png_area, static_cast<std::uint32_t>(file.size()), format, &image);
    d.add_word(result);
    if (result == 0) {
        // Everything of the descriptor but the address, which moves with the
        // program's layout.
        const std::int64_t fields[] = {image.width, image.height, image.memory_width, image.format, image.flags};
        d.add(fields, sizeof fields);
        const std::uint32_t bytes = LLUI_DISPLAY_getStrideInBytes(&image) * image.height;
        d.add(tarvelo::to_ptr<std::uint8_t>(LLUI_DISPLAY_getBufferAddress(&image)), bytes);
        LLUI_DISPLAY_closeOffScreen(&image);
    }
    d.count(result == 0);
}

// A damaged copy: one byte of the first IDAT's data changed and the chunk's
// CRC made right again, so that the damage reaches the inflater and filters.
std::vector<std::uint8_t> damaged(std::vector<std::uint8_t> file, std::size_t offset) {
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t size = static_cast<std::uint32_t>(file[at] << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]);
        if (std::memcmp(&file[at + 4], "IDAT", 4) == 0 && size > 0) {
            file[at + 8 + offset % size] ^= 0x5A;
            const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &file[at + 4], size + 4));
            for (int i = 0; i < 4; ++i) file[at + 8 + size + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
            break;
        }
        at += 12 + size;
    }
    return file;
}

void png_decoding(Digest& d) {
    for (const PngKind& kind : kPngKinds)
        for (Size size : {Size{1, 1}, Size{3, 2}, Size{17, 9}, Size{40, 33}})
            for (bool interlaced : {false, true})
                for (int filters : kPngFilters)
                    for (bool transparency : {false, true}) {
                        const std::vector<std::uint8_t> file =
                            make_png(kind, size.w, size.h, interlaced, filters, transparency);
                        for (std::int32_t format : {-1, 4, 3}) decode_into(d, file, format);
                        if (filters == PNG_ALL_FILTERS && !transparency) {
                            for (std::size_t cut : {file.size() - 13, file.size() - 20, file.size() / 2})
                                decode_into(d, std::vector<std::uint8_t>(file.begin(), file.begin() + cut), -1);
                            for (std::size_t offset : {2u, 5u, 11u, 40u}) decode_into(d, damaged(file, offset), -1);
                        }
                    }
    // Rows enough to be inflated in several blocks.
    for (const PngKind& kind : kPngKinds)
        for (bool interlaced : {false, true}) {
            const std::vector<std::uint8_t> file = make_png(kind, 300, 120, interlaced, PNG_ALL_FILTERS, false);
            decode_into(d, file, -1);
            decode_into(d, damaged(file, file.size() / 2), -1);
        }
}

// ---- anti-aliased shapes ----------------------------------------------------

// Thick faded points, lines, circles, arcs and ellipses (whose fades go
// through the blender pixel by pixel) in an opaque and a translucent
// colour, and over a fixed background colour.
void faded_shapes(Digest& d) {
    struct Colour {
        std::uint32_t argb;
        bool background;
    };
    constexpr Colour kColours[] = {{0xFF3A7D21, false}, {0x80C01F5A, false}, {0xFF3A7D21, true}};
    for (const Colour& colour : kColours) {
        g_gc.foreground_color = colour.argb;
        g_gc.background_color = 0xFF102030;
        if (colour.background) g_gc.image.flags |= kImageBackgroundSet;
        for (const Clip& clip : kClips)
            for (std::int32_t fade : {1, 2, 5, 13})
                for (std::int32_t thickness : {1, 4, 9}) {
                    auto draw = [&](auto&& shape) {
                        reset_canvas(clip);
                        shape();
                        add_canvas(d);
                    };
                    draw([&] { DW_DRAWING_SOFT_drawThickFadedPoint(&g_gc, 40, 33, thickness, fade); });
                    draw([&] { DW_DRAWING_SOFT_drawThickFadedLine(&g_gc, 3, 70, 90, 11, thickness, fade, 1, 2); });
                    draw([&] { DW_DRAWING_SOFT_drawThickFadedCircle(&g_gc, 10, 4, 61, thickness, fade); });
                    draw([&] { DW_DRAWING_SOFT_drawThickFadedCircle(&g_gc, 30, 20, 30, thickness, fade); });
                    draw([&] {
                        DW_DRAWING_SOFT_drawThickFadedCircleArc(&g_gc, 8, 2, 70, 35.0f, 250.0f, thickness, fade, 1, 0);
                    });
                    draw([&] { DW_DRAWING_SOFT_drawThickFadedEllipse(&g_gc, 5, 9, 84, 57, thickness, fade); });
                    draw([&] { DW_DRAWING_SOFT_drawThickFadedEllipse(&g_gc, -20, 30, 150, 41, thickness, fade); });
                }
        g_gc.image.flags &= static_cast<std::uint8_t>(~kImageBackgroundSet);
    }
    g_gc.foreground_color = 0xFF3A7D21;
}

}  // namespace

int main() {
    SPictavoGraphicsContext display{};
    if (test::port().start(&display) != 0) return 1;
    g_gc.image = NewImages::describe(g_canvas_block, 4, kCanvasW, kCanvasH, kCanvasStride,
                                     kRawOpaque | kRawDisplayFormat, 12);
    NewImages::initMutable(&g_gc, kCanvasW, kCanvasH, 0);
    g_gc.foreground_color = 0xFF3A7D21;
    for (std::uint16_t& p : g_picture) p = static_cast<std::uint16_t>(next_random());
    make_sources();

    Digest rotate_nearest, rotate_bilinear, mirrored, scale_nearest, scale_bilinear, itself, blend, lines, png, faded, filled;
    rotations(rotate_nearest, rotate_bilinear);
    mirrored_rotations(mirrored);
    scalings(scale_nearest, scale_bilinear);
    onto_itself(itself);
    blends(blend);
    vertical_lines(lines);
    png_decoding(png);
    faded_shapes(faded);
    fills(filled);  // last: its random colours leave the other cases' as they were
    rotate_nearest.print("rotate nearest");
    rotate_bilinear.print("rotate bilinear");
    mirrored.print("rotate mirrored");
    scale_nearest.print("scale nearest");
    scale_bilinear.print("scale bilinear");
    itself.print("onto itself");
    blend.print("image blend");
    lines.print("vertical lines");
    png.print("PNG decoding");
    faded.print("faded shapes");
    filled.print("fills");
    return 0;
}
