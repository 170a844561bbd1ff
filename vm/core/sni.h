// The native interface: how natives, other tasks and interrupt handlers act
// on the virtual machine.
#pragma once

#include <cstdint>

extern "C" {

void* SNI_createVM(void);
std::int32_t SNI_startVM(void* vm, std::int32_t argc, char** argv);
std::int32_t SNI_getExitCode(void* vm);
void SNI_destroyVM(void* vm);

}
