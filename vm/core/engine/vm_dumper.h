// The state dump: every Java thread with its state, stack use, monitors,
// pending native events and frames with their object references, the
// scheduler state, the memory manager's figures, the native resources and
// the applications left stopped. It is printed by GreenThreadVMFacade::dump
// and by the fault handlers after a processor fault.
//
// Everything goes to the console one character at a time and nothing is
// allocated. The dump reads every structure without locks: it is meant for
// a system that has stopped, where nothing else runs.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

struct VMDumper {
    // An 80-column line: (78 - title length) / 2 fill characters, a blank,
    // the title, a blank, fill characters up to column 80, a newline.
    static void printTitle(std::string_view title, char fill);
    static void printRepeated(char c, std::int32_t n);
    // "0x" and eight hexadecimal digits.
    static void printHex(std::uint32_t value);

    // The whole dump; with `scheduleContexts` each thread's CPU-quota
    // context is shown too.
    static void dumpVM(bool scheduleContexts);

    // The blocks of the dump, each on its own.
    static void dumpMemoryManager();
    static void dumpNativeResources();
    // "Kernel Stale References": every installed application and the
    // objects it owns.
    static void dumpStaleReferences();
    // Each application left STOPPED with the objects it still owns.
    static void dumpStoppedFeatures();
};

struct ThreadDumper {
    bool scheduleContexts = false;

    // The block of one thread (after its "Java Thread[id]" line).
    void dumpThread(VMThread* t) const;

    // "null", or the type name, "[length]" for an array, "@" and the
    // address, and for a String its characters in double quotes. The
    // detailed form lists the elements of an array of references too.
    static void printObject(word_t object, bool detailed = false);
    // The text a description function writes for `resource` into the dump
    // buffer, or "<no description>" without one.
    static void printDescription(word_t description, std::uint32_t resource);
};

}  // namespace tarvelo

extern "C" {
// The port's name for the dump of the virtual machine (the fault handlers
// call it).
void LLOSTV_dump(void);
}
