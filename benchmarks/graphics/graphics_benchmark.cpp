// The engine's software drawing into a 720 x 1280 RGB565 back buffer beside
// the plain memory operations moving the same bytes (memset for fills,
// memset row by row for horizontal lines, a loop of strided 16-bit stores
// for vertical lines, memcpy for copies) and, for blends, beside pixman doing the same
// composition (an ARGB8888 image over the RGB565 buffer) twice: with the
// SIMD paths it picks for this processor, as its users get it, and with its
// generic C code only, the scalar reference. Prints the ratios at the end:
// fills aim at 80% of memset's bandwidth or better, blends at pixman's
// speed or better.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <link.h>
#include <pixman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "benchmarks/ratio_reporter.h"
#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_types.h"
#include "graphics/images/new_images.h"
#include "platform/address.h"

namespace {

using namespace tarvelo::graphics;

constexpr std::uint32_t kWidth = 720;
constexpr std::uint32_t kHeight = 1280;
constexpr std::size_t kBytes = std::size_t{kWidth} * kHeight * 2;

// Static, so below 4 GiB like every buffer of the engine.
alignas(64) std::uint16_t g_back[kWidth * kHeight];
alignas(64) std::uint16_t g_plain[kWidth * kHeight];
alignas(64) std::uint8_t g_rgb565_image[64 + kBytes];
alignas(64) std::uint8_t g_argb_image[64 + std::size_t{kWidth} * kHeight * 4];

// The benchmarks' colour, 0xFF336699, is 0x3333 in RGB565: its two bytes
// are equal, as memset's are. A colour whose bytes differ cannot be one
// memset; the fills are measured with both.
constexpr std::uint32_t kEqualBytesColour = 0xFF336699;
constexpr std::uint32_t kMixedBytesColour = 0xFF3399CC;  // 0x34D9

SPictavoGraphicsContext g_gc;
SPictavoImage g_opaque;
SPictavoImage g_translucent;

SPictavoImage image_over(std::uint8_t* block, std::int8_t format, std::uint8_t flags) {
    return NewImages::describe(block, format, kWidth, kHeight, kWidth, flags, 64);
}

void set_up() {
    g_gc.image = SPictavoImage{tarvelo::to_word(g_back), kWidth, kHeight, kWidth, 4,
                               kImageNeverTransparent | kImageBareBuffer};
    NewImages::initMutable(&g_gc, kWidth, kHeight, 0);
    g_gc.foreground_color = kEqualBytesColour;
    g_opaque = image_over(g_rgb565_image, 4, kRawOpaque | kRawDisplayFormat);
    g_translucent = image_over(g_argb_image, 2, 0);
    auto* argb = reinterpret_cast<std::uint32_t*>(g_argb_image + 64);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i)
        argb[i] = (static_cast<std::uint32_t>((i * 7) & 0xFF) << 24) | static_cast<std::uint32_t>(i * 2654435761u & 0xFFFFFF);
    auto* rgb = reinterpret_cast<std::uint16_t*>(g_rgb565_image + 64);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i) rgb[i] = static_cast<std::uint16_t>(i * 40503u);
}

void fill_rect(benchmark::State& state, std::uint32_t colour) {
    g_gc.foreground_color = colour;
    for (auto _ : state) {
        UI_DRAWING_SOFT_fillRectangle(&g_gc, 0, 0, kWidth - 1, kHeight - 1);
        benchmark::DoNotOptimize(g_back);
    }
    g_gc.foreground_color = kEqualBytesColour;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_FillRect(benchmark::State& state) { fill_rect(state, kEqualBytesColour); }
void BM_FillRectMixedBytes(benchmark::State& state) { fill_rect(state, kMixedBytesColour); }

void BM_Memset(benchmark::State& state) {
    for (auto _ : state) {
        std::memset(g_plain, 0x5A, kBytes);
        benchmark::DoNotOptimize(g_plain);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

// The same bytes a row at a time: what a line per row costs at best.
void BM_MemsetRows(benchmark::State& state) {
    for (auto _ : state) {
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            std::memset(g_plain + std::size_t{y} * kWidth, 0x5A, std::size_t{kWidth} * 2);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(g_plain);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void horizontal_lines(benchmark::State& state, std::uint32_t colour) {
    g_gc.foreground_color = colour;
    for (auto _ : state) {
        for (std::int32_t y = 0; y < static_cast<std::int32_t>(kHeight); ++y)
            UI_DRAWING_SOFT_drawHorizontalLine(&g_gc, 0, kWidth - 1, y);
        benchmark::DoNotOptimize(g_back);
    }
    g_gc.foreground_color = kEqualBytesColour;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_HorizontalLines(benchmark::State& state) { horizontal_lines(state, kEqualBytesColour); }
void BM_HorizontalLinesMixedBytes(benchmark::State& state) { horizontal_lines(state, kMixedBytesColour); }

void BM_VerticalLines(benchmark::State& state) {
    for (auto _ : state) {
        for (std::int32_t x = 0; x < static_cast<std::int32_t>(kWidth); ++x)
            UI_DRAWING_SOFT_drawVerticalLine(&g_gc, x, 0, kHeight - 1);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

// The plain loop a vertical line is: one 16-bit store per row, a column
// at a time (the barrier keeps the compiler from storing several columns
// at once, which separate lines cannot).
void BM_StridedStores(benchmark::State& state) {
    for (auto _ : state) {
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint16_t* p = g_plain + x;
            for (std::uint32_t y = 0; y < kHeight; ++y, p += kWidth) *p = 0x5A5A;
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(g_plain);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_CopyImage(benchmark::State& state) {
    for (auto _ : state) {
        UI_DRAWING_SOFT_drawImage(&g_gc, &g_opaque, 0, 0, kWidth, kHeight, 0, 0, 255);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_CopyRows(benchmark::State& state) {
    // Row by row: a region narrower than the image.
    for (auto _ : state) {
        UI_DRAWING_SOFT_drawImage(&g_gc, &g_opaque, 0, 0, kWidth - 2, kHeight, 1, 0, 255);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (kBytes - 4 * kHeight)));
}

void BM_Memcpy(benchmark::State& state) {
    for (auto _ : state) {
        std::memcpy(g_plain, g_rgb565_image + 64, kBytes);
        benchmark::DoNotOptimize(g_plain);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_BlendImage(benchmark::State& state) {
    for (auto _ : state) {
        UI_DRAWING_SOFT_drawImage(&g_gc, &g_translucent, 0, 0, kWidth, kHeight, 0, 0, 255);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kWidth * kHeight));
}

void BM_BlendImageGlobalAlpha(benchmark::State& state) {
    for (auto _ : state) {
        UI_DRAWING_SOFT_drawImage(&g_gc, &g_translucent, 0, 0, kWidth, kHeight, 0, 0, 128);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kWidth * kHeight));
}

// pixman's entry points used here, from the copy linked in (its SIMD paths)
// or from a second copy loaded in a namespace of its own with its SIMD
// paths disabled: pixman picks its implementation once per copy.
struct Pixman {
    decltype(&pixman_image_create_bits) create_bits;
    decltype(&pixman_image_create_solid_fill) create_solid_fill;
    decltype(&pixman_image_composite32) composite32;
    decltype(&pixman_image_unref) unref;
};
const Pixman kPixmanSimd = {pixman_image_create_bits, pixman_image_create_solid_fill, pixman_image_composite32,
                            pixman_image_unref};
Pixman g_pixman_scalar{};

// The path of the pixman linked in.
int find_pixman(dl_phdr_info* info, std::size_t, void* path) {
    if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "libpixman-1.so") != nullptr)
        *static_cast<std::string*>(path) = info->dlpi_name;
    return 0;
}

bool load_scalar_pixman() {
    std::string path;
    dl_iterate_phdr(find_pixman, &path);
    if (path.empty()) return false;
    setenv("PIXMAN_DISABLE", "mmx sse2 ssse3 avx2 vmx arm-simd neon mips-dspr2", 1);
    void* lib = dlmopen(LM_ID_NEWLM, path.c_str(), RTLD_NOW | RTLD_LOCAL);
    unsetenv("PIXMAN_DISABLE");
    if (lib == nullptr) return false;
    g_pixman_scalar.create_bits = reinterpret_cast<decltype(&pixman_image_create_bits)>(dlsym(lib, "pixman_image_create_bits"));
    g_pixman_scalar.create_solid_fill =
        reinterpret_cast<decltype(&pixman_image_create_solid_fill)>(dlsym(lib, "pixman_image_create_solid_fill"));
    g_pixman_scalar.composite32 = reinterpret_cast<decltype(&pixman_image_composite32)>(dlsym(lib, "pixman_image_composite32"));
    g_pixman_scalar.unref = reinterpret_cast<decltype(&pixman_image_unref)>(dlsym(lib, "pixman_image_unref"));
    return g_pixman_scalar.create_bits && g_pixman_scalar.create_solid_fill && g_pixman_scalar.composite32 &&
           g_pixman_scalar.unref;
}

// OVER of the ARGB8888 image onto the RGB565 buffer, optionally through a
// solid mask of alpha 128.
void pixman_blend(benchmark::State& state, const Pixman& px, bool half) {
    if (px.composite32 == nullptr) {
        state.SkipWithError("no second pixman could be loaded");
        return;
    }
    pixman_image_t* src = px.create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                         reinterpret_cast<std::uint32_t*>(g_argb_image + 64), kWidth * 4);
    pixman_image_t* dst = px.create_bits(PIXMAN_r5g6b5, kWidth, kHeight, reinterpret_cast<std::uint32_t*>(g_plain),
                                         kWidth * 2);
    const pixman_color_t alpha_128 = {0, 0, 0, 0x8080};
    pixman_image_t* mask = half ? px.create_solid_fill(&alpha_128) : nullptr;
    for (auto _ : state) {
        px.composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::DoNotOptimize(g_plain);
    }
    if (mask != nullptr) px.unref(mask);
    px.unref(src);
    px.unref(dst);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kWidth * kHeight));
}

void BM_PixmanBlend(benchmark::State& state) { pixman_blend(state, g_pixman_scalar, false); }
void BM_PixmanBlendGlobalAlpha(benchmark::State& state) { pixman_blend(state, g_pixman_scalar, true); }
void BM_PixmanSimdBlend(benchmark::State& state) { pixman_blend(state, kPixmanSimd, false); }
void BM_PixmanSimdBlendGlobalAlpha(benchmark::State& state) { pixman_blend(state, kPixmanSimd, true); }

BENCHMARK(BM_Memset);
BENCHMARK(BM_FillRect);
BENCHMARK(BM_FillRectMixedBytes);
BENCHMARK(BM_MemsetRows);
BENCHMARK(BM_HorizontalLines);
BENCHMARK(BM_HorizontalLinesMixedBytes);
BENCHMARK(BM_StridedStores);
BENCHMARK(BM_VerticalLines);
BENCHMARK(BM_Memcpy);
BENCHMARK(BM_CopyImage);
BENCHMARK(BM_CopyRows);
BENCHMARK(BM_PixmanBlend);
BENCHMARK(BM_PixmanSimdBlend);
BENCHMARK(BM_BlendImage);
BENCHMARK(BM_PixmanBlendGlobalAlpha);
BENCHMARK(BM_PixmanSimdBlendGlobalAlpha);
BENCHMARK(BM_BlendImageGlobalAlpha);

}  // namespace

int main(int argc, char** argv) {
    if (!load_scalar_pixman()) std::fprintf(stderr, "pixman without SIMD could not be loaded: %s\n", dlerror());
    set_up();
    benchmark::Initialize(&argc, argv);
    tarvelo::bench::RatioReporter reporter({
        {"fill rectangle / memset", "BM_FillRect", "BM_Memset"},
        {"fill rectangle, mixed bytes / memset", "BM_FillRectMixedBytes", "BM_Memset"},
        {"horizontal lines / memset by rows", "BM_HorizontalLines", "BM_MemsetRows"},
        {"horizontal lines, mixed / memset by rows", "BM_HorizontalLinesMixedBytes", "BM_MemsetRows"},
        {"memset by rows / memset", "BM_MemsetRows", "BM_Memset"},
        {"vertical lines / strided stores", "BM_VerticalLines", "BM_StridedStores"},
        {"image copy / memcpy", "BM_CopyImage", "BM_Memcpy"},
        {"image copy by rows / memcpy", "BM_CopyRows", "BM_Memcpy"},
        {"image blend / pixman scalar", "BM_BlendImage", "BM_PixmanBlend"},
        {"image blend / pixman SIMD", "BM_BlendImage", "BM_PixmanSimdBlend"},
        {"blend at alpha 128 / pixman scalar", "BM_BlendImageGlobalAlpha", "BM_PixmanBlendGlobalAlpha"},
        {"blend at alpha 128 / pixman SIMD", "BM_BlendImageGlobalAlpha", "BM_PixmanSimdBlendGlobalAlpha"},
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
