#include "vm/memory/feature_runtime.h"

#include <cstring>

#include "vm/memory/feature_loader.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/model/object_header.h"

namespace tarvelo {

namespace {

// [a0, a1) and [b0, b1) share a byte (one inside the other included).
bool overlaps(word_t a0, word_t a1, word_t b0, word_t b1) { return a0 < b1 && b0 < a1; }

}  // namespace

word_t featureRecordOfStruct(word_t installedStruct) {
    if (installedStruct == 0) return 0;
    const word_t sections = loadWord(installedStruct + installed_feature::kSectionTableOffset);
    if (sections == 0 || loadWord(sections) == 0) return 0;
    return loadWord(sections + 4 * installed_feature::kFirstRecordWord);
}

void initializeFeatureRuntime(word_t record, std::int64_t quota) {
    FeatureRuntimeState* st = featureRuntimeState(record);
    std::memset(st, 0, sizeof *st);
    st->level = 5;
    st->state = static_cast<std::uint8_t>(FeatureState::kUninstalled);
    storeU64(st->quota, static_cast<std::uint64_t>(quota));
    clearFeatureStatics(record);
}

void clearFeatureStatics(word_t record) {
    for (std::uint32_t w = feature_record::kStaticsFirst; w < feature_record::kStaticsFirst + 10; w += 2) {
        const word_t start = featureRecordWord(record, w);
        const word_t end = featureRecordWord(record, w + 1);
        if (end > start) std::memset(to_ptr<void>(start), 0, end - start);
    }
}

bool featureName(word_t record, const std::uint8_t** bytes, std::int32_t* length) {
    const word_t data = featureRecordWord(record, feature_record::kModuleData);
    if (data == 0) return false;
    const word_t name = loadWord(data + static_cast<std::uint32_t>(kModuleDataNameOffset));
    if (name == 0) return false;
    *length = static_cast<std::int32_t>(loadWord(name + memory::kArrayLengthOffset));
    *bytes = to_ptr<const std::uint8_t>(name + memory::kArrayDataOffset);
    return *length >= 0;
}

std::int64_t linkInstalledFeature(word_t installedStruct, std::int64_t quota, word_t* sameName) {
    namespace s = installed_struct;
    *sameName = 0;
    const word_t record = featureRecordOfStruct(installedStruct);
    if (record == 0) return -1;
    const word_t rom0 = loadWord(installedStruct + s::kRomStart), rom1 = loadWord(installedStruct + s::kRomEnd);
    const word_t ram0 = loadWord(installedStruct + s::kRamStart), ram1 = loadWord(installedStruct + s::kRamEnd);
    const std::uint8_t* name = nullptr;
    std::int32_t nameLength = -1;
    const bool named = featureName(record, &name, &nameLength);

    int freeSlot = -1;
    std::int64_t overlap = 0;
    for (int i = 0; i < installedFeatureSlots(); ++i) {
        const word_t other = installedFeatureEntry(i);
        if (other == 0) {
            if (freeSlot < 0) freeSlot = i;
            continue;
        }
        const word_t otherRecord = featureRecordOfStruct(other);
        const std::uint8_t* otherName = nullptr;
        std::int32_t otherLength = -1;
        if (named && otherRecord != 0 && featureName(otherRecord, &otherName, &otherLength) &&
            otherLength == nameLength && std::memcmp(otherName, name, static_cast<std::size_t>(nameLength)) == 0) {
            *sameName = otherRecord;
            return -3;
        }
        if (overlap == 0) {
            if (overlaps(loadWord(other + s::kRomStart), loadWord(other + s::kRomEnd), rom0, rom1))
                overlap = -4;
            else if (overlaps(loadWord(other + s::kRamStart), loadWord(other + s::kRamEnd), ram0, ram1))
                overlap = -5;
        }
    }
    if (overlap != 0) return overlap;
    if (freeSlot < 0) return -2;
    setInstalledFeatureEntry(freeSlot, installedStruct);
    initializeFeatureRuntime(record, quota);
    return record;
}

std::int64_t featureObjectHandle(word_t featureObject) {
    std::int64_t h;
    std::memcpy(&h, to_ptr<const void>(featureObject + feature_object::kHandle), 8);
    return h;
}

void setFeatureObjectHandle(word_t featureObject, std::int64_t handle) {
    std::memcpy(to_ptr<void>(featureObject + feature_object::kHandle), &handle, 8);
}

std::uint8_t& featureObjectByte(word_t featureObject, std::uint32_t offset) {
    return *to_ptr<std::uint8_t>(featureObject + offset);
}

word_t featureObjectRecord(word_t featureObject) {
    if (featureObject == 0) return 0;
    const std::int64_t h = featureObjectHandle(featureObject);
    if (h == -1 || h == 0) return 0;
    return static_cast<word_t>(h);
}

int installedSlotOf(word_t record) {
    if (record == 0) return -1;
    for (int i = 0; i < installedFeatureSlots(); ++i)
        if (featureRecordOfStruct(installedFeatureEntry(i)) == record) return i;
    return -1;
}

word_t unlinkFeature(word_t featureObject) {
    const word_t record = featureObjectRecord(featureObject);
    if (record == 0) return 0;
    setFeatureObjectHandle(featureObject, -1);
    featureObjectByte(featureObject, feature_object::kTransition) = kTransitionNone;
    FeatureRuntimeState* st = featureRuntimeState(record);
    st->featureObject = 0;
    st->state = static_cast<std::uint8_t>(FeatureState::kUninstalled);
    return record;
}

void removeFeature(word_t record) {
    const int slot = installedSlotOf(record);
    if (slot >= 0) setInstalledFeatureEntry(slot, 0);
}

}  // namespace tarvelo
