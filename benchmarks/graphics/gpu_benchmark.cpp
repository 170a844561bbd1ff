// The GPU back end over the GPU stand-in beside the engine's software
// drawers, on the same shapes and images in a 256 x 256 RGB565 buffer. For
// information only: the stand-in rasterises with cairo on the host CPU and
// says nothing of the device's GPU; it shows what a drawing costs in this
// build (path building, command queue, rasterising) against software.
#include <benchmark/benchmark.h>

#include "graphics/drawing/drawing_entry_points.h"
#include "graphics/images/image_transforms.h"
#include "graphics/images/image_types.h"
#include "graphics/images/new_images.h"
#include "graphics/shapes/shape_entry_points.h"
#include "platform/address.h"
#include "platform/vglite/vg_lite_sim.h"
#include "port/display/vglite/gpu_drawer.h"
#include "port/display/vglite/gpu_setup.h"

namespace {

using namespace tarvelo::graphics;

constexpr std::uint32_t kSize = 256;

alignas(64) std::uint16_t g_back[kSize * kSize];
alignas(64) std::uint8_t g_source[64 + kSize * kSize * 2];

SPictavoGraphicsContext g_gc;
SPictavoImage g_image;

void set_up() {
    g_gc.image =
        SPictavoImage{tarvelo::to_word(g_back), kSize, kSize, kSize, 4, kImageNeverTransparent | kImageBareBuffer};
    NewImages::initMutable(&g_gc, kSize, kSize, 0);
    g_gc.foreground_color = 0xFF336699;
    g_image = NewImages::describe(g_source, 4, 128, 128, 128, kRawOpaque | kRawDisplayFormat, 64);
    auto* rgb = reinterpret_cast<std::uint16_t*>(g_source + 64);
    for (std::size_t i = 0; i < 128 * 128; ++i) rgb[i] = static_cast<std::uint16_t>(i * 40503u);
    tarvelo::vglite::reset();
    tarvelo::vglite::set_delivery(tarvelo::vglite::Delivery::None);
    tarvelo::vglite::set_completion(tarvelo::vglite::Completion::Immediate);
    UI_VGLITE_start(nullptr);
}

void BM_ThickLine_Gpu(benchmark::State& state) {
    for (auto _ : state) UI_DRAWING_drawThickFadedLine_0(&g_gc, 10, 20, 240, 200, 9, 0, 1, 1);
}
void BM_ThickLine_Software(benchmark::State& state) {
    for (auto _ : state) DW_DRAWING_SOFT_drawThickFadedLine(&g_gc, 10, 20, 240, 200, 9, 0, 1, 1);
}
void BM_ThickCircle_Gpu(benchmark::State& state) {
    for (auto _ : state) UI_DRAWING_drawThickFadedCircle_0(&g_gc, 20, 20, 200, 12, 0);
}
void BM_ThickCircle_Software(benchmark::State& state) {
    for (auto _ : state) DW_DRAWING_SOFT_drawThickFadedCircle(&g_gc, 20, 20, 200, 12, 0);
}
void BM_Image_Gpu(benchmark::State& state) {
    for (auto _ : state) UI_DRAWING_drawImage_0(&g_gc, &g_image, 0, 0, 128, 128, 50, 60, 255);
}
void BM_Image_Software(benchmark::State& state) {
    for (auto _ : state) UI_DRAWING_SOFT_drawImage(&g_gc, &g_image, 0, 0, 128, 128, 50, 60, 255);
}
void BM_RotatedImage_Gpu(benchmark::State& state) {
    for (auto _ : state) UI_DRAWING_drawRotatedImageBilinear_0(&g_gc, &g_image, 60, 60, 124, 124, 33.0f, 255);
}
void BM_RotatedImage_Software(benchmark::State& state) {
    for (auto _ : state) DW_DRAWING_SOFT_drawRotatedImageBilinear(&g_gc, &g_image, 60, 60, 124, 124, 33.0f, 255);
}

BENCHMARK(BM_ThickLine_Gpu);
BENCHMARK(BM_ThickLine_Software);
BENCHMARK(BM_ThickCircle_Gpu);
BENCHMARK(BM_ThickCircle_Software);
BENCHMARK(BM_Image_Gpu);
BENCHMARK(BM_Image_Software);
BENCHMARK(BM_RotatedImage_Gpu);
BENCHMARK(BM_RotatedImage_Software);

}  // namespace

int main(int argc, char** argv) {
    set_up();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
