#include "tools/imagelink/elf_file.h"

#include "tools/imagelink/tool_support.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tarvelo::imagelink {

namespace {

constexpr std::uint32_t kShtSymtab = 2;
constexpr std::uint32_t kShtNobits = 8;

// [offset, offset + n) lies within `size` bytes.
bool within(std::uint64_t offset, std::uint64_t n, std::uint64_t size) { return offset <= size && n <= size - offset; }

}  // namespace

bool ElfFile::load(const std::string& path, std::string* why) {
    auto bad = [&](const std::string& m) {
        if (why) *why = m;
        return false;
    };
    std::vector<std::uint8_t> bytes;
    try {
        const std::string text = read_input_file(path);
        bytes.assign(text.begin(), text.end());
    } catch (const ToolError& e) {
        return bad(e.what());
    }
    return parse(std::move(bytes), why);
}

bool ElfFile::parse(std::vector<std::uint8_t> bytes, std::string* why) {
    auto bad = [&](const std::string& m) {
        if (why) *why = m;
        return false;
    };
    data_ = std::move(bytes);
    sections_.clear();
    symbols_.clear();
    const auto& d = data_;
    if (d.size() < 52 || std::memcmp(d.data(), "\x7f" "ELF", 4) != 0) return bad("not an ELF file");
    const bool is64 = d[4] == 2;
    if (d[5] != 1) return bad("not little-endian");
    // Offsets and sizes come from the file: every bound is checked without
    // an addition that could wrap.
    auto rd = [&](std::uint64_t off, int n) -> std::uint64_t {
        if (!within(off, static_cast<std::uint64_t>(n), d.size())) return 0;
        std::uint64_t v = 0;
        for (int k = n - 1; k >= 0; --k) v = (v << 8) | d[off + static_cast<std::uint64_t>(k)];
        return v;
    };
    const std::uint64_t shoff = is64 ? rd(0x28, 8) : rd(0x20, 4);
    const std::uint64_t shentsize = is64 ? rd(0x3A, 2) : rd(0x2E, 2);
    const std::uint64_t shnum = is64 ? rd(0x3C, 2) : rd(0x30, 2);
    if (!shoff || !shnum || !within(shoff, shentsize * shnum, d.size())) return bad("no section table");
    struct Raw { std::uint32_t type; std::uint64_t addr, offset, size, link, entsize; };
    std::vector<Raw> raw;
    for (std::uint64_t i = 0; i < shnum; ++i) {
        const std::uint64_t s = shoff + i * shentsize;
        Raw r;
        r.type = static_cast<std::uint32_t>(rd(s + 4, 4));
        if (is64) {
            r.addr = rd(s + 0x10, 8); r.offset = rd(s + 0x18, 8); r.size = rd(s + 0x20, 8);
            r.link = rd(s + 0x28, 4); r.entsize = rd(s + 0x38, 8);
        } else {
            r.addr = rd(s + 0x0C, 4); r.offset = rd(s + 0x10, 4); r.size = rd(s + 0x14, 4);
            r.link = rd(s + 0x18, 4); r.entsize = rd(s + 0x24, 4);
        }
        raw.push_back(r);
        sections_.push_back({r.addr, r.offset, r.size, r.type});
    }
    for (const Raw& r : raw) {
        if (r.type != kShtSymtab || r.link >= raw.size() || !r.entsize) continue;
        const Raw& strtab = raw[r.link];
        if (r.offset > d.size()) continue;
        const std::uint64_t end = r.offset + std::min<std::uint64_t>(r.size, d.size() - r.offset);
        for (std::uint64_t off = r.offset; r.entsize <= end - off; off += r.entsize) {
            const std::uint64_t name = rd(off, 4);
            const std::uint64_t value = is64 ? rd(off + 8, 8) : rd(off + 4, 4);
            if (!within(strtab.offset, name + 1, d.size())) continue;
            const std::uint64_t at = strtab.offset + name;
            std::string n;
            for (std::uint64_t k = at; k < d.size() && d[k]; ++k) n += static_cast<char>(d[k]);
            if (!n.empty()) symbols_.emplace_back(std::move(n), value);
        }
    }
    if (symbols_.empty()) return bad("no symbol table");
    return true;
}

std::optional<std::uint64_t> ElfFile::symbol(const std::string& name) const {
    for (const auto& [n, v] : symbols_)
        if (n == name) return v;
    return std::nullopt;
}

bool ElfFile::read(std::uint64_t address, std::uint64_t size, std::vector<std::uint8_t>& out) const {
    out.clear();
    if (size > ~std::uint64_t{0} - address) return false;  // wraps around the address space
    std::uint64_t a = address;
    const std::uint64_t end = address + size;
    while (a < end) {
        bool found = false;
        for (const Section& s : sections_) {
            if (s.type == kShtNobits || !s.addr || a < s.addr || a - s.addr >= s.size) continue;
            const std::uint64_t n = std::min(end - a, s.size - (a - s.addr));
            if (!within(s.offset, a - s.addr, data_.size())) return false;
            const std::uint64_t off = s.offset + (a - s.addr);
            if (!within(off, n, data_.size())) return false;
            out.insert(out.end(), data_.begin() + static_cast<long>(off), data_.begin() + static_cast<long>(off + n));
            a += n;
            found = true;
            break;
        }
        if (!found) return false;
    }
    return true;
}

}  // namespace tarvelo::imagelink
