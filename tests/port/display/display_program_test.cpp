// The display programs, each run as a firmware process on the virtual clock
// under the collector's stress mode with the heap verifier on, with a touch
// script: the console output after "Tarvelo START" must match the
// program's .expected file, and every frame the panel showed (captured as
// PNG) must match the program's goldens, compared as raw RGB565 pixels: a
// CRC-32 of the whole frame and every 32nd pixel of every 32nd row.
// TARVELO_UPDATE_GOLDENS=1 rewrites the goldens from the frames of the run.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fbdev/frame_output.h"
#include "tests/support/process_run.h"

namespace {

constexpr std::uint32_t kWidth = 720, kHeight = 1280, kStep = 32;

// The PNG's pixels as RGB565 (the PNG holds them widened by bit copies).
bool read_frame(const std::string& path, std::vector<std::uint16_t>* pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    if (image.width != kWidth || image.height != kHeight) {
        png_image_free(&image);
        return false;
    }
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
    pixels->resize(kWidth * kHeight);
    for (std::size_t i = 0; i < pixels->size(); ++i)
        (*pixels)[i] = static_cast<std::uint16_t>((rgb[3 * i] >> 3) << 11 | (rgb[3 * i + 1] >> 2) << 5 |
                                                  rgb[3 * i + 2] >> 3);
    return true;
}

std::uint32_t crc_of(const std::vector<std::uint16_t>& pixels) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t p : pixels) {
        bytes.push_back(static_cast<std::uint8_t>(p));
        bytes.push_back(static_cast<std::uint8_t>(p >> 8));
    }
    return static_cast<std::uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

std::string samples_of(const std::vector<std::uint16_t>& pixels) {
    std::ostringstream out;
    for (std::uint32_t y = 0; y < kHeight; y += kStep) {
        for (std::uint32_t x = 0; x < kWidth; x += kStep) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%s%04X", x == 0 ? "" : " ", pixels[y * kWidth + x]);
            out << hex;
        }
        out << '\n';
    }
    return out.str();
}

std::string golden_of(const std::vector<std::uint16_t>& pixels) {
    char crc[32];
    std::snprintf(crc, sizeof crc, "crc32 %08X\n", crc_of(pixels));
    return crc + samples_of(pixels);
}

// Runs `firmware` under stress with its frames written to a fresh
// `frames` folder and the touches of `touch_script`.
tarvelo::test::ProcessResult run_with_frames(const std::string& firmware, const std::string& frames,
                                             const std::string& touch_script) {
    std::filesystem::remove_all(frames);
    std::filesystem::create_directories(frames);
    return tarvelo::test::run_process(firmware, {},
                                      {"TARVELO_GC_STRESS=1", "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual",
                                       "TARVELO_FRAMES=" + frames, "TARVELO_TOUCH_SCRIPT=" + touch_script});
}

// Compares each frame in `frames` with `goldens`/frame-N.txt, or writes the
// goldens when `may_update` and TARVELO_UPDATE_GOLDENS is set; the number
// of frames shown.
std::uint32_t compare_frames(const std::string& frames, const std::string& goldens, bool may_update) {
    const bool update = may_update && std::getenv("TARVELO_UPDATE_GOLDENS") != nullptr;
    std::uint32_t n = 1;
    for (;; ++n) {
        const std::string png = tarvelo::fbdev::frame_file_name(frames, n);
        if (!std::filesystem::exists(png)) break;
        std::vector<std::uint16_t> pixels;
        if (!read_frame(png, &pixels)) {
            ADD_FAILURE() << "unreadable frame " << png;
            break;
        }
        const std::string golden_path = goldens + "/frame-" + std::to_string(n) + ".txt";
        if (update) {
            std::filesystem::create_directories(goldens);
            std::ofstream(golden_path) << golden_of(pixels);
            continue;
        }
        EXPECT_EQ(golden_of(pixels), tarvelo::test::read_file(golden_path)) << "frame " << n;
    }
    return n - 1;
}

class DisplayProgram : public testing::TestWithParam<const char*> {};

TEST_P(DisplayProgram, ShowsItsFramesAndAnswersTheTouches) {
    const std::string name = GetParam();
    const std::string source = SOURCE_DIR;
    const std::string frames = std::string(PROGRAM_DIR) + "/" + name + ".frames";
    auto r = run_with_frames(std::string(PROGRAM_DIR) + "/display_program_" + name, frames,
                             source + "/" + name + ".touch");
    EXPECT_EQ(r.exit_status, 0) << r.output;
    EXPECT_EQ(tarvelo::test::output_after_start(r.output),
              tarvelo::test::read_file(source + "/" + name + ".expected"));

    const std::string goldens = source + "/" + name + ".golden";
    const std::uint32_t shown = compare_frames(frames, goldens, true);
    std::uint32_t stored = 0;
    while (std::filesystem::exists(goldens + "/frame-" + std::to_string(stored + 1) + ".txt")) ++stored;
    EXPECT_EQ(shown, stored);
}

INSTANTIATE_TEST_SUITE_P(Programs, DisplayProgram, testing::Values("screen"));

// The default firmware draws the same screen as the screen program: under
// the same touches it must show the same frames (and no native may be
// missing from its link: a missing one ends the application early).
TEST(DefaultFirmware, ShowsTheScreenProgramsFrames) {
    const std::string source = SOURCE_DIR;
    const std::string frames = std::string(PROGRAM_DIR) + "/default.frames";
    auto r = run_with_frames(FIRMWARE, frames, source + "/screen.touch");
    EXPECT_EQ(r.exit_status, 0) << r.output;
    EXPECT_EQ(tarvelo::test::output_after_start(r.output),
              "Hello from Tarvelo\nvendor: Tarvelo\nTarvelo END (exit code = 0)\n");
    EXPECT_EQ(compare_frames(frames, source + "/screen.golden", false), 4u);
}

// A script is played whole however late its first touch: the default
// firmware shows the first screen, the dot of the press and the swap of the
// release, and then stops.
TEST(DefaultFirmware, PlaysAScriptWhoseFirstTouchIsLate) {
    const std::string script = PROGRAM_DIR "/late.touch";
    std::ofstream(script) << "1500 press 360 800\n1600 release\n";
    const std::string frames = std::string(PROGRAM_DIR) + "/late.frames";
    auto r = run_with_frames(FIRMWARE, frames, script);
    EXPECT_EQ(r.exit_status, 0) << r.output;
    EXPECT_EQ(tarvelo::test::output_after_start(r.output),
              "Hello from Tarvelo\nvendor: Tarvelo\nTarvelo END (exit code = 0)\n");
    std::uint32_t shown = 0;
    while (std::filesystem::exists(tarvelo::fbdev::frame_file_name(frames, shown + 1))) ++shown;
    EXPECT_EQ(shown, 3u);
}

// A failed read of the touch controller loses neither a touch nor its
// release: the default firmware shows the first screen, the press's dot and
// the release's swap, as without the error.
TEST(DefaultFirmware, AFailedTouchReadLosesNoFrame) {
    struct Case {
        const char* name;
        const char* script;
    };
    for (const Case& c : {Case{"error-first", "200 error\n300 press 100 500\n1000 release\n"},
                          Case{"error-held", "200 press 100 500\n300 error\n1000 release\n"}}) {
        const std::string script = std::string(PROGRAM_DIR "/") + c.name + ".touch";
        std::ofstream(script) << c.script;
        const std::string frames = std::string(PROGRAM_DIR "/") + c.name + ".frames";
        auto r = run_with_frames(FIRMWARE, frames, script);
        EXPECT_EQ(r.exit_status, 0) << c.name << "\n" << r.output;
        std::uint32_t shown = 0;
        while (std::filesystem::exists(tarvelo::fbdev::frame_file_name(frames, shown + 1))) ++shown;
        EXPECT_EQ(shown, 3u) << c.name;
    }
}

// A malformed touch script is reported on the console in order with the
// rest of the firmware's output (not after its last line), and the
// firmware runs without scripted touches.
TEST(DefaultFirmware, ReportsABadTouchScriptInOrder) {
    const std::string script = PROGRAM_DIR "/off-panel.touch";
    std::ofstream(script) << "100 press 1 2\n200 press 4456 800\n";
    auto r = tarvelo::test::run_process(FIRMWARE, {}, {"TARVELO_CLOCK=virtual", "TARVELO_TOUCH_SCRIPT=" + script});
    EXPECT_EQ(r.exit_status, 0) << r.output;
    const std::vector<std::string> lines = tarvelo::test::lines_of(r.output);
    const std::string report =
        "touch script " + script + ": line 2: the point is off the 720 x 1280 panel; no scripted touches";
    const auto at = std::find(lines.begin(), lines.end(), report);
    const auto end = std::find(lines.begin(), lines.end(), "Tarvelo END (exit code = 0)");
    ASSERT_NE(at, lines.end()) << r.output;
    EXPECT_LT(at, end) << r.output;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A frames folder that cannot be written is refused at the start, on the
// console, with the status of a firmware that could not start: the run
// would lose every frame it shows.
TEST(FrameOutput, AFolderThatCannotBeWrittenIsRefusedAtTheStart) {
    const std::string file = PROGRAM_DIR "/not-a-folder";
    std::ofstream(file) << "x";
    for (const std::string& folder : {file + "/frames", file}) {
        auto r = tarvelo::test::run_process(PROGRAM_DIR "/display_program_screen", {},
                                            {"TARVELO_CLOCK=virtual", "TARVELO_FRAMES=" + folder,
                                             "TARVELO_TOUCH_SCRIPT=" SOURCE_DIR "/screen.touch"});
        EXPECT_EQ(r.exit_status, 248) << folder << "\n" << r.output;
        EXPECT_EQ(count_of(r.output, "TARVELO_FRAMES: cannot write frames to " + folder + " ("), 1u) << r.output;
        EXPECT_EQ(count_of(r.output, "Tarvelo START"), 0u) << r.output;
    }
}

}  // namespace
