#include "vm/core/image/image_tables.h"

#include "vm/model/image_format.h"
#include "vm/memory/feature_record.h"

namespace tarvelo {

ImageTables ImageTables::ofFeature(word_t record) {
    const auto* d = to_ptr<const std::uint32_t>(featureRecordWord(record, feature_record::kDescriptor));
    ImageTables t{};
    t.typesStart = d[image::kFeatureTypesStart];
    t.concreteTypesEnd = d[image::kFeatureConcreteTypesEnd];
    t.typesEnd = d[image::kFeatureTypesEnd];
    t.classNamesStart = d[image::kFeatureClassNamesStart];
    t.classNamesEnd = d[image::kFeatureClassNamesEnd];
    t.resourcesStart = d[image::kFeatureResourcesStart];
    t.resourcesEnd = d[image::kFeatureResourcesEnd];
    t.immutableKeys = d[image::kFeatureImmutableKeys];
    t.immutableValues = d[image::kFeatureImmutableValues];
    t.immutablesStart = d[image::kFeatureImmutablesStart];
    t.immutablesEnd = d[image::kFeatureImmutablesEnd];
    // An application's descriptor gives where its image starts, not where
    // it ends.
    t.imageStart = d[image::kFeatureImageStart];
    t.imageEnd = 0;
    return t;
}

}  // namespace tarvelo
