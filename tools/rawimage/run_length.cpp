// Run-length encoders: runs of one value become one group, stretches of
// differing values literal groups; no group holds more than 0x3FFF pixels.
#include "tools/rawimage/run_length.h"

#include <algorithm>

#include "graphics/pixels/pixel_formats.h"

namespace tarvelo::rawimage {

namespace {

constexpr std::size_t kMaxGroup = 0x3FFF;
// A run shorter than this is cheaper inside a literal group.
constexpr std::size_t kMinRun = 3;

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Length of the run of equal keys starting at i, at most kMaxGroup.
template <typename T, typename Key>
std::size_t run_at(const std::vector<T>& v, std::size_t i, Key key) {
    std::size_t n = 1;
    while (i + n < v.size() && n < kMaxGroup && key(v[i + n]) == key(v[i])) ++n;
    return n;
}

// Cuts `v` into runs (emit_run) and literal stretches (emit_literal); a
// value the encoding keeps as a run whatever its length (`always_run`)
// never joins a literal group.
template <typename T, typename Key, typename Always, typename Run, typename Literal>
void cut(const std::vector<T>& v, Key key, Always always_run, Run emit_run, Literal emit_literal) {
    std::size_t i = 0;
    while (i < v.size()) {
        const std::size_t n = run_at(v, i, key);
        if (n >= kMinRun || always_run(v[i])) {
            emit_run(i, n);
            i += n;
            continue;
        }
        std::size_t end = i;
        while (end < v.size() && end - i < kMaxGroup) {
            const std::size_t r = run_at(v, end, key);
            if (r >= kMinRun || always_run(v[end])) break;
            end += std::min(r, kMaxGroup - (end - i));
        }
        emit_literal(i, end - i);
        i = end;
    }
}

}  // namespace

std::vector<std::uint8_t> encode_a8rle(const std::vector<std::uint8_t>& a) {
    std::vector<std::uint8_t> out;
    cut(
        a, [](std::uint8_t v) { return v; }, [](std::uint8_t v) { return v == 0 || v == 255; },
        [&](std::size_t i, std::size_t n) {
            const auto count = static_cast<std::uint32_t>(n);
            if (a[i] == 255) put16(out, 0x8000 | count);
            else if (a[i] == 0) put16(out, 0xC000 | count);
            else {
                put16(out, count);
                out.push_back(a[i]);
                out.push_back(0);
            }
        },
        [&](std::size_t i, std::size_t n) {
            put16(out, 0x4000 | static_cast<std::uint32_t>(n));
            out.insert(out.end(), a.begin() + static_cast<std::ptrdiff_t>(i),
                       a.begin() + static_cast<std::ptrdiff_t>(i + n));
            if (n & 1) out.push_back(0);
        });
    put16(out, 0);
    return out;
}

std::vector<std::uint8_t> encode_argb1565rle(const std::vector<std::uint32_t>& argb) {
    // The key of a pixel: its RGB565 value, or a value no RGB565 word has
    // for a transparent one.
    auto key = [](std::uint32_t c) -> std::uint32_t {
        return (c >> 24) < 128 ? 0x10000u : graphics::argb_to_rgb565(c);
    };
    std::vector<std::uint8_t> out;
    cut(
        argb, key, [&](std::uint32_t c) { return key(c) == 0x10000u; },
        [&](std::size_t i, std::size_t n) {
            const auto count = static_cast<std::uint32_t>(n);
            if (key(argb[i]) == 0x10000u) {
                put16(out, 0xC000 | count);
            } else {
                put16(out, count);
                put16(out, key(argb[i]));
            }
        },
        [&](std::size_t i, std::size_t n) {
            put16(out, 0x4000 | static_cast<std::uint32_t>(n));
            for (std::size_t k = i; k < i + n; ++k) put16(out, key(argb[k]));
        });
    put16(out, 0);
    return out;
}

}  // namespace tarvelo::rawimage
