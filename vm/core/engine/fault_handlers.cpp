#include "vm/core/engine/fault_handlers.h"

#include <signal.h>
#include <ucontext.h>

#include <atomic>
#include <cstring>

#include "platform/board/debug_console.h"
#include "platform/halt.h"
#include "sim_interrupt.h"
#include "vm/core/engine/vm_dumper.h"

ExceptionStackStruct g_exceptionStackStruct;

namespace tarvelo {

namespace {

FaultState the_fault_state;

// --- Console output, one character at a time, no formatting library ------------------------

void put(char c) { DbgConsole_Putchar(static_cast<unsigned char>(c)); }

void put(const char* text) {
    while (*text != '\0') put(*text++);
}

// "0x" and at least eight upper-case digits (the host's registers may be
// wider than the device's 32 bits: nothing is cut).
void put_hex(std::uint64_t value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    put("0x");
    int digits = 8;
    while (digits < 16 && (value >> (4 * digits)) != 0) ++digits;
    for (int i = digits - 1; i >= 0; --i) put(kHex[(value >> (4 * i)) & 0xF]);
}

void put_decimal(std::uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) put(digits[--n]);
}

// --- The System Control Block ---------------------------------------------------------------

struct ScbLabel {
    const char* name;
    const char* description;
};

constexpr ScbLabel kScbLabels[kScbRegisterCount] = {
    {"CPUID", "CPUID Base Register"},
    {"ICSR", "Interrupt Control and State Register"},
    {"VTOR", "Vector Table Offset Register"},
    {"AIRCR", "Application Interrupt and Reset Control Register"},
    {"SCR", "System Control Register"},
    {"CCR", "Configuration Control Register"},
    {"SHPR[0]", "System Handlers Priority Register (MemManage)"},
    {"SHPR[1]", "System Handlers Priority Register (BusFault)"},
    {"SHPR[2]", "System Handlers Priority Register (UsageFault)"},
    {"SHPR[3]", "System Handlers Priority Register (reserved)"},
    {"SHPR[4]", "System Handlers Priority Register (reserved)"},
    {"SHPR[5]", "System Handlers Priority Register (reserved)"},
    {"SHPR[6]", "System Handlers Priority Register (reserved)"},
    {"SHPR[7]", "System Handlers Priority Register (SVCall)"},
    {"SHPR[8]", "System Handlers Priority Register (DebugMonitor)"},
    {"SHPR[9]", "System Handlers Priority Register (reserved)"},
    {"SHPR[10]", "System Handlers Priority Register (PendSV)"},
    {"SHPR[11]", "System Handlers Priority Register (SysTick)"},
    {"SHCSR", "System Handler Control and State Register"},
    {"CFSR", "Configurable Fault Status Register"},
    {"HFSR", "HardFault Status Register"},
    {"DFSR", "Debug Fault Status Register"},
    {"MMFAR", "MemManage Fault Address Register"},
    {"BFAR", "BusFault Address Register"},
    {"AFSR", "Auxiliary Fault Status Register"},
    {"ID_PFR[0]", "Processor Feature Register 0"},
    {"ID_PFR[1]", "Processor Feature Register 1"},
    {"ID_DFR", "Debug Feature Register"},
    {"ID_AFR", "Auxiliary Feature Register"},
    {"ID_MFR[0]", "Memory Model Feature Register 0"},
    {"ID_MFR[1]", "Memory Model Feature Register 1"},
    {"ID_MFR[2]", "Memory Model Feature Register 2"},
    {"ID_MFR[3]", "Memory Model Feature Register 3"},
    {"ID_ISAR[0]", "Instruction Set Attributes Register 0"},
    {"ID_ISAR[1]", "Instruction Set Attributes Register 1"},
    {"ID_ISAR[2]", "Instruction Set Attributes Register 2"},
    {"ID_ISAR[3]", "Instruction Set Attributes Register 3"},
    {"ID_ISAR[4]", "Instruction Set Attributes Register 4"},
    {"CLIDR", "Cache Level ID register"},
    {"CTR", "Cache Type register"},
    {"CCSIDR", "Cache Size ID Register"},
    {"CSSELR", "Cache Size Selection Register"},
    {"CPACR", "Coprocessor Access Control Register"},
    {"MVFR0", "Media and VFP Feature Register 0"},
    {"MVFR1", "Media and VFP Feature Register 1"},
    {"MVFR2", "Media and VFP Feature Register 2"},
    {"ITCMCR", "Instruction Tightly-Coupled Memory Control Register"},
    {"DTCMCR", "Data Tightly-Coupled Memory Control Register"},
    {"AHBPCR", "AHBP Control Register"},
    {"CACR", "L1 Cache Control Register"},
    {"AHBSCR", "AHB Slave Control Register"},
    {"ABFSR", "Auxiliary Bus Fault Status Register"},
};

// The identification and configuration values a Cortex-M7 with caches,
// tightly coupled memories and a double-precision FPU reports; the fault
// registers are 0 until a fault fills them.
void reset_scb(FaultState& s) {
    std::memset(&s, 0, sizeof s);
    s.scb[kScbCpuid] = 0x411FC272;
    s.scb[kScbAircr] = 0xFA050000;
    s.scb[kScbCcr] = 0x00070200;
    s.scb[kScbShcsr] = 0x00070000;  // MemManage, BusFault and UsageFault handlers enabled
    s.scb[kScbIdPfr0] = 0x00000030;
    s.scb[kScbIdPfr1] = 0x00000200;
    s.scb[kScbIdDfr] = 0x00100000;
    s.scb[kScbIdMfr0] = 0x00100030;
    s.scb[kScbIdMfr0 + 2] = 0x01000000;
    s.scb[kScbIdIsar0] = 0x01101110;
    s.scb[kScbIdIsar0 + 1] = 0x02112000;
    s.scb[kScbIdIsar0 + 2] = 0x20232231;
    s.scb[kScbIdIsar0 + 3] = 0x01111131;
    s.scb[kScbIdIsar0 + 4] = 0x01310132;
    s.scb[kScbClidr] = 0x09000003;
    s.scb[kScbCtr] = 0x8303C003;
    s.scb[kScbCcsidr] = 0xF01FE019;
    s.scb[kScbCpacr] = 0x00F00000;
    s.scb[kScbMvfr0] = 0x10110221;
    s.scb[kScbMvfr1] = 0x12000011;
    s.scb[kScbMvfr2] = 0x00000040;
    s.scb[kScbItcmcr] = 0x00000029;
    s.scb[kScbDtcmcr] = 0x00000029;
    s.scb[kScbCacr] = 0x00000000;
}

// Configurable Fault Status Register bits and what each says.
struct FaultBit {
    std::uint32_t bit;
    const char* text;
    int address;  // register whose value follows the text, or -1
};

constexpr FaultBit kCfsrBits[] = {
    {0, "MemManage: instruction access violation (IACCVIOL)", -1},
    {1, "MemManage: data access violation (DACCVIOL)", -1},
    {3, "MemManage: unstacking error on exception return (MUNSTKERR)", -1},
    {4, "MemManage: stacking error on exception entry (MSTKERR)", -1},
    {5, "MemManage: lazy floating-point state preservation error (MLSPERR)", -1},
    {7, "MemManage: MMFAR holds the faulting address (MMARVALID): ", kScbMmfar},
    {8, "BusFault: instruction bus error (IBUSERR)", -1},
    {9, "BusFault: precise data bus error (PRECISERR)", -1},
    {10, "BusFault: imprecise data bus error (IMPRECISERR)", -1},
    {11, "BusFault: unstacking error on exception return (UNSTKERR)", -1},
    {12, "BusFault: stacking error on exception entry (STKERR)", -1},
    {13, "BusFault: lazy floating-point state preservation error (LSPERR)", -1},
    {15, "BusFault: BFAR holds the faulting address (BFARVALID): ", kScbBfar},
    {16, "UsageFault: undefined instruction (UNDEFINSTR)", -1},
    {17, "UsageFault: invalid state, no Thumb bit (INVSTATE)", -1},
    {18, "UsageFault: invalid EXC_RETURN value loaded into PC (INVPC)", -1},
    {19, "UsageFault: no coprocessor (NOCP)", -1},
    {24, "UsageFault: unaligned access (UNALIGNED)", -1},
    {25, "UsageFault: division by zero (DIVBYZERO)", -1},
};

constexpr FaultBit kHfsrBits[] = {
    {1, "HardFault: bus fault on a vector table read (VECTTBL)", -1},
    {30, "HardFault: forced, a configurable fault escalated (FORCED)", -1},
    {31, "HardFault: debug event (DEBUGEVT)", -1},
};

template <std::size_t N>
void print_status(const char* name, std::uint64_t value, const FaultBit (&bits)[N]) {
    put(' ');
    put(name);
    put(" = ");
    put_hex(value);
    put("\r\n");
    for (const FaultBit& b : bits) {
        if ((value & (std::uint64_t{1} << b.bit)) == 0) continue;
        put("   - ");
        put(b.text);
        if (b.address >= 0) put_hex(the_fault_state.scb[b.address]);
        put("\r\n");
    }
}

void print_scb_register(int index) {
    const ScbLabel& l = kScbLabels[index];
    // The priorities of the system handlers are bytes.
    std::uint64_t value = the_fault_state.scb[index];
    if (index >= kScbShpr0 && index <= kScbShpr11) value &= 0xFF;
    put_hex(value);
    put(" - ");
    put(l.name);
    for (std::size_t n = std::strlen(l.name); n < 7; ++n) put(' ');
    put(" - ");
    put(l.description);
    put("\r\n");
}

void print_register(const char* label, std::uint64_t value) {
    put(label);
    put_hex(value);
    put("   ");
}

// --- The host's signals -----------------------------------------------------------------------

std::atomic<int> faults_in_progress{0};

bool integer_division_by_zero(const siginfo_t* info) {
#if defined(__arm__)
    // Without a divide instruction the run-time library divides, and raises
    // SIGFPE itself for a zero divisor.
    if (info->si_code == SI_TKILL || info->si_code == SI_USER) return true;
#endif
    return info->si_code == FPE_INTDIV;
}

// What the signal tells, in the terms of the device's fault registers.
void describe_signal(int signo, const siginfo_t* info, FaultState& s) {
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(info->si_addr));
    std::uint32_t cfsr = 0;
    std::uint32_t hfsr = 0;
    switch (signo) {
        case SIGSEGV:
            s.ipsr = kExceptionMemManage;
            cfsr = (address == g_exceptionStackStruct.pc ? 1u << 0 : 1u << 1) | 1u << 7;
            s.scb[kScbMmfar] = address;
            s.scb[kScbShcsr] |= 1u << 0;  // MEMFAULTACT
            break;
        case SIGBUS:
            if (info->si_code == BUS_ADRALN) {
                s.ipsr = kExceptionUsageFault;
                cfsr = 1u << 24;
                s.scb[kScbShcsr] |= 1u << 3;  // USGFAULTACT
            } else {
                s.ipsr = kExceptionBusFault;
                cfsr = 1u << 9 | 1u << 15;
                s.scb[kScbBfar] = address;
                s.scb[kScbShcsr] |= 1u << 1;  // BUSFAULTACT
            }
            break;
        case SIGILL:
            s.ipsr = kExceptionUsageFault;
            cfsr = info->si_code == ILL_COPROC ? 1u << 19 : 1u << 16;
            s.scb[kScbShcsr] |= 1u << 3;
            break;
        case SIGFPE:
            if (integer_division_by_zero(info)) {
                s.ipsr = kExceptionUsageFault;
                cfsr = 1u << 25;
                s.scb[kScbShcsr] |= 1u << 3;
            } else {
                s.ipsr = kExceptionHardFault;
                hfsr = 1u << 30;
            }
            break;
        default:
            s.ipsr = kExceptionHardFault;
            hfsr = 1u << 30;
            break;
    }
    s.scb[kScbCfsr] = cfsr;
    s.scb[kScbHfsr] = hfsr;
    s.scb[kScbIcsr] = s.ipsr;  // VECTACTIVE
}

// The stacked frame from the signal context.
#if defined(__arm__)
// 32-bit ARM has the device's registers themselves.
void capture_frame(const ucontext_t* uc) {
    const mcontext_t& m = uc->uc_mcontext;
    g_exceptionStackStruct = {m.arm_r0, m.arm_r1, m.arm_r2, m.arm_r3, m.arm_ip,
                              m.arm_lr, m.arm_pc, m.arm_cpsr, m.arm_sp};
}
#else
// The registers that carry the first four arguments (rdi, rsi, rdx, rcx)
// stand for R0-R3, r12 for R12, rip for PC, the flags for xPSR and rsp for
// the stack pointer. x86-64 has no link register (return addresses live on
// the stack): the frame pointer rbp stands in LR's place, the caller's frame
// is found from it.
void capture_frame(const ucontext_t* uc) {
    const greg_t* g = uc->uc_mcontext.gregs;
    auto reg = [&](int i) { return static_cast<std::uint64_t>(g[i]); };
    g_exceptionStackStruct = {reg(REG_RDI), reg(REG_RSI), reg(REG_RDX), reg(REG_RCX), reg(REG_R12),
                              reg(REG_RBP), reg(REG_RIP), reg(REG_EFL), reg(REG_RSP)};
}
#endif

void on_fault_signal(int signo, siginfo_t* info, void* context) {
    // The report itself faulted (a corrupt structure read by the dump):
    // nothing more can be said safely.
    if (faults_in_progress.fetch_add(1) != 0) {
        put("\r\nFault inside the fault report\r\n");
        platform_halt(TARVELO_EXIT_HALTED);
    }
    // No task switch from here on: the device runs nothing else either.
    vSimNoPreemptEnter();
    capture_frame(static_cast<const ucontext_t*>(context));
    reset_scb(the_fault_state);
    describe_signal(signo, info, the_fault_state);
    switch (the_fault_state.ipsr) {
        case kExceptionMemManage: MemManage_Handler(); break;
        case kExceptionBusFault: BusFault_Handler(); break;
        case kExceptionUsageFault: UsageFault_Handler(); break;
        default: HardFault_Handler(); break;
    }
    platform_halt(TARVELO_EXIT_HALTED);
}

}  // namespace

FaultState& fault_state() { return the_fault_state; }

void print_exception_name(std::uint32_t number) {
    static constexpr const char* kNames[16] = {
        "Thread mode", "Reserved 1", "NMI",         "HardFault",    "MemManage",          "BusFault",
        "UsageFault",  "Reserved 7", "Reserved 8",  "Reserved 9",   "Reserved 10",        "SVCall",
        "Reserved for Debug",        "Reserved 13", "PendSV",       "SysTick",
    };
    if (number < 16) {
        put(kNames[number]);
    } else {
        put("IRQ");
        put_decimal(number - 16);
    }
}

void install_fault_handlers() {
    reset_scb(the_fault_state);
    struct sigaction sa {};
    sa.sa_sigaction = on_fault_signal;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (int signo : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) sigaction(signo, &sa, nullptr);
}

}  // namespace tarvelo

using tarvelo::fault_state;

extern "C" void EXCEPTION_CopyToStack(const std::uint32_t* frame, std::uint32_t sp) {
    g_exceptionStackStruct = {frame[0], frame[1], frame[2], frame[3], frame[4], frame[5], frame[6], frame[7], sp};
}

extern "C" void EXCEPTION_DataPrint(void) {
    using namespace tarvelo;
    const ExceptionStackStruct& f = g_exceptionStackStruct;
    const FaultState& s = fault_state();
    put("\r\n--- Stack frame -------------------------------------------------------\r\n");
    put(" IPSR= ");
    put_hex(s.ipsr);
    put(" >>>>> ");
    print_exception_name(s.ipsr);
    put(" <<<<<\r\n");
    print_register(" R0  = ", f.r0);
    print_register(" R1  = ", f.r1);
    print_register(" R2  = ", f.r2);
    print_register(" R3  = ", f.r3);
    put("\r\n");
    print_register(" R12 = ", f.r12);
    print_register(" LR  = ", f.lr);
    print_register(" PC  = ", f.pc);
    print_register(" PSR = ", f.psr);
    put("\r\n");
    put(" SP (when faulted)  = ");
    put_hex(f.sp);
    put("\r\n");

    put("\n--- System Control Block (SCB) ----------------------------------------\r\n");
    print_status("CFSR", s.scb[kScbCfsr], kCfsrBits);
    print_status("HFSR", s.scb[kScbHfsr], kHfsrBits);
    for (int i = 0; i < kScbRegisterCount; ++i) print_scb_register(i);

    put("Launch LLOSTV_dump(), not working when the DEBUG_CONSOLE_TRANSFER_NON_BLOCKING is set.\n");
    LLOSTV_dump();
    put("LLOSTV_dump() DONE\n");
    // The device stops here for good; the host process ends.
    if (s.ipsr != kExceptionThreadMode) platform_halt(TARVELO_EXIT_HALTED);
}

namespace {
// Each handler runs as its own exception: that is what IPSR reads.
void handle(std::uint32_t exception) {
    fault_state().ipsr = exception;
    fault_state().scb[tarvelo::kScbIcsr] = exception;
    EXCEPTION_DataPrint();
}
}  // namespace

extern "C" void HardFault_Handler(void) { handle(tarvelo::kExceptionHardFault); }
extern "C" void MemManage_Handler(void) { handle(tarvelo::kExceptionMemManage); }
extern "C" void BusFault_Handler(void) { handle(tarvelo::kExceptionBusFault); }
extern "C" void UsageFault_Handler(void) { handle(tarvelo::kExceptionUsageFault); }
extern "C" void NMI_Handler(void) { handle(tarvelo::kExceptionNmi); }
