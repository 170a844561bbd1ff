// Shared set-up of the GPU back end's tests: the stand-in reset to record
// commands, and RGB565 canvases laid out for the GPU (rows of a multiple of
// 16 pixels).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "graphics/display/llui_display.h"
#include "platform/vglite/vg_lite_sim.h"
#include "port/display/vglite/gpu_setup.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::gpu::test {

using graphics::test::Canvas;

inline std::uint32_t gpu_width(std::uint32_t w) { return (w + 15) & ~15u; }

// A display-format canvas the GPU can read and write.
struct GpuCanvas : Canvas {
    GpuCanvas(std::uint32_t w, std::uint32_t h) : Canvas(w, h, gpu_width(w)) {}
    void number() {
        for (std::int32_t y = 0; y < gc.image.height; ++y)
            for (std::int32_t x = 0; x < gc.image.width; ++x) at(x, y) = static_cast<std::uint16_t>(1 + x + 100 * y);
    }
    bool same_pixels(GpuCanvas& other) {
        for (std::int32_t y = 0; y < gc.image.height; ++y)
            for (std::int32_t x = 0; x < gc.image.width; ++x)
                if (at(x, y) != other.at(x, y)) return false;
        return true;
    }
};

class GpuTest : public ::testing::Test {
protected:
    void SetUp() override {
        vglite::reset();
        vglite::set_delivery(vglite::Delivery::None);
        vglite::set_recording(true);
        vglite::set_rasterise(false);
        UI_VGLITE_start(nullptr);
        vg_lite_irq_operation = 0;
    }
    void TearDown() override { vglite::reset(); }

    static std::vector<vglite::Command> drawings() {
        std::vector<vglite::Command> out;
        for (const auto& c : vglite::commands())
            if (c.kind == vglite::CommandKind::Draw || c.kind == vglite::CommandKind::Blit) out.push_back(c);
        return out;
    }
    static std::int32_t flushes() {
        std::int32_t n = 0;
        for (const auto& c : vglite::commands()) n += c.kind == vglite::CommandKind::Flush ? 1 : 0;
        return n;
    }
};

}  // namespace tarvelo::gpu::test
