// A processor fault in a native while the virtual machine runs: the
// process stops with status 249 after the fault report (the stacked frame,
// the fault status with a line per set bit, the 52 System Control Block
// registers) and the state dump of the running virtual machine, and no
// Java code runs after the fault. One case per kind of fault.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/process_run.h"

namespace {

using tarvelo::test::lines_of;
using tarvelo::test::run_process;

struct FaultCase {
    const char* kind;
    const char* ipsrLine;
    const char* cfsr;
    const char* statusLine;  // the explanatory line of the fault's bit
};

class FaultProgram : public testing::TestWithParam<FaultCase> {};

// Index of the first line equal to `text` at or after `from`; -1 when none.
int find_line(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i] == text) return i;
    return -1;
}

// Index of the first line starting with `prefix` at or after `from`; -1 when none.
int find_prefix(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return i;
    return -1;
}

TEST_P(FaultProgram, ReportsRegistersAndDumpThenStops) {
    const FaultCase& c = GetParam();
    auto r = run_process(std::string(PROGRAM_DIR) + "/program_fault", {},
                         {std::string("FAULT_KIND=") + c.kind, "TARVELO_CLOCK=virtual"});
    EXPECT_EQ(r.exit_status, 249) << r.output;
    // The device's line ends, as the report prints them.
    EXPECT_NE(r.output.find("\r\n--- Stack frame -------------------------------------------------------\r\n IPSR= "),
              std::string::npos);
    const std::vector<std::string> lines = lines_of(r.output);

    const int before = find_line(lines, "before the fault");
    const int frame = find_line(lines, "--- Stack frame -------------------------------------------------------");
    ASSERT_GE(before, 0) << r.output;
    ASSERT_GT(frame, before) << r.output;
    EXPECT_EQ(lines[frame + 1], c.ipsrLine);
    const std::string hex = "0x[0-9A-F]{8,16}";
    EXPECT_TRUE(std::regex_match(lines[frame + 2], std::regex(" R0  = " + hex + "    R1  = " + hex + "    R2  = " + hex +
                                                               "    R3  = " + hex + "   ")))
        << lines[frame + 2];
    EXPECT_TRUE(std::regex_match(lines[frame + 3], std::regex(" R12 = " + hex + "    LR  = " + hex + "    PC  = " + hex +
                                                               "    PSR = " + hex + "   ")))
        << lines[frame + 3];
    EXPECT_TRUE(std::regex_match(lines[frame + 4], std::regex(" SP \\(when faulted\\)  = " + hex + "")));

    const int scb = find_line(lines, "--- System Control Block (SCB) ----------------------------------------", frame);
    ASSERT_GT(scb, frame);
    EXPECT_EQ(lines[scb + 1], std::string(" CFSR = ") + c.cfsr + "");
    EXPECT_EQ(lines[scb + 2], c.statusLine);
    // Every register line: value, name padded to 7 columns, description.
    const std::regex registerLine("0x[0-9A-F]{8,16} - [A-Z_0-9\\[\\]]+ * - [A-Za-z].*");
    int registers = 0;
    int i = scb + 1;
    while (i < static_cast<int>(lines.size()) && lines[i].rfind("Launch LLOSTV_dump()", 0) != 0) {
        if (std::regex_match(lines[i], registerLine)) ++registers;
        ++i;
    }
    EXPECT_EQ(registers, 52);
    EXPECT_GT(find_line(lines, " HFSR = 0x00000000", scb), scb);
    EXPECT_GT(find_line(lines, "0x411FC272 - CPUID   - CPUID Base Register", scb), scb);

    const int launch =
        find_line(lines, "Launch LLOSTV_dump(), not working when the DEBUG_CONSOLE_TRANSFER_NON_BLOCKING is set.", scb);
    ASSERT_GT(launch, scb);
    EXPECT_EQ(lines[launch + 1], "=================================== VM Dump ====================================");
    EXPECT_GT(find_prefix(lines, "name=\"main\" prio=5 state=RUNNING", launch), launch);
    EXPECT_GT(find_prefix(lines, "    at (native) [", launch), launch);
    EXPECT_GT(find_line(lines, "=============================== Native Resources ===============================", launch),
              launch);
    const int done = find_line(lines, "LLOSTV_dump() DONE", launch);
    EXPECT_GT(done, launch);
    EXPECT_EQ(done, static_cast<int>(lines.size()) - 1) << "nothing runs after the report";
    EXPECT_EQ(find_line(lines, "after the fault"), -1);
}

const FaultCase kFaults[] = {
    {"segv", " IPSR= 0x00000004 >>>>> MemManage <<<<<", "0x00000082",
     "   - MemManage: data access violation (DACCVIOL)"},
    {"divide", " IPSR= 0x00000006 >>>>> UsageFault <<<<<", "0x02000000",
     "   - UsageFault: division by zero (DIVBYZERO)"},
    {"illegal", " IPSR= 0x00000006 >>>>> UsageFault <<<<<", "0x00010000",
     "   - UsageFault: undefined instruction (UNDEFINSTR)"},
};

INSTANTIATE_TEST_SUITE_P(Faults, FaultProgram, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.kind); });

}  // namespace
