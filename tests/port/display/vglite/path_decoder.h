// Reads 16-bit GPU path data back as commands, for the tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/vglite/vg_lite.h"

namespace tarvelo::gpu::test {

struct PathCommand {
    std::int16_t op;
    std::vector<std::int16_t> xy;
    bool operator==(const PathCommand&) const = default;
};

inline std::vector<PathCommand> decode_path(const void* data, std::int32_t bytes) {
    std::vector<PathCommand> out;
    const auto* p = static_cast<const std::uint8_t*>(data);
    auto word = [&](std::int32_t i) {
        std::int16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        return v;
    };
    const std::int32_t words = bytes / 2;
    std::int32_t i = 0;
    while (i < words) {
        PathCommand c{word(i), {}};
        const std::int32_t n = c.op == VG_LITE_CMD_CUBIC ? 6 : (c.op == VG_LITE_CMD_END ? 0 : 2);
        for (std::int32_t k = 1; k <= n && i + k < words; ++k) c.xy.push_back(word(i + k));
        out.push_back(c);
        i += 1 + n;
    }
    return out;
}

inline std::int32_t count(const std::vector<PathCommand>& commands, std::int16_t op) {
    std::int32_t n = 0;
    for (const auto& c : commands) n += c.op == op ? 1 : 0;
    return n;
}

inline PathCommand M(std::int16_t x, std::int16_t y) { return {VG_LITE_CMD_MOVE, {x, y}}; }
inline PathCommand L(std::int16_t x, std::int16_t y) { return {VG_LITE_CMD_LINE, {x, y}}; }
inline PathCommand C(std::int16_t a, std::int16_t b, std::int16_t c, std::int16_t d, std::int16_t e, std::int16_t f) {
    return {VG_LITE_CMD_CUBIC, {a, b, c, d, e, f}};
}
inline PathCommand E() { return {VG_LITE_CMD_END, {}}; }

}  // namespace tarvelo::gpu::test
