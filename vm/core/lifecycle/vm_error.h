// Error codes of the virtual machine, kept in the virtual-machine object; the
// first one recorded wins and moves the machine to the failed state.
#pragma once

#include <cstdint>

namespace tarvelo {

enum VMErrorCode : std::int8_t {
    kVMErrorNone = 0,
    kVMErrorBadMagic = -1,
    kVMErrorInitialization = -5,
    kVMErrorThreadTable = -12,
    kVMErrorHeapSize = -13,
    kVMErrorJavaStackArea = -14,
    kVMErrorNotStartable = -17,
    kVMErrorHeapMemoryTest = -18,
    kVMErrorStaticsMemoryTest = -19,
    kVMErrorFeatureRules = -20,
    kVMErrorMonitorsPerThread = -21,
    kVMErrorArgumentStubs = -22,
    kVMErrorPortInitialize = -23,
    kVMErrorPortTaskStarted = -24,
    kVMErrorPortShutdown = -25,
    kVMErrorSystemProperties = -27,
    kVMErrorReleaseHandlers = -128,
};

}  // namespace tarvelo
