// The processor's side of a fault, for a Linux process: the exception frame
// the processor stacks, a snapshot of its System Control Block, and the
// vector table's fault entries, which the firmware defines (its fault report,
// vm/core/engine/fault_handlers.h).
//
// On the host a processor fault is a synchronous signal: SIGSEGV stands for
// a MemManage fault, SIGBUS for a BusFault (an unaligned access for a
// UsageFault), SIGILL and an integer division by zero (SIGFPE) for a
// UsageFault, any other SIGFPE for a HardFault. The signal handler fills the
// stacked frame and the System Control Block from the signal and its machine
// context and calls the matching entry; where the device loops for ever
// the host process ends with status 249 (TARVELO_EXIT_HALTED).
#pragma once

#include <cstdint>

extern "C" {

// The exception frame the processor stacks (R0-R3, R12, LR, PC, xPSR) and
// the stack pointer at the fault. The host keeps full register widths.
struct ExceptionStackStruct {
    std::uint64_t r0, r1, r2, r3, r12, lr, pc, psr;
    std::uint64_t sp;
};
extern ExceptionStackStruct g_exceptionStackStruct;

// The vector table's fault entries.
void HardFault_Handler(void);
void MemManage_Handler(void);
void BusFault_Handler(void);
void UsageFault_Handler(void);
void NMI_Handler(void);

}  // extern "C"

namespace tarvelo {

// The System Control Block registers, in the order of the block. On the
// host they are a snapshot: the processor's identification values of a
// Cortex-M7 and the fault state the signal described.
enum ScbRegister : int {
    kScbCpuid, kScbIcsr, kScbVtor, kScbAircr, kScbScr, kScbCcr,
    kScbShpr0, kScbShpr11 = kScbShpr0 + 11,
    kScbShcsr, kScbCfsr, kScbHfsr, kScbDfsr, kScbMmfar, kScbBfar, kScbAfsr,
    kScbIdPfr0, kScbIdPfr1, kScbIdDfr, kScbIdAfr,
    kScbIdMfr0, kScbIdMfr3 = kScbIdMfr0 + 3,
    kScbIdIsar0, kScbIdIsar4 = kScbIdIsar0 + 4,
    kScbClidr, kScbCtr, kScbCcsidr, kScbCsselr, kScbCpacr,
    kScbMvfr0, kScbMvfr1, kScbMvfr2,
    kScbItcmcr, kScbDtcmcr, kScbAhbpcr, kScbCacr, kScbAhbscr, kScbAbfsr,
    kScbRegisterCount,
};
static_assert(kScbRegisterCount == 52);

// Exception numbers of the faults.
inline constexpr std::uint32_t kExceptionThreadMode = 0;
inline constexpr std::uint32_t kExceptionNmi = 2;
inline constexpr std::uint32_t kExceptionHardFault = 3;
inline constexpr std::uint32_t kExceptionMemManage = 4;
inline constexpr std::uint32_t kExceptionBusFault = 5;
inline constexpr std::uint32_t kExceptionUsageFault = 6;

// The snapshot: the active exception number (IPSR) and the registers.
struct FaultState {
    std::uint32_t ipsr;
    std::uint64_t scb[kScbRegisterCount];
};
FaultState& fault_state();

// Installs the signal handlers that turn a processor fault of any task into
// a call of the vector table's fault entry (the device's vector table has
// them from the start).
void install_fault_handlers();

}  // namespace tarvelo
