// Names for the "@...@" addresses of traces, and the listing of a method.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/tools/imagelink/link_helpers.h"
#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/disassembler.h"
#include "tools/imagelink/symbolizer.h"

namespace tarvelo::imagelink {
namespace {

using namespace testing;

std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

// A class with one method, test.T.twice(I)I.
const char* const kTwice = R"(
.class test.T
    .method static int twice(int x)
        iadd x, x, x
        return
    .end
.end
)";

class Traces : public ::testing::Test {
protected:
    void SetUp() override {
        linked_ = link(kTwice);
        // The symboliser reads the map, as it would from a file.
        std::string why;
        ASSERT_TRUE(read_map(write_map(linked_->image), map_, &why)) << why;
    }
    std::unique_ptr<Linked> linked_;
    LinkedImage map_;
};

TEST_F(Traces, MethodAndInstructionAddressesAreNamed) {
    const MethodSpan& m = linked_->method("test.T.twice(I)I");
    const Symbolizer s(map_, kVerifyBase);
    struct Case { std::string in, out; };
    const Case cases[] = {
        // A frame line of the uncaught-exception print: "@M:", the method,
        // ":", the pc, "@".
        {"    at test/T.@M:" + hex(m.method) + ":" + hex(m.code + 4) + "@",
         "    at test/T.twice(I)I (test.T.twice(I)I+0x4)"},
        // The same with an "@" closing the method reference.
        {"    at test/T.@M:" + hex(m.method) + "@:" + hex(m.code + 4) + "@",
         "    at test/T.twice(I)I (test.T.twice(I)I+0x4)"},
        // A pc at the method's end (after its last instruction).
        {"    at test/T.@M:" + hex(m.method) + ":" + hex(m.code_end) + "@",
         "    at test/T.twice(I)I (test.T.twice(I)I+" + hex(m.code_end - m.code) + ")"},
        // A stack-trace element's text.
        {"@M:" + hex(m.method) + ":" + hex(m.code) + "@", "test.T.twice(I)I (test.T.twice(I)I+0x0)"},
        // A type without a name, by its header.
        {"@C:" + hex(linked_->label("_java_Ltest_T")) + "@", "test.T"},
        // Unknown addresses and other text stay as they are.
        {"@M:0x12@ and @X:0x1@", "@M:0x12@ and @X:0x1@"},
        {"no addresses here", "no addresses here"},
    };
    for (const Case& c : cases) EXPECT_EQ(s.line(c.in), c.out);
}

TEST_F(Traces, ListingNamesOperands) {
    auto l = link(R"(
.class test.D
    .method static java.lang.Object f()
        const_ref r-1, "hello"
        return
    .end
.end
)");
    const std::string text = disassemble_method(l->view, l->method("test.D.f()Ljava.lang.Object;"),
                                                symbols_of(l->image, kVerifyBase, l->image.placeholder_addresses()));
    EXPECT_NE(text.find("\"hello\""), std::string::npos) << text;
    EXPECT_NE(text.find("OPreturn_0"), std::string::npos) << text;
    EXPECT_NE(text.find("compact header"), std::string::npos) << text;
}

// Every byte value in a name, newlines included, comes back from the map as
// it was written, and each entry keeps to its own line.
TEST(ImageMaps, NamesWithEveryByteValueRoundTrip) {
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    LinkedImage image;
    image.bytes.resize(64);
    image.labels.push_back({"label " + every, 4, true});
    image.methods.push_back({8, 8, 12, 16, "method " + every});
    image.map.push_back({16, 8, "string", "\"" + every + "\""});
    image.externals.push_back("external " + every);
    const std::string text = write_map(image);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6) << text;
    LinkedImage back;
    std::string why;
    ASSERT_TRUE(read_map(text, back, &why)) << why;
    ASSERT_EQ(back.labels.size(), 1u);
    ASSERT_EQ(back.methods.size(), 1u);
    ASSERT_EQ(back.map.size(), 1u);
    ASSERT_EQ(back.externals.size(), 1u);
    EXPECT_EQ(back.labels[0].name, image.labels[0].name);
    EXPECT_EQ(back.methods[0].name, image.methods[0].name);
    EXPECT_EQ(back.map[0].kind, "string");
    EXPECT_EQ(back.map[0].name, image.map[0].name);
    EXPECT_EQ(back.externals[0], image.externals[0]);
}

// A linked image whose interned strings hold line breaks and every char
// from 1 to 0xFF: its map is read back, and the symboliser still names its
// methods.
TEST(ImageMaps, LinkedStringsWithLineBreaksKeepTheMapReadable) {
    std::string chars;
    for (int c = 1; c < 256; ++c) {
        char e[8];
        std::snprintf(e, sizeof e, "\\x%02x", c);
        chars += e;
    }
    auto linked = link(".string \"two\\nlines\"\n.string \"" + chars + "\"\n" + kTwice);
    LinkedImage map;
    std::string why;
    ASSERT_TRUE(read_map(write_map(linked->image), map, &why)) << why;
    bool found = false;
    for (const MapEntry& e : map.map) found |= e.kind == "string" && e.name == "\"two\nlines\"";
    EXPECT_TRUE(found);
    const MethodSpan& m = linked->method("test.T.twice(I)I");
    EXPECT_EQ(Symbolizer(map, kVerifyBase).line("@M:" + hex(m.method) + ":" + hex(m.code) + "@"),
              "test.T.twice(I)I (test.T.twice(I)I+0x0)");
}

// Maps of the first version carry their names unescaped.
TEST(ImageMaps, FirstVersionNamesAreReadAsTheyAre) {
    LinkedImage back;
    std::string why;
    ASSERT_TRUE(read_map("tarvelo-image-map 1\nsize 0x10\nlabel 0x4 a\\x41\\\\b\n", back, &why)) << why;
    ASSERT_EQ(back.labels.size(), 1u);
    EXPECT_EQ(back.labels[0].name, "a\\x41\\\\b");
}

// A version-2 name with an escape the writer never makes is refused.
TEST(ImageMaps, BadEscapesAreRefused) {
    for (const char* name : {"a\\q", "a\\x4", "a\\xg1", "trailing\\"}) {
        LinkedImage back;
        std::string why;
        EXPECT_FALSE(read_map(std::string("tarvelo-image-map 2\nsize 0x10\nlabel 0x4 ") + name + "\n", back, &why))
            << name;
        EXPECT_NE(why.find("line 3: bad escape"), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace tarvelo::imagelink
