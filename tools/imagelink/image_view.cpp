#include "tools/imagelink/image_view.h"

#include <algorithm>
#include <cstdio>

#include "vm/core/bytecode/opcodes.h"
#include "vm/model/image_format.h"
#include "vm/model/method_record.h"

namespace tarvelo::imagelink {

ImageView::ImageView(const std::uint8_t* bytes, std::uint32_t base, std::uint32_t size, ImageRegions regions,
                     std::vector<MethodSpan> methods)
    : bytes_(bytes), base_(base), size_(size), regions_(regions), methods_(std::move(methods)) {
    std::sort(methods_.begin(), methods_.end(), [](const MethodSpan& a, const MethodSpan& b) { return a.method < b.method; });
    for (std::size_t i = 0; i < methods_.size(); ++i) by_method_[methods_[i].method] = i;
    // The inline routines are the first entries of the kernel addresses table.
    const std::uint32_t t = regions_.addresses_start;
    if (t && contains(t, 4 * bytecode::kInlineRoutineCount)) {
        for (unsigned i = 0; i < bytecode::kInlineRoutineCount; ++i) routines_.emplace(u32(t + 4 * i), static_cast<int>(i));
    }
}

std::uint16_t ImageView::u16(std::uint32_t addr) const { return contains(addr, 2) ? image::read_u16(at(addr)) : 0; }
std::uint32_t ImageView::u32(std::uint32_t addr) const { return contains(addr, 4) ? image::read_u32(at(addr)) : 0; }

const MethodSpan* ImageView::method_at(std::uint32_t addr) const {
    auto it = by_method_.find(addr);
    return it == by_method_.end() ? nullptr : &methods_[it->second];
}

const MethodSpan* ImageView::method_containing(std::uint32_t addr) const {
    auto it = by_method_.upper_bound(addr);
    if (it == by_method_.begin()) return nullptr;
    --it;
    const MethodSpan& m = methods_[it->second];
    return addr < m.code_end ? &m : nullptr;
}

int ImageView::routine_index(std::uint32_t address) const {
    auto it = routines_.find(address);
    return it == routines_.end() ? -1 : it->second;
}

int ImageView::routine_operands(std::uint32_t address) const {
    const int i = routine_index(address);
    return i < 0 ? -1 : bytecode::inline_routine_operand_count(static_cast<unsigned>(i));
}

bool method_span_readable(const ImageView& view, const MethodSpan& m, std::string* why) {
    auto bad = [&](const char* what) {
        if (why) *why = what;
        return false;
    };
    if (!(m.record <= m.method && m.method < m.code && m.code <= m.code_end) ||
        !view.contains(m.record, m.code_end - m.record))
        return bad("method lies outside the image or its parts are out of order");
    if (m.code - m.method < image::kCompactCodeOffset) return bad("the code does not start after the header");
    // The first header byte tells the form; a full header is read only
    // once its six bytes are known to lie before the code.
    if (!(view.u8(m.method + image::kMethodHeaderOffset) & image::kHeaderCompactBit) &&
        m.code - m.method < image::kFullCodeOffset)
        return bad("the code does not start after the header");
    const image::MethodHeader h = image::decode_method_header(view.at(m.method));
    if (m.code - m.method < h.code_offset()) return bad("the code does not start after the header");
    if (m.method - m.record < image::kHandlerEntrySize * h.handler_count)
        return bad("the header's handler entries lie below the record");
    return true;
}

ImageView view_of(const LinkedImage& image, const std::vector<std::uint8_t>& bytes, std::uint32_t base) {
    ImageRegions r;
    auto lab = [&](const char* n) { return image.has_label(n) ? base + image.label(n) : 0; };
    r.types_start = lab("_java_header_types_start");
    r.concrete_end = lab("_java_header_concretetypes_end");
    r.types_end = lab("_java_header_types_end");
    r.file_header = lab("_java_vornfile_header_start");
    r.clinits_start = lab("_java_clinits_start");
    r.clinits_end = lab("_java_clinits_end");
    r.class_names_start = lab("_java_class_names_start");
    r.class_names_end = lab("_java_class_names_end");
    r.resources_start = lab("_java_resource_names_start");
    r.resources_end = lab("_java_resource_names_end");
    r.addresses_start = lab("_java_kernel_addresses_table_start");
    r.addresses_end = lab("_java_kernel_addresses_table_end");
    r.strings_start = lab("_java_internStrings_start");
    r.strings_end = lab("_java_internStrings_end");
    r.shared_array = lab("_java_sharedarray_start");
    r.object_type = lab("_java_Ljava_lang_Object");
    r.class_type = lab("_java_Ljava_lang_Class");
    r.string_type = lab("_java_Ljava_lang_String");
    std::vector<MethodSpan> methods = image.methods;
    for (MethodSpan& m : methods) {
        m.record += base;
        m.method += base;
        m.code += base;
        m.code_end += base;
    }
    return ImageView(bytes.data(), base, static_cast<std::uint32_t>(bytes.size()), r, std::move(methods));
}

std::string SymbolTable::name(std::uint32_t address) const {
    auto it = names_.find(address);
    return it == names_.end() ? std::string() : it->second;
}

std::string SymbolTable::nearest(std::uint32_t address, std::uint32_t max_distance) const {
    auto it = names_.upper_bound(address);
    if (it == names_.begin()) return {};
    --it;
    const std::uint32_t d = address - it->first;
    if (d > max_distance) return {};
    if (d == 0) return it->second;
    char buf[16];
    std::snprintf(buf, sizeof buf, "+0x%x", d);
    return it->second + buf;
}

SymbolTable symbols_of(const LinkedImage& image, std::uint32_t base, const std::map<std::string, std::uint32_t>& externals) {
    SymbolTable t;
    for (const auto& [name, addr] : externals) t.add(addr, name);
    for (const ImageLabel& l : image.labels)
        if (l.name.rfind("_java_M", 0) != 0 && l.name.rfind("_java_I", 0) != 0) t.add(base + l.offset, l.name);
    for (const MapEntry& e : image.map) {
        if (e.kind == "region" || e.kind == "table") continue;
        t.add(base + e.offset, e.kind == "string" ? e.name : e.name);
    }
    return t;
}

}  // namespace tarvelo::imagelink
