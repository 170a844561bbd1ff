// Class and resource names resolved over an image's name records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/vm/core/image/synthetic_image.h"
#include "vm/model/image_format.h"
#include "vm/model/class_name_resolver.h"

using namespace tarvelo;
using tarvelo::test::SyntheticImage;

namespace {

// One image with look-alike names: the same class name in several
// packages, packages of the same name under different parents, arrays of
// primitives and of classes, resources at several depths.
class ClassNameResolverTest : public ::testing::Test {
  public:
    void SetUp() override {
        SyntheticImage& i = img;
        word_t java = i.javaPackage();
        word_t lang = i.langPackage();
        word_t javax = i.package("javax");
        word_t javaxLang = i.package("lang", javax);
        word_t util = i.package("util", java);
        javaxString = i.classRecord("String", javaxLang);
        utilString = i.classRecord("String", util);
        string = i.classRecord("String", lang);
        i.classType(javaxString, 0, {i.object()});
        i.classType(utilString, 0, {i.object()});
        i.classType(string, 0x40, {i.object()}, 24, 4);
        intArray = i.arrayRecord(1, i.primitiveRecord(10));
        intArray2 = i.arrayRecord(2, i.primitiveRecord(10));
        stringArray = i.arrayRecord(1, string);
        stringArray2 = i.arrayRecord(2, string);
        // A package that is its own parent (a malformed image).
        word_t loop = i.package("loop");
        SyntheticImage::poke(loop + 8, loop);
        i.classRecord("X", loop);

        word_t resources = i.package("resources");
        word_t fonts = i.package("fonts", resources);
        font = i.resource("font.raw", fonts, "FONT");
        aText = i.resource("a.txt", resources, "A");
        top = i.resource("top.txt", 0, "TOP");
        bracketed = i.resource("[notes].txt", resources, "N");

        ImageTables t = i.tables();
        resolver.init(t.classNamesStart, t.classNamesEnd, t.resourcesStart, t.resourcesEnd);
    }

    int resolve(const std::string& name, int slotCount, word_t* out) {
        return resolver.resolveDescriptor(name.data(), name.data() + name.size(), '.', slots, slotCount, out);
    }

    SyntheticImage img{0};
    ClassNameResolver resolver{};
    word_t slots[16]{};
    word_t javaxString = 0, utilString = 0, string = 0, intArray = 0, intArray2 = 0, stringArray = 0,
           stringArray2 = 0, font = 0, aText = 0, top = 0, bracketed = 0;
};

TEST_F(ClassNameResolverTest, DescriptorsTable) {
    struct Case {
        const char* name;
        int slots;
        int result;
        word_t ClassNameResolverTest::*record;  // expected record, null for none
    };
    const Case cases[] = {
        {"java.lang.String", 8, 1, &ClassNameResolverTest::string},
        {"javax.lang.String", 8, 1, &ClassNameResolverTest::javaxString},
        {"java.util.String", 8, 1, &ClassNameResolverTest::utilString},
        {"java.lang.Strin", 8, 0, nullptr},
        {"java.lang.String.x", 8, 0, nullptr},
        {"lang.String", 8, 0, nullptr},
        {"String", 8, 0, nullptr},
        {"java..String", 8, 0, nullptr},
        {"", 8, 0, nullptr},
        {"[I", 8, 1, &ClassNameResolverTest::intArray},
        {"[[I", 8, 1, &ClassNameResolverTest::intArray2},
        {"[[[I", 8, 0, nullptr},
        {"[J", 8, 0, nullptr},
        {"[V", 8, 0, nullptr},
        {"[X", 8, 0, nullptr},
        {"[IZ", 8, 0, nullptr},
        {"[", 8, 0, nullptr},
        {"[[", 8, 0, nullptr},
        {"[Ljava.lang.String;", 8, 1, &ClassNameResolverTest::stringArray},
        {"[[Ljava.lang.String;", 8, 1, &ClassNameResolverTest::stringArray2},
        {"[Ljava.lang.String", 8, 0, nullptr},
        {"[Ljava.util.String;", 8, 0, nullptr},
        {"[L;", 8, 0, nullptr},
        {"[L[I;", 8, 0, nullptr},
        {"loop.X", 8, 0, nullptr},
        // More segments than slots: the searcher cannot search the name.
        {"java.lang.String", 2, -1, nullptr},
        {"[Ljava.lang.String;", 2, -1, nullptr},
        {"a.b.c.d.e", 4, -1, nullptr},
        {"java.lang.String", 3, 1, &ClassNameResolverTest::string},
    };
    for (const Case& c : cases) {
        word_t out = 0xDEAD;
        EXPECT_EQ(resolve(c.name, c.slots, &out), c.result) << c.name;
        EXPECT_EQ(out, c.record != nullptr ? this->*c.record : 0u) << c.name;
    }
}

TEST_F(ClassNameResolverTest, PackagesMatchedOnceStayMatchedAcrossLookups) {
    // The slots keep the packages a lookup matched; a later lookup over the
    // same slots must not be misled by what an earlier one left there.
    word_t out = 0;
    ASSERT_EQ(resolve("java.util.String", 8, &out), 1);
    ASSERT_EQ(resolve("javax.lang.String", 8, &out), 1);
    EXPECT_EQ(out, javaxString);
    ASSERT_EQ(resolve("java.lang.String", 8, &out), 1);
    EXPECT_EQ(out, string);
}

TEST_F(ClassNameResolverTest, ResourcePathsTable) {
    struct Case {
        const char* path;
        int slots;
        word_t ClassNameResolverTest::*record;
    };
    const Case cases[] = {
        {"resources/fonts/font.raw", 8, &ClassNameResolverTest::font},
        {"resources/a.txt", 8, &ClassNameResolverTest::aText},
        {"top.txt", 8, &ClassNameResolverTest::top},
        // Only class-name records can be array records: a resource's name
        // may start with '['.
        {"resources/[notes].txt", 8, &ClassNameResolverTest::bracketed},
        {"resources/fonts", 8, nullptr},
        {"fonts/font.raw", 8, nullptr},
        {"resources/fonts/font.raw/x", 8, nullptr},
        {"resources//a.txt", 8, nullptr},
        {"", 8, nullptr},
        // Too many segments: simply not found.
        {"resources/fonts/font.raw", 2, nullptr},
    };
    for (const Case& c : cases) {
        word_t r = resolver.findByPath(c.path, static_cast<std::uint32_t>(std::strlen(c.path)), slots, c.slots);
        EXPECT_EQ(r, c.record != nullptr ? this->*c.record : 0u) << c.path;
    }
}

TEST_F(ClassNameResolverTest, PrintedNames) {
    struct Case {
        word_t ClassNameResolverTest::*record;
        word_t primitive;
        char separator;
        const char* printed;
    };
    const Case cases[] = {
        {&ClassNameResolverTest::string, 0, '.', "java.lang.String"},
        {&ClassNameResolverTest::javaxString, 0, '/', "javax/lang/String"},
        {nullptr, 10, '.', "I"},
        {nullptr, 4, '.', "Z"},
        {&ClassNameResolverTest::intArray2, 0, '.', "[[I"},
        {&ClassNameResolverTest::stringArray, 0, '.', "[java.lang.String"},
        {&ClassNameResolverTest::top, 0, '/', "top.txt"},
        {&ClassNameResolverTest::font, 0, '/', "resources/fonts/font.raw"},
    };
    for (const Case& c : cases) {
        std::string out;
        PrintSink sink{[](void* ctx, int ch) { static_cast<std::string*>(ctx)->push_back(static_cast<char>(ch)); },
                       &out};
        word_t record = c.record != nullptr ? this->*c.record : img.primitiveRecord(c.primitive);
        ClassNameResolver::printName(sink, record, c.separator);
        EXPECT_EQ(out, c.printed);
    }
    // A package chain that never reaches the root prints nothing and ends.
    std::string looped;
    PrintSink sink{[](void* ctx, int ch) { static_cast<std::string*>(ctx)->push_back(static_cast<char>(ch)); },
                   &looped};
    word_t loopRecord = 0;
    ImageTables t = img.tables();
    for (word_t r = t.classNamesStart; r < t.classNamesEnd; r += 16) {
        if (std::memcmp(to_ptr<const char>(image::read_u32(to_ptr<const void>(r))), "X", 1) == 0) loopRecord = r;
    }
    ASSERT_NE(loopRecord, 0u);
    ClassNameResolver::printName(sink, loopRecord, '.');
    EXPECT_EQ(looped, "");
    EXPECT_EQ(ClassNameResolver::dottedNameLength(loopRecord), -1);
}

TEST_F(ClassNameResolverTest, DottedNameWrittenBackwards) {
    char16_t chars[20];
    std::fill(std::begin(chars), std::end(chars), u'#');
    EXPECT_EQ(ClassNameResolver::dottedNameLength(string), 16);
    ASSERT_EQ(ClassNameResolver::writeDottedName(string, chars, 19), 4);
    EXPECT_EQ(std::u16string(chars + 4, 16), u"java.lang.String");
    EXPECT_EQ(chars[3], u'#');
    // Exactly fitting, and one character short.
    EXPECT_EQ(ClassNameResolver::writeDottedName(string, chars, 15), 0);
    EXPECT_EQ(ClassNameResolver::writeDottedName(string, chars, 14), -1);
    // Array records have no dotted name of this form.
    EXPECT_EQ(ClassNameResolver::writeDottedName(stringArray, chars, 19), -1);
}

TEST(ClassNameResolverCodes, LettersAndTypeCodes) {
    const char* letters = "ZCFDBSIJV";
    for (int code = 4; code <= 12; ++code) {
        EXPECT_EQ(ClassNameResolver::letterToTypeCode(letters[code - 4]), code);
        EXPECT_EQ(ClassNameResolver::typeCodeToLetter(code), letters[code - 4]);
    }
    for (int other : {0, 3, 13, int{'L'}, int{'X'}, int{'['}}) {
        EXPECT_EQ(ClassNameResolver::letterToTypeCode(other), other);
        EXPECT_EQ(ClassNameResolver::typeCodeToLetter(other), other);
    }
}

}  // namespace
