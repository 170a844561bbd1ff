// Assignability, instance, array-store and interface tests over a small
// class library: classes, an abstract class, interfaces with
// super-interfaces and shared ids, arrays of primitives, classes and arrays.
#include <gtest/gtest.h>

#include <vector>

#include "tests/vm/core/image/synthetic_image.h"
#include "vm/model/type_record.h"
#include "vm/core/image/instance_tests.h"
#include "vm/memory/memory_layout.h"
#include "vm/model/object_header.h"

using namespace tarvelo;
using tarvelo::test::SyntheticImage;

namespace {

constexpr std::uint8_t kArray = image::kTypeArray;

// Objects of the tests, in static memory: header, owner, then the length
// and elements of arrays.
std::uint32_t gObjects[64];

class TypeTestsTest : public ::testing::Test {
  public:
    void SetUp() override {
        SyntheticImage& k = img;
        object = k.object();
        string = k.classType(0, 0, {object}, 24, 4);
        iterable = k.interfaceType(0, 2, {});
        collection = k.interfaceType(0, 3, {iterable});
        list = k.interfaceType(0, 4, {collection, iterable});
        cloneable = k.interfaceType(0, 0, {});
        serializable = k.interfaceType(0, 1, {});
        // Shares id 0 with Cloneable.
        sharedId = k.interfaceType(0, 0, {});
        runnable = k.interfaceType(0, 5, {});
        word_t listTable = k.interfaceTable({{2, iterable}, {3, collection}, {4, list}});
        abstractList = k.abstractClass(0, image::kTypeAbstract, {object}, listTable);
        arrayList = k.classType(0, 0, {object, abstractList}, 8, 0, listTable);
        subList = k.classType(0, 0, {object, abstractList, arrayList}, 8, 0, listTable);
        unrelated = k.classType(0, 0, {object, abstractList});
        cloneMe = k.classType(0, 0, {object}, 8, 0, k.interfaceTable({{0, cloneable}}));
        intArray = k.arrayType(0, memory::kElemInt, kArray);
        longArray = k.arrayType(0, memory::kElemLong, kArray);
        intArray2 = k.arrayType(0, intArray, kArray);
        objectArray = k.arrayType(0, object, kArray);
        objectArray2 = k.arrayType(0, objectArray, kArray);
        stringArray = k.arrayType(0, string, kArray);
        stringArray2 = k.arrayType(0, stringArray, kArray);
        listArray = k.arrayType(0, list, kArray);
        loopA = k.arrayType(0, 0, kArray);
        loopB = k.arrayType(0, 0, kArray);
        SyntheticImage::poke(loopA + image::kArrayElementOffset, loopA);
        SyntheticImage::poke(loopB + image::kArrayElementOffset, loopB);

        MemoryLayout layout{};
        layout.typesBase = img.tables().typesStart;
        setMemoryLayout(layout);
    }
    void TearDown() override { setMemoryLayout(MemoryLayout{}); }

    // An object (or an empty array) of `type` in static memory.
    word_t objectOf(word_t type, int slot) {
        std::uint32_t* o = gObjects + 4 * slot;
        o[0] = memory::immortal_header(type - img.tables().typesStart);
        o[1] = 0;
        o[2] = 0;
        return to_word(o);
    }

    SyntheticImage img{0};
    word_t object = 0, string = 0, iterable = 0, collection = 0, list = 0, cloneable = 0, serializable = 0,
           sharedId = 0, runnable = 0, abstractList = 0, arrayList = 0, subList = 0, unrelated = 0, cloneMe = 0,
           intArray = 0, longArray = 0, intArray2 = 0, objectArray = 0, objectArray2 = 0, stringArray = 0,
           stringArray2 = 0, listArray = 0, loopA = 0, loopB = 0;
};

using M = word_t TypeTestsTest::*;

TEST_F(TypeTestsTest, AssignabilityTable) {
    struct Case {
        M source;
        M target;
        int expected;
    };
    using T = TypeTestsTest;
    const Case cases[] = {
        // Arrays of primitives: only to themselves and Object.
        {&T::intArray, &T::intArray, 1},
        {&T::intArray, &T::object, 1},
        {&T::intArray, &T::longArray, 0},
        {&T::intArray, &T::objectArray, 0},
        {&T::intArray, &T::cloneable, 0},
        {&T::intArray, &T::serializable, 0},
        {&T::intArray, &T::iterable, 0},
        {&T::intArray2, &T::objectArray, 1},
        {&T::intArray2, &T::intArray, 0},
        // Arrays of references follow their elements.
        {&T::stringArray2, &T::objectArray2, 1},
        {&T::stringArray2, &T::objectArray, 1},
        {&T::stringArray2, &T::stringArray, 0},
        {&T::stringArray, &T::objectArray, 1},
        {&T::objectArray, &T::stringArray, 0},
        {&T::listArray, &T::objectArray, 1},
        {&T::objectArray, &T::listArray, 0},
        {&T::object, &T::objectArray, 0},
        {&T::arrayList, &T::objectArray, 0},
        // Interfaces: to Object and to their super-interfaces only.
        {&T::list, &T::object, 1},
        {&T::list, &T::collection, 1},
        {&T::list, &T::iterable, 1},
        {&T::list, &T::list, 1},
        {&T::collection, &T::list, 0},
        {&T::list, &T::string, 0},
        {&T::list, &T::arrayList, 0},
        {&T::list, &T::intArray, 0},
        {&T::iterable, &T::collection, 0},
        // Classes: through the hierarchy and the interface table.
        {&T::arrayList, &T::list, 1},
        {&T::arrayList, &T::collection, 1},
        {&T::arrayList, &T::iterable, 1},
        {&T::arrayList, &T::object, 1},
        {&T::arrayList, &T::abstractList, 1},
        {&T::arrayList, &T::runnable, 0},
        {&T::subList, &T::arrayList, 1},
        {&T::subList, &T::list, 1},
        {&T::arrayList, &T::subList, 0},
        {&T::unrelated, &T::arrayList, 0},
        {&T::string, &T::object, 1},
        {&T::object, &T::string, 0},
        {&T::abstractList, &T::list, 1},
        // Interfaces sharing an id are told apart by the interface itself.
        {&T::cloneMe, &T::cloneable, 1},
        {&T::cloneMe, &T::sharedId, 0},
        {&T::arrayList, &T::cloneable, 0},
        // A malformed image whose array types are their own elements.
        {&T::loopA, &T::loopB, 0},
        {&T::loopA, &T::loopA, 1},
    };
    int i = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(VMJProcessor::isAssignable(this->*c.source, this->*c.target), c.expected) << "case " << i;
        ++i;
    }
}

TEST_F(TypeTestsTest, InstanceAndArrayStoreChecks) {
    word_t aList = objectOf(arrayList, 0);
    word_t aString = objectOf(string, 1);
    word_t anObject = objectOf(object, 2);
    word_t strings = objectOf(stringArray, 3);
    word_t objects = objectOf(objectArray, 4);
    word_t ints = objectOf(intArray, 5);
    word_t lists = objectOf(listArray, 6);

    EXPECT_EQ(VMJProcessor::isInstance(list, aList), 1);
    EXPECT_EQ(VMJProcessor::isInstance(string, aList), 0);
    EXPECT_EQ(VMJProcessor::isInstance(object, ints), 1);
    EXPECT_EQ(VMJProcessor::isInstance(cloneable, ints), 0);

    struct Case {
        word_t array;
        word_t value;
        int expected;
    };
    const Case cases[] = {
        {strings, 0, 1},           {strings, aString, 1},  {strings, anObject, 0}, {objects, aString, 1},
        {objects, ints, 1},        {objects, 0, 1},        {lists, aList, 1},      {lists, aString, 0},
        {ints, 0, 1},              {ints, aString, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(VMJProcessor::arrayStoreCheck(c.array, c.value), c.expected);
}

TEST_F(TypeTestsTest, InterfaceTableAndSuperInterfaces) {
    EXPECT_EQ(VMJProcessor::interfaceTest(arrayList, list), 1);
    EXPECT_EQ(VMJProcessor::interfaceTest(arrayList, runnable), 0);   // id above the table
    EXPECT_EQ(VMJProcessor::interfaceTest(arrayList, cloneable), 0);  // id below the table
    EXPECT_EQ(VMJProcessor::interfaceTest(string, list), 0);          // no table
    EXPECT_EQ(VMJProcessor::interfaceTest(cloneMe, sharedId), 0);
    EXPECT_EQ(VMJProcessor::hierarchyContains(list, iterable), 1);
    EXPECT_EQ(VMJProcessor::hierarchyContains(list, collection), 1);
    EXPECT_EQ(VMJProcessor::hierarchyContains(collection, list), 0);
    EXPECT_EQ(VMJProcessor::hierarchyContains(iterable, iterable), 0);  // no table
}

}  // namespace
