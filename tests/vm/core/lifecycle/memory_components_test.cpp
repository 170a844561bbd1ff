// The memory manager and the image directory inside the virtual machine,
// over the minimal image: built from the image's regions and types, reset
// at every start, and answering lookups over the image's own records.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/vm/core/vm_scenario.h"
#include "vm/model/image_symbols.h"
#include "vm/model/string_record.h"
#include "vm/core/image/image_directory.h"
#include "vm/core/lifecycle/component_table.h"
#include "vm/core/lifecycle/ostrevan.h"
#include "vm/core/engine/sni.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/installed_feature_table.h"
#include "vm/memory/memory_environment.h"
#include "vm/memory/object_model.h"

extern "C" const char _java_Ljava_lang_Object[];
extern "C" const char _java_Ljava_lang_Class[];
extern "C" const char _java_Ljava_lang_String[];
extern "C" const char _java_Ljava_lang_Throwable[];
extern "C" const char _java_Ljava_lang_OutOfMemoryError[];
extern "C" const char _java_Ljava_lang_ref_Reference[];
extern "C" const char _java_Ljava_lang_ref_WeakReference[];
extern "C" const char _java_Lyq_kf_Proxy[];
extern "C" const char _java_Lyq_sni_AutoCloseWeakRef[];
extern "C" const char _java_AC[];
extern "C" const char _java_AI[];
extern "C" const char _java_ALjava_lang_String[];
extern "C" const char _java_ALjava_lang_Object[];

using namespace tarvelo;
using tarvelo::test::run_vm_scenario;

namespace {

// Fails the scenario with a message the parent prints.
int failed(int code, const char* what) {
    std::printf("check %d failed: %s\n", code, what);
    return code;
}

struct StaticsArea {
    const char* start;
    const char* end;
};
const StaticsArea kStatics[] = {
    {_java_statics_bt1_start, _java_statics_bt1_end}, {_java_statics_bt2_start, _java_statics_bt2_end},
    {_java_statics_bt4_start, _java_statics_bt4_end}, {_java_statics_bt8_start, _java_statics_bt8_end},
    {_java_statics_ref_start, _java_statics_ref_end},
};

}  // namespace

TEST(MemoryComponents, BuiltFromTheImageRegionsAndTypes) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        HeapSet* hs = heapSet();
        if (hs == nullptr || ostrevan()->state != kVMInitialized) return failed(1, "created");
        const MemoryLayout& l = memoryLayout();
        if (l.classType != to_word(_java_Ljava_lang_Class) ||
            l.weakReferenceType != to_word(_java_Ljava_lang_ref_WeakReference) ||
            l.proxyType != to_word(_java_Lyq_kf_Proxy) ||
            l.autoCloseWeakRefType != to_word(_java_Lyq_sni_AutoCloseWeakRef))
            return failed(2, "types from the image's symbols");
        if (l.outOfMemoryError != to_word(_java_Object_OutOfMemory)) return failed(3, "pre-built error");
        if (hs->maxMemory() != 900000u || hs->totalMemory() != 900000u) return failed(4, "main heap size");
        if (hs->immortalHeap.currentSize() != 32756u) return failed(5, "immortal heap size");
        if (SNI_startVM(vm, 0, nullptr) != 0) return failed(6, "start");
        if (hs->freeMemory() != 900000u - 4u) return failed(7, "free after reset");
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(MemoryComponents, StaticsAndHeapsAreResetAtEveryStart) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        HeapSet* hs = heapSet();
        for (int run = 0; run < 3; ++run) {
            // What creation or a previous run leaves behind (the main heap
            // is laid out by the first start). The statics are dirtied last:
            // a collection would take the pattern in REF for references.
            if (hs->allocateImmortalArray(to_word(_java_AI), 12, 3) == 0) return failed(1, "immortal array");
            if (run > 0 && hs->allocateObject(to_word(_java_Ljava_lang_String)) == 0) return failed(2, "object");
            for (const StaticsArea& a : kStatics)
                std::memset(const_cast<char*>(a.start), 0xA5, static_cast<std::size_t>(a.end - a.start));
            if (SNI_startVM(vm, 0, nullptr) != 0) return failed(3, "start");
            for (const StaticsArea& a : kStatics) {
                for (const char* p = a.start; p != a.end; ++p)
                    if (*p != 0) return failed(4, "statics zeroed");
            }
            if (hs->immortalHeap.top != hs->immortalHeap.start || hs->immortalHeap.firstHeader != 0)
                return failed(5, "immortal heap emptied");
            if (hs->freeMemory() != hs->totalMemory() - 4u || hs->mainHeap.freeCount != 1)
                return failed(6, "main heap emptied");
        }
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(MemoryComponents, ReleaseHandlersTakeTheHighestFreeSlotUntilTheTableIsFull) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        HeapSet* hs = heapSet();
        // The kernel feature component (initialised first, being created
        // last) and the soft-reference policy registered when they
        // initialised.
        if (hs->releaseHandlers[2] == nullptr || hs->releaseHandlers[1] != &hs->softPolicy.handler ||
            hs->releaseHandlers[0] != nullptr)
            return failed(1, "feature component and policy in the highest slots");
        static MemoryReleaseHandlerOps ops{};
        static MemoryReleaseHandler other{&ops};
        if (!hs->registerReleaseHandler(&other) || hs->releaseHandlers[0] != &other) return failed(3, "last slot");
        // One more handler initialising finds the table full.
        if (component_initialize(&hs->softPolicy.component)) return failed(4, "refused");
        return tarvelo::test::as_status(SNI_startVM(vm, 0, nullptr));
    });
    EXPECT_EQ(r.exit_status, tarvelo::test::as_status(-128)) << r.output;
}

TEST(MemoryComponents, InstalledFeatureSlotsComeFromTheImageTable) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        // Two installed applications: an InstalledFeatureStruct whose word 6
        // is the section table, whose word 17 is record 0, the FeatureRecord.
        static std::uint32_t records[2][17];
        static std::uint32_t sections[3][18];
        static std::uint32_t structs[3][17];
        for (int i = 0; i < 3; ++i) {
            sections[i][0] = i < 2 ? 1 : 0;  // the third has no records
            sections[i][17] = i < 2 ? to_word(records[i]) : 0;
            structs[i][installed_feature::kSectionTableOffset / 4] = to_word(sections[i]);
        }
        auto* table = to_ptr<std::uint32_t>(to_word(_java_features_dynamic_start));
        table[0] = to_word(structs[0]);
        table[5] = to_word(structs[1]);
        table[15] = to_word(structs[2]);
        const MemoryEnvironment& env = memoryEnvironment();
        struct Case {
            int slot;
            word_t record;
        };
        const Case cases[] = {{0, to_word(records[0])}, {1, 0}, {5, to_word(records[1])}, {15, 0}, {16, 0}, {-1, 0}};
        int i = 0;
        for (const Case& c : cases) {
            ++i;
            if (env.featureRecord(c.slot) != c.record) return failed(i, "slot");
        }
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(ImageDirectoryInVM, ImageTypesAreValidTypeHeaders) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        struct Case {
            const char* type;
            int instantiable;  // expected with the instantiable flag
            int any;           // expected without it
        };
        const Case cases[] = {
            {_java_Ljava_lang_Object, 1, 1},        {_java_Ljava_lang_Class, 1, 1},
            {_java_Ljava_lang_String, 1, 1},        {_java_Ljava_lang_Throwable, 1, 1},
            {_java_Ljava_lang_OutOfMemoryError, 1, 1}, {_java_Ljava_lang_ref_WeakReference, 1, 1},
            {_java_Lyq_kf_Proxy, 1, 1},             {_java_Lyq_sni_AutoCloseWeakRef, 1, 1},
            {_java_AC, 1, 1},                       {_java_AI, 1, 1},
            {_java_ALjava_lang_String, 1, 1},       {_java_ALjava_lang_Object, 1, 1},
            // Abstract: valid, but not where an instantiable type is required.
            {_java_Ljava_lang_ref_Reference, 0, 1},
            // Not type headers.
            {_java_Ljava_lang_String + 16, 0, 0},   {_java_Object_OutOfMemory, 0, 0},
            {_java_header_types_end, 0, 0},         {_java_header_types_start - 16, 0, 0},
        };
        const FeatureImageDirectory* d = image_directory();
        int i = 10;
        for (const Case& c : cases) {
            ++i;
            word_t t = to_word(c.type);
            for (bool whole : {false, true}) {
                if (d->isValidTypeReference(t, true, whole) != c.instantiable) return failed(i, "instantiable");
                if (d->isValidTypeReference(t, false, whole) != c.any) return failed(i, "any");
            }
        }
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(ImageDirectoryInVM, FindsTheImageClassesAndResources) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        struct Case {
            const char* name;
            const char* type;  // null: not found
        };
        const Case cases[] = {
            {"java.lang.Object", _java_Ljava_lang_Object},
            {"java.lang.ref.WeakReference", _java_Ljava_lang_ref_WeakReference},
            {"yq.sni.AutoCloseWeakRef", _java_Lyq_sni_AutoCloseWeakRef},
            {"[I", _java_AI},
            {"[C", _java_AC},
            {"[Ljava.lang.String;", _java_ALjava_lang_String},
            {"[J", nullptr},
            {"[[I", nullptr},
            {"java.lang.ref.Weak", nullptr},
            {"ref.WeakReference", nullptr},
            // A primitive record's one-byte name: its type word is a code,
            // not a type header.
            {"\x0a", nullptr},
        };
        const FeatureImageDirectory* d = image_directory();
        word_t slots[8];
        int i = 10;
        for (const Case& c : cases) {
            ++i;
            word_t type = 0;
            int found = d->findClassByName(LookupContext{}, c.name, c.name + std::strlen(c.name), '.',
                                           slots, 8, &type);
            if (found != (c.type != nullptr ? 1 : 0) || type != to_word(c.type)) return failed(i, c.name);
        }
        const char path[] = "resources/hello.txt";
        word_t resource = d->findResource(LookupContext{}, path, sizeof path - 1, slots, 8, false);
        if (resource == 0) return failed(1, "resource found");
        const auto* rec = to_ptr<const std::uint32_t>(resource);
        if (rec[3] != 5 || std::memcmp(to_ptr<const char>(rec[4]), "hello", 5) != 0)
            return failed(2, "resource record");
        if (d->findResource(LookupContext{}, "hello.txt", 9, slots, 8, false) != 0)
            return failed(3, "resource without its directory");
        if (d->isImmutable(to_word(_java_Object_OutOfMemory)) != 1) return failed(4, "immutable");
        if (d->isInStaticsArea(to_word(_java_statics_ref_start)) != 1 ||
            d->isInStaticsArea(to_word(_java_statics_ref_end)) != 0)
            return failed(5, "statics area");
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}
