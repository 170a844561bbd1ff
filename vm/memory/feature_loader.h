// What the loader of installed applications relies on from the virtual
// machine: the CRC-32 of copies, the `InstalledFeatureStruct` that makes a
// stored application self-checking, the relocation records, the check of a
// stored application against this kernel and its entry in the
// installed-feature table. The loader itself is bytecode; these functions
// are the bodies of its natives, kept free of the image so that they can be
// tested on storage of their own.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/address.h"

namespace tarvelo {

// Little-endian words of stored structures, at any alignment.
inline std::uint32_t loadWord(word_t address) {
    std::uint32_t v;
    std::memcpy(&v, to_ptr<const void>(address), 4);
    return v;
}
inline void storeWord(word_t address, std::uint32_t v) { std::memcpy(to_ptr<void>(address), &v, 4); }

// --- CRC-32 (IEEE 802.3, reflected, table driven) ------------------------------
namespace crc32 {
// The running form: no start or end operation.
std::uint32_t update(std::uint32_t crc, const std::uint8_t* data, std::uint32_t length);
// A complete CRC: from 0xFFFFFFFF, complemented; an empty range gives 0.
std::uint32_t of(const std::uint8_t* data, std::uint32_t length);
}  // namespace crc32

// --- InstalledFeatureStruct --------------------------------------------------------
namespace installed_struct {
inline constexpr std::uint32_t kSignatureAddress = 0;
inline constexpr std::uint32_t kCrcTableAddress = 4;
inline constexpr std::uint32_t kRomStart = 8;
inline constexpr std::uint32_t kRomEnd = 12;
inline constexpr std::uint32_t kRamStart = 16;
inline constexpr std::uint32_t kRamEnd = 20;
inline constexpr std::uint32_t kSectionTable = 24;
inline constexpr std::uint32_t kCrcCursor = 28;
inline constexpr std::uint32_t kCrcTableEnd = 32;
inline constexpr std::uint32_t kAddressesCrc = 36;
inline constexpr std::uint32_t kOverallCrc = 40;
inline constexpr std::uint32_t kSignature = 44;
inline constexpr std::uint32_t kSignatureBytes = 24;
inline constexpr std::uint32_t kCrcTable = 68;
inline constexpr std::uint32_t kCrcEntryBytes = 12;
inline constexpr std::int32_t size(std::int32_t crcSections) { return 68 + 12 * crcSections; }
}  // namespace installed_struct

// Which kernel an application was made for: this kernel's signature, its
// compatible UIDs (length byte, then that many bytes, per entry) and its
// kernel addresses table.
struct KernelIdentity {
    const std::uint8_t* signature;  // 24 bytes
    const std::uint8_t* compatibleStart;
    const std::uint8_t* compatibleEnd;
    const std::uint8_t* addressesStart;
    const std::uint8_t* addressesEnd;
    // Bounds of the kernel's types (the types base of bit-field relocations
    // against the addresses table).
    word_t typesBase;
};

// The identity of the running kernel (its image), set by the loader
// natives; tests install their own.
const KernelIdentity& kernelIdentity();
void setKernelIdentity(const KernelIdentity& identity);
// Sets this kernel's identity from its image once (the natives of both
// pools that compare signatures call it first); defined with the loader
// natives, which know the image's symbols.
void ensureKernelIdentity();
// The kernel addresses table's CRC-32, computed once.
std::uint32_t kernelAddressesCrc();
// Whether `bytes` (24) are this kernel's signature or a compatible UID.
bool isCompatibleSignature(const std::uint8_t* bytes);

struct InstalledStructFields {
    word_t romStart;
    std::uint32_t romSize;
    word_t ramStart;
    std::uint32_t ramSize;
    word_t sectionTable;
    std::int32_t crcSections;
};
// Writes offsets 0-36 and the signature copy of the struct at `base`.
void initializeInstalledStruct(word_t base, const InstalledStructFields& f);
// CRC section `index`: false (nothing written) outside the struct's table.
bool setCrcSection(word_t base, std::int32_t index, std::uint32_t offset, std::uint32_t size, std::uint32_t crc);
std::uint32_t overallCrc(word_t base);
void finalizeInstalledStruct(word_t base);

// --- Relocations -----------------------------------------------------------------------
struct RelocationState {
    std::int32_t offset = 0;  // running target offset from the section base of selector 1
};

struct RelocationBases {
    word_t blockStart;
    std::uint32_t blockSize;
    word_t typesBase;
    word_t base1;
    word_t blockBase;
    word_t base2;
    word_t base3;
};

// Applies up to `count` records of `records` from `index`: 0 when the
// records are all applied, -(index of the next record) when `count` ran
// out first, -1 for a malformed record or a target outside the block, 167
// for a bit-field value outside its mask and 168 for one that collides
// with the fixed bits.
std::int32_t applyRelocations(RelocationState& state, const RelocationBases& bases, const std::uint8_t* records,
                              std::int32_t length, std::int32_t index, std::int32_t count);

// --- Checks of a stored application ------------------------------------------------------
// Error codes the port's initialisation-error report knows.
enum FeatureInitError : std::int32_t {
    kInitCorrupted = 1,
    kInitWrongUid = 2,
    kInitTooMany = 3,
    kInitAlreadyInstalled = 4,
    kInitWrongAddresses = 5,
    kInitRomOverlap = 6,
    kInitRamOverlap = 7,
    kInitRamAddressChanged = 8,
    kInitNoHandle = 9,
};

struct KernelCheck {
    std::int32_t result;   // 0 passed, else the failure's own result
    std::int32_t portCode; // 0 when passed
};

// The checks of a stored application at `rom` (its struct) of `romSize`
// bytes whose RAM the port places at `ramStart`.
KernelCheck checkStoredFeature(word_t rom, std::uint32_t romSize, word_t ramStart);

}  // namespace tarvelo
