#include "tools/imagelink/application_file_layout.h"

#include <algorithm>
#include <cstdio>

#include "tools/imagelink/application_builder.h"

namespace tarvelo::imagelink {

const char* to_string(FileRegion::Kind kind) {
    switch (kind) {
        case FileRegion::Kind::Header: return "header";
        case FileRegion::Kind::SectionEntry: return "section entry";
        case FileRegion::Kind::Content: return "content";
        case FileRegion::Kind::MethodCode: return "method code";
        case FileRegion::Kind::Relocations: return "relocations";
        case FileRegion::Kind::Outside: return "outside";
    }
    return "?";
}

namespace {

std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

struct Label {
    FileRegion::Kind kind = FileRegion::Kind::Outside;
    std::string name;
};

// One item of the content: [begin, end) in content offsets.
struct ContentItem {
    std::uint32_t begin = 0, end = 0;
    FileRegion::Kind kind = FileRegion::Kind::Content;
    std::string name;
};

// The map's items, the narrowest first so that a byte takes the most
// precise name: a method's code before its record, an immutable before the
// region that holds it.
std::vector<ContentItem> content_items(const LinkedImage& map) {
    std::vector<ContentItem> items;
    for (const MethodSpan& m : map.methods) {
        items.push_back({m.code, m.code_end, FileRegion::Kind::MethodCode, "method " + m.name});
        items.push_back({m.record, m.code, FileRegion::Kind::Content, "method record " + m.name});
    }
    for (const MapEntry& e : map.map) items.push_back({e.offset, e.offset + e.size, FileRegion::Kind::Content, e.kind + " " + e.name});
    std::stable_sort(items.begin(), items.end(), [](const ContentItem& a, const ContentItem& b) {
        if ((a.kind == FileRegion::Kind::MethodCode) != (b.kind == FileRegion::Kind::MethodCode))
            return a.kind == FileRegion::Kind::MethodCode;
        return a.end - a.begin < b.end - b.begin;
    });
    return items;
}

std::uint32_t word(const std::vector<std::uint8_t>& f, std::uint32_t at) {
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<std::uint32_t>(f[at + 3]) << 24;
}

}  // namespace

std::vector<FileRegion> application_file_layout(const std::vector<std::uint8_t>& file, const LinkedImage& map) {
    const auto size = static_cast<std::uint32_t>(file.size());
    std::vector<Label> label(size);
    auto mark = [&](std::uint32_t begin, std::uint32_t length, FileRegion::Kind kind, const std::string& name) {
        for (std::uint32_t i = begin; i < size && i - begin < length; ++i) label[i] = {kind, name};
    };
    if (size < app_file::kHeaderSize) {
        mark(0, size, FileRegion::Kind::Header, "truncated header");
    } else {
        static const struct {
            std::uint32_t at, size;
            const char* name;
        } kFields[] = {
            {app_file::kMagicAt, 4, "magic"},
            {app_file::kVersionAt, 4, "version"},
            {app_file::kCrcAt, 4, "CRC"},
            {app_file::kContentSizeAt, 4, "content size"},
            {app_file::kRamSizeAt, 4, "RAM size"},
            {app_file::kSectionTableAt, 4, "section table offset"},
            {app_file::kTypesStartAt, 4, "types start"},
            {app_file::kSectionCountAt, 4, "section count"},
            {app_file::kRelocationsAt, 4, "relocations offset"},
            {app_file::kRelocationsSizeAt, 4, "relocations size"},
            {app_file::kSignatureAt, app_file::kHeaderSize - app_file::kSignatureAt, "kernel signature"},
        };
        for (const auto& f : kFields) mark(f.at, f.size, FileRegion::Kind::Header, f.name);

        const std::vector<ContentItem> items = content_items(map);
        const std::uint32_t sections = word(file, app_file::kSectionCountAt);
        static const char* const kEntryWords[] = {"file offset", "content offset", "size"};
        for (std::uint32_t s = 0; s < sections; ++s) {
            const std::uint64_t entry = app_file::kHeaderSize + std::uint64_t{app_file::kSectionEntrySize} * s;
            if (entry + app_file::kSectionEntrySize > size) break;
            const auto e = static_cast<std::uint32_t>(entry);
            for (std::uint32_t w = 0; w < 3; ++w)
                mark(e + 4 * w, 4, FileRegion::Kind::SectionEntry, "section " + std::to_string(s) + " " + kEntryWords[w]);
            const std::uint32_t at = word(file, e), content = word(file, e + 4), length = word(file, e + 8);
            for (std::uint32_t i = 0; i < length && std::uint64_t{at} + i < size; ++i) {
                const std::uint32_t offset = content + i;
                Label l{FileRegion::Kind::Content, "section " + std::to_string(s) + " content " + hex(offset) + " (no item)"};
                for (const ContentItem& item : items)
                    if (offset >= item.begin && offset < item.end) {
                        l = {item.kind, item.name};
                        break;
                    }
                label[at + i] = l;
            }
        }

        // The relocation records: kind byte, two base-128 numbers, four
        // fixed bits with bit 3 of the kind.
        const std::uint32_t relocations = word(file, app_file::kRelocationsAt);
        const std::uint64_t relocations_end = std::min<std::uint64_t>(
            std::uint64_t{relocations} + word(file, app_file::kRelocationsSizeAt), size);
        std::uint64_t at = relocations;
        std::uint32_t target = 0;
        for (std::uint32_t n = 0; at < relocations_end; ++n) {
            const std::uint64_t start = at;
            const std::uint8_t kind = file[at++];
            std::uint32_t numbers[2] = {};
            for (std::uint32_t& v : numbers)
                for (int shift = 0; at < relocations_end; shift += 7) {
                    const std::uint8_t b = file[at++];
                    if (shift < 32) v |= static_cast<std::uint32_t>(b & 0x7F) << shift;
                    if ((b & 0x80) == 0) break;
                }
            if ((kind & 0x08) != 0) at = std::min<std::uint64_t>(at + 4, relocations_end);
            target += numbers[0];
            // What the word it relocates belongs to: a changed record may
            // change only a constant of some method's code.
            std::string of;
            for (const ContentItem& item : items)
                if (target >= item.begin && target < item.end) {
                    of = ": " + std::string(item.kind == FileRegion::Kind::MethodCode ? "code of " : "") + item.name;
                    break;
                }
            mark(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(at - start), FileRegion::Kind::Relocations,
                 "relocation record " + std::to_string(n) + " (word at content " + hex(target) + of + ")");
        }
    }

    std::vector<FileRegion> out;
    for (std::uint32_t i = 0; i < size; ++i) {
        if (!out.empty() && out.back().kind == label[i].kind && out.back().name == label[i].name && out.back().end == i) {
            out.back().end = i + 1;
            continue;
        }
        FileRegion r{label[i].kind, i, i + 1, label[i].name};
        if (r.kind == FileRegion::Kind::Outside) r.name = "no section, header field or relocation record";
        out.push_back(std::move(r));
    }
    return out;
}

FileRegion region_at(const std::vector<FileRegion>& layout, std::uint32_t at) {
    auto it = std::upper_bound(layout.begin(), layout.end(), at, [](std::uint32_t a, const FileRegion& r) { return a < r.end; });
    if (it != layout.end() && at >= it->begin) return *it;
    return {FileRegion::Kind::Outside, at, at + 1, "past the file's end"};
}

}  // namespace tarvelo::imagelink
