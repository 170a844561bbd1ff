// An installed application kept in the port's memory retained across a
// restart: the first run of the firmware installs it, the next run finds
// it, accepts it against the same kernel, links and starts it; a retained
// copy whose application bytes changed is refused and freed.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/process_run.h"

namespace {

using tarvelo::test::run_process;

std::string after_start(const std::string& output) {
    const std::string mark = "Tarvelo START\n";
    const auto at = output.find(mark);
    return at == std::string::npos ? output : output.substr(at + mark.size());
}

class InstalledRestart : public testing::Test {
  protected:
    void SetUp() override {
        file = testing::TempDir() + "installed_restart_" + std::to_string(::getpid()) + ".mem";
        std::remove(file.c_str());
    }
    void TearDown() override { std::remove(file.c_str()); }
    tarvelo::test::ProcessResult run(const char* program = "program_installed_restart") {
        return run_process(std::string(PROGRAM_DIR) + "/" + program, {},
                           {"TARVELO_GC_STRESS=1", "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual",
                            "TARVELO_RETAINED_MEMORY=" + file});
    }
    std::string file;
};

TEST_F(InstalledRestart, StoredApplicationIsAcceptedByTheNextRun) {
    auto first = run();
    ASSERT_EQ(first.exit_status, 0) << first.output;
    EXPECT_EQ(after_start(first.output),
              "install\ncopyByteArrayToRAM: 1\nrelocations left: 0\ncopyRAMToROM: 1\ncheckKernel: 0\nlinked: 1\n"
              "Tarvelo END (exit code = 0)\n");
    auto second = run();
    ASSERT_EQ(second.exit_status, 0) << second.output;
    EXPECT_EQ(after_start(second.output),
              "stored application found\ninstalled applications: 1\ncheckKernel: 0\nlinked: 1\nstate: 2\n"
              "Tarvelo END (exit code = 0)\n");
}

TEST_F(InstalledRestart, ChangedStoredApplicationIsRefusedAndFreed) {
    ASSERT_EQ(run().exit_status, 0);
    // Change one byte of the application's section (the content's name
    // "app", stored in the retained region).
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string name("app\0", 4);
    const auto at = std::string(bytes.begin(), bytes.end()).find(name);
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'A';
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    auto second = run();
    ASSERT_EQ(second.exit_status, 0) << second.output;
    const std::string out = after_start(second.output);
    EXPECT_NE(out.find("with error 1(CORRUPTED CONTENT)"), std::string::npos) << out;
    EXPECT_NE(out.find("stored application found\ninstalled applications: 1\n"), std::string::npos) << out;
}

// The application installed from its file by one run is found, accepted,
// linked and started by the next: its code, relocated into the retained
// storage, runs again (its statics start from zero).
TEST_F(InstalledRestart, ApplicationFromItsFileRunsAgainAfterARestart) {
    auto first = run("program_installed_app");
    ASSERT_EQ(first.exit_status, 0) << first.output;
    EXPECT_NE(after_start(first.output).find("again\ninstalled applications: 1\nstate: 1\n"),
              std::string::npos)
        << first.output;
    auto second = run("program_installed_app");
    ASSERT_EQ(second.exit_status, 0) << second.output;
    EXPECT_EQ(after_start(second.output),
              "stored application found\ncheckKernel: 0\nstate: 1\nhello: initialised\nhello: thread running\n1\n"
              "state: 2\n"
              "Tarvelo END (exit code = 0)\n");
}

}  // namespace
