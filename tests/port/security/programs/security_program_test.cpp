// The security program runs as a firmware process under the collector's
// stress mode with the heap verifier on; its console output after
// "Tarvelo START" must match security.expected.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/process_run.h"

namespace {

using tarvelo::test::lines_of;
using tarvelo::test::run_process;

TEST(SecurityProgram, PrintsWhatItDid) {
    auto r = run_process(std::string(PROGRAM_DIR) + "/security_program", {},
                         {"TARVELO_GC_STRESS=1", "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual"});
    EXPECT_EQ(r.exit_status, 0) << r.output;
    std::string text;
    bool started = false;
    for (const std::string& line : lines_of(r.output)) {
        if (started) text += line + "\n";
        started = started || line == "Tarvelo START";
    }
    std::ifstream in(std::string(SOURCE_DIR) + "/security.expected");
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(text, expected.str());
}

}  // namespace
