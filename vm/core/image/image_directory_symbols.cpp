// The kernel image as the link placed it. Kept in its own file: only a
// firmware linked with an image refers to these symbols.
#include "vm/model/image_symbols.h"
#include "vm/core/image/image_directory.h"

// Type headers the directory names.
extern "C" const char _java_Ljava_lang_Object[];
extern "C" const char _java_Ljava_lang_Class[];

namespace tarvelo {

KernelImage KernelImage::fromLinkSymbols() {
    KernelImage k{};
    ImageTables& t = k.tables;
    t.typesStart = to_word(_java_header_types_start);
    t.concreteTypesEnd = to_word(_java_header_concretetypes_end);
    t.typesEnd = to_word(_java_header_types_end);
    t.classNamesStart = to_word(_java_class_names_start);
    t.classNamesEnd = to_word(_java_class_names_end);
    t.resourcesStart = to_word(_java_resource_names_start);
    t.resourcesEnd = to_word(_java_resource_names_end);
    t.immutableKeys = to_word(_java_immutable_Keys);
    t.immutableValues = to_word(_java_immutable_Values);
    t.immutablesStart = to_word(_java_immutables_start);
    t.immutablesEnd = to_word(_java_immutables_end);
    t.imageStart = to_word(_java_vornsection_header_start);
    t.imageEnd = to_word(_java_vornsection_end);
    k.objectType = to_word(_java_Ljava_lang_Object);
    k.classType = to_word(_java_Ljava_lang_Class);
    StaticsAreas& s = k.statics;
    s.start[StaticsAreas::kBT1] = to_word(_java_statics_bt1_start);
    s.end[StaticsAreas::kBT1] = to_word(_java_statics_bt1_end);
    s.start[StaticsAreas::kBT2] = to_word(_java_statics_bt2_start);
    s.end[StaticsAreas::kBT2] = to_word(_java_statics_bt2_end);
    s.start[StaticsAreas::kBT4] = to_word(_java_statics_bt4_start);
    s.end[StaticsAreas::kBT4] = to_word(_java_statics_bt4_end);
    s.start[StaticsAreas::kBT8] = to_word(_java_statics_bt8_start);
    s.end[StaticsAreas::kBT8] = to_word(_java_statics_bt8_end);
    s.start[StaticsAreas::kREF] = to_word(_java_statics_ref_start);
    s.end[StaticsAreas::kREF] = to_word(_java_statics_ref_end);
    return k;
}

}  // namespace tarvelo
