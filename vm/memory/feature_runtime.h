// The installed-feature table as the loader and the kernel change it:
// linking a stored application into a free slot (with its name and
// placement checked against the others), its runtime state, its statics,
// and unlinking it again.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

// The `FeatureRecord` of an `InstalledFeatureStruct` (record 0 of its
// section table), 0 when the struct lists none.
word_t featureRecordOfStruct(word_t installedStruct);

// A new record's runtime: UNINSTALLED, level 5, the quota, no thread, no
// `Feature` object, statics zeroed.
void initializeFeatureRuntime(word_t record, std::int64_t quota);
// FeatureIsolation.clearFeatureStatics: zeroes the record's five static ranges.
void clearFeatureStatics(word_t record);
// The feature's name (the byte array of its module data); false when the
// record names none.
bool featureName(word_t record, const std::uint8_t** bytes, std::int32_t* length);

// Links the application whose struct is `installedStruct`: the record's
// address, or -2 (table full), -3 (same name; `*sameName` is the
// installed record), -4 (read-only areas overlap), -5 (RAM areas overlap).
std::int64_t linkInstalledFeature(word_t installedStruct, std::int64_t quota, word_t* sameName);

// The `Feature` object's record: 0 for null, unlinked (-1) or 0 handles.
word_t featureObjectRecord(word_t featureObject);
std::int64_t featureObjectHandle(word_t featureObject);
void setFeatureObjectHandle(word_t featureObject, std::int64_t handle);
std::uint8_t& featureObjectByte(word_t featureObject, std::uint32_t offset);

// FeatureIsolation.unlinkFeature: 0 when there is nothing to unlink, else
// the record, now UNINSTALLED with the `Feature` object unlinked.
word_t unlinkFeature(word_t featureObject);
// FeatureIsolation.removeFeature: clears the slot of the record.
void removeFeature(word_t record);
// The slot whose application has `record`, -1 when none.
int installedSlotOf(word_t record);

}  // namespace tarvelo
