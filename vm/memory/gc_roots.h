// The collector's roots as one walk that hands out writable 32-bit slots.
// Marking reads them, compaction and `makeImmortal` rewrite them. Components
// that keep heap references outside the heap (thread records and stack
// frames, watchdog contexts) register a provider for their phase.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct SlotVisitor {
    void (*fn)(void* ctx, word_t* slot);
    void* ctx;
    void operator()(word_t* slot) const { fn(ctx, slot); }
};

// Root phases in walk order: the immortal heap (1) and the statics (3) and
// feature objects (5) are walked by the collector itself.
enum class RootPhase : std::uint8_t {
    kThreadStacks = 2,
    kWatchdogContexts = 4,
};

struct RootProvider {
    RootPhase phase;
    void (*walk)(void* ctx, const SlotVisitor& visitor);
    void* ctx;
};

// A fixed table of providers (no allocation).
class RootRegistry {
  public:
    static constexpr int kMaxProviders = 8;
    // false when the table is full.
    bool add(const RootProvider& provider);
    void remove(void (*walk)(void*, const SlotVisitor&), void* ctx);
    void clear() { count_ = 0; }
    void visitPhase(RootPhase phase, const SlotVisitor& visitor) const;

  private:
    RootProvider providers_[kMaxProviders]{};
    int count_ = 0;
};

}  // namespace tarvelo
