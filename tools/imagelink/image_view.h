// A read-only view of a linked image at its address: the image's bytes,
// where its regions lie and where its methods lie. Built from a linked
// program's symbols, from the linker's own output, or from a firmware file;
// the decoder, the verifier and the disassembler read images through it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/imagelink/linked_image.h"

namespace tarvelo::imagelink {

struct ImageRegions {
    std::uint32_t types_start = 0, concrete_end = 0, types_end = 0;
    std::uint32_t file_header = 0;
    std::uint32_t clinits_start = 0, clinits_end = 0;
    std::uint32_t class_names_start = 0, class_names_end = 0;
    std::uint32_t resources_start = 0, resources_end = 0;
    std::uint32_t addresses_start = 0, addresses_end = 0;
    std::uint32_t strings_start = 0, strings_end = 0;
    std::uint32_t shared_array = 0;
    std::uint32_t object_type = 0;  // java.lang.Object's type header
    std::uint32_t class_type = 0;   // java.lang.Class's type header
    std::uint32_t string_type = 0;  // java.lang.String's type header
};

class ImageView {
public:
    ImageView() = default;
    ImageView(const std::uint8_t* bytes, std::uint32_t base, std::uint32_t size, ImageRegions regions,
              std::vector<MethodSpan> methods);

    std::uint32_t base() const { return base_; }
    std::uint32_t size() const { return size_; }
    std::uint32_t end() const { return base_ + size_; }
    const ImageRegions& regions() const { return regions_; }
    const std::vector<MethodSpan>& methods() const { return methods_; }  // absolute, by address

    bool contains(std::uint32_t addr, std::uint32_t n = 1) const {
        return addr >= base_ && n <= size_ && addr - base_ <= size_ - n;
    }
    const std::uint8_t* at(std::uint32_t addr) const { return bytes_ + (addr - base_); }
    // Reads outside the image give 0, so that a corrupt image cannot make
    // a reader leave it.
    std::uint8_t u8(std::uint32_t addr) const { return contains(addr, 1) ? at(addr)[0] : 0; }
    std::uint16_t u16(std::uint32_t addr) const;
    std::uint32_t u32(std::uint32_t addr) const;

    // The method whose class word is at `addr`, or nullptr.
    const MethodSpan* method_at(std::uint32_t addr) const;
    // The method whose code contains `addr`, or nullptr.
    const MethodSpan* method_containing(std::uint32_t addr) const;

    // Operand bytes of the inline routine at `address` (from the first
    // entries of the kernel addresses table); -1 when it is none.
    int routine_operands(std::uint32_t address) const;
    // Index of the routine at `address`, or -1.
    int routine_index(std::uint32_t address) const;

private:
    const std::uint8_t* bytes_ = nullptr;
    std::uint32_t base_ = 0, size_ = 0;
    ImageRegions regions_;
    std::vector<MethodSpan> methods_;
    std::map<std::uint32_t, std::size_t> by_method_;
    std::map<std::uint32_t, int> routines_;
};

// A view of the linker's output materialized at `base` (`bytes` is the
// result of LinkedImage::materialize and must outlive the view).
ImageView view_of(const LinkedImage& image, const std::vector<std::uint8_t>& bytes, std::uint32_t base);

// Names for addresses in listings: types, methods, strings, immutables,
// tables, statics and natives.
// Whether a method span can be read: record, class word, code and code
// end in order inside the image, the whole header before the code, and the
// handler entries the header announces between the record and the class
// word. Spans read from a firmware file are input; nothing may decode one
// that fails this.
bool method_span_readable(const ImageView& view, const MethodSpan& m, std::string* why = nullptr);

class SymbolTable {
public:
    void add(std::uint32_t address, std::string name) { names_[address] = std::move(name); }
    // The exact name of `address`, or empty.
    std::string name(std::uint32_t address) const;
    // "name+0x12" for the nearest named address at or below, or empty.
    std::string nearest(std::uint32_t address, std::uint32_t max_distance = 0x100000) const;
    bool empty() const { return names_.empty(); }

private:
    std::map<std::uint32_t, std::string> names_;
};

SymbolTable symbols_of(const LinkedImage& image, std::uint32_t base,
                       const std::map<std::string, std::uint32_t>& externals);

}  // namespace tarvelo::imagelink
