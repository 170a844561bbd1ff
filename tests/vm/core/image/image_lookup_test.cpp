// The image directory inside the virtual machine over an image linked from
// its text form (lookup_image.tvi beside this file): every named type is a
// valid type header, classes and resources are found by name with the
// kernel's visibility rules, the immutables are the image's, and the statics are
// zeroed at every start.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/vm/core/vm_scenario.h"
#include "vm/model/image_symbols.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/core/image/image_directory.h"
#include "vm/core/engine/sni.h"
#include "vm/memory/memory_environment.h"
#include "vm/model/object_header.h"

extern "C" {
extern const char _java_Ljava_lang_Object[];
extern const char _java_Ltest_lookup_Exported[];
extern const char _java_Ltest_lookup_Hidden[];
extern const char _java_Ltest_lookup_Nameless[];
extern const char _java_Ltest_lookup_Shape[];
extern const char _java_Ltest_lookup_Base[];
extern const char _java_Ltest_lookup_Derived[];
extern const char _java_AI[];
extern const char _java_AAI[];
extern const char _java_ALtest_lookup_Derived[];
extern const char _java_AALtest_lookup_Derived[];
extern const char _java_Stest_lookup_Main__flag[];
extern const char _java_Stest_lookup_Main__small[];
extern const char _java_Stest_lookup_Main__counter[];
extern const char _java_Stest_lookup_Main__wide[];
extern const char _java_Stest_lookup_Main__holder[];
}

using namespace tarvelo;
using tarvelo::test::run_vm_scenario;

namespace {

int failed(int code, const char* what) {
    std::printf("check %d failed: %s\n", code, what);
    return code;
}

std::uint32_t u32(word_t a) { return image::read_u32(to_ptr<const void>(a)); }

// An installed application's records with no types or resources of its
// own: lookups from its context reach the kernel's.
std::uint32_t gDescriptor[17];
std::uint32_t gRecord[17] = {};
word_t emptyApplication() {
    gRecord[0] = to_word(gDescriptor);
    return to_word(gRecord);
}

}  // namespace

TEST(ImageLookup, EveryNamedTypeIsAValidTypeHeader) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        const FeatureImageDirectory* d = image_directory();
        int named = 0;
        for (word_t rec = to_word(_java_class_names_start); rec < to_word(_java_class_names_end); rec += 16) {
            word_t type = u32(rec + image::kClassNameTypeOffset);
            if (type <= 12) continue;  // unnamed, or a primitive code
            ++named;
            if (d->isValidTypeReference(type, false, true) != 1) return failed(1, "valid with its hierarchy");
            std::uint8_t flags = image::type_flags(to_ptr<const void>(type));
            int instantiable = (flags & (image::kTypeAbstract | image::kTypeInterface)) == 0 ? 1 : 0;
            if (d->isValidTypeReference(type, true, false) != instantiable) return failed(2, "instantiable");
        }
        if (named < 40) return failed(3, "the prelude's types and the test's");
        // Unnamed, but a type all the same.
        if (d->isValidTypeReference(to_word(_java_Ltest_lookup_Nameless), true, true) != 1)
            return failed(4, "unnamed type");
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(ImageLookup, ClassesByNameFromKernelAndRestrictedContexts) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        struct Case {
            const char* name;
            const char* kernel;      // found from the kernel (null: not found)
            const char* restricted;  // found from a restricted application context
        };
        const Case cases[] = {
            {"test.lookup.Exported", _java_Ltest_lookup_Exported, _java_Ltest_lookup_Exported},
            {"test.lookup.Hidden", _java_Ltest_lookup_Hidden, nullptr},
            {"test.lookup.Nameless", nullptr, nullptr},
            {"test.lookup.Shape", _java_Ltest_lookup_Shape, _java_Ltest_lookup_Shape},
            {"test.lookup.Base", _java_Ltest_lookup_Base, _java_Ltest_lookup_Base},
            {"test.lookup.Derived", _java_Ltest_lookup_Derived, _java_Ltest_lookup_Derived},
            {"java.lang.Object", _java_Ljava_lang_Object, _java_Ljava_lang_Object},
            {"[I", _java_AI, _java_AI},
            {"[[I", _java_AAI, _java_AAI},
            {"[[[I", nullptr, nullptr},
            // Only Derived[][] is declared exported; Derived[] is not.
            {"[Ltest.lookup.Derived;", _java_ALtest_lookup_Derived, nullptr},
            {"[[Ltest.lookup.Derived;", _java_AALtest_lookup_Derived, _java_AALtest_lookup_Derived},
            {"[Ltest.lookup.Hidden;", nullptr, nullptr},
            {"test.lookup", nullptr, nullptr},
            {"test.lookup.Main.main", nullptr, nullptr},
        };
        const FeatureImageDirectory* d = image_directory();
        const LookupContext contexts[] = {{0, 0}, {1, emptyApplication()}};
        word_t slots[8];
        int i = 10;
        for (const Case& c : cases) {
            ++i;
            for (const LookupContext& context : contexts) {
                const char* expected = context.restricted != 0 ? c.restricted : c.kernel;
                word_t type = 0;
                int found = d->findClassByName(context, c.name, c.name + std::strlen(c.name), '.', slots, 8, &type);
                if (found != (expected != nullptr ? 1 : 0) || type != to_word(expected)) return failed(i, c.name);
            }
        }
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(ImageLookup, ResourcesByPath) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        struct Case {
            const char* path;
            const char* data;  // null: not found
        };
        const Case cases[] = {
            {"resources/fonts/font.raw", "FONT"},
            {"top.txt", "top level\n"},
            {"fonts/font.raw", nullptr},
            {"resources/font.raw", nullptr},
            {"resources/fonts", nullptr},
            {"/top.txt", nullptr},
        };
        const FeatureImageDirectory* d = image_directory();
        word_t slots[8];
        int i = 10;
        for (const Case& c : cases) {
            ++i;
            auto length = static_cast<std::uint32_t>(std::strlen(c.path));
            word_t rec = d->findResource(LookupContext{}, c.path, length, slots, 8, false);
            if ((rec != 0) != (c.data != nullptr)) return failed(i, c.path);
            if (rec == 0) continue;
            if (u32(rec + image::kResourceSizeOffset) != std::strlen(c.data) ||
                std::memcmp(to_ptr<const char>(u32(rec + image::kResourceDataOffset)), c.data, std::strlen(c.data)) != 0)
                return failed(i, "resource bytes");
        }
        // The kernel's resources from an application context: only when
        // asked for; on the application's thread, never when restricted.
        const char path[] = "top.txt";
        word_t app = emptyApplication();
        if (d->findResource(LookupContext{0, app}, path, 7, slots, 8, false) != 0) return failed(1, "not asked");
        if (d->findResource(LookupContext{0, app}, path, 7, slots, 8, true) == 0) return failed(2, "asked");
        if (d->findResource(LookupContext{1, app}, path, 7, slots, 8, true) == 0) return failed(3, "kernel thread");
        MemoryEnvironment env = memoryEnvironment();
        env.currentOwnerFeature = [] { return to_word(gRecord); };
        setMemoryEnvironment(env);
        if (d->findResource(LookupContext{0, app}, path, 7, slots, 8, true) == 0) return failed(4, "app thread");
        if (d->findResource(LookupContext{1, app}, path, 7, slots, 8, true) != 0) return failed(5, "restricted");
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(ImageLookup, ImmutablesAreTheImages) {
    auto r = run_vm_scenario([] {
        SNI_createVM();
        const FeatureImageDirectory* d = image_directory();
        if (d->getImmutableBlockCount() != 1) return failed(1, "one block without an application thread");
        word_t keys = d->getImmutableKeys(0);
        word_t values = d->getImmutableValues(0);
        if (keys != to_word(_java_immutable_Keys) || values != to_word(_java_immutable_Values))
            return failed(2, "kernel block");
        if (u32(values + memory::kArrayLengthOffset) != 1) return failed(3, "one immutable");
        word_t answer = u32(values + memory::kArrayDataOffset);
        if (d->isImmutable(answer) != 1 || u32(answer + memory::kArrayLengthOffset) != 1 ||
            u32(answer + memory::kArrayDataOffset) != 42)
            return failed(4, "the answer");
        if (d->isImmutable(to_word(_java_Object_OutOfMemory)) != 1) return failed(5, "pre-built error");
        if (d->isImmutable(to_word(_java_Ltest_lookup_Exported)) != 0) return failed(6, "a type header");
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}

TEST(ImageLookup, StaticFieldsReadZeroAfterEveryStart) {
    auto r = run_vm_scenario([] {
        void* vm = SNI_createVM();
        const FeatureImageDirectory* d = image_directory();
        if (d->isInStaticsArea(to_word(_java_Stest_lookup_Main__holder)) != 1 ||
            d->isInStaticsArea(to_word(_java_Stest_lookup_Main__counter)) != 0)
            return failed(1, "reference statics area");
        for (int run = 0; run < 2; ++run) {
            *to_ptr<std::uint8_t>(to_word(_java_Stest_lookup_Main__flag)) = 1;
            *to_ptr<std::int16_t>(to_word(_java_Stest_lookup_Main__small)) = -2;
            *to_ptr<std::int32_t>(to_word(_java_Stest_lookup_Main__counter)) = 7;
            std::int64_t wide = -1;
            std::memcpy(to_ptr(to_word(_java_Stest_lookup_Main__wide)), &wide, 8);
            *to_ptr<std::uint32_t>(to_word(_java_Stest_lookup_Main__holder)) = to_word(_java_Object_OutOfMemory);
            if (SNI_startVM(vm, 0, nullptr) != 0) return failed(2, "start");
            std::int64_t wideAfter = 1;
            std::memcpy(&wideAfter, to_ptr(to_word(_java_Stest_lookup_Main__wide)), 8);
            if (*to_ptr<std::uint8_t>(to_word(_java_Stest_lookup_Main__flag)) != 0 ||
                *to_ptr<std::int16_t>(to_word(_java_Stest_lookup_Main__small)) != 0 ||
                *to_ptr<std::int32_t>(to_word(_java_Stest_lookup_Main__counter)) != 0 || wideAfter != 0 ||
                *to_ptr<std::uint32_t>(to_word(_java_Stest_lookup_Main__holder)) != 0)
                return failed(3, "statics zeroed");
        }
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0) << r.output;
}
