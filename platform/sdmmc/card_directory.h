// The host side of the SD card: the host directory that stands for the
// card, whether the card is in (the directory exists), its capacity and how
// slow it is. Read from the environment the first time they are needed;
// tests set them directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvelo::sdcard {

// The directory: TARVELO_SDCARD, else kDefaultDirectory (relative to the
// working directory; scripts/run creates it).
inline constexpr const char* kDefaultDirectory = "build/sdcard";
const std::string& directory();
void set_directory(const std::string& path);

// The card is in while its directory exists.
bool present();

// Bytes the card holds, files and directories counted in whole clusters:
// TARVELO_SDCARD_CAPACITY, else unlimited (UINT64_MAX).
inline constexpr std::uint32_t kClusterBytes = 4096;
std::uint64_t capacity();
void set_capacity(std::uint64_t bytes);

// Ticks each file-system call waits for the card, as a slow card's
// transfers do (the calling task blocks, lower priorities run):
// TARVELO_SDCARD_DELAY_TICKS, else 0.
std::uint32_t delay_ticks();
void set_delay_ticks(std::uint32_t ticks);
// Waits delay_ticks() when called by a task of a running scheduler.
void access_delay();

// The names in a host directory (given by its descriptor), without the
// dot entries.
std::vector<std::string> host_names(int directoryFd);

}  // namespace tarvelo::sdcard
