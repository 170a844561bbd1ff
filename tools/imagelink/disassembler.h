// Readable listings of an image's methods, with the names of the types,
// methods, strings, statics and natives their operands refer to.
#pragma once

#include <string>

#include "tools/imagelink/image_view.h"

namespace tarvelo::imagelink {

// One method: its name, header, handler entries and instructions.
std::string disassemble_method(const ImageView& view, const MethodSpan& method, const SymbolTable& symbols);
// Every method of the image, in address order.
std::string disassemble(const ImageView& view, const SymbolTable& symbols);

// Every method of the image linked into a firmware executable, from its
// method index; names from `map` (an image map) where it has them. Throws
// std::runtime_error when the file holds no image or its parts cannot be
// read.
class ElfFile;
std::string disassemble_firmware(const ElfFile& elf, const LinkedImage& map);

}  // namespace tarvelo::imagelink
