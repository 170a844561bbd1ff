#include "tests/port/display/drawing/painter_test_arrays.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "graphics/fonts/fonts.h"
#include "platform/address.h"

namespace tarvelo::port::drawing::test {

namespace {

alignas(8) std::uint8_t g_area[1 << 20];
std::uint32_t g_used = 0;

}  // namespace

std::uint8_t* array_bytes(std::uint32_t size) {
    const std::uint32_t rounded = (size + 7u) & ~7u;
    if (g_used + rounded > sizeof g_area) std::abort();
    std::uint8_t* p = g_area + g_used;
    g_used += rounded;
    std::memset(p, 0, size);
    return p;
}

void reset_arrays() { g_used = 0; }

std::int8_t* byte_array_of(const void* bytes, std::uint32_t size) {
    std::int8_t* array = java_array<std::int8_t>(size);
    std::memcpy(array, bytes, size);
    return array;
}

ArrayCanvas::ArrayCanvas(std::uint32_t w, std::uint32_t h)
    : canvas(w, h), array(byte_array_of(&canvas.gc, sizeof canvas.gc)) {}

int ArrayCanvas::drawn() const {
    int n = 0;
    auto& c = const_cast<graphics::test::Canvas&>(canvas);
    for (std::int32_t y = 0; y < c.gc.image.height; ++y)
        for (std::int32_t x = 0; x < c.gc.image.width; ++x) n += c.at(x, y) != 0;
    return n;
}

void ArrayCanvas::clear() {
    for (std::int32_t y = 0; y < canvas.gc.image.height; ++y)
        for (std::int32_t x = 0; x < canvas.gc.image.width; ++x) canvas.at(x, y) = 0;
}

std::int8_t* tiny_font() {
    std::ifstream in(TINY_FONT, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.empty()) std::abort();
    std::uint8_t* font = array_bytes(static_cast<std::uint32_t>(bytes.size()));
    std::memcpy(font, bytes.data(), bytes.size());
    if (!graphics::font_is_valid(font, bytes.size())) std::abort();
    const std::uint32_t address = to_word(font);
    return byte_array_of(&address, 4);
}

std::uint16_t* chars_of(const char* text) {
    const auto n = static_cast<std::uint32_t>(std::strlen(text));
    std::uint16_t* chars = java_array<std::uint16_t>(n);
    for (std::uint32_t i = 0; i < n; ++i) chars[i] = static_cast<std::uint8_t>(text[i]);
    return chars;
}

}  // namespace tarvelo::port::drawing::test
