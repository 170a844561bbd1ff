// Malformed image sources: each gets an error naming its file and line,
// and the linker writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/tools/imagelink/link_helpers.h"
#include "tools/imagelink/text_parser.h"

namespace tarvelo::imagelink {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// `body` marks the faulty line with "<<<"; returns it without the mark and
// the file line it lands on.
std::pair<std::string, int> marked(const std::string& body) {
    const std::size_t at = body.find("<<<");
    EXPECT_NE(at, std::string::npos);
    const std::string text = body.substr(0, at) + body.substr(at + 3);
    const std::string prefix = with_prelude("");
    int line = 1;
    for (char c : prefix + body.substr(0, at)) line += c == '\n';
    return {text, line};
}

TEST(TextParser, MalformedSourcesNameTheirLine) {
    struct Case { const char* body; const char* message; };
    const Case cases[] = {
        {"<<<.klass test.X\n", "unknown directive '.klass'"},
        {"<<<.string \"abc\n", "unterminated string"},
        {"<<<.string \"a\\qb\"\n", "unknown escape"},
        {"<<<.config _java_heap_sizes 10\n", "unknown configuration symbol"},
        {".class test.X\n<<<    .method static void f()\n        return\n", "is not closed with .end"},
        {"<<<.class test.X extends test.Nowhere\n.end\n", "unknown type 'test.Nowhere'"},
        {".class test.X\n    .method static void f()\n<<<        frob p5\n    .end\n.end\n", "unknown instruction 'frob'"},
        {".class test.X\n    .method static void f()\n<<<        goto nowhere\n        return\n    .end\n.end\n",
         "undefined label 'nowhere'"},
        {".class test.X\n    .method static void f()\n<<<        const p9, 1\n        return\n    .end\n.end\n",
         "lies above the frame"},
        {".class test.X\n    .method static void f()\n<<<        move r0, p-1\n        return\n    .end\n.end\n",
         "is a reference register"},
        {".class test.X\n    .method static void f(int x)\n<<<        ifeq x, 300, out\n    out:\n        return\n    .end\n.end\n",
         "out of range"},
        {".class test.X\n    .method static void f(int x)\n    back:\n<<<        tableswitch x, 0, back, back\n        return\n    .end\n.end\n",
         "switch target must follow"},
        {".class test.X\n    .method static void f()\n<<<        getfield p-1, r0, nothing\n        return\n    .end\n.end\n",
         "unknown field 'nothing'"},
        {".class test.X\n    .method static void f()\n<<<        invokevirtual java.lang.Object.cloneNative\n        return\n    .end\n.end\n",
         "is static"},
        {".class test.X\n    .method static void f()\n        return\n    .end\n<<<    .method static void f()\n        return\n    .end\n.end\n",
         "declared twice"},
        {".class test.X\n<<<    .method static native void f(java.lang.String s) sni Java_f\n    .end\n.end\n", "takes arrays"},
        {"<<<.class test.X implements java.lang.Runnable\n.end\n", "does not implement"},
        {"<<<.class test.X extends test.Y\n.end\n.class test.Y extends test.X\n.end\n", "form a cycle"},
        {".class test.X\n    .method static void f()\n    a:\n<<<    a:\n        return\n    .end\n.end\n", "defined twice"},
        {".class test.X\n<<<    .method static void f()\n    only_a_label:\n    .end\n.end\n", "runs off the end"},
        {".class test.X\n<<<    .method static void f()\n        .byte 0x00\n    .end\n.end\n", "runs off the end"},
        {"<<<.immutable x int[] = { 1, 2.5 }\n", "floating value"},
        {"<<<.resource \"/r/file\" \"no-such-file\"\n", "cannot read the resource file"},
        {".resource \"/r/same\" \"" TARVELO_TEST_DATA_DIR "/hello.txt\"\n<<<.resource \"/r/same\" \"" TARVELO_TEST_DATA_DIR
         "/hello.txt\"\n",
         "declared twice"},
        {"<<<.include \"no-such-file.tvi\"\n", "cannot find the included file"},
        {"<<<.extend test.Nothing\n.end\n", "no class or interface of that name is declared before"},
        {"<<<.extend int[]\n.end\n", "no class or interface"},
        {".class test.X\n    .method static void f()\n        return\n    .end\n.end\n.extend test.X\n<<<    .method static void f()\n        return\n    .end\n.end\n",
         "declared twice"},
        // Link-time constants and the calls the linker replaces by them.
        {".constant \"k\" 1\n<<<.constant \"k\" 2\n", "constant \"k\" declared twice"},
        {".class test.X\n<<<    .method static native int get(int k) constant VMNative_get\n    .end\n.end\n",
         "a constant native is static, takes the constant's name"},
        {".class test.X\n    .method static int f()\n        const_ref r0, \"nope\"\n<<<        invokestatic yq.zum.Constants.getInt, p0, r0\n"
         "        move p5, p-1\n        return\n    .end\n.end\n",
         "no constant named \"nope\""},
        {".constant \"k\" 1\n.class test.X\n    .method static int f()\n        const_ref r1, \"k\"\n<<<        invokestatic yq.zum.Constants.getInt, p0, r0\n"
         "        move p5, p-1\n        return\n    .end\n.end\n",
         "takes its constant's name as a string loaded into r0"},
        {".constant \"k\" 1\n.class test.X\n    .method static int f()\n        const_ref r0, \"k\"\n    there:\n"
         "<<<        invokestatic yq.zum.Constants.getInt, p0, r0\n        move p5, p-1\n        return\n    .end\n.end\n",
         "by the instruction just before the call"},
        {".constant \"k\" 300\n.class test.X\n    .method static int f()\n        const_ref r0, \"k\"\n<<<        invokestatic yq.zum.Constants.getByte, p0, r0\n"
         "        move p5, p-1\n        return\n    .end\n.end\n",
         "is not a byte"},
        {".constant \"k\" 1\n.class test.X\n    .method static void f()\n        const_ref r0, \"k\"\n<<<        invokestatic yq.zum.Constants.getString, p0, r0\n"
         "        return\n    .end\n.end\n",
         "is not a string"},
        {".constant \"k\" \"text\"\n.class test.X\n    .method static void f()\n        const_ref r0, \"k\"\n<<<        invokestatic yq.zum.Constants.getLong, p0, r0\n"
         "        return\n    .end\n.end\n",
         "is not a long"},
    };
    for (const Case& c : cases) {
        const auto [text, line] = marked(c.body);
        const std::string err = link_error(text);
        EXPECT_NE(err.find("test.tvi:" + std::to_string(line) + ": error: "), std::string::npos)
            << "expected line " << line << " in: " << err << "\nfor:\n" << c.body;
        EXPECT_NE(err.find(c.message), std::string::npos) << err << "\nfor:\n" << c.body;
    }
}

TEST(TextParser, ErrorsInIncludedFilesNameThatFile) {
    const fs::path dir = fs::temp_directory_path() / ("tarvelo_inc_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "part.tvi") << "\n\n.class test.P\n    .field int\n.end\n";
    const std::string err = link_error(".include \"" + (dir / "part.tvi").string() + "\"\n");
    EXPECT_NE(err.find("part.tvi:4: error: "), std::string::npos) << err;
    fs::remove_all(dir);
}

TEST(TextParser, Numbers) {
    struct Case { const char* text; bool ok; std::int64_t value; bool is_long; };
    const Case cases[] = {
        {"0", true, 0, false}, {"-128", true, -128, false}, {"0x7fffffff", true, 0x7fffffff, false},
        {"0xffffffffffffffff", true, -1, false}, {"10L", true, 10, true}, {"0b101", true, 5, false},
        {"-9223372036854775808", true, INT64_MIN, false}, {"9223372036854775808", false, 0, false},
        {"12a", false, 0, false}, {"-", false, 0, false}, {"0x", false, 0, false},
    };
    for (const Case& c : cases) {
        std::int64_t v = 0;
        bool l = false;
        EXPECT_EQ(parse_integer(c.text, v, &l), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
            EXPECT_EQ(l, c.is_long) << c.text;
        }
    }
    double d;
    bool single;
    EXPECT_TRUE(parse_floating("1.5f", d, &single));
    EXPECT_TRUE(single);
    EXPECT_TRUE(parse_floating("-2e3", d, &single));
    EXPECT_EQ(d, -2000.0);
    EXPECT_FALSE(parse_floating("12", d, &single));
}

// A failed link leaves the previous outputs as they were and no
// temporary file behind; a good one replaces them.
TEST(TextParser, FailedLinkWritesNothing) {
    const fs::path dir = fs::temp_directory_path() / ("tarvelo_out_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path src = dir / "img.tvi", out = dir / "img.S", map = dir / "img.map";
    std::ofstream(out) << "old";
    std::ofstream(map) << "old";
    LinkOptions o;
    o.input = src.string();
    o.include_dirs = {TARVELO_PRELUDE_DIR};
    o.output = out.string();
    o.map = map.string();
    std::ofstream(src) << with_prelude(".class test.Bad\n    .method static void f()\n        bogus\n    .end\n.end\n");
    std::ostringstream err;
    EXPECT_EQ(run_linker(o, err), 1);
    EXPECT_NE(err.str().find("img.tvi:10: error: unknown instruction 'bogus'"), std::string::npos) << err.str();
    auto content = [](const fs::path& p) { std::stringstream s; s << std::ifstream(p).rdbuf(); return s.str(); };
    EXPECT_EQ(content(out), "old");
    EXPECT_EQ(content(map), "old");
    std::ofstream(src) << with_prelude("");
    EXPECT_EQ(run_linker(o, err), 0) << err.str();
    EXPECT_NE(content(out).find("_java_vornsection_header_start:"), std::string::npos);
    int files = 0;
    for (auto& e : fs::directory_iterator(dir)) { (void)e; ++files; }
    EXPECT_EQ(files, 3);  // source, assembler, map: no temporaries
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvelo::imagelink
