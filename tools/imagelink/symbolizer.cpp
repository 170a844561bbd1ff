#include "tools/imagelink/symbolizer.h"

#include <cctype>
#include <cstdio>

namespace tarvelo::imagelink {

namespace {

std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

// Parses "0x..." at `pos`; advances past it.
bool parse_hex(const std::string& s, std::size_t& pos, std::uint32_t& v) {
    if (pos + 2 > s.size() || s[pos] != '0' || (s[pos + 1] != 'x' && s[pos + 1] != 'X')) return false;
    std::size_t p = pos + 2;
    std::uint64_t x = 0;
    const std::size_t start = p;
    while (p < s.size() && std::isxdigit(static_cast<unsigned char>(s[p]))) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[p])));
        x = x * 16 + static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        if (x > 0xFFFFFFFFu) return false;
        ++p;
    }
    if (p == start) return false;
    v = static_cast<std::uint32_t>(x);
    pos = p;
    return true;
}

}  // namespace

std::string Symbolizer::method_at(std::uint32_t address) const {
    for (const MethodSpan& m : image_.methods)
        if (base_ + m.method == address) return m.name;
    return {};
}

std::string Symbolizer::instruction(std::uint32_t pc) const {
    for (const MethodSpan& m : image_.methods)
        if (pc >= base_ + m.code && pc <= base_ + m.code_end) return m.name + "+" + hex(pc - (base_ + m.code));
    return {};
}

std::string Symbolizer::item(std::uint32_t address) const {
    const MapEntry* best = nullptr;
    for (const MapEntry& e : image_.map) {
        if (e.kind == "region" || e.kind == "table") continue;
        if (address >= base_ + e.offset && address < base_ + e.offset + std::max<std::uint32_t>(e.size, 1))
            if (!best || e.offset >= best->offset) best = &e;
    }
    if (!best) return {};
    const std::uint32_t off = address - (base_ + best->offset);
    return best->name + (off ? "+" + hex(off) : "");
}

std::string Symbolizer::line(const std::string& text) const {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t at = text.find('@', i);
        if (at == std::string::npos || at + 3 > text.size()) break;
        out += text.substr(i, at - i);
        const char kind = text[at + 1];
        std::size_t p = at + 3;
        std::uint32_t addr = 0;
        if ((kind == 'M' || kind == 'A' || kind == 'C') && text[at + 2] == ':' && parse_hex(text, p, addr)) {
            std::string name = kind == 'C' ? item(addr) : method_at(addr);
            // "@M:0xMETHOD:0xPC@" (stack-trace text) carries the pc inside.
            std::uint32_t pc = 0;
            std::size_t q = p;
            bool has_pc = false;
            if (q < text.size() && text[q] == ':') {
                ++q;
                has_pc = parse_hex(text, q, pc);
            }
            if (!name.empty() && q < text.size() && text[q] == '@') {
                // A trace already printed the class and a dot before it.
                if (kind == 'M' && !out.empty() && out.back() == '.') {
                    const std::size_t paren = name.find('(');
                    const std::size_t dot = name.rfind('.', paren);
                    if (dot != std::string::npos) name = name.substr(dot + 1);
                }
                out += name;
                if (has_pc) {
                    const std::string where = instruction(pc);
                    out += where.empty() ? " (pc " + hex(pc) + ")" : " (" + where + ")";
                }
                i = q + 1;
                // A trace line goes on with ":0xPC@" after the method.
                std::size_t r = i;
                std::uint32_t pc2 = 0;
                if (r < text.size() && text[r] == ':' && parse_hex(text, ++r, pc2) && r < text.size() && text[r] == '@') {
                    const std::string where = instruction(pc2);
                    out += where.empty() ? " (pc " + hex(pc2) + ")" : " (" + where + ")";
                    i = r + 1;
                }
                continue;
            }
        }
        out += '@';
        i = at + 1;
    }
    if (i < text.size()) out += text.substr(i);
    return out;
}

}  // namespace tarvelo::imagelink
