#include "port/async/pool.h"

namespace {

// The index of the element that starts at `element`, or -1.
std::int64_t index_of(const POOL_ctx_t* pool, const void* element) {
    const auto* base = static_cast<const std::uint8_t*>(pool->base);
    const auto* p = static_cast<const std::uint8_t*>(element);
    for (std::uint32_t i = 0; i < pool->count; ++i)
        if (p == base + static_cast<std::uintptr_t>(i) * pool->elementSize) return i;
    return -1;
}

}  // namespace

extern "C" {

std::int32_t POOL_reserve_f(POOL_ctx_t* pool, void** element) {
    if (pool == nullptr || element == nullptr || pool->base == nullptr || pool->used == nullptr)
        return POOL_INVALID_ARG;
    for (std::uint32_t i = 0; i < pool->count; ++i) {
        if (pool->used[i] != 1) {
            pool->used[i] = 1;
            *element = static_cast<std::uint8_t*>(pool->base) + static_cast<std::uintptr_t>(i) * pool->elementSize;
            return POOL_NO_ERROR;
        }
    }
    return POOL_FULL;
}

std::int32_t POOL_free_f(POOL_ctx_t* pool, void* element) {
    if (pool == nullptr || element == nullptr || pool->base == nullptr || pool->used == nullptr)
        return POOL_INVALID_ARG;
    const std::int64_t i = index_of(pool, element);
    if (i < 0) return POOL_NOT_AN_ELEMENT;
    pool->used[i] = 0;
    return POOL_NO_ERROR;
}

bool POOL_is_reserved_f(const POOL_ctx_t* pool, const void* element) {
    if (pool == nullptr || element == nullptr || pool->base == nullptr || pool->used == nullptr) return false;
    const std::int64_t i = index_of(pool, element);
    return i >= 0 && pool->used[i] == 1;
}

}  // extern "C"
