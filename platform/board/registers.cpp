#include "platform/board/registers.h"

#include <atomic>
#include <cstddef>

namespace sim_registers {
namespace {

struct Register {
    std::uint32_t address;
    std::atomic<std::uint32_t> value;
};

Register file[] = {
    {kAnadigMisc, kSiliconRevision},
    {kIomuxcGpr5, 0},
    {kIomuxcGpr28, 0x2},
    {kNvicIser4, 0},
    {kGpio11Dr, 0},
    {kSrcSlice1Ctrl, 0},
    {kCcmEnetRoot, 0},
};

Register* find(std::uint32_t address) {
    for (auto& r : file)
        if (r.address == address) return &r;
    return nullptr;
}

}  // namespace

// An unknown register reads as 0 and ignores writes, as a reserved address would.
std::uint32_t read(std::uint32_t address) {
    Register* r = find(address);
    return r ? r->value.load() : 0;
}

void write(std::uint32_t address, std::uint32_t value) {
    if (Register* r = find(address)) r->value.store(value);
}

void set_bits(std::uint32_t address, std::uint32_t mask) {
    if (Register* r = find(address)) r->value.fetch_or(mask);
}

void clear_bits(std::uint32_t address, std::uint32_t mask) {
    if (Register* r = find(address)) r->value.fetch_and(~mask);
}

}  // namespace sim_registers
