// Class and resource lookups by a Java String name, through the shared
// scratch buffer: the name is copied there as NUL-terminated bytes and the
// rest of the buffer, word-aligned after it, holds the package records the
// name searcher matches. Application task only.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/image/image_directory.h"

namespace tarvelo {

struct VMThread;

struct ClassLookup {
    // The lookup context of the code the thread runs (its application, or
    // the kernel).
    static LookupContext contextOf(VMThread* t);

    // The String's chars, one byte each, NUL-terminated in the scratch
    // buffer, and their count in *length; null when count + 1 exceeds the
    // buffer or its fields leave its array, or, with *length kNotBytes,
    // when a char is above 0xFF (no name or number text holds one).
    static constexpr std::int32_t kNotBytes = -1;
    static char* stringToScratch(word_t string, std::int32_t* length);

    // A class by its dotted name held in the scratch buffer: 1 found (in
    // *type), 0 not found, -1 the name is deeper than the segment buffer.
    static int classForName(const LookupContext& context, const char* name, std::int32_t length, word_t* type);
    // The same for a String; -1 (and null) when it does not fit the buffer,
    // 0 when it holds a char above 0xFF.
    static int classForNameAt(const LookupContext& context, word_t name, word_t* type);
    // ClassNotFoundException with the name (reference argument 0) as its
    // message, unless an exception is pending already.
    static void addClassNotFoundException(VMThread* t);

    // A resource by its name (with the leading '/'): 0 and its data address
    // and size; -2 for a name that is empty or does not start with '/', or
    // that does not fit the scratch buffer with its package records; -1 when
    // no visible resource has that name.
    static int openResource(VMThread* t, const char* name, std::int32_t length, word_t* data, std::uint32_t* size);
    // A new MemoryInputStream over the resource named by the String (a
    // leading '/' is optional), or 0: the name does not fit the scratch
    // buffer, no resource has it, or the stream could not be allocated
    // (OutOfMemoryError pending). An application's context searches the
    // kernel's resources too when `searchKernel` says so.
    static word_t openResourceStream(VMThread* t, const LookupContext& context, word_t name, bool searchKernel = true);
};

}  // namespace tarvelo
