// The start-up allocation check over the runtime heap's allocation pointer.
#include "graphics/display/allocation_check.h"

#include <string_view>

#include "graphics/display/display_config.h"
#include "graphics/natives/vm_binding.h"
#include "platform/address.h"
#include "vm/core/runtime_support/system_out.h"
#include "vm/model/image_symbols.h"

namespace tarvelo::graphics {

namespace {

namespace out = rt::SystemOut;

std::int32_t link_setting(const char* symbol) { return static_cast<std::int32_t>(link_value(symbol)); }

std::int64_t runtime_heap_free() { return static_cast<std::int64_t>(vm_binding().runtimeHeapFree()); }

// "<label>\t<value>" on a line of its own.
void figure(std::string_view label, std::int64_t value) {
    out::print(label);
    out::print("\t");
    out::printLong(value);
    out::println();
}

}  // namespace

AllocationCheck::AllocationCheck() : on_(link_setting(DISPLAY_DEBUG_ALLOCATION) != -1) {
    if (!on_) return;
    before_ = runtime_heap_free();
    figure("1:", before_);
}

void AllocationCheck::finish() const {
    if (on_) reportAfter(before_, runtime_heap_free(), link_setting(DISPLAY_EXPECTED_ALLOCATION));
}

void AllocationCheck::reportAfter(std::int64_t before, std::int64_t after, std::int64_t expected) {
    const std::int64_t used = before - after;
    const std::int64_t real = used - (kPngDecoderMemory + kBmpDecoderMemory + kExternalDecoderMemory);
    figure("2:", after);
    figure("3:", used);
    figure("4:", real);
    if (real <= expected) return;
    out::println("[WARNING] Display allocation: expected allocation is smaller than real allocation!!");
    figure("expected:", expected);
    figure("real:", real);
}

}  // namespace tarvelo::graphics
