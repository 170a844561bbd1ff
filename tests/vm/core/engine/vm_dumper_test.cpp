// The pieces of the state dump's layout: titles centred in 80 columns
// (an odd remainder goes to the right), hexadecimal values, and the dump
// of a machine that does not exist.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/support/isolated_run.h"
#include "vm/core/engine/vm_dumper.h"
#include "vm/core/lifecycle/vm_facade.h"

namespace {

using tarvelo::VMDumper;
using tarvelo::test::run_isolated;

std::string printed(const std::function<void()>& print) {
    return run_isolated([&] {
               print();
               return 0;
           })
        .output;
}

TEST(VMDumper, TitlesFillEightyColumns) {
    struct Title {
        const char* text;
        char fill;
        const char* line;
    };
    const Title titles[] = {
        {"VM Dump", '=', "=================================== VM Dump ===================================="},
        {"Native Resources", '=', "=============================== Native Resources ==============================="},
        {"", '-', "---------------------------------------  ---------------------------------------"},
        {"Garbage Collector", '*', "****************************** Garbage Collector *******************************"},
    };
    for (const Title& t : titles) {
        const std::string out = printed([&] { VMDumper::printTitle(t.text, t.fill); });
        EXPECT_EQ(out, std::string(t.line) + "\n") << t.text;
        EXPECT_EQ(out.size(), 81u) << t.text;
    }
    // A title wider than the line is printed whole, with no fill.
    const std::string wide(90, 'w');
    EXPECT_EQ(printed([&] { VMDumper::printTitle(wide, '='); }), " " + wide + " \n");
}

TEST(VMDumper, HexIsEightUpperCaseDigits) {
    EXPECT_EQ(printed([] { VMDumper::printHex(0); }), "0x00000000");
    EXPECT_EQ(printed([] { VMDumper::printHex(0xABCDEF1); }), "0x0ABCDEF1");
    EXPECT_EQ(printed([] { VMDumper::printHex(0xFFFFFFFFu); }), "0xFFFFFFFF");
}

TEST(VMDumper, NoMachineGivesOnlyItsTitle) {
    const std::string out = printed([] { tarvelo::GreenThreadVMFacade::dump(); });
    EXPECT_EQ(out, std::string(32, '=') + " VM Not Started " + std::string(32, '=') + "\n");
}

}  // namespace
