// The virtual-machine object: the component list, the error and exit codes,
// and the life-cycle state. Everything here runs on the application task.
#pragma once

#include <cstdint>

#include "vm/model/vm_component.h"
#include "vm/core/lifecycle/vm_error.h"

namespace tarvelo {

struct ThreadTable;

enum VMState : std::int8_t {
    kVMCreated = 0,
    kVMInitialized = 1,
    kVMStarted = 2,
    kVMStopped = 3,
    kVMFailed = -1,
};

enum StartPhase : std::uint8_t {
    kStartPhaseInitializers = 0,  // the class initialisers run
    kStartPhaseMain = 1,          // the application's main runs
    kStartPhaseFailed = 2,        // a class initialiser ended with an uncaught exception
};

struct Ostrevan {
    std::int32_t exitCode;
    ThreadTable* threadTable;
    VMComponent* componentList;
    void* runningHook;  // native close function running now; refuses thread-acting calls
    void* lastHook;
    std::int8_t errorCode;
    std::uint8_t stopRequested;
    std::uint8_t startPhase;
    std::int8_t state;
    VMComponent* threadPool;
    VMComponent* stackAllocator;
    VMComponent* rulesCheck;

    // Pushes a component at the head of the list.
    void addComponent(VMComponent* component);
    // Records `code` unless a code is recorded already; the state becomes failed.
    void setError(std::int8_t code);
    bool failed() const { return state == kVMFailed; }

    void createVM();
    void createComponents();
    // Walks the list calling initialize; stops at the first failure.
    bool initializeComponents();
    void startComponents();
    void resetComponents();
    void stopComponents();
    // Sets stopRequested and asks the running thread to give way.
    void requestStop();

    // First component of `classId` in the list, or null.
    VMComponent* findComponent(std::uint32_t classId) const;
};

// The one virtual-machine object, or null before creation.
Ostrevan* ostrevan();

}  // namespace tarvelo
