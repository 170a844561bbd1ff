#include "vm/memory/feature_loader.h"

#include <array>
#include <cstring>

namespace tarvelo {

namespace {

constexpr std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> tulvarCRCTable = make_crc_table();

KernelIdentity gIdentity{};
bool gAddressesCrcKnown = false;
std::uint32_t gAddressesCrc = 0;

}  // namespace

namespace crc32 {

std::uint32_t update(std::uint32_t crc, const std::uint8_t* data, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) crc = tulvarCRCTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return crc;
}

std::uint32_t of(const std::uint8_t* data, std::uint32_t length) { return ~update(0xFFFFFFFFu, data, length); }

}  // namespace crc32

const KernelIdentity& kernelIdentity() { return gIdentity; }

void setKernelIdentity(const KernelIdentity& identity) {
    gIdentity = identity;
    gAddressesCrcKnown = false;
}

std::uint32_t kernelAddressesCrc() {
    if (!gAddressesCrcKnown) {
        const KernelIdentity& k = gIdentity;
        const auto n = k.addressesEnd > k.addressesStart ? static_cast<std::uint32_t>(k.addressesEnd - k.addressesStart) : 0u;
        gAddressesCrc = crc32::of(k.addressesStart, n);
        gAddressesCrcKnown = true;
    }
    return gAddressesCrc;
}

bool isCompatibleSignature(const std::uint8_t* bytes) {
    const KernelIdentity& k = gIdentity;
    if (k.signature != nullptr && std::memcmp(bytes, k.signature, installed_struct::kSignatureBytes) == 0) return true;
    for (const std::uint8_t* p = k.compatibleStart; p != nullptr && p < k.compatibleEnd;) {
        const std::uint32_t n = *p++;
        if (p + n > k.compatibleEnd) break;
        if (n == installed_struct::kSignatureBytes && std::memcmp(bytes, p, n) == 0) return true;
        p += n;
    }
    return false;
}

void initializeInstalledStruct(word_t base, const InstalledStructFields& f) {
    namespace s = installed_struct;
    storeWord(base + s::kSignatureAddress, f.romStart + s::kSignature);
    storeWord(base + s::kCrcTableAddress, f.romStart + s::kCrcTable);
    storeWord(base + s::kRomStart, f.romStart);
    storeWord(base + s::kRomEnd, f.romStart + f.romSize);
    storeWord(base + s::kRamStart, f.ramStart);
    storeWord(base + s::kRamEnd, f.ramStart + f.ramSize);
    storeWord(base + s::kSectionTable, f.sectionTable);
    storeWord(base + s::kCrcCursor, f.romStart + s::kCrcTable);
    storeWord(base + s::kCrcTableEnd, f.romStart + s::kCrcTable + s::kCrcEntryBytes * static_cast<std::uint32_t>(f.crcSections));
    storeWord(base + s::kAddressesCrc, kernelAddressesCrc());
    if (gIdentity.signature != nullptr)
        std::memcpy(to_ptr<void>(base + s::kSignature), gIdentity.signature, s::kSignatureBytes);
    else
        std::memset(to_ptr<void>(base + s::kSignature), 0, s::kSignatureBytes);
}

bool setCrcSection(word_t base, std::int32_t index, std::uint32_t offset, std::uint32_t size, std::uint32_t crc) {
    namespace s = installed_struct;
    // Entries are addressed from the block, so an index outside the table
    // the struct was made with would write past it.
    const std::uint32_t entries = (loadWord(base + s::kCrcTableEnd) - (base + s::kCrcTable)) / s::kCrcEntryBytes;
    if (index < 0 || static_cast<std::uint32_t>(index) >= entries) return false;
    const word_t romStart = loadWord(base + s::kRomStart);
    const word_t entry = base + s::kCrcTable + s::kCrcEntryBytes * static_cast<std::uint32_t>(index);
    storeWord(entry, romStart + offset);
    storeWord(entry + 4, romStart + offset + size);
    storeWord(entry + 8, crc);
    return true;
}

std::uint32_t overallCrc(word_t base) {
    namespace s = installed_struct;
    std::uint32_t crc = crc32::update(0xFFFFFFFFu, to_ptr<const std::uint8_t>(base), s::kOverallCrc);
    crc = crc32::update(crc, to_ptr<const std::uint8_t>(base + s::kSignature), s::kSignatureBytes);
    const word_t cursor = loadWord(base + s::kCrcCursor);
    const word_t end = loadWord(base + s::kCrcTableEnd);
    if (end > cursor) crc = crc32::update(crc, to_ptr<const std::uint8_t>(cursor), end - cursor);
    return ~crc;
}

void finalizeInstalledStruct(word_t base) { storeWord(base + installed_struct::kOverallCrc, overallCrc(base)); }

// --- Relocations -------------------------------------------------------------------------

namespace {

struct RecordReader {
    const std::uint8_t* data;
    std::int32_t length;
    std::int32_t pos;
    bool malformed = false;

    std::uint8_t byte() {
        if (pos < 0 || pos >= length) {
            malformed = true;
            return 0;
        }
        return data[pos++];
    }
    // Base 128, little-endian; at most 5 bytes make 32 bits.
    std::uint32_t number() {
        std::uint32_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            const std::uint8_t b = byte();
            if (malformed || shift > 28) {
                malformed = true;
                return 0;
            }
            v |= static_cast<std::uint32_t>(b & 0x7Fu) << shift;
            if ((b & 0x80u) == 0) return v;
        }
    }
    std::uint32_t word() {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }
};

}  // namespace

std::int32_t applyRelocations(RelocationState& state, const RelocationBases& b, const std::uint8_t* records,
                              std::int32_t length, std::int32_t index, std::int32_t count) {
    if (b.blockBase == b.base1 && index == 0) state.offset = 0;
    if (records == nullptr || index < 0) return -1;
    if (index >= length) return 0;
    // No record may be applied, yet records are left: "nothing to do" would
    // leave the block unrelocated.
    if (count <= 0) return -1;
    RecordReader in{records, length, index};
    while (true) {
        const std::uint8_t kind = in.byte();
        const std::uint32_t delta = in.number();
        std::uint32_t value = in.number();
        const std::uint32_t fixed = (kind & 0x08u) != 0 ? in.word() : 0u;
        if (in.malformed) return -1;
        state.offset = static_cast<std::int32_t>(static_cast<std::uint32_t>(state.offset) + delta);

        word_t typesBase = b.typesBase;
        switch (kind >> 6) {
            case 0: {
                const KernelIdentity& k = gIdentity;
                const std::uint64_t words =
                    k.addressesEnd > k.addressesStart ? static_cast<std::uint64_t>(k.addressesEnd - k.addressesStart) / 4 : 0;
                if (value >= words) return -1;
                std::memcpy(&value, k.addressesStart + 4u * value, 4);
                typesBase = k.typesBase;
                break;
            }
            case 1: value += b.base1; break;
            case 2: value += b.base2; break;
            default: value += b.base3; break;
        }

        const std::int64_t at = static_cast<std::int64_t>(state.offset) -
                                (static_cast<std::int64_t>(b.blockBase) - static_cast<std::int64_t>(b.base1));
        if (at < 0 || at + 4 > static_cast<std::int64_t>(b.blockSize)) return -1;
        const word_t target = b.blockStart + static_cast<std::uint32_t>(at);
        const std::uint32_t word = loadWord(target);
        switch (kind & 0x07u) {
            case 1: storeWord(target, word + value); break;
            case 3: {
                const std::uint32_t v = value - typesBase;
                if ((v & word) != v) return 167;
                if ((v & fixed) != 0) return 168;
                storeWord(target, v | fixed);
                break;
            }
            default: return -1;
        }
        --count;
        if (in.pos >= length) return 0;
        if (count == 0) return -in.pos;
    }
}

// --- Checks ---------------------------------------------------------------------------------

KernelCheck checkStoredFeature(word_t rom, std::uint32_t romSize, word_t ramStart) {
    namespace s = installed_struct;
    const KernelCheck corrupted{2, kInitCorrupted};
    if (rom == 0 || romSize < s::kCrcTable) return corrupted;
    const std::uint64_t romEnd = static_cast<std::uint64_t>(rom) + romSize;
    // The CRC table must lie inside the read-only area before anything of it
    // is read, and every section it lists too.
    const word_t cursor = loadWord(rom + s::kCrcCursor);
    const word_t tableEnd = loadWord(rom + s::kCrcTableEnd);
    if (cursor != rom + s::kCrcTable || tableEnd < cursor || tableEnd > romEnd ||
        (tableEnd - cursor) % s::kCrcEntryBytes != 0)
        return corrupted;
    if (overallCrc(rom) != loadWord(rom + s::kOverallCrc)) return corrupted;
    for (word_t e = cursor; e < tableEnd; e += s::kCrcEntryBytes) {
        const word_t start = loadWord(e);
        const word_t end = loadWord(e + 4);
        if (start < rom || end < start || end > romEnd) return corrupted;
        if (crc32::of(to_ptr<const std::uint8_t>(start), end - start) != loadWord(e + 8)) return corrupted;
    }
    if (!isCompatibleSignature(to_ptr<const std::uint8_t>(rom + s::kSignature))) return {3, kInitWrongUid};
    if (kernelAddressesCrc() != loadWord(rom + s::kAddressesCrc)) return {4, kInitWrongAddresses};
    if (loadWord(rom + s::kRamStart) != ramStart) return {5, kInitRamAddressChanged};
    return {0, 0};
}

}  // namespace tarvelo
