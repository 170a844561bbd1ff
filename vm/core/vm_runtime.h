// The start and stop of the virtual machine behind SNI_startVM.
#pragma once

#include <cstdint>

namespace tarvelo {

struct Ostrevan;

struct GreenThreadVMRuntime {
    // Starts the components, runs every Java thread until none is left or a
    // stop is requested, stops the components; returns the error code.
    static std::int32_t startVM(Ostrevan& vm, std::int32_t argc, char** argv);
};

}  // namespace tarvelo
