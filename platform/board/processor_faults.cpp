#include "platform/board/processor_faults.h"

#include <signal.h>
#include <ucontext.h>

#include <atomic>
#include <cstring>

#include "platform/board/debug_console.h"
#include "platform/halt.h"
#include "sim_interrupt.h"

ExceptionStackStruct g_exceptionStackStruct;

namespace tarvelo {

namespace {

FaultState the_fault_state;

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

std::atomic<int> faults_in_progress{0};

void put(const char* text) {
    while (*text != '\0') DbgConsole_Putchar(static_cast<unsigned char>(*text++));
}

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

void install_fault_handlers() {
    reset_scb(the_fault_state);
    struct sigaction sa {};
    sa.sa_sigaction = on_fault_signal;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (int signo : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) sigaction(signo, &sa, nullptr);
}

}  // namespace tarvelo
