// Checks a linked image: every method decodes linearly to exactly its end
// with aligned operands, registers inside its frame, branch and switch
// targets on instruction boundaries, handler ranges that fit the code and a
// header that agrees with it; every type header passes the validity rules
// the virtual machine applies; interned strings carry their hash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagelink/image_view.h"

namespace tarvelo::imagelink {

// The problems found, empty for a sound image. Each names the address and,
// when known, the method.
std::vector<std::string> verify_image(const ImageView& view);
std::vector<std::string> verify_method(const ImageView& view, const MethodSpan& method);

// The validity test of a type-header address in the kernel image: inside
// the types region, aligned (16 for classes and arrays, 4 for abstract
// classes and interfaces, which an instantiable request refuses), an object
// of type java.lang.Class, and for arrays and classes consistent elements
// and ancestors (all of them when `whole_hierarchy`).
bool is_valid_type_reference(const ImageView& view, std::uint32_t address, bool instantiable_only, bool whole_hierarchy);

}  // namespace tarvelo::imagelink
