// Programs in the image text form, each linked into its own firmware
// executable and run as a process under the collector's stress mode (a
// collection and compaction at every allocation) with the heap verifier on.
// The console output after "Tarvelo START", with the method and instruction
// addresses of stack traces named by the symboliser, must match the
// program's .expected file, and the process its exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process_run.h"
#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/elf_file.h"
#include "tools/imagelink/symbolizer.h"

namespace {

using tarvelo::test::lines_of;
using tarvelo::test::run_process;

struct ProgramCase {
    const char* name;
    int exitStatus;
    // Addresses (objects, native functions) are shown as 0x???????? so that
    // the expected text survives code changes; small values (resource ids,
    // counts) stay. Frame lines are named by the symboliser first.
    bool maskAddresses = false;
    // What it prints shows when collections ran (events, finalised
    // resources, the collector's figures): its text holds under the
    // stress mode only.
    bool printsCollections = false;
};

// Every "0x" and eight hexadecimal digits (either case) of 0x10000 or more becomes
// "0x????????"; the source line of a port error report ("[LLKERNEL][E]
// file:line ") becomes "?".
std::string mask_addresses(const std::string& text) {
    std::string line = text;
    if (line.rfind("[LLKERNEL][E] ", 0) == 0) {
        const auto colon = line.find(':');
        const auto blank = line.find(' ', colon);
        if (colon != std::string::npos && blank != std::string::npos) line.replace(colon + 1, blank - colon - 1, "?");
    }
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 2, "0x") == 0 && i + 10 <= line.size() &&
            line.find_first_not_of("0123456789ABCDEFabcdef", i + 2) >= i + 10 && line.compare(i + 2, 4, "0000") != 0) {
            out += "0x????????";
            i += 9;
            continue;
        }
        out += line[i];
    }
    return out;
}

// The maps of the application files a program installs, listed in
// PROGRAM_DIR/program_<name>.maps, one path a line.
std::vector<tarvelo::imagelink::LinkedImage> application_maps(const std::string& name) {
    std::vector<tarvelo::imagelink::LinkedImage> maps;
    const std::string list = std::string(PROGRAM_DIR) + "/program_" + name + ".maps";
    if (!std::filesystem::exists(list)) return maps;
    for (const std::string& path : lines_of(tarvelo::test::read_file(list))) {
        if (path.empty()) continue;
        tarvelo::imagelink::LinkedImage map;
        std::string why;
        if (tarvelo::imagelink::read_map(tarvelo::test::read_file(path), map, &why)) maps.push_back(map);
        else ADD_FAILURE() << path << ": " << why;
    }
    return maps;
}

// The console lines after "Tarvelo START", symbolised (an application's
// frames with its file's map).
std::string run_output(const std::string& exe, const std::string& map, const std::string& output, bool mask,
                       const std::vector<tarvelo::imagelink::LinkedImage>& applications = {}) {
    tarvelo::imagelink::ElfFile elf;
    std::string why;
    std::uint32_t base = 0;
    if (elf.load(exe, &why)) {
        if (auto v = elf.symbol("_java_vornsection_header_start")) base = static_cast<std::uint32_t>(*v);
    }
    tarvelo::imagelink::LinkedImage image;
    const bool haveMap = tarvelo::imagelink::read_map(tarvelo::test::read_file(map), image, &why);
    tarvelo::imagelink::Symbolizer symbolizer(image, base);
    for (const auto& a : applications) symbolizer.add_application(a);
    std::string text;
    bool started = false;
    for (const std::string& line : lines_of(output)) {
        if (!started) {
            started = line == "Tarvelo START";
            continue;
        }
        const std::string named = haveMap ? symbolizer.line(line) : line;
        text += (mask ? mask_addresses(named) : named) + "\n";
    }
    return text;
}

class Program : public testing::TestWithParam<ProgramCase> {};

// Runs the program with the heap verifier on, the stress mode as given,
// and compares what it printed with its expected text.
void expect_expected_output(const ProgramCase& c, const char* stress) {
    const std::string exe = std::string(PROGRAM_DIR) + "/program_" + c.name;
    const std::string map = std::string(PROGRAM_DIR) + "/program_" + c.name + "_image.map";
    auto r = run_process(exe, {}, {stress, "TARVELO_HEAP_VERIFY=1", "TARVELO_CLOCK=virtual"});
    EXPECT_EQ(r.exit_status, c.exitStatus) << r.output;
    const std::string expected = tarvelo::test::read_file(std::string(SOURCE_DIR) + "/" + c.name + ".expected");
    EXPECT_EQ(run_output(exe, map, r.output, c.maskAddresses, application_maps(c.name)), expected);
}

TEST_P(Program, PrintsWhatItComputes) { expect_expected_output(GetParam(), "TARVELO_GC_STRESS=1"); }

// Without the stress mode the interpreter's inline allocation runs, and
// the heap verifier still checks every collection the program causes.
TEST_P(Program, PrintsTheSameWhenCollectingOnlyAsNeeded) {
    if (GetParam().printsCollections) GTEST_SKIP() << "its text shows when collections ran";
    expect_expected_output(GetParam(), "TARVELO_GC_STRESS=0");
}

const ProgramCase kPrograms[] = {
    {"arithmetic", 0},
    {"control", 0},
    {"objects", 0},
    {"calls", 0},
    {"recursion", 0},
    {"exceptions", 0},
    {"out_of_memory", 0},
    {"stack_overflow", 0},
    {"stack_area", 0},
    {"clinit_order", 0},
    {"clinit_failure", 0},
    {"exit_code", 3},
    {"exit_from_thread", 7},
    {"sleep_forever", 0},
    {"kernel_heap_exhausted", 249},
    {"natives", 0},
    {"inline_routines", 0},
    {"calls_indirect_and_lazy", 0},
    {"threads", 0},
    {"monitors", 0},
    {"uncaught_report", 0},
    {"instruction_checks", 0},
    {"monitoring_hooks", 0, false, true},
    {"trace_events", 0},
    {"native_resources", 0, false, true},
    {"state_dump", 0, true, true},
    {"aot_interface", 0},
    {"resource_out_of_memory", 0},
    {"round_robin", 0},
    {"console_output", 0},
    {"classlib_arrays", 0},
    {"classlib_threads", 5},
    {"classlib_classes", 0},
    {"classlib_text", 0},
    {"classlib_resources", 0},
    {"classlib_references", 0},
    {"classlib_java", 0},
    {"base_library", 0},
    {"priority_inheritance", 0},
    {"monitor_limits", 0},
    {"quotas", 0},
    {"watchdogs", 0},
    {"exit_with_ready_threads", 5},
    {"reference_queue", 0},
    {"missing_native", 0},
    {"division_by_zero", 0},
    {"dead_references", 0},
    {"monitor_handover", 0},
    {"features", 0, true, true},
    {"loader", 0, true},
    {"installed_app", 0, true},
    {"installed_resources", 0, true},
    {"installed_proxies", 0, true},
    {"installed_owners", 0, true},
    {"installed_threads", 0, true},
    {"installed_rules_reported", 0, true},
    {"installed_rules_thrown", 0, true},
    {"installed_ram_control", 0, true},
    {"native_arguments", 0},
#if defined(__arm__)
    {"native_stacked_floats", 0},
#endif
};

// The programs this build made: all, or those its program filter names.
std::vector<ProgramCase> builtPrograms() {
    const std::string filter = PROGRAM_FILTER;
    const std::regex names(filter.empty() ? ".*" : filter);
    std::vector<ProgramCase> built;
    for (const ProgramCase& c : kPrograms)
        if (std::regex_match(c.name, names)) built.push_back(c);
    return built;
}

INSTANTIATE_TEST_SUITE_P(Programs, Program, testing::ValuesIn(builtPrograms()),
                         [](const testing::TestParamInfo<ProgramCase>& i) { return std::string(i.param.name); });

}  // namespace
