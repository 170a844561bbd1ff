// The installed-feature table: one word per installed-application slot at
// `_java_features_dynamic_start`, each 0 or the address of an installed
// application's `InstalledFeatureStruct`, whose section table's record 0 is
// the application's `FeatureRecord`.
#pragma once

#include "platform/address.h"

namespace tarvelo {

// Offsets of what the table's readers follow.
namespace installed_feature {
inline constexpr std::uint32_t kSectionTableOffset = 24;  // in the InstalledFeatureStruct
inline constexpr std::uint32_t kRecordCountWord = 0;      // in the section table
inline constexpr std::uint32_t kFirstRecordWord = 17;
}  // namespace installed_feature

// The `FeatureRecord` of the application in slot `index`, or 0 for an
// empty slot or an index outside the table.
word_t installedFeatureRecord(int index);

}  // namespace tarvelo
