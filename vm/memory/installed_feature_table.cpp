// Only a firmware linked with an image refers to the table's symbols.
#include "vm/memory/installed_feature_table.h"

#include <algorithm>

#include "vm/core/image/image_format.h"
#include "vm/core/image/image_symbols.h"
#include "vm/memory/memory_environment.h"

namespace tarvelo {

namespace ifs = installed_feature;

word_t installedFeatureRecord(int index) {
    const auto words = static_cast<std::int64_t>((_java_features_dynamic_end - _java_features_dynamic_start) / 4);
    const std::int64_t configured = static_cast<std::int32_t>(link_value(_java_max_nb_dynamic_features));
    const std::int64_t slots = std::min<std::int64_t>({words, configured, kMaxDynamicFeatures});
    if (index < 0 || index >= slots) return 0;
    word_t entry = image::read_u32(_java_features_dynamic_start + 4 * index);
    if (entry == 0) return 0;
    word_t sections = image::read_u32(to_ptr<const void>(entry + ifs::kSectionTableOffset));
    if (sections == 0 || image::record_word(to_ptr<const void>(sections), ifs::kRecordCountWord) == 0)
        return 0;
    return image::record_word(to_ptr<const void>(sections), ifs::kFirstRecordWord);
}

}  // namespace tarvelo
