// The security program runs as a firmware process under the collector's
// stress mode with the heap verifier on; its console output after
// "Tarvelo START" must match security.expected.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/process_run.h"

namespace {

using tarvelo::test::run_process;

TEST(SecurityProgram, PrintsWhatItDid) {
    auto r = run_process(std::string(PROGRAM_DIR) + "/security_program", {},
                         {"TARVELO_GC_STRESS=1", "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual"});
    EXPECT_EQ(r.exit_status, 0) << r.output;
    EXPECT_EQ(tarvelo::test::output_after_start(r.output), tarvelo::test::read_file(std::string(SOURCE_DIR) + "/security.expected"));
}

}  // namespace
