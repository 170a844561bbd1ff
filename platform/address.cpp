#include "platform/address.h"

#include <cstdio>

namespace tarvelo {

void address_out_of_range(const void* p) {
    std::fprintf(stderr, "address %p does not fit a 32-bit word\n", p);
    std::abort();
}

}  // namespace tarvelo
