// The output of the linker before it is written out: the image's bytes
// with the words still to be relocated, its labels, the RAM areas it
// reserves and the configuration symbols. The assembler writer turns it
// into a GNU assembler source; the verifier and the disassembler read a
// materialized copy at a chosen base address.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarvelo::imagelink {

struct Relocation {
    std::uint32_t at = 0;     // byte offset of the 32-bit word in the image
    bool external = false;
    std::uint32_t target = 0; // internal: image offset
    std::string symbol;       // external
    std::int32_t addend = 0;  // external
};

struct ImageLabel {
    std::string name;
    std::uint32_t offset = 0;
    bool global = true;
};

// An area of zero-initialised RAM: a label and its size, laid out in order
// (each aligned as given).
struct RamItem {
    std::string name;
    std::uint32_t size = 0;
    std::uint32_t align = 1;
    bool global = true;
};

struct MethodSpan {
    std::uint32_t record = 0;    // first byte of the record (first handler entry)
    std::uint32_t method = 0;    // class word
    std::uint32_t code = 0;      // first code byte
    std::uint32_t code_end = 0;  // one past the last code byte
    std::string name;            // "java.lang.Math.max(JJ)J"
};

// Something of the image worth a name in listings and traces.
struct MapEntry {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::string kind;  // type, method, string, immutable, table, region, ...
    std::string name;
};

struct LinkedImage {
    std::vector<std::uint8_t> bytes;
    std::vector<Relocation> relocations;
    std::vector<ImageLabel> labels;
    std::vector<RamItem> ram;
    std::vector<std::pair<std::string, std::uint32_t>> config;  // absolute symbols
    std::vector<std::string> config_overrides;  // the ones the image sets itself
    std::vector<std::string> externals;  // symbols the image needs from the firmware
    bool weak_externals = false;
    std::vector<MethodSpan> methods;
    std::vector<MapEntry> map;
    // An application file's map: the application's name (its module
    // data's), by which traces name it; offsets are from its image start.
    std::string application;

    // Offset of a label; throws std::out_of_range when missing.
    std::uint32_t label(const std::string& name) const;
    bool has_label(const std::string& name) const;

    // The bytes as they are once linked at `base`, external symbols taking
    // the addresses `externals` gives (missing ones get distinct addresses
    // above 0xF0000000, a region no image uses).
    std::vector<std::uint8_t> materialize(std::uint32_t base,
                                          const std::map<std::string, std::uint32_t>& externals = {}) const;
    // The addresses `materialize` gave the external symbols.
    std::map<std::string, std::uint32_t> placeholder_addresses(const std::map<std::string, std::uint32_t>& given = {}) const;
};

}  // namespace tarvelo::imagelink
