// The start and stop of the virtual machine behind SNI_startVM.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct Ostrevan;
struct VMThread;

struct GreenThreadVMRuntime {
    // Starts the components, runs every Java thread until none is left or a
    // stop is requested, stops the components; returns the error code.
    static std::int32_t startVM(Ostrevan& vm, std::int32_t argc, char** argv);
    // Thread.start: 0 started, -1 no free record, -2 failure.
    static std::int32_t startThread(word_t threadObject);
    // The main thread, bound and prepared to run the class initialisers and
    // queued; false (error -5 recorded) when it could not be made.
    static bool startMainThread(Ostrevan& vm);
    // Runtime.exit: stores the exit code, then, as an operation of the
    // memory manager, requests the stop (every thread interrupted).
    static void requestExit(std::int32_t code);
    // A stop asked for from outside (GreenThreadVMFacade::requestStop) is
    // posted from anywhere and taken by the scheduling pass on the
    // application task, where it stops the virtual machine with `code` as
    // its exit code (when no stop is under way already).
    static void postOutsideStop(std::int32_t code);
    static void takeOutsideStop(Ostrevan& vm);
    // The thread record bound to a java.lang.Thread, through the id in its
    // third word; 0 when not started, ended or stale.
    static VMThread* findThreadById(word_t threadObject);
    // System.initializeProperties: the image's key and value arrays into
    // the reference fields at -4 and -8 of `tables`.
    static void getSystemProperties(word_t tables);
    // Ostrevan.createMainArguments: the String[] of main's arguments into
    // MainThread.Args.
    static void createMainArguments(std::int32_t argc, char** argv);
};

}  // namespace tarvelo
