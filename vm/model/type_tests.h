// Type tests over the image's read-only type headers: assignability and the
// interface tests. They read type headers only, allocate nothing and take no
// lock. The tests of an object against a type, which read the object's
// header, are in vm/core/image/instance_tests.h.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

// The type tests of the processor helpers (the arithmetic ones are in
// processor/vmj_processor.h).
namespace VMJProcessor {
// 1 when a value of type `source` may be used where `target` is expected.
int isAssignable(word_t source, word_t target);
// 1 when the interface table of class `klass` holds interface `iface`.
int interfaceTest(word_t klass, word_t iface);
// 1 when interface `other` is in the super-interface table of `iface`.
int hierarchyContains(word_t iface, word_t other);
}  // namespace VMJProcessor

}  // namespace tarvelo
