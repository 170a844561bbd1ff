// Type tests over the image's read-only type headers: assignability, the
// instance test, the array store test and the interface tests. They allocate
// nothing and take no lock.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

// The type tests of the processor helpers (the arithmetic ones are in
// processor/vmj_processor.h).
namespace VMJProcessor {
// 1 when a value of type `source` may be used where `target` is expected.
int isAssignable(word_t source, word_t target);
// isAssignable(type of the non-null `object`, `type`).
int isInstance(word_t type, word_t object);
// 1 when `value` is null or an instance of the element type of `array`.
int arrayStoreCheck(word_t array, word_t value);
// 1 when the interface table of class `klass` holds interface `iface`.
int interfaceTest(word_t klass, word_t iface);
// 1 when interface `other` is in the super-interface table of `iface`.
int hierarchyContains(word_t iface, word_t other);
}  // namespace VMJProcessor

}  // namespace tarvelo
