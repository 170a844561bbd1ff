// The image and font builders run as commands: their files load in the
// engine, their options reach the bytes, and bad command lines or inputs
// give an error and no output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/display/llui_display.h"
#include "graphics/fonts/fonts.h"
#include "graphics/loaders/image_decoders.h"
#include "tests/graphics/test_port.h"

namespace tarvelo::graphics {
namespace {

namespace fs = std::filesystem;

class GfxToolCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(test::port().start(&display_), 0);
        dir_ = fs::path(::testing::TempDir()) / ("tarvelo_gfx_tools_" + std::to_string(::getpid()) + "_" +
                                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static std::vector<std::uint8_t> read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    // The exit status of `tool args`, its standard error in `err`.
    int run(const char* tool, const std::string& args, std::string* err = nullptr) const {
        const std::string cmd = std::string("'") + tool + "' " + args + " 2>'" + path("err.txt") + "'";
        const int raw = std::system(cmd.c_str());
        if (err != nullptr) {
            std::stringstream s;
            s << std::ifstream(path("err.txt")).rdbuf();
            *err = s.str();
        }
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    SPictavoGraphicsContext display_{};
    fs::path dir_;
};

std::int32_t load(const std::vector<std::uint8_t>& file, SPictavoImage* image) {
    return load_raw_image(file.data(), static_cast<std::uint32_t>(file.size()), true, false, image);
}

TEST_F(GfxToolCommands, RawImagesLoadAndTruncatedOnesAreRefused) {
    ASSERT_EQ(run(TARVELO_RAWIMAGE, "--synthetic checker:2 --size 9x5 --format C2 --memory-width 4 -o '" +
                                        path("c2.raw") + "'"), 0);
    SPictavoImage image{};
    ASSERT_EQ(load(read(path("c2.raw")), &image), 0);
    EXPECT_EQ(image.memory_width, 4);
    EXPECT_EQ(image.format, 14);
    LLUI_DISPLAY_closeOffScreen(&image);
    ASSERT_EQ(run(TARVELO_RAWIMAGE, "--synthetic gradient --size 9x5 --format ARGB1565RLE --truncate 3 -o '" +
                                        path("cut.raw") + "'"), 0);
    EXPECT_EQ(load(read(path("cut.raw")), &image), kErrNotRaw);
}

TEST_F(GfxToolCommands, FontsCarryTheirIdentifiersAndName) {
    ASSERT_EQ(run(TARVELO_FONTBUILD, "'" TARVELO_DEJAVU_SANS "' --size 11 --depth 4 --range 0x30-0x39 --id 7 --id 0x10002 "
                                     "--name Digits --style 3 -o '" + path("digits.fnt") + "'"), 0);
    const std::vector<std::uint8_t> f = read(path("digits.fnt"));
    ASSERT_TRUE(font_is_valid(f.data(), f.size()));
    EXPECT_EQ(f[8] & 3, 2);  // 4 bits per pixel
    EXPECT_EQ(f[20], 3);
    ASSERT_EQ(f[22], 2);
    const std::size_t ids = f[24] | f[25] << 8, name = f[26] | f[27] << 8;
    EXPECT_EQ(f[ids], 7);
    EXPECT_EQ(f[ids + 4] | f[ids + 5] << 8 | f[ids + 6] << 16, 0x10002);
    EXPECT_STREQ(reinterpret_cast<const char*>(f.data() + name), "Digits");
}

TEST_F(GfxToolCommands, BadInputsGiveAnErrorAndNoFile) {
    struct Case {
        const char* tool;
        std::string args;
        int status;
        const char* says;
    };
    const std::string out = " -o '" + path("out") + "'";
    const Case cases[] = {
        {TARVELO_RAWIMAGE, "--synthetic gradient --size 3x3 --format 99" + out, 2, "unknown format"},
        {TARVELO_RAWIMAGE, "--synthetic gradient --size 3x3 --format -2" + out, 1, "custom"},
        {TARVELO_RAWIMAGE, "--synthetic gradient --size 0x3 --format A8" + out, 1, "1..65535"},
        {TARVELO_RAWIMAGE, "--synthetic gradient --size 9x3 --format RGB565 --memory-width 8" + out, 1, "memory width"},
        {TARVELO_RAWIMAGE, "--png '" + path("missing.png") + "' --format A8" + out, 1, "missing.png"},
        {TARVELO_RAWIMAGE, "--synthetic gradient --size 64x64 --format LARGB8888" + out, 1, "256"},
        {TARVELO_FONTBUILD, "'" + path("missing.ttf") + "' --size 9" + out, 1, "missing.ttf"},
        {TARVELO_FONTBUILD, "'" TARVELO_DEJAVU_SANS "' --size 9 --range 0x7E-0x20" + out, 2, "range"},
        {TARVELO_FONTBUILD, "'" TARVELO_DEJAVU_SANS "' --size 9 --depth 3" + out, 1, "depth"},
        {TARVELO_FONTBUILD, "'" TARVELO_DEJAVU_SANS "' --size 9 --range 0x100-0x101 --bounds 1" + out, 1, "range bounds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string err;
        EXPECT_EQ(run(c.tool, c.args, &err), c.status);
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(path("out")));
    }
}

}  // namespace
}  // namespace tarvelo::graphics
