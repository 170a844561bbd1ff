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

int digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Parses "0x..." at `pos`; advances past it.
bool parse_hex(const std::string& s, std::size_t& pos, std::uint32_t& v) {
    if (pos + 2 > s.size() || s[pos] != '0' || (s[pos + 1] != 'x' && s[pos + 1] != 'X')) return false;
    std::size_t p = pos + 2;
    std::uint64_t x = 0;
    const std::size_t start = p;
    while (p < s.size() && digit(s[p]) >= 0) {
        x = x * 16 + static_cast<std::uint64_t>(digit(s[p]));
        if (x > 0xFFFFFFFFu) return false;
        ++p;
    }
    if (p == start) return false;
    v = static_cast<std::uint32_t>(x);
    pos = p;
    return true;
}

}  // namespace

std::string Symbolizer::method_at(const LinkedImage& map, std::uint32_t base, std::uint32_t address) {
    for (const MethodSpan& m : map.methods)
        if (base + m.method == address) return m.name;
    return {};
}

std::string Symbolizer::instruction(const LinkedImage& map, std::uint32_t base, std::uint32_t pc) {
    for (const MethodSpan& m : map.methods)
        if (pc >= base + m.code && pc <= base + m.code_end) return m.name + "+" + hex(pc - (base + m.code));
    return {};
}

std::string Symbolizer::item(const LinkedImage& map, std::uint32_t base, std::uint32_t address) {
    const MapEntry* best = nullptr;
    for (const MapEntry& e : map.map) {
        if (e.kind == "region" || e.kind == "table") continue;
        if (address >= base + e.offset && address < base + e.offset + std::max<std::uint32_t>(e.size, 1))
            if (!best || e.offset >= best->offset) best = &e;
    }
    if (!best) return {};
    const std::uint32_t off = address - (base + best->offset);
    return best->name + (off ? "+" + hex(off) : "");
}

std::size_t Symbolizer::name_token(const std::string& text, std::size_t at, const LinkedImage& map, std::uint32_t base,
                                   std::string& out) {
    if (at + 3 > text.size() || text[at] != '@' || text[at + 2] != ':') return 0;
    const char kind = text[at + 1];
    std::size_t p = at + 3;
    std::uint32_t addr = 0;
    if ((kind != 'M' && kind != 'A' && kind != 'C') || !parse_hex(text, p, addr)) return 0;
    std::string name = kind == 'C' ? item(map, base, addr) : method_at(map, base, addr);
    // "@M:0xMETHOD:0xPC@" (stack-trace text) carries the pc inside.
    std::uint32_t pc = 0;
    std::size_t q = p;
    bool has_pc = false;
    if (q < text.size() && text[q] == ':') {
        ++q;
        has_pc = parse_hex(text, q, pc);
    }
    if (name.empty() || q >= text.size() || text[q] != '@') return 0;
    // A trace already printed the class and a dot before it.
    if (kind == 'M' && !out.empty() && out.back() == '.') {
        const std::size_t paren = name.find('(');
        const std::size_t dot = name.rfind('.', paren);
        if (dot != std::string::npos) name = name.substr(dot + 1);
    }
    out += name;
    if (has_pc) {
        const std::string where = instruction(map, base, pc);
        out += where.empty() ? " (pc " + hex(pc) + ")" : " (" + where + ")";
    }
    std::size_t next = q + 1;
    // A trace line goes on with ":0xPC@" after the method.
    std::size_t r = next;
    std::uint32_t pc2 = 0;
    if (r < text.size() && text[r] == ':' && parse_hex(text, ++r, pc2) && r < text.size() && text[r] == '@') {
        const std::string where = instruction(map, base, pc2);
        out += where.empty() ? " (pc " + hex(pc2) + ")" : " (" + where + ")";
        next = r + 1;
    }
    return next;
}

const LinkedImage* Symbolizer::application_at(const std::string& text, std::size_t at, std::uint32_t& base,
                                              std::size_t& next) const {
    if (text.compare(at, 3, "@F:") != 0) return nullptr;
    std::size_t p = at + 3;
    std::string name;
    while (p + 1 < text.size() && digit(text[p]) >= 0 && digit(text[p + 1]) >= 0) {
        name += static_cast<char>(digit(text[p]) * 16 + digit(text[p + 1]));
        p += 2;
    }
    if (p >= text.size() || text[p] != ':' || !parse_hex(text, ++p, base) || p >= text.size() || text[p] != '@')
        return nullptr;
    next = p + 1;
    for (const LinkedImage* a : applications_)
        if (a->application == name) return a;
    return nullptr;
}

std::string Symbolizer::line(const std::string& text) const {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t at = text.find('@', i);
        if (at == std::string::npos || at + 3 > text.size()) break;
        out += text.substr(i, at - i);
        // An application's token names the map of the token after it; both
        // give way to the name.
        std::uint32_t base = 0;
        std::size_t after = 0;
        if (const LinkedImage* app = application_at(text, at, base, after)) {
            if (const std::size_t next = name_token(text, after, *app, base, out)) {
                i = next;
                continue;
            }
        } else if (const std::size_t next = name_token(text, at, image_, base_, out)) {
            i = next;
            continue;
        }
        out += '@';
        i = at + 1;
    }
    if (i < text.size()) out += text.substr(i);
    return out;
}

}  // namespace tarvelo::imagelink
