// The table of thread records: one slot per record, indexed by the slot part
// of a thread id.
#pragma once

#include <cstdint>

namespace tarvelo {

struct Ostrevan;

struct ThreadTable {
    std::uint32_t length;
    std::uint32_t slots[1];  // `length` words: the thread record of each slot, 0 when free

    static constexpr std::uint32_t kMaxRecords = 256;

    // The table for the configured number of records; records error -12 and
    // returns null when it would exceed 256 records.
    static ThreadTable* create(Ostrevan& vm);
};

}  // namespace tarvelo
