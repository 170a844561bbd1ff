// The graphics programs, each run as a firmware process under the
// collector's stress mode with the heap verifier on: the console output
// after "Tarvelo START" must match the program's .expected file.
#include <gtest/gtest.h>

#include <fstream>
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

INSTANTIATE_TEST_SUITE_P(Programs, GraphicsProgram, testing::Values("drawing", "painting"));

}  // namespace
