// Fuzzes tarvelo-symbolize: a map (the input up to a line "--") and the
// trace lines named with it; an application file's map (one with an
// "application" line) names the frames of its "@F:" token too.
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
    Symbolizer s(map, 0x10000000u);
    if (!map.application.empty()) s.add_application(map);
    std::istringstream trace(text.substr(split + 4));
    std::string line;
    while (std::getline(trace, line)) (void)s.line(line);
    return 0;
}
