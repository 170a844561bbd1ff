// The firmware's entry: `main` brings the board up, creates the application
// task and starts the RTOS; the application task prints the port banner and
// runs one life of the virtual machine, inside which every Java thread runs.
#include <cstdint>

#include "FreeRTOS.h"
#include "bsp/zev/port/kf/inc/LLKERNEL_RAM.h"
#include "platform/board/board.h"
#include "platform/board/debug_console.h"
#include "platform/board/processor_faults.h"
#include "platform/board/registers.h"
#include "platform/fbdev/frame_output.h"
#include "platform/halt.h"
#include "port/fs/sdcard_task.h"
#include "sim_interrupt.h"
#include "task.h"
#include "vm/core/startup/build_id.h"
#include "vm/core/startup/cpu_load.h"
#include "vm/core/engine/sni.h"
#include "vm/core/startup/startup.h"

namespace {

constexpr configSTACK_DEPTH_TYPE kAppTaskStackWords = 10240;
constexpr UBaseType_t kAppTaskPriority = 4;

TaskHandle_t tarvelo_task_handle = nullptr;

void board_init() {
    BOARD_ConfigMPU();
    BOARD_BootClockRUN();
    BOARD_ResetDisplayPowerSlice();
    BOARD_InitDebugUartPins();
    BOARD_InitMipiPanelPins();
    BOARD_InitTouchI2CPins();
    BOARD_InitDebugConsole();
    BOARD_InitSdCardPins();
    BOARD_InitDma();
    NVIC_SetPriority(16, 0x50);
    NVIC_SetPriority(4, 0x40);
    BOARD_InitRemainingPins();
    BOARD_InitModuleClock();
    IOMUXC_SelectENETClock();
    BOARD_InitEnetPins();

    // Ethernet PHY reset pulse.
    GPIO_PinWrite(kGpio11, 14, 0);
    SDK_DelayAtLeastUs(10000, SystemCoreClock);
    GPIO_PinWrite(kGpio11, 14, 1);
    SDK_DelayAtLeastUs(30000, SystemCoreClock);

    NVIC_EnableMask(4, 0x800);
    NVIC_EnableMask(4, 0x1000);
    CRYPTO_InitHardware();
    sim_registers::clear_bits(sim_registers::kIomuxcGpr28, 1u << 1);
}

}  // namespace

extern "C" int tarvelo_main(int argc, char** argv) {
    void* vm = SNI_createVM();
    if (vm == nullptr) {
        DbgConsole_Printf("Tarvelo initialization error.\n");
        return TARVELO_EXIT_VM_ERROR;
    }
    DbgConsole_Printf("Tarvelo START\n");
    std::int32_t result = SNI_startVM(vm, argc, argv);
    int status;
    if (result >= 0) {
        std::int32_t exit_code = SNI_getExitCode(vm);
        DbgConsole_Printf("Tarvelo END (exit code = %d)\n", static_cast<int>(exit_code));
        status = exit_code & 0xFF;
    } else {
        DbgConsole_Printf("Tarvelo execution error (err = %d).\n", static_cast<int>(result));
        status = TARVELO_EXIT_VM_ERROR;
    }
    SNI_destroyVM(vm);
    return status;
}

extern "C" void tarvelo_task(void*) {
    DbgConsole_Printf("NXP ZEV Port i.MX RT1170 '%s' '%s'\n", tarvelo_port_version, tarvelo_build_id);
    DbgConsole_Printf("Chip revision: %x\n",
                      static_cast<unsigned>(sim_registers::read(sim_registers::kAnadigMisc) & 0xFF));
    DbgConsole_Printf("Heap memory available: %d KB\n", static_cast<int>(xPortGetFreeHeapSize() >> 10));
    cpuload_init();
    LLKERNEL_RAM_BESTFIT_initialize(kernel_working_buffer, kernel_working_buffer + kKernelWorkingBufferSize);
    int status = tarvelo_main(0, nullptr);
    // On the host the process ends with the task, and its exit status tells
    // how the virtual machine ended.
    vSimSetExitStatus(nullptr, status);
    vTaskDelete(nullptr);
}

extern "C" void vApplicationMallocFailedHook(void) {
    DbgConsole_Printf("\r\nERROR: Malloc failed to allocate memory\r\n");
    platform_halt(TARVELO_EXIT_HALTED);
}

extern "C" void vApplicationIdleHook(void) { cpuload_idle(); }

int main() {
    tarvelo::install_fault_handlers();
    board_init();
    // A run whose frames would all be lost is not started.
    if (!tarvelo::fbdev::check_frame_output_from_environment()) platform_halt(TARVELO_EXIT_VM_ERROR);
    START_SDCARD_Task();
    if (xTaskCreate(tarvelo_task, "Tarvelo task", kAppTaskStackWords, nullptr, kAppTaskPriority,
                    &tarvelo_task_handle) != pdPASS) {
        DbgConsole_Printf("Task creation failed!.\r\n");
        platform_halt(TARVELO_EXIT_HALTED);
    }
    vSimExitProcessOnDelete(tarvelo_task_handle, 0);
    vTaskStartScheduler();
    for (;;) {
    }
}
