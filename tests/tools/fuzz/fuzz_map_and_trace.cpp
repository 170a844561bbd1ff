// Fuzzes tarvelo-symbolize: a map (the input up to a line "--") and the
// trace lines named with it.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/symbolizer.h"

using namespace tarvelo::imagelink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = text.find("\n--\n");
    LinkedImage map;
    std::string why;
    if (!read_map(text.substr(0, split), map, &why)) return 0;
    if (split == std::string::npos) return 0;
    const Symbolizer s(map, 0x10000000u);
    std::istringstream trace(text.substr(split + 4));
    std::string line;
    while (std::getline(trace, line)) (void)s.line(line);
    return 0;
}
