// The three command-line tools as a user meets them: their help, their
// messages for bad options, missing, empty or corrupt files and outputs
// that cannot be written, and their exit statuses. Each case is a small
// fixture written to a directory of its own.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class ToolCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("tarvelo_tools_" + std::to_string(::getpid()) + "_" +
                                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    static std::string read(const std::string& p) {
        std::stringstream s;
        s << std::ifstream(p, std::ios::binary).rdbuf();
        return s.str();
    }
    // Runs `tool args` through the shell; `stdout_to` redirects the
    // standard output elsewhere (/dev/full).
    ToolRun run(const std::string& tool, const std::string& args, const std::string& stdout_to = "") const {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const std::string cmd = "'" + tool + "' " + args + " >" + (stdout_to.empty() ? out : stdout_to) + " 2>" + err;
        const int raw = std::system(cmd.c_str());
        ToolRun r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        r.out = stdout_to.empty() ? read(out) : "";
        r.err = read(err);
        return r;
    }
    std::string link_args(const std::string& src) const {
        return "'" + src + "' -I '" TARVELO_PRELUDE_DIR "' ";
    }
    std::string image(const std::string& body) const {
        return ".include \"runtime.tvi\"\n.main app.M.main\n.class app.M\n"
               "    .method static void main(java.lang.String[] args)\n        return\n    .end\n.end\n" +
               body;
    }

    fs::path dir_;
};

const std::string kLink = TARVELO_IMAGELINK, kDisasm = TARVELO_DISASM, kSymbolize = TARVELO_SYMBOLIZE;

TEST_F(ToolCommands, HelpListsEveryOptionAndExitsZero) {
    struct Case { const std::string* tool; std::vector<const char*> options; };
    const Case cases[] = {
        {&kLink, {"-o FILE", "-I DIR", "-D SYMBOL=VALUE", "--weak-externals", "--map", "--listing", "--depfile", "--no-verify"}},
        {&kDisasm, {"-I DIR", "--elf", "--map"}},
        {&kSymbolize, {"--map", "--elf", "--base", "--application"}},
    };
    for (const Case& c : cases) {
        const ToolRun r = run(*c.tool, "--help");
        EXPECT_EQ(r.status, 0) << *c.tool;
        for (const char* o : c.options) EXPECT_NE(r.out.find(o), std::string::npos) << *c.tool << " " << o;
    }
}

// A bad option or value says which and why, then the usage; status 2.
TEST_F(ToolCommands, BadOptionsSayWhichAndWhy) {
    const std::string src = write("a.tvi", image(""));
    struct Case { const std::string* tool; std::string args; const char* message; };
    const Case cases[] = {
        {&kLink, link_args(src) + "-o x.S -D _java_heap_size=banana",
         "tarvelo-imagelink: error: -D _java_heap_size=banana: 'banana' is not a number"},
        {&kLink, link_args(src) + "-o x.S -D _java_heap_size=-1", "'-1' is a negative number"},
        {&kLink, link_args(src) + "-o x.S -D _java_heap_size=0x100000000", "'0x100000000' is more than 32 bits"},
        {&kLink, link_args(src) + "-o x.S -D _java_heap_size", "expected SYMBOL=VALUE"},
        {&kLink, link_args(src) + "--bogus", "tarvelo-imagelink: error: unknown option '--bogus'"},
        {&kLink, link_args(src) + "-o", "option -o needs a value"},
        {&kDisasm, "--elf", "tarvelo-disasm: error: option --elf needs a value"},
        {&kSymbolize, "--map m --base zzz", "tarvelo-symbolize: error: --base zzz: 'zzz' is not a number"},
        {&kSymbolize, "--map m --base -4", "'-4' is a negative number"},
        {&kSymbolize, "--map m", "give exactly one of --elf and --base"},
    };
    for (const Case& c : cases) {
        const ToolRun r = run(*c.tool, c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << c.args;
    }
}

// Sources the user gives that hold nothing linkable are named, not the
// prelude; files that cannot be read give the system's reason.
TEST_F(ToolCommands, LinkerMessagesNameTheUsersFile) {
    fs::create_directories(path("data_dir"));
    std::string chain;
    for (int k = 0; k < 100; ++k) write("inc" + std::to_string(k) + ".tvi", ".include \"inc" + std::to_string(k + 1) + ".tvi\"\n");
    write("inc100.tvi", "");
    struct Case { std::string source; const char* message; };
    const Case cases[] = {
        {write("empty.tvi", ""), "empty.tvi: error: the image defines no java.lang.Object"},
        {write("nomain.tvi", ".include \"runtime.tvi\"\n"), "nomain.tvi: error: the image names no main method (.main)"},
        {write("res.tvi", image(".resource \"/r.bin\" \"data_dir\"\n")), "res.tvi:8: error: the resource file '"},
        {write("gone.tvi", image(".resource \"/r.bin\" \"missing.bin\"\n")), "No such file or directory"},
        {path("data_dir"), "data_dir: error: it is a directory"},
        {path("absent.tvi"), "absent.tvi: error: cannot read it: No such file or directory"},
        {write("deep.tvi", image(".include \"inc0.tvi\"\n")), "error: includes nest deeper than 64 files: "},
        // Unprintable bytes are escaped, and a NUL does not cut the message.
        {write("ctl.tvi", std::string(".include \"runtime.tvi\"\n.main a\x01" "b") + '\0' + "c\n"), "'a\\x01b\\x00c'"},
    };
    for (const Case& c : cases) {
        const ToolRun r = run(kLink, link_args(c.source) + "-o '" + path("out.S") + "'");
        EXPECT_EQ(r.status, 1) << c.source;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.source << "\n" << r.err;
        EXPECT_FALSE(fs::exists(path("out.S"))) << c.source;
    }
    const ToolRun r = run(kLink, link_args(path("res.tvi")) + "-o '" + path("out.S") + "'");
    EXPECT_NE(r.err.find("data_dir' is a directory"), std::string::npos) << r.err;
    const ToolRun deep = run(kLink, link_args(path("deep.tvi")) + "-o '" + path("out.S") + "'");
    EXPECT_NE(deep.err.find("inc62.tvi -> "), std::string::npos) << "the chain is named";
}

// Outputs are replaced together or not at all; a depfile needs a target.
TEST_F(ToolCommands, LinkerOutputsAreWrittenTogether) {
    const std::string src = write("a.tvi", image(""));
    write("out.S", "old");
    fs::create_directories(path("map_dir"));
    ToolRun r = run(kLink, link_args(src) + "-o '" + path("out.S") + "' --map '" + path("map_dir") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("map_dir: error: cannot write: is a directory"), std::string::npos) << r.err;
    EXPECT_EQ(read(path("out.S")), "old");
    r = run(kLink, link_args(src) + "--listing '" + path("a.lst") + "' --depfile '" + path("a.d") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--depfile needs a target"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path("a.d")));
    EXPECT_FALSE(fs::exists(path("a.lst")));
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir_)) files += e.path().string().find(".tmp") != std::string::npos;
    EXPECT_EQ(files, 0) << "no temporaries left";
}

// Output that cannot be written (a full disk) is an error, not success.
TEST_F(ToolCommands, UnwritableOutputIsAnError) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const std::string src = write("a.tvi", image(""));
    ToolRun r = run(kDisasm, link_args(src), "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("<standard output>: error: cannot write: No space left on device"), std::string::npos) << r.err;
    const ToolRun map = run(kLink, link_args(src) + "--map '" + path("a.map") + "'");
    ASSERT_EQ(map.status, 0) << map.err;
    write("trace.txt", "at @M:0x10@\n");
    r = run(kSymbolize, "--map '" + path("a.map") + "' --base 0x1000 '" + path("trace.txt") + "'", "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
}

// Maps and traces that are missing, empty, directories or corrupt.
TEST_F(ToolCommands, MapsAndTracesAreChecked) {
    fs::create_directories(path("a_dir"));
    const std::string good = "tarvelo-image-map 1\nsize 0x100\n";
    struct Case { std::string map, trace; const char* message; };
    const Case cases[] = {
        {path("absent.map"), "", "absent.map: error: cannot read: No such file or directory"},
        {write("empty.map", ""), "", "empty.map: error: is empty"},
        {path("a_dir"), "", "a_dir: error: is a directory"},
        {write("g.map", good), path("a_dir"), "a_dir: error: is a directory"},
        // Sizes are bounded: nothing is allocated for them, entries stay inside.
        {write("huge.map", "tarvelo-image-map 1\nsize 0xffffffff\nitem 0xfffffff0 0x100 string s\n"), "",
         "huge.map: error: line 3: item beyond the image's size"},
        {write("neg.map", "tarvelo-image-map 1\nsize -1\n"), "", "neg.map: error: line 2: bad size"},
        {write("wide.map", "tarvelo-image-map 1\nsize 0x100000000\n"), "", "line 2: bad size"},
        {write("method.map", good + "method 0x10 0x20 0x30 0x200 app.M.f()V\n"), "", "line 3: method beyond"},
    };
    for (const Case& c : cases) {
        const ToolRun r = run(kSymbolize, "--map '" + c.map + "' --base 0x1000 " + (c.trace.empty() ? "</dev/null" : "'" + c.trace + "'"));
        EXPECT_EQ(r.status, 1) << c.map;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.map << "\n" << r.err;
    }
}

// An application file's map names the frames carrying its token; a map
// of no application is refused as one.
TEST_F(ToolCommands, SymboliserNamesAnApplicationsFramesWithItsMap) {
    const std::string kernel = write("k.tvi", image(""));
    const std::string app = write("app.tvi", ".main app.A.run\n.class app.A\n    .method static void run()\n        return\n    .end\n.end\n");
    ToolRun r = run(kLink, link_args(kernel) + "--application '" + app + "' -o '" + path("app.tvf") + "' --map '" +
                               path("app.map") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    const ToolRun kmap = run(kLink, link_args(kernel) + "--map '" + path("k.map") + "'");
    ASSERT_EQ(kmap.status, 0) << kmap.err;
    // The map names run()'s class word; a trace line of it at 0x20000000.
    const std::string map = read(path("app.map"));
    const std::size_t at = map.find("method ");
    ASSERT_NE(at, std::string::npos) << map;
    std::istringstream line(map.substr(at + 7));
    std::string record, method, code;
    line >> record >> method >> code;
    const unsigned long m = std::stoul(method, nullptr, 16), c = std::stoul(code, nullptr, 16);
    char trace[160];
    std::snprintf(trace, sizeof trace, "    at app/A.@F:6170702E41:0x20000000@@M:0x%08lX:0x%08lX@\n", 0x20000000 + m,
                  0x20000000 + c + 1);
    write("trace.txt", trace);
    r = run(kSymbolize, "--map '" + path("k.map") + "' --base 0x1000 --application '" + path("app.map") + "' '" +
                            path("trace.txt") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "    at app/A.run()V (app.A.run()V+0x1)\n");
    r = run(kSymbolize, "--map '" + path("k.map") + "' --base 0x1000 --application '" + path("k.map") + "' </dev/null");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("k.map: error: is not an application file's map"), std::string::npos) << r.err;
}

// An executable without the image's symbols holds no image: said, with a
// failure status, not an empty listing.
TEST_F(ToolCommands, FirmwareWithoutAnImageIsRefused) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    ToolRun r = run(kDisasm, "--elf '" + self + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds no application image"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = run(kDisasm, "--elf '" + write("not_elf", "hello") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not_elf: error: not an ELF file"), std::string::npos) << r.err;
}

}  // namespace
