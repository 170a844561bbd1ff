// Finds a type or a resource of one image by its name without any hash
// table: it walks the image's fixed-size name records and compares the
// name's segments with the chain of package records. It resolves dotted
// class names ("java.lang.String"), array descriptors ("[I",
// "[[Ljava.lang.String;") and '/'-separated resource paths, and prints and
// writes type names.
//
// The records are read in place from the image (all fields 32-bit words):
//   class-name record (16 bytes): name, name length, package, type header;
//     an array record: name points at '[', then the dimension count and the
//     element's class-name record, then the type header;
//     a primitive record: a one-byte name holding the type code;
//   resource record (24 bytes): name, name length, package, size, data, owner;
//   package record (12 bytes): name, name length, parent package (0 at the root).
//
// Every walk is bounded, so a malformed image (a cyclic package chain, a
// record range that is not a whole number of records) gives "not found"
// rather than a hang or a read outside its ranges.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

// Where printed characters go.
struct PrintSink {
    void (*printChar)(void* ctx, int c);
    void* ctx;
};

struct ClassNameResolver {
    word_t classRecordsStart;
    word_t classRecordsEnd;
    word_t resourceRecordsStart;
    word_t resourceRecordsEnd;

    // Most segments (package levels plus the name) a name may have; a
    // deeper package chain is never a match.
    static constexpr int kMaxSegments = 64;

    void init(word_t classStart, word_t classEnd, word_t resourceStart, word_t resourceEnd);

    // 1 found (the class-name record in *out), 0 not found, -1 the name has
    // more segments than `slotCount`. `slots` is scratch space for the
    // package records matched so far.
    int resolveDescriptor(const char* name, const char* end, char separator, word_t* slots,
                          int slotCount, word_t* out) const;

    // The resource record of a '/'-separated path (no leading '/'), or 0
    // (also when the path has more segments than slots).
    word_t findByPath(const char* path, std::uint32_t length, word_t* slots, int slotCount) const;

    // The first record of [start, end) (in `recordSize` steps) whose package
    // chain and name match the `segments` segments of [name, nameEnd), or 0.
    // Class-name records (16 bytes) whose name starts with '[' are skipped.
    static word_t matchPath(const char* name, const char* nameEnd, word_t* slots, int segments,
                            word_t start, word_t end, char separator, std::uint32_t recordSize);

    // The first array record of [start, end) with these dimensions and
    // element record, or 0.
    static word_t findArrayRecord(std::uint32_t dimensions, word_t element, word_t start, word_t end);

    // Descriptor letters and type codes (Z 4, C 5, F 6, D 7, B 8, S 9, I 10,
    // J 11, V 12); any other value is returned unchanged.
    static int letterToTypeCode(int letter);
    static int typeCodeToLetter(int code);

    // Prints a type's name: an array record's '[' characters and then its
    // element; the package chain from the root with `separator` between
    // levels; a one-byte name as the letter of its type code.
    static void printName(const PrintSink& sink, word_t record, char separator);

    // Number of characters of the dotted name of a (non-array) record, or -1
    // when the record has no well-formed name.
    static std::int32_t dottedNameLength(word_t record);
    // Writes the dotted name of a (non-array) record backwards into
    // `chars`, its last character at index `last`; returns the index of its
    // first character, or -1 (nothing meaningful written) when it does not
    // fit at or after index 0 or the record has no well-formed name.
    static std::int32_t writeDottedName(word_t record, char16_t* chars, std::int32_t last);
};

}  // namespace tarvelo
