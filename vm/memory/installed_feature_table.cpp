// Only a firmware linked with an image refers to the table's symbols.
#include "vm/memory/installed_feature_table.h"

#include <algorithm>
#include <cstring>

#include "vm/model/image_format.h"
#include "vm/model/image_symbols.h"
#include "vm/memory/memory_environment.h"

namespace tarvelo {

namespace ifs = installed_feature;

int installedFeatureSlots() {
    const auto words = static_cast<std::int64_t>((_java_features_dynamic_end - _java_features_dynamic_start) / 4);
    const std::int64_t configured = static_cast<std::int32_t>(link_value(_java_max_nb_dynamic_features));
    return static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>({words, configured, kMaxDynamicFeatures})));
}

word_t installedFeatureEntry(int index) {
    if (index < 0 || index >= installedFeatureSlots()) return 0;
    return image::read_u32(_java_features_dynamic_start + 4 * index);
}

void setInstalledFeatureEntry(int index, word_t entry) {
    if (index < 0 || index >= installedFeatureSlots()) return;
    std::memcpy(_java_features_dynamic_start + 4 * index, &entry, 4);
}

void clearInstalledFeatureTable() {
    for (int i = 0; i < installedFeatureSlots(); ++i) setInstalledFeatureEntry(i, 0);
}

word_t installedFeatureRecord(int index) {
    word_t entry = installedFeatureEntry(index);
    if (entry == 0) return 0;
    word_t sections = image::read_u32(to_ptr<const void>(entry + ifs::kSectionTableOffset));
    if (sections == 0 || image::record_word(to_ptr<const void>(sections), ifs::kRecordCountWord) == 0)
        return 0;
    return image::record_word(to_ptr<const void>(sections), ifs::kFirstRecordWord);
}

}  // namespace tarvelo
