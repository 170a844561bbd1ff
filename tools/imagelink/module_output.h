// The bytes of a module being laid out (the kernel image, or an
// application file's content) and the words in them that refer to
// something. The two builders write the same records; they differ in how
// such a word is written: the kernel image holds an image offset that
// becomes an absolute address when the image is linked, an application
// file a relocation record its loader applies (naming an exported kernel
// item when the target is the kernel's).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/imagelink/model.h"

namespace tarvelo::imagelink {

class ModuleOutput {
public:
    virtual ~ModuleOutput() = default;

    std::uint32_t pos() const { return static_cast<std::uint32_t>(bytes_.size()); }
    void u8(std::uint32_t v) { bytes_.push_back(static_cast<std::uint8_t>(v)); }
    void u16(std::uint32_t v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
    void u32(std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    void zeros(std::uint32_t n) { bytes_.insert(bytes_.end(), n, 0); }
    void align(std::uint32_t a) { while (pos() % a) u8(0); }
    void append(const std::vector<std::uint8_t>& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    // Overwrites bytes already written.
    void set8(std::uint32_t at, std::uint8_t v) { bytes_[at] = v; }
    void patch32(std::uint32_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) bytes_[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }

    // A word holding an offset in this module known only later.
    virtual void ref(std::function<std::uint32_t()> target) = 0;
    // A word referring to type header `t` / to the record of method `m`,
    // of this module or of the kernel's.
    virtual void type_word(const Type* t, const SourceLocation& where) = 0;
    virtual void method_word(const Method* m, const SourceLocation& where) = 0;
    // A word referring to interned string `interned` (the String object).
    virtual void string_word(std::uint32_t interned) = 0;
    // The header and owner words of an object of type `t`.
    virtual void object_header(const Type* t, const SourceLocation& where) = 0;
    // The word of a type header naming its class-name record.
    virtual void name_record_word(const Type* t) = 0;
    // Fills in the word at `at`, in the code of method `m`, that refers to
    // `r` (written as zero or as the reference's addend).
    virtual void code_reference(std::uint32_t at, const ImageRef& r, const Method& m) = 0;

protected:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tarvelo::imagelink
