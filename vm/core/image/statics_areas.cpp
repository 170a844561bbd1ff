#include "vm/core/image/statics_areas.h"

#include <cstring>

#include "vm/memory/ram_check.h"

namespace tarvelo {

bool StaticsAreas::ramCheck() const {
    for (int a = 0; a < kAreas; ++a) {
        if (RamCheck::ramCheck(start[a], end[a]) == 0) return false;
    }
    return true;
}

void StaticsAreas::reset() const {
    for (int a = 0; a < kAreas; ++a) {
        if (end[a] > start[a]) std::memset(to_ptr(start[a]), 0, end[a] - start[a]);
    }
}

}  // namespace tarvelo
