#include "vm/core/runtime_support/fp_convert.h"

#include "vm/core/processor/java_arith.h"

namespace tarvelo::rt::FPUtil {

std::int32_t f2i(float f) { return jarith::f2i(f); }
std::int32_t d2i(double d) { return jarith::d2i(d); }
std::int64_t f2l(float f) { return jarith::f2l(f); }
std::int64_t d2l(double d) { return jarith::d2l(d); }

}  // namespace tarvelo::rt::FPUtil
