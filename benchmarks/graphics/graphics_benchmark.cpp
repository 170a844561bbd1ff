// The engine's software drawing into a 720 x 1280 RGB565 back buffer beside
// the plain memory operations moving the same bytes (memset for fills,
// memcpy for copies) and, for blends, beside pixman's scalar path doing the
// same composition (an ARGB8888 image over the RGB565 buffer). Prints the
// ratios at the end: fills aim at 80% of memset's bandwidth or better, blends
// at pixman's speed or better.
#include <benchmark/benchmark.h>
#include <pixman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "benchmarks/graphics/ratio_reporter.h"
#include "graphics/drawing_entry_points.h"
#include "graphics/image_types.h"
#include "graphics/new_images.h"
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
    g_gc.foreground_color = 0xFF336699;
    g_opaque = image_over(g_rgb565_image, 4, kRawOpaque | kRawDisplayFormat);
    g_translucent = image_over(g_argb_image, 2, 0);
    auto* argb = reinterpret_cast<std::uint32_t*>(g_argb_image + 64);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i)
        argb[i] = (static_cast<std::uint32_t>((i * 7) & 0xFF) << 24) | static_cast<std::uint32_t>(i * 2654435761u & 0xFFFFFF);
    auto* rgb = reinterpret_cast<std::uint16_t*>(g_rgb565_image + 64);
    for (std::size_t i = 0; i < std::size_t{kWidth} * kHeight; ++i) rgb[i] = static_cast<std::uint16_t>(i * 40503u);
}

void BM_FillRect(benchmark::State& state) {
    for (auto _ : state) {
        UI_DRAWING_SOFT_fillRectangle(&g_gc, 0, 0, kWidth - 1, kHeight - 1);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_Memset(benchmark::State& state) {
    for (auto _ : state) {
        std::memset(g_plain, 0x5A, kBytes);
        benchmark::DoNotOptimize(g_plain);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_HorizontalLines(benchmark::State& state) {
    for (auto _ : state) {
        for (std::int32_t y = 0; y < static_cast<std::int32_t>(kHeight); ++y)
            UI_DRAWING_SOFT_drawHorizontalLine(&g_gc, 0, kWidth - 1, y);
        benchmark::DoNotOptimize(g_back);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBytes));
}

void BM_VerticalLines(benchmark::State& state) {
    for (auto _ : state) {
        for (std::int32_t x = 0; x < static_cast<std::int32_t>(kWidth); ++x)
            UI_DRAWING_SOFT_drawVerticalLine(&g_gc, x, 0, kHeight - 1);
        benchmark::DoNotOptimize(g_back);
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

void BM_PixmanBlend(benchmark::State& state) {
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<std::uint32_t*>(g_argb_image + 64), kWidth * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_r5g6b5, kWidth, kHeight,
                                                   reinterpret_cast<std::uint32_t*>(g_plain), kWidth * 2);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::DoNotOptimize(g_plain);
    }
    pixman_image_unref(src);
    pixman_image_unref(dst);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kWidth * kHeight));
}

void BM_PixmanBlendGlobalAlpha(benchmark::State& state) {
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight,
                                                   reinterpret_cast<std::uint32_t*>(g_argb_image + 64), kWidth * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_r5g6b5, kWidth, kHeight,
                                                   reinterpret_cast<std::uint32_t*>(g_plain), kWidth * 2);
    const pixman_color_t half = {0, 0, 0, 0x8080};
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::DoNotOptimize(g_plain);
    }
    pixman_image_unref(mask);
    pixman_image_unref(src);
    pixman_image_unref(dst);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kWidth * kHeight));
}

BENCHMARK(BM_Memset);
BENCHMARK(BM_FillRect);
BENCHMARK(BM_HorizontalLines);
BENCHMARK(BM_VerticalLines);
BENCHMARK(BM_Memcpy);
BENCHMARK(BM_CopyImage);
BENCHMARK(BM_CopyRows);
BENCHMARK(BM_PixmanBlend);
BENCHMARK(BM_BlendImage);
BENCHMARK(BM_PixmanBlendGlobalAlpha);
BENCHMARK(BM_BlendImageGlobalAlpha);

}  // namespace

int main(int argc, char** argv) {
    // pixman picks its implementation once: without its SIMD paths it runs
    // the generic C code, the scalar reference of the blends.
    if (std::getenv("PIXMAN_DISABLE") == nullptr) {
        setenv("PIXMAN_DISABLE", "mmx sse2 ssse3 avx2 vmx arm-simd neon mips-dspr2", 1);
        execv("/proc/self/exe", argv);
    }
    set_up();
    benchmark::Initialize(&argc, argv);
    tarvelo::bench::RatioReporter reporter({
        {"fill rectangle / memset", "BM_FillRect", "BM_Memset"},
        {"horizontal lines / memset", "BM_HorizontalLines", "BM_Memset"},
        {"vertical lines / memset", "BM_VerticalLines", "BM_Memset"},
        {"image copy / memcpy", "BM_CopyImage", "BM_Memcpy"},
        {"image copy by rows / memcpy", "BM_CopyRows", "BM_Memcpy"},
        {"image blend / pixman scalar", "BM_BlendImage", "BM_PixmanBlend"},
        {"blend at alpha 128 / pixman", "BM_BlendImageGlobalAlpha", "BM_PixmanBlendGlobalAlpha"},
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
