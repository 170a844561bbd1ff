#include "vm/core/statics_component.h"

#include <cstring>

#include "vm/core/image/image_symbols.h"

namespace tarvelo {

namespace {

void zero(const char* start, const char* end) {
    if (end > start) std::memset(const_cast<char*>(start), 0, static_cast<std::size_t>(end - start));
}

}  // namespace

void StaticsComponent::start(VMComponent*) {
    zero(_java_statics_bt1_start, _java_statics_bt1_end);
    zero(_java_statics_bt2_start, _java_statics_bt2_end);
    zero(_java_statics_bt4_start, _java_statics_bt4_end);
    zero(_java_statics_bt8_start, _java_statics_bt8_end);
    zero(_java_statics_ref_start, _java_statics_ref_end);
}

}  // namespace tarvelo
