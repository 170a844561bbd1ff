#include "vm/model/class_name_resolver.h"

#include <cstring>

#include "vm/model/image_format.h"
#include "vm/model/string_record.h"

namespace tarvelo {

namespace {

// Array dimensions a descriptor may have, as in the class-file format.
constexpr std::uint32_t kMaxDimensions = 255;

std::uint32_t field(word_t record, std::uint32_t offset) {
    return image::read_u32(to_ptr<const void>(record + offset));
}

word_t nameOf(word_t record) { return field(record, image::kClassNameNameOffset); }
std::uint32_t nameLengthOf(word_t record) { return field(record, image::kClassNameLengthOffset); }
// Class-name, resource and package records all keep the package (parent)
// in their third word.
word_t packageOf(word_t record) { return field(record, image::kClassNamePackageOffset); }

bool isArrayRecord(word_t record) {
    word_t name = nameOf(record);
    return name != 0 && *to_ptr<const char>(name) == '[';
}

struct Segment {
    const char* chars;
    std::uint32_t length;
};

// Splits [name, end) at `separator`; -1 when there are more than `max`
// segments.
int splitSegments(const char* name, const char* end, char separator, Segment* out, int max) {
    int n = 0;
    const char* s = name;
    for (const char* p = name;; ++p) {
        if (p == end || *p == separator) {
            if (n == max) return -1;
            out[n++] = {s, static_cast<std::uint32_t>(p - s)};
            if (p == end) return n;
            s = p + 1;
        }
    }
}

int countSegments(const char* name, const char* end, char separator) {
    int n = 1;
    for (const char* p = name; p != end; ++p) n += *p == separator ? 1 : 0;
    return n;
}

bool nameEquals(word_t record, const Segment& segment) {
    if (nameLengthOf(record) != segment.length) return false;
    if (segment.length == 0) return true;
    word_t name = nameOf(record);
    return name != 0 && std::memcmp(to_ptr<const char>(name), segment.chars, segment.length) == 0;
}

// The package chain of `record`, root first, when it has exactly `levels`
// levels (the record itself being the last); false otherwise.
bool chainOf(word_t record, int levels, word_t* chain) {
    chain[levels - 1] = record;
    word_t p = packageOf(record);
    for (int l = levels - 2; l >= 0; --l) {
        if (p == 0) return false;
        chain[l] = p;
        p = packageOf(p);
    }
    return p == 0;
}

// The chain of `record` up to the root, root first; its length, or -1 when
// it is deeper than `max`.
int fullChain(word_t record, word_t* chain, int max) {
    word_t up[ClassNameResolver::kMaxSegments];
    int n = 0;
    for (word_t p = record; p != 0; p = packageOf(p)) {
        if (n == max) return -1;
        up[n++] = p;
    }
    for (int i = 0; i < n; ++i) chain[i] = up[n - 1 - i];
    return n;
}

}  // namespace

void ClassNameResolver::init(word_t classStart, word_t classEnd, word_t resourceStart,
                             word_t resourceEnd) {
    classRecordsStart = classStart;
    classRecordsEnd = classEnd;
    resourceRecordsStart = resourceStart;
    resourceRecordsEnd = resourceEnd;
}

int ClassNameResolver::letterToTypeCode(int letter) {
    switch (letter) {
        case 'Z': return 4;
        case 'C': return 5;
        case 'F': return 6;
        case 'D': return 7;
        case 'B': return 8;
        case 'S': return 9;
        case 'I': return 10;
        case 'J': return 11;
        case 'V': return 12;
        default: return letter;
    }
}

int ClassNameResolver::typeCodeToLetter(int code) {
    static constexpr char kLetters[] = "ZCFDBSIJV";
    return code >= 4 && code <= 12 ? kLetters[code - 4] : code;
}

word_t ClassNameResolver::matchPath(const char* name, const char* nameEnd, word_t* slots,
                                    int segments, word_t start, word_t end, char separator,
                                    std::uint32_t recordSize) {
    Segment seg[kMaxSegments];
    if (segments <= 0 || segments > kMaxSegments || recordSize == 0 || end < start) return 0;
    if (splitSegments(name, nameEnd, separator, seg, kMaxSegments) != segments) return 0;
    const Segment& leaf = seg[segments - 1];
    const bool classRecords = recordSize == image::kClassNameRecordSize;
    word_t chain[kMaxSegments];
    const std::uint32_t count = (end - start) / recordSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        word_t record = start + i * recordSize;
        if (classRecords && isArrayRecord(record)) continue;
        // The name itself first: most candidates fail here, and the last
        // level is never kept in a slot.
        if (!nameEquals(record, leaf)) continue;
        if (!chainOf(record, segments, chain)) continue;
        bool match = true;
        for (int l = 0; l < segments - 1 && match; ++l) {
            if (slots[l] != 0) {
                match = slots[l] == chain[l];
            } else if (nameEquals(chain[l], seg[l])) {
                // Levels 0..l matched: later candidates compare this
                // package by identity.
                slots[l] = chain[l];
            } else {
                match = false;
            }
        }
        if (match) return record;
    }
    return 0;
}

word_t ClassNameResolver::findArrayRecord(std::uint32_t dimensions, word_t element, word_t start,
                                          word_t end) {
    if (end < start) return 0;
    const std::uint32_t count = (end - start) / image::kClassNameRecordSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        word_t record = start + i * image::kClassNameRecordSize;
        if (!isArrayRecord(record)) continue;
        if (field(record, image::kArrayNameDimensionsOffset) == dimensions &&
            field(record, image::kArrayNameElementOffset) == element)
            return record;
    }
    return 0;
}

int ClassNameResolver::resolveDescriptor(const char* name, const char* end, char separator,
                                         word_t* slots, int slotCount, word_t* out) const {
    *out = 0;
    if (name == nullptr || end <= name) return 0;
    if (*name == '[') {
        const char* p = name;
        while (p != end && *p == '[') ++p;
        if (p == end) return 0;
        auto dimensions = static_cast<std::uint32_t>(p - name);
        if (dimensions > kMaxDimensions) return 0;
        word_t element = 0;
        int r;
        if (*p != 'L') {
            int code = letterToTypeCode(*p);
            if (p + 1 != end || code < 4 || code > 11) return 0;
            const char primitive = static_cast<char>(code);
            r = resolveDescriptor(&primitive, &primitive + 1, separator, slots, slotCount, &element);
        } else {
            if (end[-1] != ';') return 0;
            const char* inner = p + 1;
            const char* innerEnd = end - 1;
            // Dimensions are counted by the leading '['s only: "[L[I;" names
            // no type.
            if (innerEnd <= inner || *inner == '[') return 0;
            r = resolveDescriptor(inner, innerEnd, separator, slots, slotCount, &element);
        }
        if (r != 1) return r;
        word_t record = findArrayRecord(dimensions, element, classRecordsStart, classRecordsEnd);
        if (record == 0) return 0;
        *out = record;
        return 1;
    }
    int segments = countSegments(name, end, separator);
    if (segments > slotCount || segments > kMaxSegments) return -1;
    for (int i = 0; i < segments; ++i) slots[i] = 0;
    word_t record = matchPath(name, end, slots, segments, classRecordsStart, classRecordsEnd,
                              separator, image::kClassNameRecordSize);
    if (record == 0) return 0;
    *out = record;
    return 1;
}

word_t ClassNameResolver::findByPath(const char* path, std::uint32_t length, word_t* slots,
                                     int slotCount) const {
    if (path == nullptr) return 0;
    const char* end = path + length;
    int segments = countSegments(path, end, '/');
    if (segments > slotCount || segments > kMaxSegments) return 0;
    for (int i = 0; i < segments; ++i) slots[i] = 0;
    return matchPath(path, end, slots, segments, resourceRecordsStart, resourceRecordsEnd, '/',
                     image::kResourceRecordSize);
}

void ClassNameResolver::printName(const PrintSink& sink, word_t record, char separator) {
    if (record == 0) return;
    if (isArrayRecord(record)) {
        std::uint32_t dimensions = field(record, image::kArrayNameDimensionsOffset);
        if (dimensions > kMaxDimensions) dimensions = kMaxDimensions;
        for (std::uint32_t i = 0; i < dimensions; ++i) sink.printChar(sink.ctx, '[');
        record = field(record, image::kArrayNameElementOffset);
        if (record == 0 || isArrayRecord(record)) return;
    }
    word_t chain[kMaxSegments];
    int levels = fullChain(record, chain, kMaxSegments);
    for (int l = 0; l < levels; ++l) {
        if (l != 0) sink.printChar(sink.ctx, separator);
        std::uint32_t length = nameLengthOf(chain[l]);
        const auto* chars = to_ptr<const unsigned char>(nameOf(chain[l]));
        if (chars == nullptr) continue;
        if (length == 1) {
            sink.printChar(sink.ctx, typeCodeToLetter(chars[0]));
            continue;
        }
        for (std::uint32_t i = 0; i < length; ++i) sink.printChar(sink.ctx, chars[i]);
    }
}

std::int32_t ClassNameResolver::dottedNameLength(word_t record) {
    if (record == 0 || isArrayRecord(record)) return -1;
    word_t chain[kMaxSegments];
    int levels = fullChain(record, chain, kMaxSegments);
    if (levels < 0) return -1;
    std::uint64_t total = static_cast<std::uint64_t>(levels - 1);
    for (int l = 0; l < levels; ++l) {
        std::uint32_t length = nameLengthOf(chain[l]);
        if (length != 0 && nameOf(chain[l]) == 0) return -1;
        total += length;
    }
    return total > 0x7FFFFFFFu ? -1 : static_cast<std::int32_t>(total);
}

std::int32_t ClassNameResolver::writeDottedName(word_t record, char16_t* chars, std::int32_t last) {
    std::int32_t length = dottedNameLength(record);
    if (length < 0 || last < 0 || last - length + 1 < 0) return -1;
    std::int32_t pos = last;
    for (word_t p = record; p != 0; p = packageOf(p)) {
        if (p != record) chars[pos--] = u'.';
        std::uint32_t n = nameLengthOf(p);
        const auto* name = to_ptr<const unsigned char>(nameOf(p));
        for (std::uint32_t i = n; i > 0; --i) chars[pos--] = name[i - 1];
    }
    return pos + 1;
}

}  // namespace tarvelo
