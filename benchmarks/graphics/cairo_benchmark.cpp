// The engine's anti-aliased shapes and transformed images beside cairo doing
// the same work on an RGB565 surface of the same 720 x 1280 size, and its
// PNG decoder beside libpng on the same files. Prints the ratios at the end;
// the aim is to be no slower than either.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "benchmarks/ratio_reporter.h"
#include "graphics/display/llui_display.h"
#include "graphics/images/image_heap.h"
#include "graphics/images/image_transforms.h"
#include "graphics/images/new_images.h"
#include "graphics/loaders/image_decoders.h"
#include "graphics/shapes/shape_entry_points.h"
#include "platform/address.h"
#include "tests/graphics/test_port.h"

namespace {

using namespace tarvelo::graphics;

constexpr std::int32_t kWidth = 720;
constexpr std::int32_t kHeight = 1280;
constexpr std::int32_t kImageSize = 256;
constexpr double kPi = 3.14159265358979323846;

// Static, so below 4 GiB like every buffer of the engine.
alignas(64) std::uint16_t g_back[kWidth * kHeight];
alignas(64) std::uint16_t g_cairo_pixels[kWidth * kHeight];
alignas(64) std::uint8_t g_image[64 + kImageSize * kImageSize * 2];

SPictavoGraphicsContext g_gc;
SPictavoImage g_source;
cairo_surface_t* g_surface;
cairo_surface_t* g_cairo_source;

// The same shapes for both sides: segments spread over the screen.
struct Segment {
    std::int32_t x1, y1, x2, y2;
};
std::vector<Segment> g_segments;

void set_up() {
    g_gc.image = SPictavoImage{tarvelo::to_word(g_back), kWidth, kHeight, kWidth, 4,
                               kImageNeverTransparent | kImageBareBuffer};
    NewImages::initMutable(&g_gc, kWidth, kHeight, 0);
    g_gc.foreground_color = 0xFF336699;
    g_source = NewImages::describe(g_image, 4, kImageSize, kImageSize, kImageSize, kRawOpaque | kRawDisplayFormat, 64);
    auto* rgb = reinterpret_cast<std::uint16_t*>(g_image + 64);
    for (std::int32_t i = 0; i < kImageSize * kImageSize; ++i) rgb[i] = static_cast<std::uint16_t>(i * 40503u);
    g_surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(g_cairo_pixels),
                                                    CAIRO_FORMAT_RGB16_565, kWidth, kHeight, kWidth * 2);
    g_cairo_source = cairo_image_surface_create_for_data(g_image + 64, CAIRO_FORMAT_RGB16_565, kImageSize,
                                                         kImageSize, kImageSize * 2);
    std::uint32_t seed = 12345;
    auto next = [&seed](std::int32_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::int32_t>((seed >> 8) % static_cast<std::uint32_t>(n));
    };
    for (int i = 0; i < 64; ++i) g_segments.push_back({next(kWidth), next(kHeight), next(kWidth), next(kHeight)});
}

cairo_t* cairo_context() {
    cairo_t* cr = cairo_create(g_surface);
    cairo_set_source_rgb(cr, 0x33 / 255.0, 0x66 / 255.0, 0x99 / 255.0);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    return cr;
}

// ---- anti-aliased thick lines, circles, arcs -------------------------------

constexpr std::int32_t kThickness = 8;
constexpr std::int32_t kFade = 1;
constexpr std::int32_t kDiameter = 300;

void BM_ThickLines(benchmark::State& state) {
    for (auto _ : state) {
        for (const Segment& s : g_segments)
            DW_DRAWING_SOFT_drawThickFadedLine(&g_gc, s.x1, s.y1, s.x2, s.y2, kThickness, kFade, 1, 1);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * g_segments.size()));
}

void BM_CairoThickLines(benchmark::State& state) {
    cairo_t* cr = cairo_context();
    cairo_set_line_width(cr, kThickness + 2 * kFade);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (auto _ : state) {
        for (const Segment& s : g_segments) {
            cairo_move_to(cr, s.x1 + 0.5, s.y1 + 0.5);
            cairo_line_to(cr, s.x2 + 0.5, s.y2 + 0.5);
            cairo_stroke(cr);
        }
        cairo_surface_flush(g_surface);
        benchmark::DoNotOptimize(g_cairo_pixels);
    }
    cairo_destroy(cr);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * g_segments.size()));
}

void BM_ThickCircles(benchmark::State& state) {
    for (auto _ : state) {
        for (std::size_t i = 0; i < 16; ++i)
            DW_DRAWING_SOFT_drawThickFadedCircle(&g_gc, g_segments[i].x1 - kDiameter / 2,
                                                 g_segments[i].y1 - kDiameter / 2, kDiameter, kThickness, kFade);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 16));
}

void BM_CairoThickCircles(benchmark::State& state) {
    cairo_t* cr = cairo_context();
    cairo_set_line_width(cr, kThickness + 2 * kFade);
    for (auto _ : state) {
        for (std::size_t i = 0; i < 16; ++i) {
            cairo_new_sub_path(cr);
            cairo_arc(cr, g_segments[i].x1, g_segments[i].y1, kDiameter / 2.0, 0, 2 * kPi);
            cairo_stroke(cr);
        }
        cairo_surface_flush(g_surface);
        benchmark::DoNotOptimize(g_cairo_pixels);
    }
    cairo_destroy(cr);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 16));
}

void BM_ThickArcs(benchmark::State& state) {
    for (auto _ : state) {
        for (std::size_t i = 0; i < 16; ++i)
            DW_DRAWING_SOFT_drawThickFadedCircleArc(&g_gc, g_segments[i].x1 - kDiameter / 2,
                                                    g_segments[i].y1 - kDiameter / 2, kDiameter, 30.0f, 135.0f,
                                                    kThickness, kFade, 1, 1);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 16));
}

void BM_CairoThickArcs(benchmark::State& state) {
    cairo_t* cr = cairo_context();
    cairo_set_line_width(cr, kThickness + 2 * kFade);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (auto _ : state) {
        for (std::size_t i = 0; i < 16; ++i) {
            // Counter-clockwise from 30 degrees in screen coordinates.
            cairo_new_sub_path(cr);
            cairo_arc_negative(cr, g_segments[i].x1, g_segments[i].y1, kDiameter / 2.0, -30 * kPi / 180,
                               -165 * kPi / 180);
            cairo_stroke(cr);
        }
        cairo_surface_flush(g_surface);
        benchmark::DoNotOptimize(g_cairo_pixels);
    }
    cairo_destroy(cr);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * 16));
}

// ---- rotated and scaled images ----------------------------------------------

constexpr float kAngle = 30.0f;
constexpr float kScale = 2.5f;

void BM_RotateBilinear(benchmark::State& state) {
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawRotatedImageBilinear(&g_gc, &g_source, 200, 400, 328, 528, kAngle, 255);
        benchmark::DoNotOptimize(g_back);
    }
}

void BM_RotateNearest(benchmark::State& state) {
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawRotatedImageNearestNeighbor(&g_gc, &g_source, 200, 400, 328, 528, kAngle, 255);
        benchmark::DoNotOptimize(g_back);
    }
}

void cairo_transformed(benchmark::State& state, cairo_filter_t filter, bool rotate) {
    cairo_t* cr = cairo_context();
    for (auto _ : state) {
        cairo_save(cr);
        if (rotate) {
            cairo_translate(cr, 328, 528);
            cairo_rotate(cr, -kAngle * kPi / 180);
            cairo_translate(cr, -128, -128);
        } else {
            cairo_translate(cr, 50, 100);
            cairo_scale(cr, kScale, kScale);
        }
        cairo_set_source_surface(cr, g_cairo_source, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), filter);
        cairo_rectangle(cr, 0, 0, kImageSize, kImageSize);
        cairo_fill(cr);
        cairo_restore(cr);
        cairo_surface_flush(g_surface);
        benchmark::DoNotOptimize(g_cairo_pixels);
    }
    cairo_destroy(cr);
}

void BM_CairoRotateBilinear(benchmark::State& state) { cairo_transformed(state, CAIRO_FILTER_BILINEAR, true); }
void BM_CairoRotateNearest(benchmark::State& state) { cairo_transformed(state, CAIRO_FILTER_NEAREST, true); }
void BM_CairoScaleBilinear(benchmark::State& state) { cairo_transformed(state, CAIRO_FILTER_BILINEAR, false); }
void BM_CairoScaleNearest(benchmark::State& state) { cairo_transformed(state, CAIRO_FILTER_NEAREST, false); }

void BM_ScaleBilinear(benchmark::State& state) {
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawScaledImageBilinear(&g_gc, &g_source, 50, 100, kScale, kScale, 255);
        benchmark::DoNotOptimize(g_back);
    }
}

void BM_ScaleNearest(benchmark::State& state) {
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawScaledImageNearestNeighbor(&g_gc, &g_source, 50, 100, kScale, kScale, 255);
        benchmark::DoNotOptimize(g_back);
    }
}

// ---- PNG decoding -------------------------------------------------------------

// PNG files written by libpng: a smooth RGBA picture (every filter chosen
// per row by libpng), and the same picture interlaced.
struct PngFile {
    std::vector<std::uint8_t> bytes;
    std::uint8_t* low = nullptr;  // a copy below 4 GiB, as resources are
};
PngFile g_png[2];
alignas(64) std::uint8_t g_png_area[2][1 << 20];

void write_callback(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

std::vector<std::uint8_t> make_png(bool interlaced) {
    constexpr std::uint32_t w = 480, h = 320;
    std::vector<std::uint8_t> rgba(std::size_t{w} * h * 4);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t* p = &rgba[(std::size_t{y} * w + x) * 4];
            p[0] = static_cast<std::uint8_t>(x * 255 / w);
            p[1] = static_cast<std::uint8_t>(y * 255 / h);
            p[2] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.03));
            p[3] = static_cast<std::uint8_t>(255 - (x + y) % 64);
        }
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, write_callback, nullptr);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_ALL_FILTERS);
    png_write_info(png, info);
    std::vector<png_bytep> rows(h);
    for (std::uint32_t y = 0; y < h; ++y) rows[y] = &rgba[std::size_t{y} * w * 4];
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void set_up_png() {
    for (int i = 0; i < 2; ++i) {
        g_png[i].bytes = make_png(i == 1);
        g_png[i].low = g_png_area[i];
        std::memcpy(g_png_area[i], g_png[i].bytes.data(), g_png[i].bytes.size());
    }
}

void BM_PngDecode(benchmark::State& state) {
    const PngFile& f = g_png[state.range(0)];
    for (auto _ : state) {
        SPictavoImage image{};
        if (decode_png(f.low, static_cast<std::uint32_t>(f.bytes.size()), -1, &image) != 0) {
            state.SkipWithError("the PNG was not decoded");
            break;
        }
        benchmark::DoNotOptimize(image);
        LLUI_DISPLAY_closeOffScreen(&image);
    }
}

void BM_LibpngDecode(benchmark::State& state) {
    const PngFile& f = g_png[state.range(0)];
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_memory(&image, f.bytes.data(), f.bytes.size());
        image.format = PNG_FORMAT_BGRA;  // the engine's ARGB8888 word in memory
        pixels.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
            state.SkipWithError("libpng did not decode the PNG");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}

// ---- drawings an application can make costly ------------------------------
// Shapes and images far larger than the screen: each costs what its pixels
// on the 720 x 1280 screen cost (a few milliseconds at most), not what its
// whole size would.

// A thick faded arc of diameter `range(0)` whose ring crosses the middle of
// the screen (fade 2: drawer 0 leaves it to the software).
void BM_HugeFadedArc(benchmark::State& state) {
    const auto d = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawThickFadedCircleArc(&g_gc, kWidth / 2 - d, kHeight / 2 - d / 2, d, -30.0f, 60.0f, 8, 2,
                                                1, 1);
        benchmark::DoNotOptimize(g_back);
    }
}

// A full-screen thick ellipse with a fade of `range(0)`.
void BM_FullScreenFadedEllipse(benchmark::State& state) {
    const auto fade = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawThickFadedEllipse(&g_gc, 0, 0, kWidth, kHeight, 8, fade);
        benchmark::DoNotOptimize(g_back);
    }
}

// Polygons with vertices two billion pixels away: one across the screen, one
// wholly below it.
void BM_FarPolygons(benchmark::State& state) {
    static std::uint8_t work[4 * 96 + 20];
    const std::int32_t across[] = {-2000000000, -2000000000, 2000000000, -1999999993, 300, 2000000000};
    const std::int32_t below[] = {-2000000000, 5000, 2000000000, 5007, 300, 2000000000};
    for (auto _ : state) {
        DW_DRAWING_SOFT_fillPolygon(&g_gc, across, 6, work);
        DW_DRAWING_SOFT_fillPolygon(&g_gc, below, 6, work);
        benchmark::DoNotOptimize(g_back);
    }
}

// A run-length image of `range(0)` x `range(1)` pixels (a few groups, then
// the terminator: every later pixel transparent), deformed onto most of the
// screen.
void BM_DeformedHugeImage(benchmark::State& state) {
    const auto w = static_cast<std::uint32_t>(state.range(0)), h = static_cast<std::uint32_t>(state.range(1));
    alignas(64) static std::uint8_t raw[64];
    // A8RLE: 5000 opaque pixels, 3000 of opacity 0x80, then the end.
    const std::uint8_t groups[] = {0x88, 0x93, 0xB8, 0x0B, 0x80, 0x00, 0x00, 0x00};
    std::memcpy(raw + 12, groups, sizeof groups);
    const SPictavoImage image = NewImages::describe(raw, 23, w, h, w, 0, 12);
    static std::uint8_t work[4 * 96 + 20];
    const std::int32_t corners[] = {40, 30, 700, 90, 650, 1250, 20, 1100};
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawDeformedImage(&g_gc, &image, corners, work);
        benchmark::DoNotOptimize(g_back);
    }
}

BENCHMARK(BM_HugeFadedArc)->Arg(100000)->Arg(300000)->Arg(3000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullScreenFadedEllipse)->Arg(50)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FarPolygons)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeformedHugeImage)->Args({1029, 41988})->Args({1029, 2047})->Unit(benchmark::kMillisecond);

// The 256 x 256 RGB565 image deformed onto most of the screen, for scale.
void BM_DeformedImage(benchmark::State& state) {
    static std::uint8_t work[4 * 96 + 20];
    const std::int32_t corners[] = {40, 30, 700, 90, 650, 1250, 20, 1100};
    for (auto _ : state) {
        DW_DRAWING_SOFT_drawDeformedImage(&g_gc, &g_source, corners, work);
        benchmark::DoNotOptimize(g_back);
    }
}
BENCHMARK(BM_DeformedImage)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_CairoThickLines);
BENCHMARK(BM_ThickLines);
BENCHMARK(BM_CairoThickCircles);
BENCHMARK(BM_ThickCircles);
BENCHMARK(BM_CairoThickArcs);
BENCHMARK(BM_ThickArcs);
BENCHMARK(BM_CairoRotateBilinear);
BENCHMARK(BM_RotateBilinear);
BENCHMARK(BM_CairoRotateNearest);
BENCHMARK(BM_RotateNearest);
BENCHMARK(BM_CairoScaleBilinear);
BENCHMARK(BM_ScaleBilinear);
BENCHMARK(BM_CairoScaleNearest);
BENCHMARK(BM_ScaleNearest);
BENCHMARK(BM_LibpngDecode)->Arg(0)->Arg(1);
BENCHMARK(BM_PngDecode)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
    SPictavoGraphicsContext display{};
    if (test::port().start(&display) != 0) return 1;
    set_up();
    set_up_png();
    benchmark::Initialize(&argc, argv);
    tarvelo::bench::RatioReporter reporter({
        {"thick lines / cairo", "BM_ThickLines", "BM_CairoThickLines"},
        {"thick circles / cairo", "BM_ThickCircles", "BM_CairoThickCircles"},
        {"thick arcs / cairo", "BM_ThickArcs", "BM_CairoThickArcs"},
        {"rotate bilinear / cairo", "BM_RotateBilinear", "BM_CairoRotateBilinear"},
        {"rotate nearest / cairo", "BM_RotateNearest", "BM_CairoRotateNearest"},
        {"scale bilinear / cairo", "BM_ScaleBilinear", "BM_CairoScaleBilinear"},
        {"scale nearest / cairo", "BM_ScaleNearest", "BM_CairoScaleNearest"},
        {"PNG decode / libpng", "BM_PngDecode/0", "BM_LibpngDecode/0"},
        {"PNG decode interlaced / libpng", "BM_PngDecode/1", "BM_LibpngDecode/1"},
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    cairo_surface_destroy(g_cairo_source);
    cairo_surface_destroy(g_surface);
    return 0;
}
