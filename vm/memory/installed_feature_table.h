// The installed-feature table: one word per installed-application slot at
// `_java_features_dynamic_start`, each 0 or the address of an installed
// application's `InstalledFeatureStruct`, whose section table's record 0 is
// the application's `FeatureRecord`.
#pragma once

#include "platform/address.h"

namespace tarvelo {

// Offsets of what the table's readers follow.
namespace installed_feature {
inline constexpr std::uint32_t kRomStartOffset = 8;       // in the InstalledFeatureStruct: its read-only area
inline constexpr std::uint32_t kRomEndOffset = 12;
inline constexpr std::uint32_t kSectionTableOffset = 24;  // in the InstalledFeatureStruct
inline constexpr std::uint32_t kRecordCountWord = 0;      // in the section table
inline constexpr std::uint32_t kFirstRecordWord = 17;
}  // namespace installed_feature

// The `FeatureRecord` of the application in slot `index`, or 0 for an
// empty slot or an index outside the table.
word_t installedFeatureRecord(int index);

// Number of slots of the table (the configured count, at most 16).
int installedFeatureSlots();
// Slot `index`: the `InstalledFeatureStruct` address or 0.
word_t installedFeatureEntry(int index);
void setInstalledFeatureEntry(int index, word_t entry);
// Clears every slot.
void clearInstalledFeatureTable();

}  // namespace tarvelo
