// The graphics programs, each run as a firmware process under the
// collector's stress mode with the heap verifier on: the console output
// after "Tarvelo START" must match the program's .expected file.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/support/process_run.h"

namespace {

class GraphicsProgram : public testing::TestWithParam<const char*> {};

TEST_P(GraphicsProgram, PrintsWhatItDraws) {
    const std::string name = GetParam();
    std::string exe = PROGRAM_DIR;
    exe.append("/graphics_program_").append(name);
    auto r = tarvelo::test::run_process(exe, {},
                                        {"TARVELO_GC_STRESS=1", "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual"});
    EXPECT_EQ(r.exit_status, 0) << r.output;
    std::string expected = SOURCE_DIR;
    expected.append("/").append(name).append(".expected");
    EXPECT_EQ(tarvelo::test::output_after_start(r.output), tarvelo::test::read_file(expected));
}

INSTANTIATE_TEST_SUITE_P(Programs, GraphicsProgram, testing::Values("drawing", "painting", "resources"));

// The start-up allocation check switched on (a link-time value of the
// program): the runtime heap's free bytes before and after the engine's
// start are the same, the engine's state being static, so the start takes
// 0 bytes, 140 fewer than the decoders announce, and no warning follows.
TEST(GraphicsProgram, StartUpAllocationCheck) {
    auto r = tarvelo::test::run_process(std::string(PROGRAM_DIR) + "/graphics_program_allocation_check", {},
                                        {"TARVELO_GC_STRESS=1", "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual"});
    EXPECT_EQ(r.exit_status, 0) << r.output;
    const std::string out = tarvelo::test::output_after_start(r.output);
    const std::regex check("1:\\t([0-9]+)\n2:\\t\\1\n3:\\t0\n4:\\t-140\n");
    std::smatch figures;
    ASSERT_TRUE(std::regex_search(out, figures, check)) << out;
    EXPECT_EQ(figures.position(0), 0) << out;
    EXPECT_EQ(std::string(figures.suffix()), "0\n-9\nTarvelo END (exit code = 0)\n");
}

}  // namespace
