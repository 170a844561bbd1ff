#include "vm/core/engine/fault_handlers.h"

#include <cstring>

#include "platform/board/debug_console.h"
#include "platform/halt.h"
#include "vm/core/engine/vm_dumper.h"

namespace tarvelo {

namespace {

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
        if (b.address >= 0) put_hex(fault_state().scb[b.address]);
        put("\r\n");
    }
}

void print_scb_register(int index) {
    const ScbLabel& l = kScbLabels[index];
    // The priorities of the system handlers are bytes.
    std::uint64_t value = fault_state().scb[index];
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

}  // namespace

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
