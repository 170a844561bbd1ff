// A method's record as vm/model/method_record.h lays it out: its
// handler entries (the first one nearest the class word), the class word,
// the one- or six-byte header and the code, the words in the code that
// refer to the image filled in through the module's output.
#pragma once

#include "tools/imagelink/linked_image.h"
#include "tools/imagelink/module_output.h"

namespace tarvelo::imagelink {

// Writes the record of assembled method `m` at the next method alignment,
// sets its offsets and answers where its parts lie.
MethodSpan write_method_record(ModuleOutput& out, Method& m);

}  // namespace tarvelo::imagelink
