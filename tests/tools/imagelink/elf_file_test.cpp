// The tools' ELF reader on a small well-formed file and on copies whose
// offsets and sizes point anywhere: a corrupt firmware file is refused or
// read within its bounds, never read past them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/imagelink/elf_file.h"

namespace tarvelo::imagelink {
namespace {

using bytes = std::vector<std::uint8_t>;

void put(bytes& b, std::size_t at, std::uint64_t v, int n) {
    for (int k = 0; k < n; ++k) b[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
}

// A 64-bit little-endian file: header, 16 data bytes at address 0x1000,
// a symbol table with "_image" = 0x1004, its string table, and four section
// headers (null, data, symtab, strtab).
constexpr std::size_t kData = 64, kSymtab = 80, kStrtab = 128, kSections = 144;
bytes small_elf() {
    bytes b(kSections + 4 * 64, 0);
    std::memcpy(b.data(), "\x7f" "ELF", 4);
    b[4] = 2;  // 64-bit
    b[5] = 1;  // little-endian
    b[6] = 1;
    put(b, 0x28, kSections, 8);  // section header table
    put(b, 0x3A, 64, 2);         // entry size
    put(b, 0x3C, 4, 2);          // count
    for (std::size_t k = 0; k < 16; ++k) b[kData + k] = static_cast<std::uint8_t>(0xA0 + k);
    // Symbol 1 (symbol 0 is the null symbol): name at 1, value 0x1004.
    put(b, kSymtab + 24, 1, 4);
    put(b, kSymtab + 24 + 8, 0x1004, 8);
    std::memcpy(&b[kStrtab + 1], "_image", 7);
    auto section = [&](int i, std::uint32_t type, std::uint64_t addr, std::uint64_t off, std::uint64_t size,
                       std::uint32_t link, std::uint64_t entsize) {
        const std::size_t s = kSections + 64 * static_cast<std::size_t>(i);
        put(b, s + 4, type, 4);
        put(b, s + 0x10, addr, 8);
        put(b, s + 0x18, off, 8);
        put(b, s + 0x20, size, 8);
        put(b, s + 0x28, link, 4);
        put(b, s + 0x38, entsize, 8);
    };
    section(1, 1, 0x1000, kData, 16, 0, 0);      // progbits
    section(2, 2, 0, kSymtab, 48, 3, 24);        // symtab, linked to strtab
    section(3, 3, 0, kStrtab, 16, 0, 0);         // strtab
    return b;
}

std::string write_temp(const bytes& b, const std::string& name) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path;
}

TEST(ElfFile, ReadsSymbolsAndSectionBytes) {
    ElfFile elf;
    std::string why;
    ASSERT_TRUE(elf.load(write_temp(small_elf(), "elf_sound"), &why)) << why;
    ASSERT_TRUE(elf.symbol("_image").has_value());
    EXPECT_EQ(*elf.symbol("_image"), 0x1004u);
    bytes out;
    ASSERT_TRUE(elf.read(0x1004, 4, out));
    EXPECT_EQ(out, (bytes{0xA4, 0xA5, 0xA6, 0xA7}));
    EXPECT_FALSE(elf.read(0x100E, 4, out));   // runs past the section
    EXPECT_FALSE(elf.read(~0ull - 1, 4, out));  // wraps around the address space
}

// Offsets and sizes near the top of the 64-bit range make naive bounds
// checks wrap; every one must be refused or stay inside the file.
TEST(ElfFile, CorruptOffsetsAndSizesStayInsideTheFile) {
    struct Case { const char* what; std::size_t at; std::uint64_t value; int width; };
    const std::uint64_t huge = ~0ull - 3;
    const Case cases[] = {
        {"section table offset", 0x28, huge, 8},
        {"section table offset wrapping with the count", 0x28, ~0ull - 64 * 4 + 1, 8},
        {"symtab offset", kSections + 2 * 64 + 0x18, huge, 8},
        {"symtab size", kSections + 2 * 64 + 0x20, huge, 8},
        {"symtab offset and size wrap", kSections + 2 * 64 + 0x18, ~0ull - 23, 8},
        {"strtab offset", kSections + 3 * 64 + 0x18, huge, 8},
        {"data offset", kSections + 1 * 64 + 0x18, huge, 8},
        {"data size", kSections + 1 * 64 + 0x20, huge, 8},
        {"data address at the top", kSections + 1 * 64 + 0x10, ~0ull - 7, 8},
        {"symtab entry size", kSections + 2 * 64 + 0x38, huge, 8},
    };
    for (const Case& c : cases) {
        bytes b = small_elf();
        put(b, c.at, c.value, c.width);
        ElfFile elf;
        std::string why;
        if (!elf.load(write_temp(b, "elf_corrupt"), &why)) continue;  // refused: fine
        bytes out;
        for (std::uint64_t a : {std::uint64_t{0x1000}, std::uint64_t{0x1004}, std::uint64_t{~0ull - 7}, std::uint64_t{~0ull - 3}})
            if (elf.read(a, 8, out)) {
                EXPECT_EQ(out.size(), 8u) << c.what;
            }
    }
}

}  // namespace
}  // namespace tarvelo::imagelink
