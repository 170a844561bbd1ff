// Class, resource and immutable lookups of the image directory over a
// kernel image and one installed application, from kernel and application
// contexts, restricted or not; the statics areas.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/vm/core/image/synthetic_image.h"
#include "vm/core/image/image_directory.h"

using namespace tarvelo;
using tarvelo::test::DirectoryEnvironment;
using tarvelo::test::SyntheticFeatureRecord;
using tarvelo::test::SyntheticImage;

namespace {

SyntheticFeatureRecord gApp;    // installed
SyntheticFeatureRecord gOther;  // owns a kernel resource, not installed

class ImageDirectoryTest : public ::testing::Test {
  public:
    void SetUp() override {
        DirectoryEnvironment::reset();
        DirectoryEnvironment::install();
        SyntheticImage& k = kernel;
        word_t lang = k.langPackage();
        word_t com = k.package("com");
        word_t pkgK = k.package("k", com);
        string = k.classType(k.classRecord("String", lang), 0x40, {k.object()}, 24, 4);
        hidden = k.classType(k.classRecord("Hidden", pkgK), 0x00, {k.object()});
        word_t namelessRecord = k.classRecord("Nameless", pkgK);
        k.classType(namelessRecord, 0x40, {k.object()});
        k.setRecordType(namelessRecord, 0);
        word_t kDir = k.package("k");
        publicText = k.resource("public.txt", kDir, "P", 0);
        appText = k.resource("app.txt", kDir, "A", gApp.address());
        otherText = k.resource("other.txt", kDir, "O", gOther.address());

        word_t appPkg = app.package("app");
        appMain = app.classType(app.classRecord("Main", appPkg), 0, {k.object()});
        // The application's own class of a kernel class's name is found first
        // from its context.
        word_t appCom = app.package("com");
        word_t appK = app.package("k", appCom);
        appHidden = app.classType(app.classRecord("Hidden", appK), 0, {k.object()});
        // The application's own class of an exported kernel class's name,
        // which cannot be found by name: its record has no type word.
        kernelShadow = k.classType(k.classRecord("Shadow", pkgK), 0x40, {k.object()});
        word_t shadowRecord = app.classRecord("Shadow", appK);
        app.classType(shadowRecord, 0, {k.object()});
        app.setRecordType(shadowRecord, 0);
        ownText = app.resource("own.txt", appPkg, "OWN");
        gApp.describe(app);
        DirectoryEnvironment::installed[0] = gApp.address();

        directory.classId = kFeatureImageDirectory;
        directory.setUp(kernel.kernelImage());
        ASSERT_TRUE(directory.initialize());
    }
    void TearDown() override { DirectoryEnvironment::reset(); }

    SyntheticImage kernel{0};
    SyntheticImage app{1, kernel, gApp.address()};
    FeatureImageDirectory directory{};
    word_t slots[8]{};
    word_t string = 0, hidden = 0, appMain = 0, appHidden = 0, kernelShadow = 0;
    word_t publicText = 0, appText = 0, otherText = 0, ownText = 0;
};

using Member = word_t ImageDirectoryTest::*;

TEST_F(ImageDirectoryTest, ClassLookupAndVisibilityTable) {
    struct Case {
        bool restricted;
        bool appContext;  // the context names the application
        bool appThread;   // the current thread runs for the application
        const char* name;
        Member expected;  // null: not found
    };
    const Case cases[] = {
        // Kernel code sees every kernel type, none of the application's.
        {false, false, false, "java.lang.String", &ImageDirectoryTest::string},
        {false, false, false, "com.k.Hidden", &ImageDirectoryTest::hidden},
        {false, false, false, "app.Main", nullptr},
        {true, false, false, "com.k.Hidden", &ImageDirectoryTest::hidden},
        // A record without a type word cannot be found, though the type exists.
        {false, false, false, "com.k.Nameless", nullptr},
        {false, true, true, "com.k.Nameless", nullptr},
        // An application context: its own types first, then the kernel's.
        {false, true, true, "app.Main", &ImageDirectoryTest::appMain},
        {false, true, true, "com.k.Hidden", &ImageDirectoryTest::appHidden},
        {false, true, true, "java.lang.String", &ImageDirectoryTest::string},
        // The application's own name hides the kernel's type of that name,
        // even when its own type cannot be found by name.
        {false, true, true, "com.k.Shadow", nullptr},
        {true, true, true, "com.k.Shadow", nullptr},
        {false, false, false, "com.k.Shadow", &ImageDirectoryTest::kernelShadow},
        // Restricted: kernel types only when exported.
        {true, true, true, "java.lang.String", &ImageDirectoryTest::string},
        {true, true, true, "app.Main", &ImageDirectoryTest::appMain},
        {true, false, true, "com.k.Hidden", nullptr},
        {true, false, true, "java.lang.String", &ImageDirectoryTest::string},
        {false, false, true, "com.k.Hidden", &ImageDirectoryTest::hidden},
        {true, false, false, "java.lang.Strin", nullptr},
    };
    for (const Case& c : cases) {
        DirectoryEnvironment::current = c.appThread ? gApp.address() : 0;
        LookupContext context{c.restricted ? 1u : 0u, c.appContext ? gApp.address() : 0u};
        word_t type = 0xDEAD;
        int found = directory.findClassByName(context, c.name, c.name + std::strlen(c.name), '.', slots, 8, &type);
        std::string label = std::string(c.name) + (c.restricted ? " restricted" : "") +
                            (c.appContext ? " app-context" : "") + (c.appThread ? " app-thread" : "");
        EXPECT_EQ(found, c.expected != nullptr ? 1 : 0) << label;
        EXPECT_EQ(type, c.expected != nullptr ? this->*c.expected : 0u) << label;
    }
}

TEST_F(ImageDirectoryTest, NamesTooDeepForTheSlotsCannotBeSearched) {
    const char name[] = "a.b.c.d.e.f.g.h.i";
    word_t type = 0;
    for (word_t feature : {word_t{0}, gApp.address()}) {
        EXPECT_EQ(directory.findClassByName(LookupContext{0, feature}, name, name + sizeof name - 1, '.', slots, 8,
                                            &type),
                  -1);
        EXPECT_EQ(type, 0u);
    }
}

TEST_F(ImageDirectoryTest, ResourceLookupAndVisibilityTable) {
    struct Case {
        bool restricted;
        bool appContext;
        bool appThread;
        bool searchKernel;
        const char* path;
        Member expected;
    };
    const Case cases[] = {
        // No thread or a kernel thread: kernel-owned resources only.
        {false, false, false, false, "k/public.txt", &ImageDirectoryTest::publicText},
        {false, false, false, false, "k/app.txt", nullptr},
        {false, false, false, false, "app/own.txt", nullptr},
        // The application's own resources; the kernel's only when asked.
        {false, true, true, false, "app/own.txt", &ImageDirectoryTest::ownText},
        {false, true, true, false, "k/public.txt", nullptr},
        {false, true, true, true, "app/own.txt", &ImageDirectoryTest::ownText},
        {false, true, true, true, "k/public.txt", &ImageDirectoryTest::publicText},
        {false, true, true, true, "k/app.txt", &ImageDirectoryTest::appText},
        {false, true, true, true, "k/other.txt", nullptr},
        // Restricted: no kernel-owned resource, its own kernel resources still.
        {true, true, true, true, "k/public.txt", nullptr},
        {true, true, true, true, "k/app.txt", &ImageDirectoryTest::appText},
        // A kernel context on the application's thread.
        {false, false, true, false, "k/public.txt", &ImageDirectoryTest::publicText},
        {false, false, true, false, "k/app.txt", &ImageDirectoryTest::appText},
        {true, false, true, false, "k/public.txt", nullptr},
        {false, false, true, false, "k/other.txt", nullptr},
    };
    for (const Case& c : cases) {
        DirectoryEnvironment::current = c.appThread ? gApp.address() : 0;
        LookupContext context{c.restricted ? 1u : 0u, c.appContext ? gApp.address() : 0u};
        word_t r = directory.findResource(context, c.path, static_cast<std::uint32_t>(std::strlen(c.path)), slots,
                                          8, c.searchKernel);
        EXPECT_EQ(r, c.expected != nullptr ? this->*c.expected : 0u)
            << c.path << (c.restricted ? " restricted" : "") << (c.appContext ? " app-context" : "")
            << (c.appThread ? " app-thread" : "") << (c.searchKernel ? " +kernel" : "");
    }
}

TEST_F(ImageDirectoryTest, ImmutableBlocksFollowTheCurrentThread) {
    ImageTables k = kernel.tables();
    ImageTables a = app.tables();
    EXPECT_EQ(directory.getImmutableBlockCount(), 1);
    EXPECT_EQ(directory.getImmutableKeys(0), k.immutableKeys);
    EXPECT_EQ(directory.getImmutableValues(0), k.immutableValues);
    EXPECT_EQ(directory.getImmutableKeys(1), 0u);

    DirectoryEnvironment::current = gApp.address();
    EXPECT_EQ(directory.getImmutableBlockCount(), 2);
    EXPECT_EQ(directory.getImmutableKeys(1), a.immutableKeys);
    EXPECT_EQ(directory.getImmutableValues(1), a.immutableValues);
    EXPECT_EQ(directory.getImmutableKeys(2), 0u);
    EXPECT_EQ(directory.getImmutableValues(-1), 0u);

    EXPECT_EQ(directory.isImmutable(kernel.immutable()), 1);
    EXPECT_EQ(directory.isImmutable(app.immutable()), 1);
    EXPECT_EQ(directory.isImmutable(k.immutablesEnd), 0);
    EXPECT_EQ(directory.isImmutable(string), 0);
    // An application no longer installed has no immutables.
    DirectoryEnvironment::installed[0] = 0;
    EXPECT_EQ(directory.isImmutable(app.immutable()), 0);
}

TEST_F(ImageDirectoryTest, StaticsAreasPassTheRamCheckAndAreZeroed) {
    const StaticsAreas& s = directory.kernel.statics;
    for (int a = 0; a < StaticsAreas::kAreas; ++a) std::memset(to_ptr(s.start[a]), 0x5A, s.end[a] - s.start[a]);
    EXPECT_TRUE(directory.checkStaticsRam());
    // The check restores what it tested.
    EXPECT_EQ(*to_ptr<std::uint8_t>(s.end[StaticsAreas::kREF] - 1), 0x5A);
    FeatureImageDirectory::startComponent(&directory);
    for (int a = 0; a < StaticsAreas::kAreas; ++a) {
        for (word_t p = s.start[a]; p < s.end[a]; ++p) ASSERT_EQ(*to_ptr<std::uint8_t>(p), 0) << a;
    }
    EXPECT_EQ(directory.isInStaticsArea(s.start[StaticsAreas::kREF]), 1);
    EXPECT_EQ(directory.isInStaticsArea(s.end[StaticsAreas::kREF] - 4), 1);
    EXPECT_EQ(directory.isInStaticsArea(s.end[StaticsAreas::kREF]), 0);
    EXPECT_EQ(directory.isInStaticsArea(s.start[StaticsAreas::kBT4]), 0);
}

}  // namespace
