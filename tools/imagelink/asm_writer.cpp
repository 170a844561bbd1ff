#include "tools/imagelink/asm_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <set>
#include <sstream>

namespace tarvelo::imagelink {

namespace {

constexpr const char* kImageStart = "_java_vornsection_header_start";

std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

// A map is one entry a line, its name last. From version 2 on, a name is
// written with the backslash and every byte outside printable ASCII
// escaped (\\ and \xHH), so that a string constant holding a newline stays
// on its entry's line; version 1 wrote names as they were.
constexpr int kMapVersion = 2;

std::string escape_name(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b >= 0x7F) {
            char e[5];
            std::snprintf(e, sizeof e, "\\x%02x", b);
            out += e;
        } else {
            out += c;
        }
    }
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// False on an escape that escape_name does not write.
bool unescape_name(const std::string& text, std::string& name) {
    name.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            name += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            name += '\\';
            ++i;
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
        const int hi = hex_digit(text[i + 2]);
        const int lo = hex_digit(text[i + 3]);
        if (hi < 0 || lo < 0) return false;
        name += static_cast<char>(hi * 16 + lo);
        i += 3;
    }
    return true;
}

}  // namespace

std::string write_assembler(const LinkedImage& img, const std::string& source_name) {
    std::ostringstream s;
    s << "/* Application image linked by tarvelo-imagelink from " << source_name << ". Do not edit. */\n\n";
    if (img.weak_externals) {
        for (const std::string& e : img.externals) s << "    .weak " << e << "\n";
        s << "\n";
    }
    s << "    .section .rodata.tarvelo_image,\"a\"\n";
    s << "    .balign 16\n";
    std::size_t next_label = 0;
    std::size_t next_reloc = 0;
    const auto& labels = img.labels;
    const auto& relocs = img.relocations;
    const std::uint32_t size = static_cast<std::uint32_t>(img.bytes.size());
    std::vector<std::uint8_t> pending;
    auto flush = [&] {
        for (std::size_t i = 0; i < pending.size(); i += 16) {
            s << "    .byte ";
            for (std::size_t k = i; k < std::min(pending.size(), i + 16); ++k) s << (k > i ? "," : "") << unsigned(pending[k]);
            s << "\n";
        }
        pending.clear();
    };
    for (std::uint32_t at = 0; at <= size;) {
        bool had_label = false;
        while (next_label < labels.size() && labels[next_label].offset == at) {
            if (!had_label) flush();
            had_label = true;
            const ImageLabel& l = labels[next_label++];
            if (l.global) s << "    .globl " << l.name << "\n";
            s << l.name << ":\n";
        }
        if (at == size) break;
        if (next_reloc < relocs.size() && relocs[next_reloc].at == at) {
            flush();
            const Relocation& r = relocs[next_reloc++];
            if (r.external) {
                s << "    .long " << r.symbol;
                if (r.addend) s << (r.addend > 0 ? "+" : "-") << (r.addend > 0 ? r.addend : -static_cast<std::int64_t>(r.addend));
                s << "\n";
            } else {
                s << "    .long " << kImageStart << "+" << hex(r.target) << "\n";
            }
            at += 4;
            continue;
        }
        // Up to the next label or relocation.
        std::uint32_t stop = size;
        if (next_label < labels.size()) stop = std::min(stop, labels[next_label].offset);
        if (next_reloc < relocs.size()) stop = std::min(stop, relocs[next_reloc].at);
        pending.insert(pending.end(), img.bytes.begin() + at, img.bytes.begin() + stop);
        at = stop;
    }
    flush();

    s << "\n    .section .rodata.tarvelo_image_index,\"a\"\n    .balign 4\n";
    s << "    .globl _tarvelo_method_index_start\n_tarvelo_method_index_start:\n";
    for (const MethodSpan& m : img.methods) {
        s << "    .long " << kImageStart << "+" << hex(m.record) << ", " << kImageStart << "+" << hex(m.method) << ", "
          << kImageStart << "+" << hex(m.code) << ", " << kImageStart << "+" << hex(m.code_end) << "\n";
    }
    s << "    .globl _tarvelo_method_index_end\n_tarvelo_method_index_end:\n";

    s << "\n    .section .bss.tarvelo_statics,\"aw\",%nobits\n";
    for (const RamItem& r : img.ram) {
        if (r.align > 1) s << "    .balign " << r.align << "\n";
        if (r.global) s << "    .globl " << r.name << "\n";
        s << r.name << ":\n";
        if (r.size) s << "    .zero " << r.size << "\n";
    }

    // The image's own settings override the firmware's weak defaults; the
    // defaults are repeated weakly for programs linked without them.
    s << "\n/* Link-time configuration. */\n";
    for (const auto& [name, value] : img.config) {
        const bool own = std::find(img.config_overrides.begin(), img.config_overrides.end(), name) != img.config_overrides.end();
        s << (own ? "    .globl " : "    .weak ") << name << "\n    .set " << name << ", " << value << "\n";
    }
    s << "\n    .section .note.GNU-stack,\"\",%progbits\n";
    return s.str();
}

std::string write_map(const LinkedImage& img) {
    std::ostringstream s;
    s << "tarvelo-image-map " << kMapVersion << "\n";
    s << "size " << hex(static_cast<std::uint32_t>(img.bytes.size())) << "\n";
    for (const ImageLabel& l : img.labels) s << "label " << hex(l.offset) << " " << escape_name(l.name) << "\n";
    for (const MethodSpan& m : img.methods)
        s << "method " << hex(m.record) << " " << hex(m.method) << " " << hex(m.code) << " " << hex(m.code_end) << " "
          << escape_name(m.name) << "\n";
    for (const MapEntry& e : img.map)
        s << "item " << hex(e.offset) << " " << hex(e.size) << " " << escape_name(e.kind) << " " << escape_name(e.name) << "\n";
    for (const std::string& e : img.externals) s << "external " << escape_name(e) << "\n";
    return s.str();
}

bool read_map(const std::string& text, LinkedImage& img, std::string* why) {
    std::istringstream in(text);
    std::string line;
    int n = 0;
    auto bad = [&](const std::string& m) {
        if (why) *why = "line " + std::to_string(n) + ": " + m;
        return false;
    };
    // Numbers are unsigned 32-bit values: no sign, nothing beyond 32 bits.
    auto num = [](const std::string& t, std::uint32_t& v) {
        if (t.empty() || t[0] == '-' || t[0] == '+' || t[0] == ' ') return false;
        errno = 0;
        char* end = nullptr;
        const unsigned long long x = std::strtoull(t.c_str(), &end, 0);
        if (end == t.c_str() || *end || errno == ERANGE || x > 0xFFFFFFFFull) return false;
        v = static_cast<std::uint32_t>(x);
        return true;
    };
    // The image's size bounds every offset and size after it; the map
    // carries no bytes, so nothing is allocated for it.
    bool have_size = false;
    std::uint64_t size = 0;
    bool escaped = true;
    auto inside = [&](std::uint64_t offset, std::uint64_t length) { return offset <= size && length <= size - offset; };
    while (std::getline(in, line)) {
        ++n;
        if (line.empty()) continue;
        std::istringstream ls(line);
        std::string kind;
        ls >> kind;
        // The name that ends the entry, or false when its escapes are bad.
        auto rest = [&](std::string& name) {
            std::string r;
            std::getline(ls, r);
            if (!r.empty() && r[0] == ' ') r.erase(0, 1);
            if (!escaped) {
                name = r;
                return true;
            }
            return unescape_name(r, name);
        };
        if (n == 1) {
            if (kind != "tarvelo-image-map") return bad("not an image map");
            std::string version;
            ls >> version;
            escaped = version != "1";
            continue;
        }
        if (kind == "size") {
            std::string v;
            ls >> v;
            std::uint32_t sz;
            if (!num(v, sz)) return bad("bad size");
            if (have_size) return bad("a second size");
            have_size = true;
            size = sz;
            continue;
        }
        if (!have_size && kind != "external") return bad("'" + kind + "' before the image's size");
        if (kind == "label") {
            std::string off;
            ls >> off;
            ImageLabel l;
            if (!num(off, l.offset)) return bad("bad label");
            if (!inside(l.offset, 0)) return bad("label beyond the image's size");
            if (!rest(l.name)) return bad("bad escape in a name");
            img.labels.push_back(l);
        } else if (kind == "method") {
            std::string a, b, c, d;
            ls >> a >> b >> c >> d;
            MethodSpan m;
            if (!num(a, m.record) || !num(b, m.method) || !num(c, m.code) || !num(d, m.code_end)) return bad("bad method");
            if (!(m.record <= m.method && m.method <= m.code && m.code <= m.code_end) || !inside(m.code_end, 0))
                return bad("method beyond the image's size or out of order");
            if (!rest(m.name)) return bad("bad escape in a name");
            img.methods.push_back(m);
        } else if (kind == "item") {
            std::string a, b;
            MapEntry e;
            ls >> a >> b >> e.kind;
            if (!num(a, e.offset) || !num(b, e.size)) return bad("bad item");
            if (!inside(e.offset, e.size)) return bad("item beyond the image's size");
            std::string kindText = e.kind;
            if (escaped && !unescape_name(kindText, e.kind)) return bad("bad escape in a name");
            if (!rest(e.name)) return bad("bad escape in a name");
            img.map.push_back(e);
        } else if (kind == "external") {
            std::string e;
            if (!rest(e)) return bad("bad escape in a name");
            img.externals.push_back(e);
        } else {
            return bad("unknown entry '" + kind + "'");
        }
    }
    return true;
}

}  // namespace tarvelo::imagelink
