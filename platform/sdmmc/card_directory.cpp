#include "platform/sdmmc/card_directory.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include <cstdlib>

#include "FreeRTOS.h"
#include "sim_interrupt.h"
#include "task.h"

namespace tarvelo::sdcard {

namespace {

struct Settings {
    bool loaded = false;
    std::string directory;
    std::uint64_t capacity = UINT64_MAX;
    std::uint32_t delayTicks = 0;
};

Settings& settings() {
    static Settings s;
    if (!s.loaded) {
        s.loaded = true;
        const char* dir = std::getenv("TARVELO_SDCARD");
        s.directory = dir != nullptr && dir[0] != '\0' ? dir : kDefaultDirectory;
        if (const char* cap = std::getenv("TARVELO_SDCARD_CAPACITY")) s.capacity = std::strtoull(cap, nullptr, 0);
        if (const char* d = std::getenv("TARVELO_SDCARD_DELAY_TICKS"))
            s.delayTicks = static_cast<std::uint32_t>(std::strtoul(d, nullptr, 0));
    }
    return s;
}

}  // namespace

const std::string& directory() { return settings().directory; }

void set_directory(const std::string& path) { settings().directory = path; }

bool present() {
    struct stat st;
    vSimNoPreemptEnter();
    const bool in = ::stat(settings().directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    vSimNoPreemptExit();
    return in;
}

std::uint64_t capacity() { return settings().capacity; }

void set_capacity(std::uint64_t bytes) { settings().capacity = bytes; }

std::uint32_t delay_ticks() { return settings().delayTicks; }

void set_delay_ticks(std::uint32_t ticks) { settings().delayTicks = ticks; }

void access_delay() {
    const std::uint32_t ticks = settings().delayTicks;
    if (ticks == 0 || xTaskGetSchedulerState() != taskSCHEDULER_RUNNING || xTaskGetCurrentTaskHandle() == nullptr)
        return;
    vTaskDelay(ticks);
}

std::vector<std::string> host_names(int directoryFd) {
    std::vector<std::string> names;
    const int fd = ::dup(directoryFd);
    if (fd < 0) return names;
    ::DIR* d = fdopendir(fd);
    if (d == nullptr) {
        ::close(fd);
        return names;
    }
    rewinddir(d);
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    closedir(d);
    return names;
}

}  // namespace tarvelo::sdcard
