// Checks, before an installed application is linked, of the tables its
// descriptor names that the virtual machine reads on its own (resource
// lookups and streams, immutable lookups by name): every record and every
// address they hold lies inside the application's read-only area, so that
// a hostile file cannot make a lookup read beyond it. The values of the
// immutable value table are handed to Java code as they are, like the
// constants of the application's code (the bytecode is trusted).
#pragma once

#include "platform/address.h"

namespace tarvelo {

// Whether the resource records (descriptor words 8-9: name, package chain,
// data and size) and the immutable key and value tables (words 10-13:
// arrays inside the immutables range, of the same length, each key an
// interned string of the application, words 14-15) of the application
// whose `FeatureRecord` is `record` lie inside [romStart, romEnd).
bool applicationTablesInside(word_t record, word_t romStart, word_t romEnd);

}  // namespace tarvelo
