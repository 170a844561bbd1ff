#include "vm/memory/gc_roots.h"

namespace tarvelo {

bool RootRegistry::add(const RootProvider& provider) {
    if (count_ >= kMaxProviders) return false;
    providers_[count_++] = provider;
    return true;
}

void RootRegistry::remove(void (*walk)(void*, const SlotVisitor&), void* ctx) {
    for (int i = 0; i < count_; ++i) {
        if (providers_[i].walk == walk && providers_[i].ctx == ctx) {
            for (int j = i + 1; j < count_; ++j) providers_[j - 1] = providers_[j];
            --count_;
            return;
        }
    }
}

void RootRegistry::visitPhase(RootPhase phase, const SlotVisitor& visitor) const {
    for (int i = 0; i < count_; ++i) {
        if (providers_[i].phase == phase) providers_[i].walk(providers_[i].ctx, visitor);
    }
}

}  // namespace tarvelo
