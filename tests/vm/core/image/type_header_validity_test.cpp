// Whether an address is a valid type header: well-formed types of the
// kernel and of an installed application, and malformed ones: misplaced or
// misaligned addresses, headers that are not java.lang.Class objects, bad
// ancestors, and array element chains that loop or are too deep.
#include <gtest/gtest.h>

#include <vector>

#include "tests/vm/core/image/synthetic_image.h"
#include "vm/model/type_record.h"
#include "vm/core/image/image_directory.h"
#include "vm/model/object_header.h"

using namespace tarvelo;
using tarvelo::test::DirectoryEnvironment;
using tarvelo::test::SyntheticFeatureRecord;
using tarvelo::test::SyntheticImage;

namespace {

SyntheticFeatureRecord gApp;

constexpr std::uint8_t kArray = image::kTypeArray;
constexpr std::uint8_t kInterface = image::kTypeInterface | image::kTypeAbstract;

class TypeHeaderValidityTest : public ::testing::Test {
  public:
    void SetUp() override {
        DirectoryEnvironment::reset();
        DirectoryEnvironment::install();
        SyntheticImage& k = kernel;
        word_t o = k.object();
        string = k.classType(0, 0, {o}, 24, 4);
        sub = k.classType(0, 0, {o, string});
        abstractBase = k.abstractClass(0, image::kTypeAbstract, {o});
        iface = k.interfaceType(0, 3, {});
        intArray = k.arrayType(0, memory::kElemInt);
        stringArray = k.arrayType(0, string);
        stringArray2 = k.arrayType(0, stringArray);
        // Malformed types.
        wrongAncestorDepth = k.classType(0, 0, {o, sub});
        interfaceAncestor = k.classType(0, 0, {o, iface});
        arrayAncestor = k.classType(0, 0, {o, intArray});
        strayAncestor = k.classType(0, 0, {o, string + 4});
        rootless = k.classType(0, 0, {});
        arrayInterface = k.arrayType(0, memory::kElemInt, kArray | image::kTypeInterface);
        arrayOfStray = k.arrayType(0, string + 8);
        selfElement = k.arrayType(0, 0);
        SyntheticImage::poke(selfElement + image::kArrayElementOffset, selfElement);
        cycleA = k.arrayType(0, 0);
        cycleB = k.arrayType(0, cycleA);
        SyntheticImage::poke(cycleA + image::kArrayElementOffset, cycleB);
        notAClassObject = k.classType(0, 0, {o});
        SyntheticImage::poke(notAClassObject, memory::immortal_header(string - k.tables().typesStart));
        foreignOwner = k.classType(0, 0, {o});
        SyntheticImage::poke(foreignOwner + 4, 0x00123457u);  // feature bit, not a record
        // Array types of 255 and 256 dimensions over int.
        word_t t = intArray;
        for (int d = 2; d <= 256; ++d) {
            t = k.arrayType(0, t);
            if (d == 255) dims255 = t;
        }
        dims256 = t;

        appClass = app.classType(0, 0, {o, string});
        appArray = app.arrayType(0, appClass);
        gApp.describe(app);
        DirectoryEnvironment::installed[2] = gApp.address();

        directory.setUp(kernel.kernelImage());
        ASSERT_TRUE(directory.initialize());
    }
    void TearDown() override { DirectoryEnvironment::reset(); }

    SyntheticImage kernel{0};
    SyntheticImage app{1, kernel, gApp.address()};
    FeatureImageDirectory directory{};
    word_t string = 0, sub = 0, abstractBase = 0, iface = 0, intArray = 0, stringArray = 0, stringArray2 = 0;
    word_t wrongAncestorDepth = 0, interfaceAncestor = 0, arrayAncestor = 0, strayAncestor = 0, rootless = 0,
           arrayInterface = 0, arrayOfStray = 0, selfElement = 0, cycleA = 0, cycleB = 0, notAClassObject = 0,
           foreignOwner = 0, dims255 = 0, dims256 = 0, appClass = 0, appArray = 0;
};

TEST_F(TypeHeaderValidityTest, ValidityTable) {
    using M = word_t TypeHeaderValidityTest::*;
    struct Case {
        const char* what;
        M type;
        std::int32_t delta;  // added to the type's address
        int plain;           // neither flag
        int instantiable;    // instantiable only
        int whole;           // whole hierarchy
    };
    const Case cases[] = {
        {"class", &TypeHeaderValidityTest::string, 0, 1, 1, 1},
        {"subclass", &TypeHeaderValidityTest::sub, 0, 1, 1, 1},
        {"abstract class", &TypeHeaderValidityTest::abstractBase, 0, 1, 0, 1},
        {"interface", &TypeHeaderValidityTest::iface, 0, 1, 0, 1},
        {"int array", &TypeHeaderValidityTest::intArray, 0, 1, 1, 1},
        {"array of arrays", &TypeHeaderValidityTest::stringArray2, 0, 1, 1, 1},
        {"255 dimensions", &TypeHeaderValidityTest::dims255, 0, 1, 1, 1},
        {"application class over kernel ancestors", &TypeHeaderValidityTest::appClass, 0, 1, 1, 1},
        {"application array", &TypeHeaderValidityTest::appArray, 0, 1, 1, 1},
        // Not at a slot boundary.
        {"inside a class slot", &TypeHeaderValidityTest::string, 32, 0, 0, 0},
        {"misaligned class", &TypeHeaderValidityTest::string, 4, 0, 0, 0},
        {"misaligned abstract", &TypeHeaderValidityTest::abstractBase, 2, 0, 0, 0},
        // Headers that say too little.
        {"array and interface", &TypeHeaderValidityTest::arrayInterface, 0, 0, 0, 0},
        {"depth 0 but not Object", &TypeHeaderValidityTest::rootless, 0, 0, 0, 0},
        {"header not of type Class", &TypeHeaderValidityTest::notAClassObject, 0, 0, 0, 0},
        {"owner names no installed record", &TypeHeaderValidityTest::foreignOwner, 0, 0, 0, 0},
        // Fine on their own, broken further up or down.
        {"ancestor at the wrong depth", &TypeHeaderValidityTest::wrongAncestorDepth, 0, 1, 1, 0},
        {"interface as ancestor", &TypeHeaderValidityTest::interfaceAncestor, 0, 1, 1, 0},
        {"array as ancestor", &TypeHeaderValidityTest::arrayAncestor, 0, 1, 1, 0},
        {"ancestor not a type", &TypeHeaderValidityTest::strayAncestor, 0, 1, 1, 0},
        {"element not a type", &TypeHeaderValidityTest::arrayOfStray, 0, 1, 1, 0},
        {"element is the array itself", &TypeHeaderValidityTest::selfElement, 0, 1, 1, 0},
        {"two arrays elements of each other", &TypeHeaderValidityTest::cycleA, 0, 1, 1, 0},
        {"256 dimensions", &TypeHeaderValidityTest::dims256, 0, 1, 1, 0},
    };
    for (const Case& c : cases) {
        word_t a = this->*c.type + static_cast<word_t>(c.delta);
        EXPECT_EQ(directory.isValidTypeReference(a, false, false), c.plain) << c.what;
        EXPECT_EQ(directory.isValidTypeReference(a, true, false), c.instantiable) << c.what;
        EXPECT_EQ(directory.isValidTypeReference(a, false, true), c.whole) << c.what;
    }
}

TEST_F(TypeHeaderValidityTest, AddressesOutsideTheTypeHeadersTable) {
    ImageTables t = kernel.tables();
    const word_t addresses[] = {
        0,
        t.typesStart - 16,
        t.typesEnd,
        t.typesEnd + 16,
        // A slot boundary too close to the end of the instantiable region
        // to hold a header.
        t.concreteTypesEnd - 16,
        t.classNamesStart,
        0xFFFFFFF0u,
    };
    for (word_t a : addresses) {
        for (bool whole : {false, true}) EXPECT_EQ(directory.isValidTypeReference(a, false, whole), 0) << a;
    }
}

TEST_F(TypeHeaderValidityTest, ApplicationTypesOnlyWhileInstalled) {
    EXPECT_EQ(directory.isValidTypeReference(appClass, true, true), 1);
    DirectoryEnvironment::installed[2] = 0;
    EXPECT_EQ(directory.isValidTypeReference(appClass, false, false), 0);
    EXPECT_EQ(directory.isValidTypeReference(appArray, false, false), 0);
    // A kernel array of the application's class: its element is no longer
    // a type.
    DirectoryEnvironment::installed[2] = gApp.address();
    word_t kernelArrayOfApp = kernel.arrayType(0, appClass);
    EXPECT_EQ(directory.isValidTypeReference(kernelArrayOfApp, false, true), 1);
    DirectoryEnvironment::installed[2] = 0;
    EXPECT_EQ(directory.isValidTypeReference(kernelArrayOfApp, false, true), 0);
    EXPECT_EQ(directory.isValidTypeReference(kernelArrayOfApp, false, false), 1);
}

}  // namespace
