// Linked in place of the RAM pattern test: the areas that contain one of
// FAILING_RAM_AREAS (addresses, W(symbol) for an image symbol's) fail it,
// every other area passes. A
// real memory fault cannot be produced on the host, so this stands for the
// board's broken RAM.
#include "vm/model/image_symbols.h"
#include "vm/memory/ram_check.h"

namespace tarvelo {

#define W(symbol) ::tarvelo::to_word(symbol)

int RamCheck::ramCheck(word_t start, word_t end) {
    const word_t failing[] = {FAILING_RAM_AREAS};
    for (word_t a : failing) {
        if (a >= start && a < end) return 0;
    }
    return 1;
}

}  // namespace tarvelo
