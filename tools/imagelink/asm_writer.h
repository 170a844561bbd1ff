// Writes a linked image as GNU assembler source: the image in its own
// read-only section, 16-aligned so that offsets from its start give the
// address residues the layout relied on; image-internal addresses relative
// to the image start, natives and RAM statics by symbol (32-bit absolute
// relocations: the firmware is linked non-PIE below 4 GiB); the RAM areas
// in a zero-initialised section; the configuration as absolute symbols;
// and a method index in a section of its own, for tools and tests.
#pragma once

#include <string>

#include "tools/imagelink/linked_image.h"

namespace tarvelo::imagelink {

std::string write_assembler(const LinkedImage& image, const std::string& source_name);

// The text map of the image: its labels, methods and named items with
// their offsets from the image start, for the symboliser and listings.
std::string write_map(const LinkedImage& image);

// Reads a map written by write_map; false on malformed text or an entry
// beyond the image's size. A map holds no bytes: `image.bytes` stays empty.
bool read_map(const std::string& text, LinkedImage& image, std::string* why);

}  // namespace tarvelo::imagelink
