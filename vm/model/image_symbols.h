// Declarations of the image's link-time symbols for code that runs against a
// linked image (the virtual machine, tests). Region symbols are labels: use
// their address. Configuration symbols are absolute: use
// tarvelo::link_value(sym) for their value.
#pragma once

extern "C" {
#define TARVELO_IMAGE_SYMBOL(name) extern const char name[];
#define TARVELO_IMAGE_WRITABLE_SYMBOL(name) extern char name[];
#include "vm/model/image_symbols.def"
#undef TARVELO_IMAGE_WRITABLE_SYMBOL
#undef TARVELO_IMAGE_SYMBOL
#define TARVELO_LINK_CONFIG(name, value) extern const char name[];
#include "vm/model/link_config.def"
#undef TARVELO_LINK_CONFIG
}
