// File programs: each runs as a firmware process over a fresh card
// directory, under the collector's stress mode with the heap verifier on and
// the virtual clock; its console output after "Tarvelo START" must match its
// .expected file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/process_run.h"

namespace {

using tarvelo::test::lines_of;
using tarvelo::test::run_process;

class FileProgram : public testing::TestWithParam<const char*> {};

TEST_P(FileProgram, PrintsWhatItDid) {
    const std::string name = GetParam();
    char tmpl[] = "/tmp/tarvelo-files-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string card = std::string(tmpl) + "/card";
    std::filesystem::create_directory(card);
    auto r = run_process(std::string(PROGRAM_DIR) + "/file_program_" + name, {},
                         {"TARVELO_GC_STRESS=1", "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual",
                          "TARVELO_SDCARD=" + card});
    EXPECT_EQ(r.exit_status, 0) << r.output;
    EXPECT_EQ(tarvelo::test::output_after_start(r.output), tarvelo::test::read_file(std::string(SOURCE_DIR) + "/" + name + ".expected"));
    std::filesystem::remove_all(tmpl);
}

INSTANTIATE_TEST_SUITE_P(Programs, FileProgram, testing::Values("files", "uninitialised"),
                         [](const testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

// Without a card the file system's initialiser waits for ever: main is
// never reached (the process is stopped after a while of virtual time).
TEST(FileProgramWithoutCard, NeverReachesMain) {
    auto r = run_process("/usr/bin/timeout", {"2", std::string(PROGRAM_DIR) + "/file_program_files"},
                         {"TARVELO_CLOCK=virtual", "TARVELO_SDCARD=/tmp/tarvelo-no-card-here"});
    EXPECT_EQ(r.exit_status, 124) << r.output;
    EXPECT_NE(r.output.find("Tarvelo START"), std::string::npos);
    EXPECT_EQ(r.output.find("create"), std::string::npos);
}

// A card put in after start: picked up by card detection, mounted, and the
// class initialiser goes on within a second of tick time.
TEST(FileProgramWithoutCard, GoesOnWhenTheCardIsPutIn) {
    char tmpl[] = "/tmp/tarvelo-files-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string card = std::string(tmpl) + "/card";
    auto r = run_process("/bin/sh",
                         {"-c", "(sleep 0.3; mkdir \"$TARVELO_SDCARD\") & exec \"$0\"",
                          std::string(PROGRAM_DIR) + "/file_program_files"},
                         {"TARVELO_CLOCK=fast", "TARVELO_SDCARD=" + card});
    EXPECT_EQ(r.exit_status, 0) << r.output;
    EXPECT_NE(r.output.find("create\nmkdir 2:/Docs: 0\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("done\n"), std::string::npos) << r.output;
    std::filesystem::remove_all(tmpl);
}

}  // namespace
