// The memory layout of the linked image. Kept in its own file: only a
// firmware linked with an image refers to these symbols.
#include "vm/model/image_symbols.h"
#include "vm/memory/memory_layout.h"

// Type headers the memory system names; every image defines them.
extern "C" const char _java_Ljava_lang_Class[];
extern "C" const char _java_Ljava_lang_String[];
extern "C" const char _java_Ljava_lang_ref_WeakReference[];
extern "C" const char _java_Lyq_kf_Proxy[];
extern "C" const char _java_Lyq_sni_AutoCloseWeakRef[];

namespace tarvelo {

MemoryLayout memoryLayoutFromLinkSymbols() {
    MemoryLayout l{};
    l.heapStart = to_word(_java_heap_start);
    l.heapEnd = to_word(_java_heap_end);
    l.heapInitialSize = link_value(_java_heap_initial_size);
    l.immortalsStart = to_word(_java_immortals_start);
    l.immortalsEnd = to_word(_java_immortals_end);
    l.oomeFramesStart = to_word(_java_oome_frames_start);
    l.oomeFramesEnd = to_word(_java_oome_frames_end);
    l.staticsRefStart = to_word(_java_statics_ref_start);
    l.staticsRefEnd = to_word(_java_statics_ref_end);
    l.typesBase = to_word(_java_header_types_start);
    l.concreteTypesEnd = to_word(_java_header_concretetypes_end);
    l.typesEnd = to_word(_java_header_types_end);
    l.imageStart = to_word(_java_vornsection_header_start);
    l.imageEnd = to_word(_java_vornsection_end);
    l.outOfMemoryError = to_word(_java_Object_OutOfMemory);
    l.softRefMsPerFreeKb = link_value(_java_softRef_LRU_msPerFreeKb);
    l.classType = to_word(_java_Ljava_lang_Class);
    l.stringType = to_word(_java_Ljava_lang_String);
    l.weakReferenceType = to_word(_java_Ljava_lang_ref_WeakReference);
    l.proxyType = to_word(_java_Lyq_kf_Proxy);
    l.autoCloseWeakRefType = to_word(_java_Lyq_sni_AutoCloseWeakRef);
    // The image has no soft-reference type: soft semantics stay unused.
    l.softReferenceType = 0;
    return l;
}

}  // namespace tarvelo
