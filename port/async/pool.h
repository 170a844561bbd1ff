// A pool of fixed-size elements with one used flag per element, for the
// natives' objects that must not be allocated on their paths (open files and
// directories). An element's address is a handle given to Java code, so
// pools live in static memory (below 4 GiB on the host).
#pragma once

#include <cstdint>

extern "C" {

struct POOL_ctx_t {
    void* base;              // first element; null makes the pool unusable
    std::uint8_t* used;      // one flag per element: 1 used, anything else free
    std::uint32_t elementSize;
    std::uint32_t count;
};

inline constexpr std::int32_t POOL_NO_ERROR = 0;
inline constexpr std::int32_t POOL_INVALID_ARG = 1;
inline constexpr std::int32_t POOL_FULL = 2;
inline constexpr std::int32_t POOL_NOT_AN_ELEMENT = 3;

// The first free element, marked used: 0; 1 for a null pool, base or out
// cell; 2 when every element is used.
std::int32_t POOL_reserve_f(POOL_ctx_t* pool, void** element);
// Marks an element free: 0 (also when it was free); 1 for a null pool, base
// or element; 3 when the address is not the start of an element.
std::int32_t POOL_free_f(POOL_ctx_t* pool, void* element);
// Whether `element` is the start of an element that is reserved now: how
// natives tell a live handle from a stale or forged one.
bool POOL_is_reserved_f(const POOL_ctx_t* pool, const void* element);

}

// Declares a pool of `count` elements of `type` in static memory.
#define POOL_DECLARE(name, type, count)                   \
    static type name##_elements[count];                   \
    static std::uint8_t name##_used[count];               \
    static POOL_ctx_t name = {name##_elements, name##_used, sizeof(type), count}
