// The face of the virtual machine that the native interface and the
// operating-system port call.
#pragma once

#include <cstdint>

namespace tarvelo {

struct GreenThreadVMFacade {
    // Creates the virtual machine (or records -17 on the existing one) and
    // returns its handle, never null: failures surface at start.
    static void* initialize();
    // Starts the virtual machine and returns when it stopped: 0 or a
    // negative virtual-machine error code.
    static std::int32_t start(void* handle, std::int32_t argc, char** argv);
    static std::int32_t getExitCode(void* handle);
    // The wake-up entry of the port, from any task, the timer task or an
    // interrupt: marks a wake-up pending, asks for a scheduling pass and
    // wakes the application task.
    static std::int32_t schedule();
    // A stop asked for from outside the virtual machine (the host's window
    // closed, a stop signal), from any task or an interrupt: at its next
    // scheduling pass the virtual machine stops as Runtime.exit(code) stops
    // it, unless it is stopping already.
    static void requestStop(std::int32_t code);
    // Prints the state dump of the virtual machine on the console.
    static void dump();
};

}  // namespace tarvelo
