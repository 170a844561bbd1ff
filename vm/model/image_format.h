// The application image: a read-only block that the image linker lays out at
// build time and the firmware executes in place. Every reference inside it
// is an absolute 32-bit address; the virtual machine finds each region by a
// link-time symbol (image_symbols.def) and never scans the image.
//
// This header fixes the records of the image that are not type headers,
// method records or strings (see type_record.h, method_record.h,
// string_record.h): the file header, the class-initialiser table, the
// system properties, the immutables, the kernel header, the kernel
// addresses table and the feature descriptor. All values little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarvelo::image {

// Little-endian access to image bytes (also valid for unaligned records).
inline std::uint32_t read_u32(const void* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline std::uint16_t read_u16(const void* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline std::uint8_t read_u8(const void* p) { return *static_cast<const std::uint8_t*>(p); }
inline void write_u32(void* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline void write_u16(void* p, std::uint16_t v) { std::memcpy(p, &v, 2); }

// Reads word `index` of a record.
inline std::uint32_t record_word(const void* record, std::size_t index) {
    return read_u32(static_cast<const std::uint8_t*>(record) + 4 * index);
}

// --- Image section header -------------------------------------------------
// 16 bytes at the image start, all zero in the kernel image.
inline constexpr std::uint32_t kSectionHeaderSize = 16;

// --- Image file header (20 bytes, `_java_vornfile_header_start`) -----------
inline constexpr std::uint32_t kFileHeaderSize = 20;
inline constexpr std::uint32_t kFileHeaderMagicOffset = 8;         // word 2
inline constexpr std::uint32_t kFileHeaderAllocArgOffset = 12;     // word 3
inline constexpr std::uint32_t kImageMagic = 0x0E84C1AFu;

// --- Alignment rules -------------------------------------------------------
// Instantiable type headers are 16-aligned from the types base; abstract
// and interface headers 4-aligned; method records 4-aligned.
inline constexpr std::uint32_t kRomAlignment = 16;
inline constexpr std::uint32_t kMethodAlignment = 4;

// --- Class-initialiser table ------------------------------------------------
// Method-record addresses in the order they must run; length (end-start)/4.
inline constexpr std::uint32_t kClinitEntrySize = 4;

// --- System properties ------------------------------------------------------
// `_java_properties_Keys` and `_java_properties_Values` are String[] image
// arrays of the same length; value i belongs to key i. Both are ordinary
// array objects (header, owner, length, elements).

// --- Immutables block -----------------------------------------------------
// In order: `_java_immutable_Keys` (String[]), `_java_immutable_Values`
// (Object[] of the same length), `_java_Object_OutOfMemory` (the pre-built
// OutOfMemoryError), then the immutable objects. [`_java_immutables_start`,
// `_java_immutables_end`) bounds the whole block.

// --- Init-wrapper table (entries of 8 bytes) -------------------------------
inline constexpr std::uint32_t kInitWrapperEntrySize = 8;
inline constexpr std::uint32_t kInitWrapperStaticOffset = 0;   // static field address
inline constexpr std::uint32_t kInitWrapperMethodOffset = 4;   // wrapper method record

// --- Kernel header (8 words, `_java_kernel_header_start`) ------------------
enum KernelHeaderWord : std::uint32_t {
    kKernelInitWrappersStart = 0,
    kKernelInitWrappersEnd = 1,
    kKernelAddressesStart = 2,
    kKernelAddressesEnd = 3,
    kKernelCompatibleUidsStart = 4,
    kKernelCompatibleUidsEnd = 5,
    kKernelCodeChunkStart = 6,   // RAM
    kKernelCodeChunkEnd = 7,     // RAM
    kKernelHeaderWords = 8,
};

// The application code chunk: an 8-byte block descriptor followed by the
// chunk itself (`_java_kernel_code_chunk_size` bytes).
inline constexpr std::uint32_t kCodeChunkDescriptorSize = 8;

// --- Kernel addresses table -------------------------------------------------
// Addresses the kernel exports to installed applications, which name a
// kernel item by its index: first the inline routines of OPnative_code in
// the order of inline_routines.def, then exported types, methods and static
// fields in the linker's order.
inline constexpr std::uint32_t kKernelAddressEntrySize = 4;

// --- Kernel signature ---------------------------------------------------------
inline constexpr std::uint32_t kSignatureSize = 24;

// --- Feature descriptor (17 words, `_java_features_start`) -----------------
enum FeatureDescriptorWord : std::uint32_t {
    kFeatureZero = 0,
    kFeatureModuleData = 1,
    kFeatureImageStart = 2,
    kFeatureTypesStart = 3,
    kFeatureConcreteTypesEnd = 4,
    kFeatureTypesEnd = 5,
    kFeatureClassNamesStart = 6,
    kFeatureClassNamesEnd = 7,
    kFeatureResourcesStart = 8,
    kFeatureResourcesEnd = 9,
    kFeatureImmutableKeys = 10,
    kFeatureImmutableValues = 11,
    kFeatureImmutablesStart = 12,
    kFeatureImmutablesEnd = 13,
    kFeatureInternStringsStart = 14,
    kFeatureInternStringsEnd = 15,
    kFeatureSharedArray = 16,
    kFeatureDescriptorWords = 17,
};

// --- OutOfMemoryError frame record (RAM) -------------------------------------
// A count word, then up to `_java_oome_nb_frames` (pc, method) pairs.
constexpr std::uint32_t oome_frames_size(std::uint32_t frames) { return 4 + 8 * frames; }

// --- Statics areas (RAM) ------------------------------------------------------
// BT1 (boolean, byte), BT2 (char, short), BT4 (int, float), BT8 (long,
// double; 8-aligned), REF (references; the lazily initialised ones last,
// between `_java_statics_refls_kernel_start` and `_end`). The main heap
// follows REF directly.
enum StaticsArea : std::uint32_t { kStaticsBT1, kStaticsBT2, kStaticsBT4, kStaticsBT8, kStaticsREF };
constexpr std::uint32_t statics_alignment(StaticsArea area) {
    switch (area) {
        case kStaticsBT1: return 1;
        case kStaticsBT2: return 2;
        case kStaticsBT8: return 8;
        default: return 4;
    }
}

// --- Symbol names -----------------------------------------------------------
// The names of every image symbol and configuration symbol, for tools.
inline constexpr const char* kImageSymbolNames[] = {
#define TARVELO_IMAGE_SYMBOL(name) #name,
#include "vm/model/image_symbols.def"
#undef TARVELO_IMAGE_SYMBOL
};

struct LinkConfigDefault {
    const char* name;
    std::uint32_t value;
};
inline constexpr LinkConfigDefault kLinkConfigDefaults[] = {
#define TARVELO_LINK_CONFIG(name, value) {#name, value},
#include "vm/model/link_config.def"
#undef TARVELO_LINK_CONFIG
};

// Type header symbols: `_java_L` + qualified name with '.' as '_'
// (`_java_Ljava_lang_Object`); array types `_java_A` + the element's code
// letter or its symbol part (`_java_AI`, `_java_AC`, `_java_ALjava_lang_String`).
// Method records: `_java_M` + class + "__" + method name
// (`_java_Mjava_lang_Thread__callWrapper`), followed by "__" and the
// mangled descriptor when the name is overloaded in its class. Static
// fields (RAM): `_java_S` + class + "__" + field
// (`_java_Sjava_lang_MainThread__Args`). In mangled names '.' and '/' are
// '_' and any other character that is not a letter, digit or '_' is "_0"
// and two hex digits ("<init>" is "_03cinit_03e").
inline constexpr const char kTypeSymbolPrefix[] = "_java_";

}  // namespace tarvelo::image
