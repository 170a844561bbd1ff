// The firmware as a process: what it prints on the debug console, in order,
// and the exit status it ends with.
#include <gtest/gtest.h>

#include <regex>

#include "tests/support/process_run.h"

using tarvelo::test::lines_of;
using tarvelo::test::run_process;

TEST(FirmwareStartup, PrintsBannerThenRunsTheImageToItsEnd) {
    auto r = run_process(FIRMWARE_DEFAULT);
    auto lines = lines_of(r.output);
    ASSERT_EQ(lines.size(), 7u) << r.output;
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("NXP ZEV Port i\\.MX RT1170 '3\\.0\\.0' '[0-9a-f]{8}'")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("Chip revision: [0-9a-f]+"))) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("Heap memory available: [0-9]+ KB"))) << lines[2];
    EXPECT_EQ(lines[3], "Tarvelo START");
    // The default image greets through the console stream, reads a system
    // property and stops through Runtime.exit.
    EXPECT_EQ(lines[4], "Hello from Tarvelo");
    EXPECT_EQ(lines[5], "vendor: Tarvelo");
    EXPECT_EQ(lines[6], "Tarvelo END (exit code = 0)");
    EXPECT_EQ(r.exit_status, 0);
}

TEST(FirmwareStartup, FreeKernelHeapIsWhatTheTasksLeft) {
    auto r = run_process(FIRMWARE_DEFAULT);
    std::smatch m;
    std::regex heap("Heap memory available: ([0-9]+) KB");
    ASSERT_TRUE(std::regex_search(r.output, m, heap)) << r.output;
    int kb = std::stoi(m[1]);
    // 512,000 bytes less the stacks of the application task (40,960 bytes)
    // and of the other tasks created before it prints.
    EXPECT_LT(kb, (512000 - 40960) / 1024);
    EXPECT_GT(kb, 300);
}

TEST(FirmwareStartup, WrongMagicIsAnExecutionErrorAfterStart) {
    auto r = run_process(FIRMWARE_BAD_MAGIC);
    auto lines = lines_of(r.output);
    ASSERT_GE(lines.size(), 2u) << r.output;
    EXPECT_EQ(lines[lines.size() - 2], "Tarvelo START");
    EXPECT_EQ(lines.back(), "Tarvelo execution error (err = -1).");
    EXPECT_EQ(r.exit_status, 248);
}
