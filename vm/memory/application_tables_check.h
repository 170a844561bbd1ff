// Checks, before an installed application is linked, of the tables its
// descriptor names that the virtual machine reads on its own (resource
// lookups and streams, immutable lookups by name): every record and every
// address they hold lies inside the application's read-only area, so that
// a hostile file cannot make a lookup read beyond it. The values of the
// immutable value table are handed to Java code as they are, like the
// constants of the application's code (the bytecode is trusted), once
// each is known to be an immortal object of the application's (the
// collector reads its header and owner words); what their fields hold is
// the application's data, as its bytecode's constants are.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

// Whether the resource records (descriptor words 8-9: name, package chain,
// data and size) and the immutable key and value tables (words 10-13:
// arrays inside the immutables range, of the same length, each key an
// interned string of the application, words 14-15, each value 0 or an
// immortal object of its strings or immutables owned by it or the kernel)
// of the application whose `FeatureRecord` is `record` lie inside
// [romStart, romEnd).
bool applicationTablesInside(word_t record, word_t romStart, word_t romEnd);

// The areas the port allocated to an application, and what of the kernel
// an application's record refers to by size.
struct ApplicationAreas {
    word_t romStart, romEnd;  // read-only area (its InstalledFeatureStruct first)
    word_t ramStart, ramEnd;  // RAM area
    // Bytes of the kernel's lazily initialised statics, of which the
    // application holds copies at the end of its reference statics.
    std::uint32_t kernelLazyStaticsBytes;
    // The kernel's type headers, java.lang.Class (the type of every type
    // header) and its image, which an application's records may name.
    word_t kernelTypesStart, kernelTypesEnd, kernelClassType;
    word_t kernelImageStart, kernelImageEnd;
    // java.lang.String and char[]: the types of interned strings and of the
    // array holding their characters.
    word_t kernelStringType, kernelCharArrayType;
    // The kernel addresses table: what of the kernel an application may
    // name (its exported types, methods and statics).
    word_t kernelAddressesStart, kernelAddressesEnd;
};

// What `installedApplicationFault` found wrong first.
enum class ApplicationFault : std::uint8_t {
    kNone,
    kStruct,              // the struct's areas are not the port's
    kSectionTable,        // outside the content, unaligned or listing no record
    kRecord,              // the FeatureRecord outside the content or unaligned
    kDescriptor,          // the descriptor, or one of its ranges, outside the content
    kModuleData,          // the module data object or its name outside the immutables
    kEntryPoint,          // the entry-point class not one of the application's types
    kClinits,             // the class-initialiser table or one of its methods outside
    kRuntimeState,        // the runtime state outside the RAM area or unaligned
    kStatics,             // a statics range outside the RAM area, unaligned or overlapping
    kKernelStaticsCopies, // the copies of the kernel's lazy statics outside the reference statics
    kTables,              // resources or immutable tables (applicationTablesInside)
    kTypes,               // a type header, or what it names, malformed or outside
    kStrings,             // an interned or immutable string, or their array, malformed or outside
    kHandlers,            // a handler entry of a method the tables name outside its code
    kImmutables,          // a reference word of an immutable object naming no object it may name
};

// Checks, before anything of it is used, every word of the stored
// application at `areas.romStart` (its InstalledFeatureStruct) that the
// virtual machine follows on its own: the struct's areas are the port's;
// the section table, the record, its descriptor and what they name lie in
// the content (after the struct's CRC table), the module data and its name
// owned by the application or the kernel; the runtime state and the five
// statics ranges lie in the RAM area the struct gives, aligned and without
// overlapping each other; the copies of the kernel's lazy statics lie
// inside the reference statics. Empty ranges, and an entry point or image
// start of 0, are not followed and may lie anywhere. Then
// applicationTablesInside, and every type header of the application: a
// Class of the application, of its kind's size and holding the instances
// of its ancestors, whose name record, hierarchy, interface tables,
// virtual methods, constructor and element name what lies in its content,
// or what the kernel exports (an entry of its addresses table: among its
// types for a type, outside them in its image for a method); every method
// of its content these and the class initialisers name a record whose
// class word is one of its type headers, outside its data and tables, with
// a header the interpreter can make a frame of (image::method_header_sound)
// and its handler entries inside its code; its interned and immutable
// strings, each a String naming chars of a char[] of its own; and every
// reference word of its immutable objects, null or an object it may name
// (of its immutables, strings or shared char[], a type header it may
// name, or what the kernel exports). Every object of the content these
// name is immortal and owned by the application or the kernel (the
// collector reads owner words first).
ApplicationFault installedApplicationFault(const ApplicationAreas& areas);

}  // namespace tarvelo
