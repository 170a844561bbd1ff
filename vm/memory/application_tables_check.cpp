#include "vm/memory/application_tables_check.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "vm/memory/feature_loader.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/model/image_format.h"
#include "vm/model/method_record.h"
#include "vm/model/object_header.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"

namespace tarvelo {

namespace {

// Package chains are short; a longer one is a loop.
constexpr int kMaxPackageDepth = 64;

struct Area {
    word_t start, end;
    // [a, a + bytes) inside the area (nothing is read of an empty range).
    bool holds(word_t a, std::uint64_t bytes) const {
        return bytes == 0 || (a >= start && a <= end && bytes <= end - a);
    }
    // [a, b) a range inside the area; nothing is read or written of an
    // empty one, which may lie anywhere.
    bool holdsRange(word_t a, word_t b) const { return a == b || (a < b && a >= start && b <= end); }
};

bool aligned(word_t a, std::uint32_t to) { return a % to == 0; }

// An object of an application's content: born marked (so the collector
// never scans or moves it) and owned by the application or the kernel
// (marking reads its owner's runtime state first).
bool immortalOf(word_t object, word_t record) {
    const word_t owner = memory::owner_feature(loadWord(object + memory::kOwnerOffset));
    return memory::header_is_marked(loadWord(object)) && (owner == 0 || owner == record);
}

// An object of the application's interned strings or immutables, which
// the collector that marks it reads the header and owner words of first.
bool immortalIn(word_t object, const Area& strings, const Area& immutables, word_t record) {
    return object % 4 == 0 &&
           (strings.holds(object, memory::kOwnerOffset + 4) || immutables.holds(object, memory::kOwnerOffset + 4)) &&
           immortalOf(object, record);
}

// Whether `object`'s header names the kernel type `type` (its owner word
// says the type is the kernel's).
bool ofKernelType(word_t object, word_t type, word_t kernelTypesStart) {
    return !memory::owner_has_feature_type(loadWord(object + memory::kOwnerOffset)) &&
           kernelTypesStart + memory::header_type_offset(loadWord(object)) == type;
}

bool packageChainInside(const Area& rom, word_t package) {
    for (int depth = 0; package != 0; ++depth) {
        if (depth == kMaxPackageDepth || package % 4 != 0 || !rom.holds(package, image::kClassNameRecordSize))
            return false;
        if (!rom.holds(loadWord(package), loadWord(package + 4))) return false;
        package = loadWord(package + 8);
    }
    return true;
}

// The array object at `a` (header, owner, length, words) inside `area`;
// its length through `length`.
bool wordArrayInside(const Area& area, word_t a, std::uint32_t* length) {
    if (!area.holds(a, memory::kArrayDataOffset)) return false;
    *length = loadWord(a + memory::kArrayLengthOffset);
    return area.holds(a + memory::kArrayDataOffset, 4ull * *length);
}

}  // namespace

bool applicationTablesInside(word_t record, word_t romStart, word_t romEnd) {
    const Area rom{romStart, romEnd};
    if (!rom.holds(record, 4 * feature_record::kWords)) return false;
    const word_t descriptor = featureRecordWord(record, feature_record::kDescriptor);
    if (!rom.holds(descriptor, 4 * image::kFeatureDescriptorWords)) return false;
    auto word = [&](std::uint32_t i) { return loadWord(descriptor + 4 * i); };

    const word_t resources = word(image::kFeatureResourcesStart), resourcesEnd = word(image::kFeatureResourcesEnd);
    if (resourcesEnd < resources || !rom.holds(resources, resourcesEnd - resources) ||
        (resourcesEnd - resources) % image::kResourceRecordSize != 0)
        return false;
    for (word_t r = resources; r < resourcesEnd; r += image::kResourceRecordSize) {
        if (!rom.holds(loadWord(r + image::kResourceNameOffset), loadWord(r + image::kResourceNameLengthOffset)) ||
            !packageChainInside(rom, loadWord(r + image::kResourcePackageOffset)) ||
            !rom.holds(loadWord(r + image::kResourceDataOffset), loadWord(r + image::kResourceSizeOffset)))
            return false;
    }

    const Area immutables{word(image::kFeatureImmutablesStart), word(image::kFeatureImmutablesEnd)};
    const Area strings{word(image::kFeatureInternStringsStart), word(image::kFeatureInternStringsEnd)};
    if (immutables.end < immutables.start || !rom.holds(immutables.start, immutables.end - immutables.start) ||
        strings.end < strings.start || !rom.holds(strings.start, strings.end - strings.start))
        return false;
    const word_t keys = word(image::kFeatureImmutableKeys), values = word(image::kFeatureImmutableValues);
    if (keys == 0 && values == 0) return true;
    std::uint32_t keyCount = 0, valueCount = 0;
    if (!wordArrayInside(immutables, keys, &keyCount) || !wordArrayInside(immutables, values, &valueCount) ||
        keyCount != valueCount)
        return false;
    for (std::uint32_t i = 0; i < keyCount; ++i) {
        // A key is a String of the application: the reference 4 bytes into
        // one of its interned-string records.
        const word_t key = loadWord(keys + memory::kArrayDataOffset + 4 * i);
        const word_t at = key - image::kStringRecordObjectOffset;
        if (!strings.holds(at, image::kStringRecordSize) || (at - strings.start) % image::kStringRecordSize != 0) return false;
        // A value is handed to Java as it is; the collector that marks it
        // reads its header and owner words first: an immortal object of the
        // application's (a String of it or one of its immutables).
        const word_t value = loadWord(values + memory::kArrayDataOffset + 4 * i);
        if (value != 0 && !immortalIn(value, strings, immutables, record)) return false;
    }
    return true;
}

namespace {

// The type headers of an application (whose record is `record`) in
// [types, typesEnd), the instantiable ones before `concreteEnd`, checked
// against its content and the kernel's types and image.
class TypeHeaderCheck {
public:
    // `data` are the ranges of the content that hold no method: its type
    // headers, class initialisers, class names, resource records,
    // immutables and interned strings.
    TypeHeaderCheck(const ApplicationAreas& k, const Area& content, word_t record, word_t types, word_t concreteEnd,
                    word_t typesEnd, const std::vector<Area>& data)
        : k_(k), content_(content), record_(record), types_(types), concreteEnd_(concreteEnd), typesEnd_(typesEnd),
          data_(data) {
        // What the kernel exports, sorted once: every type and method word
        // is looked up in it.
        for (word_t e = k_.kernelAddressesStart; e + 4 <= k_.kernelAddressesEnd; e += 4) exports_.push_back(loadWord(e));
        std::sort(exports_.begin(), exports_.end());
        // The instantiable headers, which follow each other by their kinds'
        // slots (a malformed one ends the walk; allValid refuses it).
        for (word_t w = types_; w < concreteEnd_ && content_.holds(w, image::kArrayTypeHeaderSize);
             w += image::type_is_array(at(w)) ? image::kArrayTypeSlotSize : image::kClassSlotSize)
            concreteTypes_.push_back(w);
        // Where each table the type headers name, and each range of data,
        // starts: a virtual or interface method table runs to the next one.
        for (word_t t : concreteTypes_)
            if (!image::type_is_array(at(t)) && content_.holds(t, image::kClassHeaderSize)) tableStarts(t);
        for (word_t t = concreteEnd_; t >= types_ && t < typesEnd_ && content_.holds(t, image::kAbstractHeaderSize);
             t += image::kAbstractHeaderSize) {
            if (!image::type_is_interface(at(t))) {
                tableStarts(t);
                continue;
            }
            const word_t supers = image::interface_supers(at(t));
            if (supers != 0 && content_.holds(supers, 4)) spans_.push_back({supers, supers + 4 + 4 * loadWord(supers)});
            const word_t shared = image::interface_shared_descriptor(at(t));
            if (shared != 0) spans_.push_back({shared, 0});
        }
        for (const Area& span : spans_) starts_.push_back(span.start);
        for (const Area& d : data_)
            if (d.start != d.end) starts_.push_back(d.start);
        std::sort(starts_.begin(), starts_.end());
        // A table whose length the records do not give runs to the next.
        for (Area& span : spans_)
            if (span.end <= span.start) span.end = tableEnd(span.start);
        std::sort(spans_.begin(), spans_.end(), [](const Area& x, const Area& y) { return x.start < y.start; });
    }

    bool allValid() const {
        if (types_ == typesEnd_) return true;  // none, wherever the words say
        for (word_t t = types_; t < concreteEnd_;) {
            if (!content_.holds(t, image::kArrayTypeHeaderSize) || !common(t)) return false;
            const std::uint8_t flags = image::type_flags(at(t));
            if ((flags & (image::kTypeInterface | image::kTypeAbstract)) != 0) return false;
            if ((flags & image::kTypeArray) != 0) {
                const word_t element = image::array_element(at(t));
                if (!memory::is_primitive_element(element) && !typeRef(element)) return false;
                t += image::kArrayTypeSlotSize;
            } else {
                if (!content_.holds(t, image::kClassHeaderSize) || !classWords(t)) return false;
                const std::uint32_t size = image::class_instance_size(at(t)), refs = image::class_ref_bytes(at(t));
                // The header and owner words, and the references below them.
                if (refs % 4 != 0 || size % 4 != 0 || size < refs + memory::kOwnerOffset + 4) return false;
                if (!holdsAncestors(t)) return false;
                // The default constructor, and the first virtual methods
                // (Object's, every class has), which the virtual machine
                // calls itself with the references their kinds take: `this`,
                // and the other object of `equals`.
                const word_t ctor = image::class_default_ctor(at(t));
                if (ctor != 0 && !method(ctor, 1)) return false;
                // The other slots, up to the next table, hold methods too.
                const word_t vtable = image::class_vtable(at(t)), vtableEnd = tableEnd(vtable);
                if (!aligned(vtable, 4) || !content_.holds(vtable, 4 * image::kObjectSlots) ||
                    vtableEnd - vtable < 4 * image::kObjectSlots)
                    return false;
                for (std::uint32_t i = 0; vtable + 4 * i + 4 <= vtableEnd; ++i) {
                    const word_t m = loadWord(vtable + 4 * i);
                    if (i < image::kObjectSlots ? !method(m, i == image::kSlotEquals ? 2 : 1) : !method(m)) return false;
                }
                t += image::kClassSlotSize;
            }
        }
        for (word_t t = concreteEnd_; t < typesEnd_; t += image::kAbstractHeaderSize) {
            if (!content_.holds(t, image::kAbstractHeaderSize) || !common(t)) return false;
            const std::uint8_t flags = image::type_flags(at(t));
            if ((flags & image::kTypeArray) != 0 || (flags & (image::kTypeInterface | image::kTypeAbstract)) == 0)
                return false;
            if ((flags & image::kTypeInterface) == 0) {
                if (!classWords(t)) return false;
                continue;
            }
            if (const word_t supers = image::interface_supers(at(t)); supers != 0) {
                if (!aligned(supers, 4) || !content_.holds(supers, 4)) return false;
                const std::uint32_t n = loadWord(supers);
                if (!content_.holds(supers + 4, 4ull * n)) return false;
                for (std::uint32_t i = 0; i < n; ++i)
                    if (!typeRef(loadWord(supers + 4 + 4 * i))) return false;
            }
            const word_t shared = image::interface_shared_descriptor(at(t));
            if (shared != 0 && !content_.holds(shared, 4)) return false;
        }
        return true;
    }

    // Whether `t` starts one of the application's type headers (the ones
    // allValid checks), not a place inside one: the instantiable headers
    // follow each other by their kinds' slots, the others by 24 bytes.
    bool ownType(word_t t) const {
        if (t < types_ || t >= typesEnd_) return false;
        if (t >= concreteEnd_) return (t - concreteEnd_) % image::kAbstractHeaderSize == 0;
        return std::binary_search(concreteTypes_.begin(), concreteTypes_.end(), t);
    }

    // The class-name records of [start, end) (a lookup by name walks them
    // all): each well formed, naming none of the application's types, one
    // of them, or a primitive type by its code.
    bool namesValid(word_t start, word_t end) const {
        if (start == end) return true;
        if (!aligned(start, 4) || (end - start) % image::kClassNameRecordSize != 0) return false;
        for (word_t r = start; r < end; r += image::kClassNameRecordSize) {
            const word_t type = loadWord(r + image::kClassNameTypeOffset);
            if (!nameRecord(r, true) || (type != 0 && !memory::is_primitive_element(type) && !typeRef(type)))
                return false;
        }
        return true;
    }

private:
    const ApplicationAreas& k_;
    const Area& content_;
    word_t record_, types_, concreteEnd_, typesEnd_;
    const std::vector<Area>& data_;
    std::vector<word_t> exports_, concreteTypes_, starts_;
    // The tables, each [start, end) (an end of 0 until known).
    std::vector<Area> spans_;
    // The application's methods the tables name, for the check of their
    // handlers once all are known.
    mutable std::vector<word_t> methods_;

    // The tables class `t` names: its hierarchy, its interface table and
    // the interface method tables in it, and for an instantiable class its
    // virtual method table.
    void tableStarts(word_t t) {
        const word_t hierarchy = image::class_hierarchy(at(t));
        spans_.push_back({hierarchy, hierarchy + 4 * image::type_depth(at(t))});
        if ((image::type_flags(at(t)) & image::kTypeAbstract) == 0) spans_.push_back({image::class_vtable(at(t)), 0});
        const word_t itable = image::class_interface_table(at(t));
        if (itable == 0 || !content_.holds(itable, image::kItableEntriesOffset)) return;
        const std::uint32_t low = image::read_u16(to_ptr<const std::uint8_t>(itable) + image::kItableLowOffset);
        const std::uint32_t high = image::read_u16(to_ptr<const std::uint8_t>(itable) + image::kItableHighOffset);
        spans_.push_back({itable, itable + image::kItableEntriesOffset + 4 * (high >= low ? high - low + 1 : 0)});
        for (std::uint32_t i = 0; low + i <= high && content_.holds(itable + image::kItableEntriesOffset + 4 * i, 4); ++i)
            if (const word_t imt = loadWord(itable + image::kItableEntriesOffset + 4 * i); imt != 0)
                spans_.push_back({imt, 0});
    }
    // Where the table at `table` ends: where the next table or range of
    // data starts, or the content's end (the linker writes them one after
    // the other, a class's interface method tables before its interface
    // table, and the hierarchies after all virtual method tables).
    word_t tableEnd(word_t table) const {
        const auto next = std::upper_bound(starts_.begin(), starts_.end(), table);
        return next == starts_.end() || *next > content_.end ? content_.end : *next;
    }
    // Whether `a` lies in a range of data or in the last table that
    // starts at or before it.
    bool inData(word_t a) const {
        for (const Area& d : data_)
            if (a >= d.start && a < d.end) return true;
        const auto table = std::upper_bound(spans_.begin(), spans_.end(), a,
                                            [](word_t x, const Area& span) { return x < span.start; });
        return table != spans_.begin() && a < (table - 1)->end;
    }

    static const void* at(word_t a) { return to_ptr<const void>(a); }

public:
    // A type header the application's records may name: one of its own,
    // or one of the kernel's.
    bool typeRef(word_t t) const {
        if (t >= types_ && t < typesEnd_) return ownType(t);
        return kernelType(t) && exported(t);
    }
    bool kernelType(word_t t) const { return t >= k_.kernelTypesStart && t < k_.kernelTypesEnd; }
    // An object of the kernel's image it exports (outside its types).
    bool kernelObject(word_t a) const {
        return a >= k_.kernelImageStart && a < k_.kernelImageEnd && !kernelType(a) && exported(a);
    }
    // A method record of the application's content taking `refArgs`
    // reference arguments (the virtual machine checks the owner of each it
    // passes, as many as the header says), or one the kernel exports (in
    // its image, not among its types).
    bool method(word_t m, std::uint32_t refArgs) const {
        if (content_.holds(m, image::kFullCodeOffset))
            return ownMethod(m) && image::decode_method_header(to_ptr<const void>(m)).ref_args == refArgs;
        return method(m);
    }
    // A method record of the application's content, or one the kernel
    // exports.
    bool method(word_t m) const {
        if (content_.holds(m, image::kFullCodeOffset)) return ownMethod(m);
        return m >= k_.kernelImageStart && m < k_.kernelImageEnd && k_.kernelImageEnd - m >= image::kFullCodeOffset &&
               !kernelType(m) && exported(m);
    }

    // The handler entries of the application's methods the tables name:
    // their code addresses inside the method's code, which ends before the
    // next of these methods (its handler entries first) or the next table
    // or range of data. A caught exception resumes at the handler's.
    bool handlersValid() const {
        std::sort(methods_.begin(), methods_.end());
        methods_.erase(std::unique(methods_.begin(), methods_.end()), methods_.end());
        for (std::size_t i = 0; i < methods_.size(); ++i) {
            const word_t m = methods_[i];
            const image::MethodHeader h = image::decode_method_header(to_ptr<const void>(m));
            word_t end = tableEnd(m);
            if (i + 1 < methods_.size()) end = std::min(end, recordStart(methods_[i + 1]));
            const word_t code = m + h.code_offset();
            for (std::uint32_t e = 0; e < h.handler_count; ++e) {
                const image::HandlerEntry entry = image::handler_entry(to_ptr<const void>(m), e);
                if (entry.start_pc < code || entry.end_pc < entry.start_pc || entry.end_pc > end ||
                    entry.handler_pc < code || entry.handler_pc >= end)
                    return false;
            }
        }
        return true;
    }

private:
    // One of the kernel addresses table's entries: all an application is
    // linked against.
    bool exported(word_t a) const { return std::binary_search(exports_.begin(), exports_.end(), a); }

    static word_t recordStart(word_t m) {
        return m - image::kHandlerEntrySize * image::decode_method_header(to_ptr<const void>(m)).handler_count;
    }
    // A method record of the application: word-aligned, outside its data
    // and tables, its class word one of its type headers, its header one
    // the interpreter can make a frame of (a call trusts its counts), its
    // handler entries inside the content.
    bool ownMethod(word_t m) const {
        if (!aligned(m, 4) || inData(m) || !ownType(loadWord(m + image::kMethodClassOffset))) return false;
        const image::MethodHeader header = image::decode_method_header(to_ptr<const void>(m));
        if (!image::method_header_sound(header)) return false;
        const std::uint32_t handlers = header.handler_count;
        if (!content_.holds(m - image::kHandlerEntrySize * handlers, image::kHandlerEntrySize * handlers)) return false;
        methods_.push_back(m);
        return true;
    }

    // What every type header has: the header of a Class the application
    // owns, and a name record (or none).
    bool common(word_t t) const {
        if (!immortalOf(t, record_) || !ofKernelType(t, k_.kernelClassType, k_.kernelTypesStart)) return false;
        const word_t name = image::type_name_record(at(t));
        return name == 0 || nameRecord(name, true);
    }
    // A class-name record: its name and package chain, or for an array its
    // element's record (which names no array itself).
    bool nameRecord(word_t r, bool arrayAllowed) const {
        if (!aligned(r, 4) || !content_.holds(r, image::kClassNameRecordSize)) return false;
        const word_t name = loadWord(r + image::kClassNameNameOffset);
        if (!content_.holds(name, 1)) return false;
        if (*to_ptr<const char>(name) == '[') {
            const word_t element = loadWord(r + image::kArrayNameElementOffset);
            return arrayAllowed && (element == 0 || nameRecord(element, false));
        }
        return content_.holds(name, loadWord(r + image::kClassNameLengthOffset)) &&
               packageChainInside(content_, loadWord(r + image::kClassNamePackageOffset));
    }
    // Whether the instances of class `t` (its ancestors checked to be type
    // headers) hold those of every ancestor that has instances: a type test
    // passes one for any of them, and the virtual machine and the code of
    // the ancestor then read the ancestor's fields (the collector, for one,
    // a WeakReference's queue). So at least the ancestor's reference bytes
    // below the header, and at least its other bytes from the header up.
    bool holdsAncestors(word_t t) const {
        const std::uint32_t size = image::class_instance_size(at(t)), refs = image::class_ref_bytes(at(t));
        const word_t hierarchy = image::class_hierarchy(at(t));
        for (std::uint32_t i = 0; i < image::type_depth(at(t)); ++i) {
            const word_t a = loadWord(hierarchy + 4 * i);
            if ((image::type_flags(at(a)) & (image::kTypeArray | image::kTypeInterface | image::kTypeAbstract)) != 0)
                continue;
            // One of its own not checked yet may be cut short.
            if (!kernelType(a) && !content_.holds(a, image::kClassHeaderSize)) return false;
            const std::uint32_t aSize = image::class_instance_size(at(a)), aRefs = image::class_ref_bytes(at(a));
            if (aRefs > refs || aSize > size - refs + aRefs) return false;
        }
        return true;
    }
    // The words a class and an abstract class share: ancestors, interfaces.
    bool classWords(word_t t) const {
        const std::uint32_t depth = image::type_depth(at(t));
        const word_t hierarchy = image::class_hierarchy(at(t));
        if (depth != 0 && (!aligned(hierarchy, 4) || !content_.holds(hierarchy, 4ull * depth))) return false;
        for (std::uint32_t i = 0; i < depth; ++i)
            if (!typeRef(loadWord(hierarchy + 4 * i))) return false;
        const word_t itable = image::class_interface_table(at(t));
        if (itable == 0) return true;
        if (!aligned(itable, 4) || !content_.holds(itable, image::kItableEntriesOffset)) return false;
        const std::uint32_t low = image::read_u16(to_ptr<const std::uint8_t>(itable) + image::kItableLowOffset);
        const std::uint32_t high = image::read_u16(to_ptr<const std::uint8_t>(itable) + image::kItableHighOffset);
        if (high < low || !content_.holds(itable + image::kItableEntriesOffset, 4ull * (high - low + 1))) return false;
        for (std::uint32_t i = 0; i <= high - low; ++i) {
            const word_t imt = loadWord(itable + image::kItableEntriesOffset + 4 * i);
            if (imt != 0 && (!aligned(imt, 4) || !content_.holds(imt, 4 * image::kImtFirstMethodWord) ||
                             !typeRef(loadWord(imt + 4 * image::kImtInterfaceWord)) || !imtMethods(imt)))
                return false;
        }
        return true;
    }
    // The methods of an interface method table: up to the shared-interface
    // descriptors word 1 names, or without them up to the next table; 0
    // for a method left out.
    bool imtMethods(word_t imt) const {
        word_t end = tableEnd(imt);
        if (const std::uint32_t shared = loadWord(imt + 4); shared != 0) {
            if (shared % 4 != 0 || shared < 4 * image::kImtFirstMethodWord || shared > end - imt) return false;
            end = imt + shared;
        }
        for (word_t w = imt + 4 * image::kImtFirstMethodWord; w + 4 <= end; w += 4)
            if (const word_t m = loadWord(w); m != 0 && !method(m)) return false;
        return true;
    }
};

// The char[] objects an application's Strings may read: its own, immortal,
// in its content with all their chars.
struct CharArrays {
    const ApplicationAreas& k;
    const Area& content;
    word_t record;

    bool holds(word_t chars) const {
        return aligned(chars, 4) && content.holds(chars, memory::kArrayDataOffset) && immortalOf(chars, record) &&
               ofKernelType(chars, k.kernelCharArrayType, k.kernelTypesStart) &&
               loadWord(chars + memory::kArrayLengthOffset) <= 0x7FFFFFFFu &&
               content.holds(chars + memory::kArrayDataOffset, 2ull * loadWord(chars + memory::kArrayLengthOffset));
    }
    // Whether the offset and count of String `string` name chars of
    // `chars`, as unsigned numbers (a negative one is none).
    static bool namedBy(word_t string, word_t chars) {
        const std::uint64_t offset = loadWord(string + image::kStringOffsetField),
                            count = loadWord(string + image::kStringCountField);
        return offset + count <= loadWord(chars + memory::kArrayLengthOffset);
    }
};

}  // namespace

ApplicationFault installedApplicationFault(const ApplicationAreas& areas) {
    namespace s = installed_struct;
    namespace ifs = installed_feature;
    namespace fr = feature_record;
    using F = ApplicationFault;
    const Area port{areas.romStart, areas.romEnd};
    if (!aligned(areas.romStart, 4) || !port.holds(areas.romStart, s::kCrcTable)) return F::kStruct;
    const word_t rom0 = loadWord(areas.romStart + s::kRomStart), rom1 = loadWord(areas.romStart + s::kRomEnd);
    const word_t ram0 = loadWord(areas.romStart + s::kRamStart), ram1 = loadWord(areas.romStart + s::kRamEnd);
    const word_t crcEnd = loadWord(areas.romStart + s::kCrcTableEnd);
    // The struct's own areas, within what the port allocated: the RAM end
    // the file asked for is the one its records must keep to.
    if (rom0 != areas.romStart || !port.holdsRange(rom0, rom1) || ram0 != areas.ramStart || ram1 < ram0 ||
        ram1 > areas.ramEnd || crcEnd < rom0 + s::kCrcTable || crcEnd > rom1)
        return F::kStruct;
    const Area content{crcEnd, rom1};
    const Area ram{ram0, ram1};

    const word_t sections = loadWord(areas.romStart + ifs::kSectionTableOffset);
    if (!aligned(sections, 4) || !content.holds(sections, 4 * (ifs::kFirstRecordWord + 1)) ||
        loadWord(sections + 4 * ifs::kRecordCountWord) == 0)
        return F::kSectionTable;
    const word_t record = loadWord(sections + 4 * ifs::kFirstRecordWord);
    if (!aligned(record, 4) || !content.holds(record, 4 * fr::kWords)) return F::kRecord;
    auto rec = [&](std::uint32_t i) { return featureRecordWord(record, i); };

    const word_t descriptor = rec(fr::kDescriptor);
    if (!aligned(descriptor, 4) || !content.holds(descriptor, 4 * image::kFeatureDescriptorWords)) return F::kDescriptor;
    auto word = [&](std::uint32_t i) { return loadWord(descriptor + 4 * i); };
    const word_t types = word(image::kFeatureTypesStart), concreteEnd = word(image::kFeatureConcreteTypesEnd),
                 typesEnd = word(image::kFeatureTypesEnd);
    const word_t imageStart = word(image::kFeatureImageStart);
    if ((imageStart != 0 && !content.holds(imageStart, 1)) || !content.holdsRange(types, typesEnd) ||
        (types != typesEnd && (concreteEnd < types || concreteEnd > typesEnd)) ||
        typesEnd - types > memory::kMaxTypeOffset ||
        !content.holdsRange(word(image::kFeatureClassNamesStart), word(image::kFeatureClassNamesEnd)))
        return F::kDescriptor;

    // The module data: an object of the content with its reference fields
    // below its header, the name (a byte array) among them; both the
    // application's or the kernel's (marking one sets its owner's flag).
    auto ownedHere = [&](word_t object) { return immortalOf(object, record); };
    const word_t data = rec(fr::kModuleData);
    const auto belowData = static_cast<std::uint32_t>(-kModuleDataNameOffset);
    if (!aligned(data, 4) || !content.holds(data - belowData, belowData + memory::kArrayLengthOffset) ||
        !ownedHere(data))
        return F::kModuleData;
    if (const word_t name = loadWord(data + static_cast<std::uint32_t>(kModuleDataNameOffset)); name != 0) {
        if (!aligned(name, 4) || !content.holds(name, memory::kArrayDataOffset) || !ownedHere(name) ||
            !content.holds(name + memory::kArrayDataOffset, loadWord(name + memory::kArrayLengthOffset)))
            return F::kModuleData;
    }


    // The class initialisers: methods of the application's content.
    const word_t clinits = rec(fr::kClinitStart), clinitsEnd = rec(fr::kClinitEnd);
    if (!content.holdsRange(clinits, clinitsEnd) || !aligned(clinits, 4) || !aligned(clinitsEnd - clinits, 4))
        return F::kClinits;
    // (Their methods are checked with the type headers below.)

    // RAM: the runtime state and the five statics ranges, each inside the
    // RAM area and apart from every other.
    const word_t state = rec(fr::kRuntimeState);
    if (!aligned(state, 4) || !ram.holds(state, sizeof(FeatureRuntimeState))) return F::kRuntimeState;
    word_t starts[6] = {state}, ends[6] = {static_cast<word_t>(state + sizeof(FeatureRuntimeState))};
    for (std::uint32_t a = 0; a < 5; ++a) {
        const word_t start = rec(fr::kStaticsFirst + 2 * a), end = rec(fr::kStaticsFirst + 2 * a + 1);
        const std::uint32_t al = image::statics_alignment(static_cast<image::StaticsArea>(a));
        if (!ram.holdsRange(start, end) || !aligned(end - start, al)) return F::kStatics;
        if (start == end) continue;  // nothing of it is used
        if (!aligned(start, al)) return F::kStatics;
        for (std::uint32_t b = 0; b <= a; ++b)
            if (start < ends[b] && starts[b] < end) return F::kStatics;
        starts[a + 1] = start;
        ends[a + 1] = end;
    }
    static_assert(fr::kRefStaticsStart == fr::kStaticsFirst + 2 * image::kStaticsREF);
    const Area refStatics{rec(fr::kRefStaticsStart), rec(fr::kRefStaticsEnd)};
    const word_t copies = rec(fr::kKernelStaticsCopies);
    // With none, the word is not followed.
    if (areas.kernelLazyStaticsBytes != 0 &&
        (!aligned(copies, 4) || !refStatics.holds(copies, areas.kernelLazyStaticsBytes)))
        return F::kKernelStaticsCopies;

    if (!applicationTablesInside(record, content.start, content.end)) return F::kTables;
    const std::vector<Area> dataRanges = {
        {types, typesEnd},
        {clinits, clinitsEnd},
        {word(image::kFeatureClassNamesStart), word(image::kFeatureClassNamesEnd)},
        {word(image::kFeatureResourcesStart), word(image::kFeatureResourcesEnd)},
        {word(image::kFeatureImmutablesStart), word(image::kFeatureImmutablesEnd)},
        {word(image::kFeatureInternStringsStart), word(image::kFeatureInternStringsEnd)},
    };
    const TypeHeaderCheck typeHeaders(areas, content, record, types, concreteEnd, typesEnd, dataRanges);
    if (!typeHeaders.allValid() ||
        !typeHeaders.namesValid(word(image::kFeatureClassNamesStart), word(image::kFeatureClassNamesEnd)))
        return F::kTypes;
    // The class initialisers: methods of the application's content, called
    // without arguments.
    for (word_t c = clinits; c < clinitsEnd; c += 4) {
        const word_t m = loadWord(c);
        if (!content.holds(m, image::kFullCodeOffset) || !typeHeaders.method(m, 0)) return F::kClinits;
    }
    if (!typeHeaders.handlersValid()) return F::kHandlers;
    // The entry-point class: none, or one of the application's checked
    // type headers.
    if (const word_t entry = rec(fr::kEntryPointClass); entry != 0 && !typeHeaders.ownType(entry))
        return F::kEntryPoint;

    // Interned strings: Strings over the application's shared char[], each
    // naming chars of it.
    const CharArrays charArrays{areas, content, record};
    const word_t strings = word(image::kFeatureInternStringsStart), stringsEnd = word(image::kFeatureInternStringsEnd);
    if (strings != stringsEnd) {
        const word_t chars = word(image::kFeatureSharedArray);
        if (!charArrays.holds(chars)) return F::kStrings;
        if (!aligned(strings, 4) || (stringsEnd - strings) % image::kStringRecordSize != 0) return F::kStrings;
        for (word_t r = strings; r < stringsEnd; r += image::kStringRecordSize) {
            const word_t string = r + image::kStringRecordObjectOffset;
            if (loadWord(r + image::kStringRecordValueOffset) != chars || !immortalOf(string, record) ||
                !ofKernelType(string, areas.kernelStringType, areas.kernelTypesStart) ||
                !charArrays.namedBy(string, chars))
                return F::kStrings;
        }
    }
    // Immutable Strings: every String the immutables hold (a word-aligned
    // object whose header and owner words say so: bytecode names them by
    // address) over a char[] of the application, naming chars of it.
    const Area immutables{word(image::kFeatureImmutablesStart), word(image::kFeatureImmutablesEnd)};
    for (word_t w = (immutables.start + 3) & ~3u; immutables.holds(w, 8); w += 4) {
        const word_t owner = loadWord(w + memory::kOwnerOffset);
        if ((loadWord(w) & 0xFF000000u) != memory::kImmortalTopBits || (owner != record && owner != 0) ||
            !ofKernelType(w, areas.kernelStringType, areas.kernelTypesStart))
            continue;
        if (!immutables.holds(w - image::kStringRefBytes, image::kStringInstanceSize)) return F::kStrings;
        const word_t value = loadWord(w + static_cast<std::uint32_t>(image::kStringValueField));
        if (!charArrays.holds(value) || !charArrays.namedBy(w, value)) return F::kStrings;
    }
    // The references of every immutable object (found as above by its
    // header and owner words, its type one of the application's or the
    // kernel's): Java code reads them as objects, and the collector and
    // the owner checks read what they name as one. Each is null, an object
    // of the application's immutables or interned strings, its shared
    // char[], a type header it may name, or an object the kernel exports.
    const Area stringsArea{strings, stringsEnd};
    const word_t sharedChars = word(image::kFeatureSharedArray);
    auto objectRef = [&](word_t v) {
        return v == 0 || immortalIn(v, stringsArea, immutables, record) ||
               (v == sharedChars && strings != stringsEnd) || typeHeaders.typeRef(v) || typeHeaders.kernelObject(v);
    };
    for (word_t w = (immutables.start + 3) & ~3u; immutables.holds(w, 8); w += 4) {
        const word_t owner = loadWord(w + memory::kOwnerOffset);
        if ((loadWord(w) & 0xFF000000u) != memory::kImmortalTopBits ||
            (memory::owner_feature(owner) != record && owner != 0))
            continue;
        const word_t type = (memory::owner_has_feature_type(owner) ? types : areas.kernelTypesStart) +
                            memory::header_type_offset(loadWord(w));
        if (!typeHeaders.ownType(type) && !typeHeaders.kernelType(type)) continue;
        const std::uint8_t flags = image::type_flags(to_ptr<const void>(type));
        word_t refs = w, refsEnd = w;
        if ((flags & image::kTypeArray) != 0) {
            if (memory::is_primitive_element(image::array_element(to_ptr<const void>(type)))) continue;
            std::uint32_t length = 0;
            if (!wordArrayInside(immutables, w, &length)) return F::kImmutables;
            refs = w + memory::kArrayDataOffset;
            refsEnd = refs + 4 * length;
        } else if ((flags & (image::kTypeInterface | image::kTypeAbstract)) == 0) {
            const std::uint32_t refBytes = image::class_ref_bytes(to_ptr<const void>(type));
            if (refBytes % 4 != 0 || !immutables.holds(w - refBytes, refBytes)) return F::kImmutables;
            refs = w - refBytes;
        }
        for (word_t r = refs; r < refsEnd; r += 4)
            if (!objectRef(loadWord(r))) return F::kImmutables;
    }
    return F::kNone;
}

}  // namespace tarvelo
