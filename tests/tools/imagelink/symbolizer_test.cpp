// Names for the "@...@" addresses of traces, and the listing of a method.
#include <gtest/gtest.h>

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

class Traces : public ::testing::Test {
protected:
    void SetUp() override {
        linked_ = link(R"(
.class test.T
    .method static int twice(int x)
        iadd x, x, x
        return
    .end
.end
)");
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

// An application's frames and types carry its token, "@F:", its name in
// hexadecimal, ":", its image start, "@"; they are named with the map of
// the application file of that name, at that base.
TEST_F(Traces, ApplicationTokensNameTheApplicationsOwnMethods) {
    LinkedImage app;
    std::string why;
    ASSERT_TRUE(read_map("tarvelo-image-map 1\nsize 0x200\napplication app.A\n"
                         "method 0x100 0x110 0x117 0x130 app.A.run()V\n"
                         "item 0x40 0x24 type app.A\n",
                         app, &why))
        << why;
    Symbolizer s(map_, kVerifyBase);
    s.add_application(app);
    const std::string token = "@F:6170702e41:0x20000000@";  // "app.A"
    struct Case { std::string in, out; };
    const Case cases[] = {
        {"    at app/A." + token + "@M:0x20000110:0x20000120@", "    at app/A.run()V (app.A.run()V+0x9)"},
        // Upper-case digits, as the console prints them.
        {"    at app/A.@F:6170702E41:0x20000000@@M:0x20000110:0x20000120@", "    at app/A.run()V (app.A.run()V+0x9)"},
        {token + "@M:0x20000110:0x20000117@", "app.A.run()V (app.A.run()V+0x0)"},
        {token + "@C:0x20000040@", "app.A"},
        // Another base moves every address with it.
        {"@F:6170702e41:0x30000000@@C:0x30000040@", "app.A"},
        // An application without a map, or an address its map does not
        // name, stays as it is.
        {"@F:6f74686572:0x20000000@@C:0x20000040@", "@F:6f74686572:0x20000000@@C:0x20000040@"},
        {token + "@M:0x20000114@", token + "@M:0x20000114@"},
        {"@F:6170702e4:0x20000000@@C:0x20000040@", "@F:6170702e4:0x20000000@@C:0x20000040@"},
    };
    for (const Case& c : cases) EXPECT_EQ(s.line(c.in), c.out) << c.in;
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

}  // namespace
}  // namespace tarvelo::imagelink
