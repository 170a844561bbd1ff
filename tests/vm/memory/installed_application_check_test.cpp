// The check of a stored application before it is linked: every word of its
// struct, section table, record and descriptor that the virtual machine
// follows on its own, against the areas the port allocated. One spoilt word
// per case, each refused for its own reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>

#include "vm/model/image_format.h"
#include "vm/model/method_record.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/memory/application_tables_check.h"
#include "vm/memory/feature_loader.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/model/object_header.h"

namespace tarvelo {
namespace {

// Static storage, so that the addresses are 32-bit ones.
alignas(16) std::uint8_t romStorage[1024];
alignas(16) std::uint8_t ramStorage[256];
// The kernel's image: its types (java.lang.Object first, java.lang.Class
// at 16, String, char[], String[], byte[], and the module data's class
// with its four references), a method, and its addresses table exporting
// Object and the method.
alignas(16) std::uint8_t kernelStorage[192];
constexpr std::uint32_t kKernelClass = 16, kKernelString = 32, kKernelChars = 48, kKernelStrings = 64,
                        kKernelBytes = 80, kKernelModuleData = 96, kKernelTypesEnd = 144, kKernelMethod = 144,
                        kKernelTable = 176;

namespace s = installed_struct;

// The instance size and reference bytes of the class header at `type`.
void ancestorSize(std::uint8_t* type, std::uint16_t size, std::uint16_t refs) {
    std::memcpy(type + image::kClassInstanceSizeOffset, &size, 2);
    std::memcpy(type + image::kClassRefBytesOffset, &refs, 2);
}
namespace fr = feature_record;

// A stored application as the loader leaves it: the struct with one CRC
// section, then the section table, the record, its descriptor, a class
// initialiser table naming one method, one class slot, and the immutables
// holding the name array and the module data. RAM: the runtime state, then
// the five statics ranges, the reference statics ending with the copies of
// 8 bytes of the kernel's lazy statics.
struct Stored {
    // Methods: kMethod takes no reference (a class initialiser), kMethod1
    // one and kMethod2 two (compact headers).
    static constexpr std::uint32_t kMethod1 = 364, kMethod2 = 372;
    static constexpr std::uint32_t kSections = 96, kRecord = 176, kDescriptor = 256, kClinits = 336, kMethod = 352,
                                   kTypes = 384, kTypesEnd = 432, kImmutables = 448, kName = 448, kData = 484,
                                   kImmutablesEnd = 496;
    static constexpr std::uint32_t kHierarchy = 500, kVtable = 512, kNameRecord = 528, kNameBytes = 544;
    static constexpr std::uint32_t kChars = 560, kStrings = 576, kStringsEnd = 600;
    static constexpr std::uint32_t kRamUsed = 72, kLazyBytes = 8, kCopies = 64;
    static constexpr std::uint32_t kStatics[5][2] = {{40, 41}, {42, 44}, {44, 48}, {48, 56}, {56, 72}};

    word_t rom(std::uint32_t offset) const { return to_word(romStorage) + offset; }
    word_t ram(std::uint32_t offset) const { return to_word(ramStorage) + offset; }
    void put(std::uint32_t offset, std::uint32_t v) { std::memcpy(romStorage + offset, &v, 4); }
    void record(std::uint32_t word, std::uint32_t v) { put(kRecord + 4 * word, v); }
    void descriptor(std::uint32_t word, std::uint32_t v) { put(kDescriptor + 4 * word, v); }

    word_t kernel(std::uint32_t offset) const { return to_word(kernelStorage) + offset; }
    void type(std::uint32_t offset, std::uint32_t v) { put(kTypes + offset, v); }

    ApplicationAreas areas{rom(0),       rom(sizeof romStorage), ram(0),    ram(sizeof ramStorage),
                           kLazyBytes,   kernel(0),              kernel(kKernelTypesEnd),
                           kernel(kKernelClass), kernel(0),       kernel(kKernelTable),
                           kernel(kKernelString), kernel(kKernelChars),
                           kernel(kKernelTable), kernel(kKernelTable + 8)};
    // An immortal object of the kernel's type at `offset` (a kernel offset),
    // owned by the application.
    void object(std::uint32_t at, std::uint32_t type) {
        put(at, memory::kImmortalTopBits | type);
        put(at + memory::kOwnerOffset, rom(kRecord));
    }

    Stored() {
        std::memset(kernelStorage, 0, sizeof kernelStorage);
        // (Only the words read of them: the headers overlap.)
        kernelStorage[kKernelString + image::kClassRefBytesOffset] = 4;
        for (std::uint32_t t : {kKernelStrings, kKernelBytes})
            kernelStorage[t + image::kTypeFlagsOffset] = image::kTypeArray;
        const word_t stringElement = kernel(kKernelString);
        std::memcpy(kernelStorage + kKernelStrings + image::kArrayElementOffset, &stringElement, 4);
        kernelStorage[kKernelBytes + image::kArrayElementOffset] = memory::kElemByte;
        ancestorSize(kernelStorage + kKernelModuleData, 24, 16);
        const word_t table[2] = {kernel(0), kernel(kKernelMethod)};
        std::memcpy(kernelStorage + kKernelTable, table, sizeof table);
        std::memset(romStorage, 0, sizeof romStorage);
        std::memset(ramStorage, 0, sizeof ramStorage);
        put(s::kSignatureAddress, rom(s::kSignature));
        put(s::kCrcTableAddress, rom(s::kCrcTable));
        put(s::kRomStart, rom(0));
        put(s::kRomEnd, rom(sizeof romStorage));
        put(s::kRamStart, ram(0));
        put(s::kRamEnd, ram(kRamUsed));
        put(s::kSectionTable, rom(kSections));
        put(s::kCrcCursor, rom(s::kCrcTable));
        put(s::kCrcTableEnd, rom(s::kCrcTable + s::kCrcEntryBytes));
        put(kSections, 1);
        put(kSections + 4 * installed_feature::kFirstRecordWord, rom(kRecord));
        record(fr::kDescriptor, rom(kDescriptor));
        record(fr::kModuleData, rom(kData));
        record(fr::kEntryPointClass, rom(kTypes));
        record(fr::kClinitStart, rom(kClinits));
        record(fr::kClinitEnd, rom(kClinits + 4));
        record(fr::kRuntimeState, ram(0));
        for (std::uint32_t a = 0; a < 5; ++a) {
            record(fr::kStaticsFirst + 2 * a, ram(kStatics[a][0]));
            record(fr::kStaticsFirst + 2 * a + 1, ram(kStatics[a][1]));
        }
        record(fr::kKernelStaticsCopies, ram(kCopies));
        descriptor(image::kFeatureModuleData, rom(kData));
        descriptor(image::kFeatureImageStart, rom(kSections));
        descriptor(image::kFeatureTypesStart, rom(kTypes));
        descriptor(image::kFeatureConcreteTypesEnd, rom(kTypesEnd));
        descriptor(image::kFeatureTypesEnd, rom(kTypesEnd));
        descriptor(image::kFeatureClassNamesStart, rom(kNameRecord));
        descriptor(image::kFeatureClassNamesEnd, rom(kNameRecord + image::kClassNameRecordSize));
        descriptor(image::kFeatureImmutablesStart, rom(kImmutables));
        descriptor(image::kFeatureImmutablesEnd, rom(kImmutablesEnd));
        put(kClinits, rom(kMethod));
        // The class: a Class owned by the application, named "A", a
        // subclass of the kernel's Object with Object's four virtual
        // methods (the one method here) and instances of header and owner.
        object(kTypes, kKernelClass);
        type(image::kTypeNameRecordOffset, rom(kNameRecord));
        romStorage[kTypes + image::kTypeDepthOffset] = 1;
        type(image::kClassHierarchyOffset, rom(kHierarchy));
        type(image::kClassVtableOffset, rom(kVtable));
        type(image::kClassInstanceSizeOffset, 8);
        put(kHierarchy, kernel(0));
        // The methods are the class's (their class words).
        for (std::uint32_t m : {kMethod, kMethod1, kMethod2}) put(m, rom(kTypes));
        romStorage[kMethod + image::kMethodHeaderOffset] = image::kHeaderCompactBit;
        romStorage[kMethod1 + image::kMethodHeaderOffset] = image::kHeaderCompactBit | 1;
        romStorage[kMethod2 + image::kMethodHeaderOffset] = image::kHeaderCompactBit | 2;
        put(kVtable, rom(kMethod1));                // clone
        put(kVtable + 4, rom(kMethod2));            // equals
        put(kVtable + 8, rom(kMethod1));            // hashCode
        put(kVtable + 12, kernel(kKernelMethod));   // toString: the kernel's
        put(kNameRecord + image::kClassNameNameOffset, rom(kNameBytes));
        put(kNameRecord + image::kClassNameLengthOffset, 1);
        put(kNameRecord + image::kClassNameTypeOffset, rom(kTypes));
        romStorage[kNameBytes] = 'A';
        // One interned string over the shared char[] of two chars.
        object(kChars, kKernelChars);
        put(kChars + memory::kArrayLengthOffset, 2);
        put(kStrings, rom(kChars));
        object(kStrings + image::kStringRecordObjectOffset, kKernelString);
        descriptor(image::kFeatureSharedArray, rom(kChars));
        descriptor(image::kFeatureInternStringsStart, rom(kStrings));
        descriptor(image::kFeatureInternStringsEnd, rom(kStringsEnd));
        object(kName, kKernelBytes);
        object(kData, kKernelModuleData);
        put(kName + memory::kArrayLengthOffset, 5);
        put(kData + static_cast<std::uint32_t>(kModuleDataNameOffset), rom(kName));
    }
    ApplicationFault fault() const { return installedApplicationFault(areas); }

    // The immutables made one String over the shared chars (its value word
    // at kImmutableString - 4) with the given offset and count.
    static constexpr std::uint32_t kImmutableString = 612;
    void immutableString(std::uint32_t offset, std::uint32_t count) {
        put(kImmutableString - 4, rom(kChars));
        object(kImmutableString, kKernelString);
        put(kImmutableString + image::kStringOffsetField, offset);
        put(kImmutableString + image::kStringCountField, count);
        descriptor(image::kFeatureImmutablesStart, rom(kImmutableString - 4));
        descriptor(image::kFeatureImmutablesEnd, rom(kImmutableString + 20));
    }
    // An interface method table at 640 (of the kernel's Object, a type it
    // exports) with word 1 `shared` and `methods` (up to the class's
    // interface table at 660, for one interface id, naming it).
    static constexpr std::uint32_t kImt = 640;
    void interfaceTable(std::uint32_t shared, std::initializer_list<std::uint32_t> methods) {
        type(image::kClassInterfaceTableOffset, rom(660));
        put(664, rom(kImt));
        put(kImt, kernel(0));
        put(kImt + 4, shared);
        std::uint32_t at = kImt + 8;
        for (std::uint32_t m : methods) {
            put(at, m);
            at += 4;
        }
    }
    // The class initialiser a method at 700 with a full header and one
    // handler entry (catching anything in its code [710, 720)) resuming at
    // `pc`; the default constructor a method at 740.
    static constexpr std::uint32_t kHandled = 700, kCtor = 740;
    void handledInitialiser(std::uint32_t pc) {
        put(kClinits, rom(kHandled));
        put(kHandled, rom(kTypes));
        const image::MethodHeader h{false, false, false, 1, 0, 0, 5, 0, 0};
        image::encode_full_header(h, romStorage + kHandled + image::kMethodHeaderOffset);
        put(kHandled - 16 + image::kHandlerStartOffset, rom(710));
        put(kHandled - 16 + image::kHandlerEndOffset, rom(720));
        put(kHandled - 16 + image::kHandlerPcOffset, rom(pc));
        put(kCtor, rom(kTypes));
        romStorage[kCtor + image::kMethodHeaderOffset] = image::kHeaderCompactBit | 1;
        type(image::kClassDefaultCtorOffset, rom(kCtor));
    }
    // The virtual method table moved 8 bytes down, to run up to the class
    // names: six slots, the last two the old third and fourth.
    void sixVirtualMethods() {
        type(image::kClassVtableOffset, rom(kVtable - 8));
        put(kVtable - 8, rom(kMethod1));
        put(kVtable - 4, rom(kMethod2));
        put(kVtable, rom(kMethod1));
        put(kVtable + 4, kernel(kKernelMethod));
    }
    // The immutables made one String[] at 800 of the interned string and
    // `second`.
    static constexpr std::uint32_t kImmutableArray = 800;
    void immutableArray(std::uint32_t second) {
        object(kImmutableArray, kKernelStrings);
        put(kImmutableArray + memory::kArrayLengthOffset, 2);
        put(kImmutableArray + memory::kArrayDataOffset, rom(kStrings + image::kStringRecordObjectOffset));
        put(kImmutableArray + memory::kArrayDataOffset + 4, second);
        descriptor(image::kFeatureImmutablesStart, rom(kImmutableArray));
        descriptor(image::kFeatureImmutablesEnd, rom(kImmutableArray + memory::kArrayDataOffset + 8));
    }
    // The interned string's offset and count.
    void internedString(std::uint32_t offset, std::uint32_t count) {
        put(kStrings + image::kStringRecordObjectOffset + image::kStringOffsetField, offset);
        put(kStrings + image::kStringRecordObjectOffset + image::kStringCountField, count);
    }
};


TEST(InstalledApplicationCheck, AWellFormedApplicationPasses) {
    EXPECT_EQ(Stored().fault(), ApplicationFault::kNone);
}

TEST(InstalledApplicationCheck, EveryWordFollowedIsCheckedBeforeUse) {
    using F = ApplicationFault;
    struct Case {
        const char* what;
        std::function<void(Stored&)> spoil;
        F expected;
    };
    const Case cases[] = {
        {"read-only start not the port's", [](Stored& a) { a.put(s::kRomStart, a.rom(16)); }, F::kStruct},
        {"read-only end past the port's", [](Stored& a) { a.put(s::kRomEnd, a.rom(2048)); }, F::kStruct},
        {"RAM start not the port's", [](Stored& a) { a.put(s::kRamStart, a.ram(8)); }, F::kStruct},
        {"RAM end past the port's", [](Stored& a) { a.put(s::kRamEnd, a.ram(512)); }, F::kStruct},
        {"RAM end before its start", [](Stored& a) { a.put(s::kRamEnd, a.ram(0) - 8); }, F::kStruct},
        {"CRC table past the read-only end", [](Stored& a) { a.put(s::kCrcTableEnd, a.rom(2048)); }, F::kStruct},
        {"port area smaller than the struct", [](Stored& a) { a.areas.romEnd = a.rom(40); }, F::kStruct},
        // A RAM size of 0 in the file: nothing of the application fits.
        {"RAM size 0", [](Stored& a) { a.put(s::kRamEnd, a.ram(0)); }, F::kRuntimeState},
        {"RAM smaller than the statics", [](Stored& a) { a.put(s::kRamEnd, a.ram(64)); }, F::kStatics},
        {"section table past the end", [](Stored& a) { a.put(s::kSectionTable, a.rom(1000)); }, F::kSectionTable},
        {"section table in the struct", [](Stored& a) { a.put(s::kSectionTable, a.rom(4)); }, F::kSectionTable},
        {"section table unaligned", [](Stored& a) { a.put(s::kSectionTable, a.rom(98)); }, F::kSectionTable},
        {"section table at 0", [](Stored& a) { a.put(s::kSectionTable, 0); }, F::kSectionTable},
        {"no record listed", [](Stored& a) { a.put(Stored::kSections, 0); }, F::kSectionTable},
        {"record outside",
         [](Stored& a) { a.put(Stored::kSections + 4 * installed_feature::kFirstRecordWord, a.rom(1000)); },
         F::kRecord},
        {"record unaligned",
         [](Stored& a) { a.put(Stored::kSections + 4 * installed_feature::kFirstRecordWord, a.rom(Stored::kRecord + 2)); },
         F::kRecord},
        {"record in the kernel's memory",
         [](Stored& a) { a.put(Stored::kSections + 4 * installed_feature::kFirstRecordWord, 0x1000); }, F::kRecord},
        {"descriptor outside", [](Stored& a) { a.record(fr::kDescriptor, a.rom(1020)); }, F::kDescriptor},
        {"types end before they start", [](Stored& a) { a.descriptor(image::kFeatureTypesEnd, a.rom(Stored::kTypes - 16)); },
         F::kDescriptor},
        {"concrete types past the types",
         [](Stored& a) { a.descriptor(image::kFeatureConcreteTypesEnd, a.rom(Stored::kTypesEnd + 48)); }, F::kDescriptor},
        {"types past the end", [](Stored& a) { a.descriptor(image::kFeatureTypesEnd, a.rom(4096)); }, F::kDescriptor},
        {"class names outside", [](Stored& a) { a.descriptor(image::kFeatureClassNamesEnd, a.rom(4096)); },
         F::kDescriptor},
        {"image start outside", [](Stored& a) { a.descriptor(image::kFeatureImageStart, a.rom(4096)); }, F::kDescriptor},
        {"module data in the struct", [](Stored& a) { a.record(fr::kModuleData, a.rom(8)); }, F::kModuleData},
        {"module data past the end", [](Stored& a) { a.record(fr::kModuleData, a.rom(1020)); }, F::kModuleData},
        {"module data owned by another application",
         [](Stored& a) { a.put(Stored::kData + memory::kOwnerOffset, 0x1000); }, F::kModuleData},
        {"name array longer than the content",
         [](Stored& a) { a.put(Stored::kName + memory::kArrayLengthOffset, 0x10000); }, F::kModuleData},
        {"name outside",
         [](Stored& a) { a.put(Stored::kData + static_cast<std::uint32_t>(kModuleDataNameOffset), a.rom(2048)); },
         F::kModuleData},
        {"name owned by another application",
         [](Stored& a) { a.put(Stored::kName + memory::kOwnerOffset, a.rom(Stored::kRecord + 0x40) | 1); },
         F::kModuleData},
        {"entry point not a type", [](Stored& a) { a.record(fr::kEntryPointClass, a.rom(Stored::kMethod)); },
         F::kEntryPoint},
        {"entry point unaligned", [](Stored& a) { a.record(fr::kEntryPointClass, a.rom(Stored::kTypes + 2)); },
         F::kEntryPoint},
        {"entry point inside a type header",
         [](Stored& a) { a.record(fr::kEntryPointClass, a.rom(Stored::kTypes + 16)); }, F::kEntryPoint},
        {"ancestor inside a type header", [](Stored& a) { a.put(Stored::kHierarchy, a.rom(Stored::kTypes + 32)); },
         F::kTypes},
        {"initialiser table outside", [](Stored& a) { a.record(fr::kClinitEnd, a.rom(4096)); }, F::kClinits},
        {"initialiser table ends before it starts",
         [](Stored& a) { a.record(fr::kClinitEnd, a.rom(Stored::kClinits - 4)); }, F::kClinits},
        {"initialiser method outside", [](Stored& a) { a.put(Stored::kClinits, a.rom(2048)); }, F::kClinits},
        {"runtime state past the RAM", [](Stored& a) { a.record(fr::kRuntimeState, a.ram(Stored::kRamUsed - 8)); },
         F::kRuntimeState},
        {"runtime state 4 MiB away", [](Stored& a) { a.record(fr::kRuntimeState, a.ram(0) + 0x400000); },
         F::kRuntimeState},
        {"runtime state unaligned", [](Stored& a) { a.record(fr::kRuntimeState, a.ram(2)); }, F::kRuntimeState},
        {"statics 4 MiB away",
         [](Stored& a) {
             a.record(fr::kStaticsFirst + 2, a.ram(0) + 0x400000);
             a.record(fr::kStaticsFirst + 3, a.ram(0) + 0x400002);
         },
         F::kStatics},
        {"statics end before they start", [](Stored& a) { a.record(fr::kStaticsFirst + 5, a.ram(40)); }, F::kStatics},
        {"reference statics over the runtime state", [](Stored& a) { a.record(fr::kRefStaticsStart, a.ram(16)); },
         F::kStatics},
        {"two statics ranges overlapping", [](Stored& a) { a.record(fr::kStaticsFirst + 5, a.ram(52)); }, F::kStatics},
        {"8-byte statics unaligned",
         [](Stored& a) {
             a.put(s::kRamEnd, a.ram(128));
             a.record(fr::kStaticsFirst + 6, a.ram(76));
             a.record(fr::kStaticsFirst + 7, a.ram(84));
         },
         F::kStatics},
        {"reference statics unaligned", [](Stored& a) { a.record(fr::kRefStaticsStart, a.ram(58)); }, F::kStatics},
        {"reference statics not whole words", [](Stored& a) { a.record(fr::kRefStaticsEnd, a.ram(70)); }, F::kStatics},
        {"kernel statics copies past the reference statics",
         [](Stored& a) { a.record(fr::kKernelStaticsCopies, a.ram(68)); }, F::kKernelStaticsCopies},
        {"kernel statics copies elsewhere", [](Stored& a) { a.record(fr::kKernelStaticsCopies, a.ram(0)); },
         F::kKernelStaticsCopies},
        {"type header not a Class", [](Stored& a) { a.object(Stored::kTypes, kKernelString); }, F::kTypes},
        {"type header not immortal", [](Stored& a) { a.type(0, kKernelClass); }, F::kTypes},
        {"type header owned by another", [](Stored& a) { a.type(memory::kOwnerOffset, a.rom(Stored::kRecord) | 1); },
         F::kTypes},
        {"module data not immortal", [](Stored& a) { a.put(Stored::kData, 0); }, F::kModuleData},
        {"string over another array",
         [](Stored& a) { a.put(Stored::kStrings + image::kStringRecordValueOffset, a.rom(Stored::kName)); }, F::kStrings},
        {"string not a String",
         [](Stored& a) { a.object(Stored::kStrings + image::kStringRecordObjectOffset, kKernelChars); }, F::kStrings},
        {"string owned by another",
         [](Stored& a) { a.put(Stored::kStrings + image::kStringRecordObjectOffset + memory::kOwnerOffset, 0x2000); },
         F::kStrings},
        {"shared chars longer than the content", [](Stored& a) { a.put(Stored::kChars + memory::kArrayLengthOffset, 4096); },
         F::kStrings},
        {"shared chars not a char[]", [](Stored& a) { a.object(Stored::kChars, kKernelString); }, F::kStrings},
        // Offset and count must name chars of the array (the shared one
        // holds two), without overflowing their sum.
        {"string past its array", [](Stored& a) { a.internedString(1, 2); }, F::kStrings},
        {"string of a negative count", [](Stored& a) { a.internedString(0, 0xFFFFFFFF); }, F::kStrings},
        {"string at a negative offset", [](Stored& a) { a.internedString(0xFFFFFFFE, 1); }, F::kStrings},
        {"string whose offset and count overflow", [](Stored& a) { a.internedString(2, 0xFFFFFFFE); }, F::kStrings},
        {"immutable string past its array", [](Stored& a) { a.immutableString(0, 50000000); }, F::kStrings},
        {"immutable string at offset -2", [](Stored& a) { a.immutableString(0xFFFFFFFE, 1); }, F::kStrings},
        {"immutable string whose offset and count overflow", [](Stored& a) { a.immutableString(1, 0xFFFFFFFF); },
         F::kStrings},
        {"immutable string over another array",
         [](Stored& a) {
             a.immutableString(0, 1);
             a.put(Stored::kImmutableString - 4, a.rom(Stored::kName));
         },
         F::kStrings},
        {"immutable string owned by the kernel past its array",
         [](Stored& a) {
             a.immutableString(0, 3);
             a.put(Stored::kImmutableString + memory::kOwnerOffset, 0);
         },
         F::kStrings},
        // Every method word a table holds names the start of a method
        // record: word-aligned, outside the data and tables, its class word
        // one of the application's type headers.
        {"initialiser at a method's second byte", [](Stored& a) { a.put(Stored::kClinits, a.rom(Stored::kMethod + 1)); },
         F::kClinits},
        {"initialiser 0xffffffff", [](Stored& a) { a.put(Stored::kClinits, 0xFFFFFFFF); }, F::kClinits},
        // There the class word is the name record's type word.
        {"initialiser in the class-name records",
         [](Stored& a) { a.put(Stored::kClinits, a.rom(Stored::kNameRecord + image::kClassNameTypeOffset)); },
         F::kClinits},
        {"virtual method at a method's second byte", [](Stored& a) { a.put(Stored::kVtable + 8, a.rom(Stored::kMethod1 + 1)); },
         F::kTypes},
        {"method of no class", [](Stored& a) { a.put(Stored::kMethod1, 0); }, F::kTypes},
        {"method whose class lies inside a type header",
         [](Stored& a) { a.put(Stored::kMethod1, a.rom(Stored::kTypes + 16)); }, F::kTypes},
        {"virtual method table of fewer than Object's four",
         [](Stored& a) { a.type(image::kClassVtableOffset, a.rom(Stored::kVtable + 4)); }, F::kTypes},
        {"sixth virtual method inside a method",
         [](Stored& a) {
             a.sixVirtualMethods();
             a.put(Stored::kVtable + 12, a.rom(Stored::kMethod1 + 4));
         },
         F::kTypes},
        {"interface method inside a method",
         [](Stored& a) { a.interfaceTable(0, {a.rom(Stored::kMethod1), a.rom(Stored::kMethod1 + 2)}); }, F::kTypes},
        {"shared descriptors past the interface method table",
         [](Stored& a) { a.interfaceTable(0x1000, {a.rom(Stored::kMethod1)}); }, F::kTypes},
        // A handler resumes inside its method's code.
        {"handler in its own method's header", [](Stored& a) { a.handledInitialiser(Stored::kHandled + 6); },
         F::kHandlers},
        {"handler in the next method's header", [](Stored& a) { a.handledInitialiser(Stored::kCtor + 4); },
         F::kHandlers},
        {"handler range past its method",
         [](Stored& a) {
             a.handledInitialiser(712);
             a.put(Stored::kHandled - 16 + image::kHandlerEndOffset, a.rom(Stored::kCtor + 8));
         },
         F::kHandlers},
        // A call places the frame record at the top of the frame words and
        // the return reads it back: a frame without room for it never
        // returns.
        {"initialiser of a frame of no words",
         [](Stored& a) {
             a.handledInitialiser(712);
             romStorage[Stored::kHandled + image::kMethodHeaderOffset + 3] = 0;
         },
         F::kClinits},
        {"initialiser of a frame one word short of its record",
         [](Stored& a) {
             a.handledInitialiser(712);
             romStorage[Stored::kHandled + image::kMethodHeaderOffset + 3] = image::kFrameRecordWords - 1;
         },
         F::kClinits},
        {"initialiser returning a reference with no reference register",
         [](Stored& a) {
             a.handledInitialiser(712);
             romStorage[Stored::kHandled + image::kMethodHeaderOffset] |= image::kHeaderReturnsRefBit;
         },
         F::kClinits},
        {"constructor of a frame of no words",
         [](Stored& a) {
             a.handledInitialiser(712);
             const image::MethodHeader h{false, false, false, 0, 1, 1, 0, 0, 0};
             image::encode_full_header(h, romStorage + Stored::kCtor + image::kMethodHeaderOffset);
         },
         F::kTypes},
        // Java code and the collector read an immutable's references as
        // objects.
        {"immutable array element an arbitrary word", [](Stored& a) { a.immutableArray(0x12345678); },
         F::kImmutables},
        {"immutable array element a method", [](Stored& a) { a.immutableArray(a.rom(Stored::kMethod)); },
         F::kImmutables},
        {"immutable array element a kernel word not exported",
         [](Stored& a) { a.immutableArray(a.kernel(kKernelMethod + 4)); }, F::kImmutables},
        {"immutable array element inside an interned string",
         [](Stored& a) { a.immutableArray(a.rom(Stored::kStrings + image::kStringRecordObjectOffset + 4)); },
         F::kImmutables},
        {"immutable array longer than the immutables",
         [](Stored& a) {
             a.immutableArray(0);
             a.put(Stored::kImmutableArray + memory::kArrayLengthOffset, 3);
         },
         F::kImmutables},
        {"module data reference an arbitrary word",
         [](Stored& a) { a.put(Stored::kData - 8, 0x12345678); }, F::kImmutables},
        {"module data references below the immutables",
         [](Stored& a) { a.descriptor(image::kFeatureImmutablesStart, a.rom(Stored::kData - 8)); },
         F::kImmutables},
        {"string records not whole",
         [](Stored& a) { a.descriptor(image::kFeatureInternStringsEnd, a.rom(Stored::kStringsEnd + 4)); }, F::kStrings},
        {"instance smaller than its references", [](Stored& a) { a.type(image::kClassInstanceSizeOffset, 0x00100008); },
         F::kTypes},
        // Instances hold their ancestors' (here the kernel's Object made
        // larger): a type test passes them as the ancestor's.
        {"fewer reference bytes than an ancestor",
         [](Stored&) { ancestorSize(kernelStorage, 12, 4); }, F::kTypes},
        {"smaller instance than an ancestor", [](Stored&) { ancestorSize(kernelStorage, 16, 0); }, F::kTypes},
        {"fewer bytes above the header than an ancestor, though larger",
         [](Stored& a) {
             ancestorSize(kernelStorage, 16, 0);
             a.type(image::kClassInstanceSizeOffset, 0x000C0014);  // 20 bytes, 12 of them references
         },
         F::kTypes},
        {"abstract type among the instantiable", [](Stored&) { romStorage[Stored::kTypes + image::kTypeFlagsOffset] = image::kTypeAbstract; },
         F::kTypes},
        {"hierarchy outside", [](Stored& a) { a.type(image::kClassHierarchyOffset, a.rom(1022)); }, F::kTypes},
        {"ancestor not a type", [](Stored& a) { a.put(Stored::kHierarchy, a.rom(Stored::kMethod)); }, F::kTypes},
        {"virtual methods outside", [](Stored& a) { a.type(image::kClassVtableOffset, a.rom(1016)); }, F::kTypes},
        {"virtual method outside", [](Stored& a) { a.put(Stored::kVtable + 8, 0x1000); }, F::kTypes},
        {"virtual method of the kernel not exported",
         [](Stored& a) { a.put(Stored::kVtable + 12, a.kernel(kKernelMethod + 4)); }, F::kTypes},
        {"virtual method a kernel type", [](Stored& a) { a.put(Stored::kVtable + 12, a.kernel(0)); }, F::kTypes},
        {"ancestor a kernel type not exported", [](Stored& a) { a.put(Stored::kHierarchy, a.kernel(kKernelString)); },
         F::kTypes},
        {"constructor taking two references", [](Stored& a) { a.type(image::kClassDefaultCtorOffset, a.rom(Stored::kMethod2)); },
         F::kTypes},
        {"equals taking one reference", [](Stored& a) { a.put(Stored::kVtable + 4, a.rom(Stored::kMethod1)); }, F::kTypes},
        {"hashCode taking none", [](Stored& a) { a.put(Stored::kVtable + 8, a.rom(Stored::kMethod)); }, F::kTypes},
        {"initialiser taking a reference", [](Stored& a) { a.put(Stored::kClinits, a.rom(Stored::kMethod1)); }, F::kClinits},
        {"constructor outside", [](Stored& a) { a.type(image::kClassDefaultCtorOffset, a.rom(1020)); }, F::kTypes},
        {"interface table with no ids", [](Stored& a) {
             a.type(image::kClassInterfaceTableOffset, a.rom(Stored::kHierarchy + 4));
             a.put(Stored::kHierarchy + 4, 0x00010002);  // highest 1 below lowest 2
         },
         F::kTypes},
        {"name record outside", [](Stored& a) { a.type(image::kTypeNameRecordOffset, a.rom(1016)); }, F::kTypes},
        {"name record unaligned", [](Stored& a) { a.type(image::kTypeNameRecordOffset, a.rom(Stored::kNameRecord + 2)); },
         F::kTypes},
        {"class-name records not whole",
         [](Stored& a) { a.descriptor(image::kFeatureClassNamesEnd, a.rom(Stored::kNameRecord + 12)); }, F::kTypes},
        {"class-name record of no type",
         [](Stored& a) { a.put(Stored::kNameRecord + image::kClassNameTypeOffset, a.rom(Stored::kMethod)); }, F::kTypes},
        {"name's package outside",
         [](Stored& a) { a.put(Stored::kNameRecord + image::kClassNamePackageOffset, a.rom(1020)); }, F::kTypes},
        {"array name's element outside",
         [](Stored& a) {
             romStorage[Stored::kNameBytes] = '[';
             a.put(Stored::kNameRecord + image::kArrayNameElementOffset, a.rom(1016));
         },
         F::kTypes},
        {"name longer than the content", [](Stored& a) { a.put(Stored::kNameRecord + image::kClassNameLengthOffset, 4096); },
         F::kTypes},
        {"array of no type",
         [](Stored& a) {
             romStorage[Stored::kTypes + image::kTypeFlagsOffset] = image::kTypeArray;
             a.type(image::kArrayElementOffset, a.rom(Stored::kMethod));
         },
         F::kTypes},
        {"resource records outside", [](Stored& a) {
             a.descriptor(image::kFeatureResourcesStart, a.rom(0));
             a.descriptor(image::kFeatureResourcesEnd, a.rom(2048));
         },
         F::kTables},
    };
    for (const Case& c : cases) {
        Stored a;
        c.spoil(a);
        EXPECT_EQ(static_cast<int>(a.fault()), static_cast<int>(c.expected)) << c.what;
    }
}

// Strings naming all of their array's chars, or none at its end.
TEST(InstalledApplicationCheck, StringsOverTheirArraysPass) {
    Stored a;
    a.internedString(0, 2);
    a.immutableString(2, 0);
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
    a.internedString(2, 0);
    a.immutableString(1, 1);
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
}

// An immutable's references may name any object the application may:
// its immutables and interned strings, its shared chars, its types and
// those the kernel exports, and what else the kernel exports.
TEST(InstalledApplicationCheck, ImmutableReferencesToWhatTheApplicationMayNamePass) {
    for (const word_t second :
         {word_t{0}, to_word(romStorage) + Stored::kImmutableArray, to_word(romStorage) + Stored::kChars,
          to_word(romStorage) + Stored::kTypes, to_word(kernelStorage), to_word(kernelStorage) + kKernelMethod}) {
        Stored a;
        a.immutableArray(second);
        EXPECT_EQ(a.fault(), ApplicationFault::kNone) << std::hex << second;
    }
}

// An instance with more references and more bytes above its header than an
// ancestor's holds the ancestor's; an abstract ancestor has no instances.
TEST(InstalledApplicationCheck, InstancesHoldingTheirAncestorsPass) {
    Stored a;
    ancestorSize(kernelStorage, 12, 4);
    a.type(image::kClassInstanceSizeOffset, 0x00080010);  // 16 bytes, 8 of them references
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
    ancestorSize(kernelStorage, 64, 0);
    kernelStorage[image::kTypeFlagsOffset] = image::kTypeAbstract;
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
}

// Method tables run to the next table: six virtual methods, interface
// methods up to the content's end or the shared descriptors (what follows
// them is not a method), a method left out; handlers inside their code.
TEST(InstalledApplicationCheck, MethodTablesAndHandlersPass) {
    Stored a;
    a.sixVirtualMethods();
    a.interfaceTable(0, {a.rom(Stored::kMethod1), 0, a.rom(Stored::kMethod2)});
    a.handledInitialiser(714);
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
    a.interfaceTable(8 + 4 * 1, {a.rom(Stored::kMethod1), a.rom(Stored::kMethod1 + 2)});
    a.handledInitialiser(719);
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
}

// A kernel without lazy statics gives an application no copies: the word
// is not followed.
TEST(InstalledApplicationCheck, NoKernelLazyStatics) {
    Stored a;
    a.areas.kernelLazyStaticsBytes = 0;
    a.record(fr::kKernelStaticsCopies, 0);
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
}

// Nothing is read or written of an empty range (statics, types, class
// names, class initialisers), nor of an entry point or image start of 0: an
// application without them may name them anywhere.
TEST(InstalledApplicationCheck, EmptyRangesAnywhere) {
    Stored a;
    a.record(fr::kStaticsFirst, 0x1000);
    a.record(fr::kStaticsFirst + 1, 0x1000);
    a.record(fr::kStaticsFirst + 2, a.ram(51));  // inside the 8-byte statics, unaligned
    a.record(fr::kStaticsFirst + 3, a.ram(51));
    a.record(fr::kClinitStart, 0);
    a.record(fr::kClinitEnd, 0);
    a.record(fr::kEntryPointClass, 0);
    a.descriptor(image::kFeatureTypesStart, 0x2000);
    a.descriptor(image::kFeatureConcreteTypesEnd, 0);
    a.descriptor(image::kFeatureTypesEnd, 0x2000);
    a.descriptor(image::kFeatureImageStart, 0);
    a.descriptor(image::kFeatureClassNamesStart, 0x3000);
    a.descriptor(image::kFeatureClassNamesEnd, 0x3000);
    EXPECT_EQ(a.fault(), ApplicationFault::kNone);
}

}  // namespace
}  // namespace tarvelo
