// The README's installed-application example (images/application): a
// kernel installs the greeter from its file, starts it, waits for its
// thread, calls it through a shared interface and stops it; the
// application prints through its own copy of System.out. Run with the
// heap verifier on, with and without a collection at every allocation.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "tests/support/process_run.h"

namespace {

const char* const kExpected =
    "Tarvelo START\n"
    "kernel: installed\n"
    "greeter: initialised\n"
    "greeter: running\n"
    "greeter: greeted by kernel\n"
    "hello from the greeter\n"
    "kernel: stopped\n"
    "Tarvelo END (exit code = 0)\n";

class InstalledApplicationExample : public testing::TestWithParam<const char*> {};

TEST_P(InstalledApplicationExample, InstallsCallsAndStopsTheGreeter) {
    auto r = tarvelo::test::run_process(FIRMWARE_APPLICATION_KERNEL, {},
                                        {GetParam(), "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual"});
    const std::size_t start = r.output.find("Tarvelo START");
    ASSERT_NE(start, std::string::npos) << r.output;
    EXPECT_EQ(r.output.substr(start), kExpected);
    EXPECT_EQ(r.exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, InstalledApplicationExample,
                         testing::Values("TARVELO_GC_STRESS=1", "TARVELO_GC_STRESS=0"));

// With the port's storage retained across restarts, each run finds the
// greeter the first one installed and links it again: more restarts than
// the port has storage for installed applications (16) never run out of
// it, as they would if every run installed a copy of its own.
TEST(InstalledApplicationRestarts, EveryRunFindsTheStoredGreeterAgain) {
    const std::string file = testing::TempDir() + "application_kernel_" + std::to_string(::getpid()) + ".mem";
    std::remove(file.c_str());
    std::string expected = kExpected;
    const std::string installed = "kernel: installed\n";
    const std::string again = expected.replace(expected.find(installed), installed.size(), "kernel: found installed\n");
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        auto r = tarvelo::test::run_process(FIRMWARE_APPLICATION_KERNEL, {},
                                            {"TARVELO_CLOCK=virtual", "TARVELO_RETAINED_MEMORY=" + file});
        const std::size_t start = r.output.find("Tarvelo START");
        ASSERT_NE(start, std::string::npos) << r.output;
        ASSERT_EQ(r.output.substr(start), run == 0 ? std::string(kExpected) : again);
        ASSERT_EQ(r.exit_status, 0);
    }
    std::remove(file.c_str());
}

}  // namespace
