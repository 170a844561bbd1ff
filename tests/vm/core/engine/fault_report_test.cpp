// The fault report on its own: the names of the exception numbers, a fault
// before the virtual machine exists (the register report, then only the
// "VM Not Started" title, then the stop), and a report printed from thread
// mode, which returns instead of stopping.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "platform/address.h"
#include "platform/board/debug_console.h"
#include "tests/support/isolated_run.h"
#include "vm/core/engine/fault_handlers.h"
#include "vm/core/lifecycle/ostrevan.h"

namespace {

using tarvelo::test::run_isolated;

TEST(FaultReport, NamesEveryExceptionNumber) {
    struct Name {
        std::uint32_t number;
        const char* text;
    };
    const Name names[] = {
        {0, "Thread mode"}, {1, "Reserved 1"},  {2, "NMI"},         {3, "HardFault"},
        {4, "MemManage"},   {5, "BusFault"},    {6, "UsageFault"},  {7, "Reserved 7"},
        {10, "Reserved 10"}, {11, "SVCall"},    {12, "Reserved for Debug"}, {13, "Reserved 13"},
        {14, "PendSV"},     {15, "SysTick"},    {16, "IRQ0"},       {17, "IRQ1"},
        {143, "IRQ127"},
    };
    for (const Name& n : names) {
        auto r = run_isolated([&] {
            tarvelo::print_exception_name(n.number);
            return 0;
        });
        EXPECT_EQ(r.output, n.text) << n.number;
    }
}

const char kFrameTitle[] = "\r\n--- Stack frame -------------------------------------------------------\r\n";
const std::string kNotStarted = std::string(32, '=') + " VM Not Started " + std::string(32, '=') + "\n";

TEST(FaultReport, FaultBeforeTheVirtualMachineExists) {
    auto r = run_isolated([] {
        if (tarvelo::ostrevan() != nullptr) return 3;
        tarvelo::install_fault_handlers();
        volatile tarvelo::word_t unmapped = 0x20;
        *tarvelo::to_ptr<volatile std::uint32_t>(unmapped) = 1;
        return 0;
    });
    EXPECT_EQ(r.exit_status, 249) << r.output;
    EXPECT_EQ(r.output.rfind(kFrameTitle, 0), 0u) << r.output;
    EXPECT_NE(r.output.find(" IPSR= 0x00000004 >>>>> MemManage <<<<<\r\n"), std::string::npos);
    EXPECT_NE(r.output.find("   - MemManage: MMFAR holds the faulting address (MMARVALID): 0x00000020\r\n"),
              std::string::npos);
    const std::string tail = std::string("Launch LLOSTV_dump(), not working when the DEBUG_CONSOLE_TRANSFER_NON_BLOCKING is set.\n") +
                             kNotStarted + "LLOSTV_dump() DONE\n";
    ASSERT_GE(r.output.size(), tail.size());
    EXPECT_EQ(r.output.substr(r.output.size() - tail.size()), tail);
}

TEST(FaultReport, ThreadModeReportReturns) {
    auto r = run_isolated([] {
        tarvelo::fault_state().ipsr = tarvelo::kExceptionThreadMode;
        EXCEPTION_DataPrint();
        DbgConsole_Printf("returned\n");
        return 0;
    });
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_NE(r.output.find(" IPSR= 0x00000000 >>>>> Thread mode <<<<<\r\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("is set.\n" + kNotStarted + "LLOSTV_dump() DONE\nreturned\n"), std::string::npos);
}

}  // namespace
