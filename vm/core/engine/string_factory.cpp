#include "vm/core/engine/string_factory.h"

#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/memory_binding.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/threads/vm_thread.h"

namespace tarvelo {

word_t StringFactory::newString(VMThread* t, std::int32_t n) {
    if (n < 0) n = 0;
    AllocatingFor owner(t);
    word_t s = t->allocateObject(types::string());
    if (s == 0) return 0;
    word_t* held = ExecutionContext::pushLocalRef(t, s);
    word_t chars = t->allocateArray(types::char_array(), 2 * static_cast<std::int64_t>(n), n);
    s = *held;
    ExecutionContext::popLocalRefsTo(t, held);
    if (chars == 0) return 0;
    java::string_value(s) = chars;
    java::set_string_fields(s, 0, n);
    return s;
}

word_t StringConversions::newStringFromBytes(VMThread* t, const std::uint8_t* bytes, std::int32_t n) {
    word_t s = StringFactory::newString(t, n);
    if (s == 0 || bytes == nullptr) return s;
    auto* chars = java::array_data<std::uint16_t>(java::string_value(s));
    for (std::int32_t i = 0; i < n; ++i) chars[i] = bytes[i];
    return s;
}

}  // namespace tarvelo
