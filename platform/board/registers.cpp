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
    {kNvicIser0, 0},
    {kNvicIser0 + 4, 0},
    {kNvicIser0 + 8, 0},
    {kNvicIser0 + 12, 0},
    {kNvicIser4, 0},
    {kNvicIser0 + 20, 0},
    {kNvicIser0 + 24, 0},
    {kNvicIser0 + 28, 0},
    {kGpio11Dr, 0},
    {kSrcSlice1Ctrl, 0},
    {kCcmEnetRoot, 0},
    {kCcmGpu2dRoot, 0},
    {kCcmGpu2dGate, 0},
    {kCcmGpu2dGateStatus, 0},
};

Register* find(std::uint32_t address) {
    for (auto& r : file)
        if (r.address == address) return &r;
    return nullptr;
}

// A clock gate's status follows the gate once it is written (the
// simulated gate switches at once).
void follow(std::uint32_t address) {
    if (address != kCcmGpu2dGate) return;
    if (Register* status = find(kCcmGpu2dGateStatus)) status->value.store(find(kCcmGpu2dGate)->value.load() & 1u);
}

}  // namespace

// An unknown register reads as 0 and ignores writes, as a reserved address would.
std::uint32_t read(std::uint32_t address) {
    Register* r = find(address);
    return r ? r->value.load() : 0;
}

void write(std::uint32_t address, std::uint32_t value) {
    if (Register* r = find(address)) r->value.store(value);
    follow(address);
}

void set_bits(std::uint32_t address, std::uint32_t mask) {
    if (Register* r = find(address)) r->value.fetch_or(mask);
    follow(address);
}

void clear_bits(std::uint32_t address, std::uint32_t mask) {
    if (Register* r = find(address)) r->value.fetch_and(~mask);
    follow(address);
}

}  // namespace sim_registers
