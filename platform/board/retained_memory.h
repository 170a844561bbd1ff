// Memory kept across a restart of the board: a region and a few words of
// its owner saved in a host file, so that the next run of the same firmware
// finds them as they were. The file is named by the environment variable
// TARVELO_RETAINED_MEMORY; without it nothing is kept.
#pragma once

#include <cstdint>

namespace tarvelo {

// Restores [base, base + size) and `words` words from the file when it was
// saved for the same region (address and size) by the same firmware; false,
// changing nothing, otherwise.
bool retained_memory_restore(void* base, std::uint32_t size, std::uint32_t* words, std::uint32_t count);

// Saves the region and the words (replacing the file as a whole).
void retained_memory_save(const void* base, std::uint32_t size, const std::uint32_t* words, std::uint32_t count);

}  // namespace tarvelo
