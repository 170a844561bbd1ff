#include "tests/vm/core/image/synthetic_image.h"

#include <cstring>
#include <stdexcept>

#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/memory/memory_environment.h"
#include "vm/model/object_header.h"

namespace tarvelo::test {

namespace {

constexpr std::uint32_t kArenaBytes = 0xA100;
alignas(16) std::uint8_t gArenas[SyntheticImage::kArenas][kArenaBytes];

// Regions of an arena (offsets).
constexpr std::uint32_t kConcrete = 0x0000, kConcreteEnd = 0x4000;
constexpr std::uint32_t kAbstract = 0x4000, kAbstractEnd = 0x4800;
constexpr std::uint32_t kDispatch = 0x4800, kDispatchEnd = 0x6800;
constexpr std::uint32_t kPackages = 0x6800, kPackagesEnd = 0x7000;
constexpr std::uint32_t kClassNames = 0x7000, kClassNamesEnd = 0x8000;
constexpr std::uint32_t kResources = 0x8000, kResourcesEnd = 0x8800;
constexpr std::uint32_t kNames = 0x8800, kNamesEnd = 0xA000;
constexpr std::uint32_t kImmutables = 0xA000;
constexpr std::uint32_t kImmutableObject = kImmutables + 24;
constexpr std::uint32_t kImmutablesEnd = kImmutables + 32;

void put32(word_t a, std::uint32_t v) { std::memcpy(to_ptr(a), &v, 4); }
void put16(word_t a, std::uint16_t v) { std::memcpy(to_ptr(a), &v, 2); }

}  // namespace

std::uint8_t gStaticsBytes[5][64];
word_t DirectoryEnvironment::installed[4];
word_t DirectoryEnvironment::current;

void DirectoryEnvironment::install() {
    MemoryEnvironment env = memoryEnvironment();
    env.featureRecord = [](int i) -> word_t { return i >= 0 && i < 4 ? installed[i] : 0; };
    env.currentOwnerFeature = [] { return current; };
    setMemoryEnvironment(env);
}

void DirectoryEnvironment::reset() {
    for (word_t& w : installed) w = 0;
    current = 0;
    resetMemoryEnvironment();
}

SyntheticImage::SyntheticImage(int arena) : base_(to_word(gArenas[arena])) {
    std::memset(gArenas[arena], 0, kArenaBytes);
    concrete_ = kConcrete;
    abstract_ = kAbstract;
    dispatch_ = kDispatch;
    packages_ = kPackages;
    classNames_ = kClassNames;
    resources_ = kResources;
    names_ = kNames;
    // The primitive-code records lead the class names: long down to boolean.
    for (std::uint32_t code = 11; code >= 4; --code) {
        const char byte = static_cast<char>(code);
        classRecord(std::string_view(&byte, 1), 0, code);
    }
    // java.lang.Object and java.lang.Class come first; every type header
    // is an object of the latter.
    kernelBase_ = base_;
    kernelClass_ = base_ + image::kClassSlotSize;
    java_ = package("java");
    lang_ = package("lang", java_);
    object_ = classType(classRecord("Object", lang_), 0x50, {});
    klass_ = classType(classRecord("Class", lang_), 0x40, {object_});
    // Immutables: an empty String[] of keys, an empty Object[] of values,
    // one object.
    put32(base_ + kImmutables, memory::kImmortalTopBits);
    put32(base_ + kImmutables + 12, memory::kImmortalTopBits);
    put32(base_ + kImmutableObject, memory::immortal_header(0));
    immutable_ = base_ + kImmutableObject;
}

SyntheticImage::SyntheticImage(int arena, const SyntheticImage& kernel, word_t ownerRecord)
    : base_(to_word(gArenas[arena])) {
    std::memset(gArenas[arena], 0, kArenaBytes);
    concrete_ = kConcrete;
    abstract_ = kAbstract;
    dispatch_ = kDispatch;
    packages_ = kPackages;
    classNames_ = kClassNames;
    resources_ = kResources;
    names_ = kNames;
    for (std::uint32_t code = 11; code >= 4; --code) {
        const char byte = static_cast<char>(code);
        classRecord(std::string_view(&byte, 1), 0, code);
    }
    ownerWord_ = ownerRecord;
    java_ = kernel.java_;
    lang_ = kernel.lang_;
    kernelBase_ = kernel.base_;
    kernelClass_ = kernel.klass_;
    object_ = kernel.object_;
    klass_ = kernel.klass_;
    put32(base_ + kImmutables, memory::kImmortalTopBits);
    put32(base_ + kImmutables + 12, memory::kImmortalTopBits);
    put32(base_ + kImmutableObject, memory::immortal_header(0));
    immutable_ = base_ + kImmutableObject;
}

word_t SyntheticImage::take(std::uint32_t& cursor, std::uint32_t limit, std::uint32_t bytes,
                            std::uint32_t align) {
    cursor = (cursor + align - 1) & ~(align - 1);
    if (cursor + bytes > limit) throw std::length_error("synthetic image region full");
    word_t a = base_ + cursor;
    cursor += bytes;
    return a;
}

word_t SyntheticImage::name(std::string_view text) {
    word_t a = take(names_, kNamesEnd, static_cast<std::uint32_t>(text.size()), 1);
    std::memcpy(to_ptr(a), text.data(), text.size());
    return a;
}

word_t SyntheticImage::package(std::string_view text, word_t parent) {
    word_t n = name(text);
    word_t p = take(packages_, kPackagesEnd, image::kPackageRecordSize, 4);
    put32(p, n);
    put32(p + 4, static_cast<std::uint32_t>(text.size()));
    put32(p + 8, parent);
    return p;
}

word_t SyntheticImage::classRecord(std::string_view text, word_t pkg, word_t type) {
    word_t n = name(text);
    word_t r = take(classNames_, kClassNamesEnd, image::kClassNameRecordSize, 4);
    put32(r, n);
    put32(r + 4, static_cast<std::uint32_t>(text.size()));
    put32(r + 8, pkg);
    put32(r + 12, type);
    return r;
}

word_t SyntheticImage::arrayRecord(std::uint32_t dimensions, word_t elementRecord, word_t type) {
    word_t n = name("[");
    word_t r = take(classNames_, kClassNamesEnd, image::kClassNameRecordSize, 4);
    put32(r, n);
    put32(r + 4, dimensions);
    put32(r + 8, elementRecord);
    put32(r + 12, type);
    return r;
}

word_t SyntheticImage::primitiveRecord(std::uint32_t code) const {
    return base_ + kClassNames + (11 - code) * image::kClassNameRecordSize;
}

void SyntheticImage::setRecordType(word_t record, word_t type) { put32(record + 12, type); }

word_t SyntheticImage::resource(std::string_view text, word_t pkg, std::string_view data, word_t owner) {
    word_t n = name(text);
    word_t d = name(data);
    word_t r = take(resources_, kResourcesEnd, image::kResourceRecordSize, 4);
    put32(r, n);
    put32(r + 4, static_cast<std::uint32_t>(text.size()));
    put32(r + 8, pkg);
    put32(r + 12, static_cast<std::uint32_t>(data.size()));
    put32(r + 16, d);
    put32(r + 20, owner);
    return r;
}

word_t SyntheticImage::typeHeaderWord() const {
    return memory::immortal_header(kernelClass_ - kernelBase_);
}

void SyntheticImage::writeCommon(word_t t, word_t record, std::uint8_t flags, std::uint8_t depth) {
    put32(t, typeHeaderWord());
    put32(t + 4, ownerWord_);
    put32(t + 8, record);
    pokeByte(t + image::kTypeFlagsOffset, flags);
    pokeByte(t + image::kTypeDepthOffset, depth);
    if (record != 0 && image::read_u32(to_ptr<const void>(record + 12)) == 0) setRecordType(record, t);
}

word_t SyntheticImage::words(std::initializer_list<word_t> values) {
    word_t a = take(dispatch_, kDispatchEnd, 4u * static_cast<std::uint32_t>(values.size()), 4);
    word_t p = a;
    for (word_t v : values) {
        put32(p, v);
        p += 4;
    }
    return a;
}

word_t SyntheticImage::classType(word_t record, std::uint8_t flags, std::initializer_list<word_t> ancestors,
                                 std::uint16_t size, std::uint16_t refBytes, word_t itable) {
    word_t t = take(concrete_, kConcreteEnd, image::kClassSlotSize, 16);
    writeCommon(t, record, flags, static_cast<std::uint8_t>(ancestors.size()));
    put32(t + image::kClassHierarchyOffset, ancestors.size() != 0 ? words(ancestors) : 0);
    put32(t + image::kClassInterfaceTableOffset, itable);
    put16(t + image::kClassInstanceSizeOffset, size);
    put16(t + image::kClassRefBytesOffset, refBytes);
    return t;
}

word_t SyntheticImage::arrayType(word_t record, word_t element, std::uint8_t flags) {
    word_t t = take(concrete_, kConcreteEnd, image::kArrayTypeSlotSize, 16);
    writeCommon(t, record, flags, 0);
    put32(t + image::kArrayElementOffset, element);
    return t;
}

word_t SyntheticImage::abstractClass(word_t record, std::uint8_t flags,
                                     std::initializer_list<word_t> ancestors, word_t itable) {
    word_t t = take(abstract_, kAbstractEnd, image::kAbstractHeaderSize, 4);
    writeCommon(t, record, flags, static_cast<std::uint8_t>(ancestors.size()));
    put32(t + image::kClassHierarchyOffset, ancestors.size() != 0 ? words(ancestors) : 0);
    put32(t + image::kClassInterfaceTableOffset, itable);
    return t;
}

word_t SyntheticImage::interfaceType(word_t record, std::uint16_t id, std::initializer_list<word_t> supers,
                                     std::uint8_t flags) {
    word_t t = take(abstract_, kAbstractEnd, image::kInterfaceHeaderSize, 4);
    writeCommon(t, record, flags, supers.size() != 0 ? 1 : 0);
    put16(t + image::kInterfaceIdOffset, id);
    if (supers.size() != 0) {
        word_t table = take(dispatch_, kDispatchEnd, 4u + 4u * static_cast<std::uint32_t>(supers.size()), 4);
        put32(table, static_cast<std::uint32_t>(supers.size()));
        word_t p = table + 4;
        for (word_t s : supers) {
            put32(p, s);
            p += 4;
        }
        put32(t + image::kInterfaceSuperTableOffset, table);
    }
    return t;
}

word_t SyntheticImage::interfaceTable(std::initializer_list<std::pair<std::uint16_t, word_t>> entries) {
    std::uint16_t low = 0xFFFF, high = 0;
    for (const auto& e : entries) {
        low = std::min(low, e.first);
        high = std::max(high, e.first);
    }
    const std::uint32_t slots = high - low + 1u;
    word_t table = take(dispatch_, kDispatchEnd, 4u + 4u * slots, 4);
    put16(table + image::kItableLowOffset, low);
    put16(table + image::kItableHighOffset, high);
    for (const auto& e : entries) put32(table + image::kItableEntriesOffset + 4u * (e.first - low), words({e.second, 0}));
    return table;
}

void SyntheticImage::poke(word_t address, std::uint32_t value) { put32(address, value); }
void SyntheticImage::pokeByte(word_t address, std::uint8_t value) { *to_ptr<std::uint8_t>(address) = value; }

ImageTables SyntheticImage::tables() const {
    ImageTables t{};
    t.typesStart = base_;
    t.concreteTypesEnd = base_ + kConcreteEnd;
    t.typesEnd = base_ + abstract_;
    t.classNamesStart = base_ + kClassNames;
    t.classNamesEnd = base_ + classNames_;
    t.resourcesStart = base_ + kResources;
    t.resourcesEnd = base_ + resources_;
    t.immutableKeys = base_ + kImmutables;
    t.immutableValues = base_ + kImmutables + 12;
    t.immutablesStart = base_ + kImmutables;
    t.immutablesEnd = base_ + kImmutablesEnd;
    t.imageStart = base_;
    t.imageEnd = base_ + kArenaBytes;
    return t;
}

KernelImage SyntheticImage::kernelImage() const {
    KernelImage k{};
    k.tables = tables();
    k.objectType = object_;
    k.classType = klass_;
    static constexpr std::uint32_t kSizes[5] = {9, 4, 52, 56, 64};
    for (int a = 0; a < StaticsAreas::kAreas; ++a) {
        k.statics.start[a] = to_word(gStaticsBytes[a]);
        k.statics.end[a] = to_word(gStaticsBytes[a]) + kSizes[a];
    }
    return k;
}

void SyntheticFeatureRecord::describe(const SyntheticImage& image) {
    std::memset(record, 0, sizeof record);
    std::memset(descriptor, 0, sizeof descriptor);
    std::memset(&state, 0, sizeof state);
    ImageTables t = image.tables();
    descriptor[image::kFeatureImageStart] = t.imageStart;
    descriptor[image::kFeatureTypesStart] = t.typesStart;
    descriptor[image::kFeatureConcreteTypesEnd] = t.concreteTypesEnd;
    descriptor[image::kFeatureTypesEnd] = t.typesEnd;
    descriptor[image::kFeatureClassNamesStart] = t.classNamesStart;
    descriptor[image::kFeatureClassNamesEnd] = t.classNamesEnd;
    descriptor[image::kFeatureResourcesStart] = t.resourcesStart;
    descriptor[image::kFeatureResourcesEnd] = t.resourcesEnd;
    descriptor[image::kFeatureImmutableKeys] = t.immutableKeys;
    descriptor[image::kFeatureImmutableValues] = t.immutableValues;
    descriptor[image::kFeatureImmutablesStart] = t.immutablesStart;
    descriptor[image::kFeatureImmutablesEnd] = t.immutablesEnd;
    record[feature_record::kDescriptor] = to_word(descriptor);
    record[feature_record::kRuntimeState] = to_word(&state);
}

}  // namespace tarvelo::test
