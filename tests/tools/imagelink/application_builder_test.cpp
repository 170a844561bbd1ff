// Application files linked against a small kernel: the container's header,
// sections and CRC, relocation records that stay inside the content, and
// the applications the linker refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "tests/tools/imagelink/link_helpers.h"
#include "tools/imagelink/application_builder.h"
#include "tools/imagelink/application_file_layout.h"
#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/link_error.h"
#include "vm/model/object_header.h"

namespace tarvelo::imagelink {
namespace {

namespace fs = std::filesystem;

const char* const kKernel = R"(
.immutable kernelText char[] = "kernel"
.class test.Hidden
.end
.class exported test.Console
    .method static exported void print(java.lang.String s)
        return
    .end
    .method static void hidden()
        return
    .end
.end
)";

const char* const kApplication = R"(
.main app.A.run
.class app.A implements java.lang.Runnable
    .field static int Count
    .field java.lang.Object next
    .method public void <init>()
        move_ref r0, this
        invokespecial java.lang.Object.<init>, p0, r0
        return
    .end
    .method void run()
        .temps 1
        getstatic p5, Count
        putstatic p5, Count
        const_ref r0, "hello"
        invokestatic test.Console.print, p0, r0
        return
    .end
.end
)";

class ApplicationFiles : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tvaf_test_" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& text) {
        const fs::path p = dir / name;
        std::ofstream(p) << text;
        return p.string();
    }
    LinkedApplication link(const std::string& application) {
        const std::string kernel = write("kernel.tvi", testing::with_prelude(kKernel));
        ParseOptions po;
        po.include_dirs = {TARVELO_PRELUDE_DIR};
        return link_application(kernel, write("app.tvi", application), po);
    }
    std::string error(const std::string& application) {
        try {
            link(application);
        } catch (const LinkError& e) {
            return e.what();
        }
        return "";
    }
};

std::uint32_t word(const std::vector<std::uint8_t>& f, std::uint32_t at) {
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<std::uint32_t>(f[at + 3]) << 24;
}

std::uint32_t number(const std::vector<std::uint8_t>& f, std::uint32_t& at) {
    std::uint32_t v = 0;
    for (int shift = 0;; shift += 7) {
        const std::uint8_t b = f.at(at++);
        v |= static_cast<std::uint32_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) return v;
    }
}

TEST_F(ApplicationFiles, HeaderSectionsAndCrcDescribeTheFile) {
    const LinkedApplication app = link(kApplication);
    const auto& f = app.file;
    ASSERT_GE(f.size(), app_file::kHeaderSize);
    EXPECT_EQ(word(f, app_file::kMagicAt), app_file::kMagic);
    EXPECT_EQ(word(f, app_file::kVersionAt), app_file::kVersion);
    const std::uint32_t sections = word(f, app_file::kSectionCountAt);
    ASSERT_EQ(sections, 2u);
    const std::uint32_t data = app_file::kHeaderSize + sections * app_file::kSectionEntrySize;
    EXPECT_EQ(word(f, app_file::kCrcAt), application_crc32(f.data() + data, f.size() - data));
    // The sections cover the content in order, end to end.
    std::uint32_t content = 0;
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::uint32_t e = app_file::kHeaderSize + i * app_file::kSectionEntrySize;
        EXPECT_EQ(word(f, e + 4), content);
        EXPECT_EQ(word(f, e), data + content);
        content += word(f, e + 8);
    }
    EXPECT_EQ(content, word(f, app_file::kContentSizeAt));
    EXPECT_EQ(word(f, app_file::kRelocationsAt), data + content);
    EXPECT_EQ(word(f, app_file::kRelocationsAt) + word(f, app_file::kRelocationsSizeAt), f.size());
    EXPECT_EQ(word(f, app_file::kRamSizeAt) % 8, 0u);
    EXPECT_LT(word(f, app_file::kTypesStartAt), content);
}

TEST_F(ApplicationFiles, RelocationRecordsStayInsideTheContent) {
    const LinkedApplication app = link(kApplication);
    const auto& f = app.file;
    const std::uint32_t content_at = app_file::kHeaderSize + 2 * app_file::kSectionEntrySize;
    const std::uint32_t content = word(f, app_file::kContentSizeAt);
    const std::uint32_t ram = word(f, app_file::kRamSizeAt);
    std::uint32_t at = word(f, app_file::kRelocationsAt), offset = 0, count = 0, kernel = 0, ram_words = 0;
    while (at < f.size()) {
        const std::uint8_t kind = f[at++];
        offset += number(f, at);
        const std::uint32_t value = number(f, at);
        ASSERT_LE(offset + 4, content);
        const std::uint32_t base = kind >> 6;
        if ((kind & 7) == 3) {
            // Object headers: a kernel type's offset into the mask.
            EXPECT_EQ(kind & 8, 8);
            EXPECT_EQ(base, 0u);
            EXPECT_EQ(word(f, content_at + offset), memory::kTypeOffsetMask);
            at += 4;
        } else {
            EXPECT_EQ(kind & 7, 1);
            if (base == 1) EXPECT_LE(value, content);  // region ends may be the end
            if (base == 2) { EXPECT_LE(value, ram); ++ram_words; }  // area ends may be the end
        }
        kernel += base == 0;
        ++count;
    }
    EXPECT_EQ(at, f.size());
    EXPECT_EQ(count, app.relocation_count);
    EXPECT_GT(kernel, 0u);
    EXPECT_GT(ram_words, 0u);
}

TEST_F(ApplicationFiles, RefusedApplications) {
    struct Case {
        const char* what;
        std::string source;
        const char* message;
    };
    const std::string cls = ".main app.A.run\n.class app.A\n    .method static void run()\n";
    const Case cases[] = {
        {"unexported kernel method", cls + "        invokestatic test.Console.hidden\n        return\n    .end\n.end\n",
         "does not export the method test.Console.hidden()V"},
        {"natives", cls + "        return\n    .end\n    .method static native void n() sni Java_n\n    .end\n.end\n",
         "cannot bind natives"},
        {"keep_context", ".main app.A.run\n.class app.A\n    .method static keep_context void run()\n        return\n    .end\n.end\n",
         "cannot keep its caller's context"},
        {"kernel layout changed",
         cls + "        return\n    .end\n.end\n.extend test.Console\n    .method void extra()\n        return\n    .end\n.end\n",
         "changes the layout of the kernel type test.Console"},
        {"no entry point", ".class app.A\n.end\n", "names its entry point"},
        {"kernel entry point", ".main test.Console.print\n.class app.A\n.end\n", "must be a class of the application"},
        {"exported application type", ".main app.A.run\n.class exported app.A\n    .method static void run()\n        return\n    .end\n.end\n",
         "exports nothing"},
        {"kernel immutable", cls + "        const_ref r0, immutable kernelText\n        return\n    .end\n.end\n",
         "belongs to the kernel"},
        {"kernel immutable in a value", cls + "        return\n    .end\n.end\n.immutable all java.lang.Object[] = { @kernelText }\n",
         "belongs to the kernel"},
        {"system property", cls + "        return\n    .end\n.end\n.property \"k\" \"v\"\n", "has no system properties"},
        {"lazy static", cls + "        return\n    .end\n    .field static lazy java.lang.Object L\n.end\n",
         "the table of init wrappers is the kernel's"},
        {"shared method naming an unexported kernel type",
         cls + "        return\n    .end\n.end\n.interface shared app.S\n    .method void take(test.Hidden h)\n    .end\n.end\n"
               ".class app.B implements app.S\n    .method void take(test.Hidden h)\n        return\n    .end\n.end\n",
         "does not export the type test.Hidden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NE(error(c.source).find(c.message), std::string::npos) << error(c.source);
    }
}

// Its immutables, resources and the proxy class of its shared interface
// are the application's own, named in its map with its name.
TEST_F(ApplicationFiles, ImmutablesResourcesAndProxyClassesAreTheApplications) {
    write("data.txt", "bytes");
    const LinkedApplication app = link(std::string(kApplication) + R"(
.resource "/r/data.txt" "data.txt"
.immutable greeting char[] = "hello"
.immutable point app.P = { x = 3, next = @greeting }
.class app.P
    .field int x
    .field java.lang.Object next
.end
.interface shared app.S
    .method int size(java.lang.String[] texts)
        .transfer texts convert
    .end
.end
)");
    EXPECT_EQ(app.map.application, "app.A");
    auto has = [&](const std::string& kind, const std::string& name) {
        for (const MapEntry& e : app.map.map)
            if (e.kind == kind && e.name == name) return true;
        return false;
    };
    EXPECT_TRUE(has("resource", "/r/data.txt"));
    EXPECT_TRUE(has("resource data", "/r/data.txt"));
    EXPECT_TRUE(has("immutable", "greeting"));
    EXPECT_TRUE(has("immutable", "point"));
    EXPECT_TRUE(has("type", "app.S$Proxy"));
    EXPECT_FALSE(has("type", "kernelText"));
    bool proxyMethod = false;
    for (const MethodSpan& m : app.map.methods) proxyMethod |= m.name == "app.S$Proxy.size([Ljava.lang.String;)I";
    EXPECT_TRUE(proxyMethod);
    // The map reads back as an application's.
    LinkedImage back;
    std::string why;
    ASSERT_TRUE(read_map(write_map(app.map), back, &why)) << why;
    EXPECT_EQ(back.application, "app.A");
    EXPECT_EQ(back.methods.size(), app.map.methods.size());
}

TEST_F(ApplicationFiles, TheSameSourcesGiveTheSameFile) {
    EXPECT_EQ(link(kApplication).file, link(kApplication).file);
}

// Every byte of the file has its region, found from the container's
// constants and the map written with it (read back as a tool reads it).
TEST_F(ApplicationFiles, TheLayoutNamesWhatEachByteIs) {
    const LinkedApplication app = link(kApplication);
    const auto& f = app.file;
    LinkedImage map;
    std::string why;
    ASSERT_TRUE(read_map(write_map(app.map), map, &why)) << why;
    const std::vector<FileRegion> layout = application_file_layout(f, map);
    ASSERT_FALSE(layout.empty());
    std::uint32_t next = 0;
    for (const FileRegion& r : layout) {
        EXPECT_EQ(r.begin, next);
        next = r.end;
        EXPECT_NE(r.kind, FileRegion::Kind::Outside) << r.name << " at " << r.begin;
    }
    EXPECT_EQ(next, f.size());

    const std::uint32_t content_at = app_file::kHeaderSize + 2 * app_file::kSectionEntrySize;
    const MethodSpan* run = nullptr;
    for (const MethodSpan& m : map.methods)
        if (m.name.find("app.A.run") == 0) run = &m;
    ASSERT_NE(run, nullptr);
    const std::uint32_t first_type = content_at + word(f, app_file::kTypesStartAt);
    const struct {
        std::uint32_t at;
        FileRegion::Kind kind;
        const char* name;
    } cases[] = {
        {app_file::kCrcAt + 2, FileRegion::Kind::Header, "CRC"},
        {app_file::kSectionCountAt, FileRegion::Kind::Header, "section count"},
        {app_file::kSignatureAt + 23, FileRegion::Kind::Header, "kernel signature"},
        {app_file::kHeaderSize + app_file::kSectionEntrySize + 8, FileRegion::Kind::SectionEntry, "section 1 size"},
        {content_at + run->code, FileRegion::Kind::MethodCode, "method app.A.run"},
        {content_at + run->code_end - 1, FileRegion::Kind::MethodCode, "method app.A.run"},
        {content_at + run->method, FileRegion::Kind::Content, "method record app.A.run"},
        {first_type, FileRegion::Kind::Content, "type app.A"},
        {word(f, app_file::kRelocationsAt), FileRegion::Kind::Relocations, "relocation record 0 "},
        {static_cast<std::uint32_t>(f.size() - 1), FileRegion::Kind::Relocations, "relocation record "},
    };
    for (const auto& c : cases) {
        const FileRegion r = region_at(layout, c.at);
        EXPECT_EQ(r.kind, c.kind) << c.name << ": " << r.name;
        EXPECT_EQ(r.name.rfind(c.name, 0), 0u) << c.name << ": " << r.name;
    }
    EXPECT_EQ(region_at(layout, static_cast<std::uint32_t>(f.size())).kind, FileRegion::Kind::Outside);
}

}  // namespace
}  // namespace tarvelo::imagelink
