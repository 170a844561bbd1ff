// Fuzzes tarvelo-disasm --elf: ELF reading, the method index and the
// decoding of every method of a corrupt firmware file.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/imagelink/disassembler.h"
#include "tools/imagelink/elf_file.h"

using namespace tarvelo::imagelink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ElfFile elf;
    std::string why;
    if (!elf.parse(std::vector<std::uint8_t>(data, data + size), &why)) return 0;
    try {
        (void)disassemble_firmware(elf, LinkedImage{});
    } catch (const std::runtime_error&) {
    }
    return 0;
}
