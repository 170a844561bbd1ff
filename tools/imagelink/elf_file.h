// Just enough of an ELF reader for the tools: symbol values and the bytes
// at a virtual address, from 32- or 64-bit little-endian files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvelo::imagelink {

class ElfFile {
public:
    // False, with a reason (without the path), when the file is
    // unreadable or not a little-endian ELF file with a symbol table.
    bool load(const std::string& path, std::string* why);
    // The same from the file's bytes.
    bool parse(std::vector<std::uint8_t> bytes, std::string* why);

    std::optional<std::uint64_t> symbol(const std::string& name) const;
    // The bytes of [address, address + size) from the file's sections;
    // false when part of the range is not in a section with file contents.
    bool read(std::uint64_t address, std::uint64_t size, std::vector<std::uint8_t>& out) const;

private:
    struct Section {
        std::uint64_t addr, offset, size;
        std::uint32_t type;
    };
    std::vector<std::uint8_t> data_;
    std::vector<Section> sections_;
    std::vector<std::pair<std::string, std::uint64_t>> symbols_;
};

}  // namespace tarvelo::imagelink
