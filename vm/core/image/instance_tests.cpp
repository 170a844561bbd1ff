#include "vm/core/image/instance_tests.h"

#include "vm/memory/object_model.h"
#include "vm/model/object_header.h"

namespace tarvelo {

int VMJProcessor::isInstance(word_t type, word_t object) {
    return isAssignable(typeOf(object), type);
}

int VMJProcessor::arrayStoreCheck(word_t array, word_t value) {
    if (value == 0) return 1;
    word_t element = arrayElement(typeOf(array));
    if (memory::is_primitive_element(element)) return 0;
    return isInstance(element, value);
}

}  // namespace tarvelo
