// The tests of an object against a type: the instance test and the array
// store test. They read the object's header (its type) through the object
// model, then test the types (vm/model/type_tests.h). They allocate nothing
// and take no lock.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/model/type_tests.h"

namespace tarvelo::VMJProcessor {

// isAssignable(type of the non-null `object`, `type`).
int isInstance(word_t type, word_t object);
// 1 when `value` is null or an instance of the element type of `array`.
int arrayStoreCheck(word_t array, word_t value);

}  // namespace tarvelo::VMJProcessor
