// The table of thread records: one slot per record, indexed by the slot part
// of a thread id.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct Ostrevan;
struct VMThread;

struct ThreadTable {
    std::uint32_t count;   // records in the table
    std::uint32_t length;  // slots
    // `length` words: the thread record of each slot, 0 when free. Read by
    // the resumes of other tasks and interrupts.
    std::atomic<word_t> slots[1];

    static constexpr std::uint32_t kMaxRecords = 256;

    // The table for the configured number of records; records error -12 and
    // returns null when it would exceed 256 records.
    static ThreadTable* create(Ostrevan& vm);

    VMThread* at(std::uint32_t slot) const {
        return slot < length ? to_ptr<VMThread>(slots[slot].load()) : nullptr;
    }
    // The record in slot (id & 255) when it holds exactly that id; else null.
    VMThread* findThread(std::uint32_t id) const;
    // Enters `t` at its slot; false when the slot is out of range or taken.
    bool addThread(VMThread* t);
    void removeThread(VMThread* t);
    // Whether no record other than `ending` is bound to a non-daemon
    // java.lang.Thread.
    bool allDaemonOrDone(const VMThread* ending) const;
};

// The table of the virtual machine, or null before creation.
ThreadTable* thread_table();

}  // namespace tarvelo
