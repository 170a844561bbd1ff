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

}  // namespace tarvelo::imagelink
