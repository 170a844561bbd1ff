// Fuzzes tarvelo-imagelink: an image source (after the runtime prelude's
// include, so that the input reaches the linker's later passes), parsed,
// linked and verified.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/imagelink/link_error.h"
#include "tools/imagelink/linker.h"

using namespace tarvelo::imagelink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = ".include \"runtime.tvi\"\n" + std::string(reinterpret_cast<const char*>(data), size);
    try {
        (void)link_text(text, TARVELO_FUZZ_DIR "/input.tvi", {TARVELO_PRELUDE_DIR});
    } catch (const LinkError&) {
    }
    return 0;
}
