// Installed applications kept in RAM: each one gets one best-fit block
// holding a small header, its read-only area and its RAM area. Nothing
// survives a reset of the board; the kernel reinstalls from files.
#include "bsp/zev/port/kf/inc/LLKERNEL_RAM.h"

#include <cstring>

#include "platform/address.h"
#include "vm/memory/best_fit_allocator.h"

#include "platform/board/debug_console.h"
#include "platform/board/retained_memory.h"

using tarvelo::to_ptr;
using tarvelo::to_word;
using tarvelo::word_t;

namespace {

constexpr const char* kModuleFile = "LLKERNEL_RAM.cpp";
constexpr std::int32_t kMaxFeatures = 16;
// Header (20) + read-only alignment (up to 15) + RAM alignment (up to 7).
constexpr std::int64_t kBlockOverhead = 42;

// Start of each block; the block's address is the application's handle.
struct FeatureBlockHeader {
    word_t romAddress;  // (block + 35) & ~15
    word_t ramAddress;  // (rom + rom size + 7) & ~7
    std::uint32_t romSize;
    std::uint32_t ramSize;
    word_t next;
};
static_assert(sizeof(FeatureBlockHeader) == 20);

const char* const kErrorNames[] = {
    "CORRUPTED CONTENT",
    "INCOMPATIBLE_KERNEL_WRONG_UID",
    "TOO_MANY_INSTALLED",
    "ALREADY_INSTALLED",
    "INCOMPATIBLE_KERNEL_WRONG_ADDRESSES",
    "ROM_OVERLAP",
    "RAM_OVERLAP",
    "RAM_ADDRESS_CHANGED",
};

tarvelo::BestFitAllocator bestfit_allocator_instance;
word_t first_installed_feature;
std::int32_t nb_allocated_features;

#define LLKERNEL_ERROR(...)                                              \
    do {                                                                 \
        DbgConsole_Printf("[LLKERNEL][E] %s:%d ", kModuleFile, __LINE__); \
        DbgConsole_Printf(__VA_ARGS__);                                  \
    } while (0)

FeatureBlockHeader* header(word_t block) { return to_ptr<FeatureBlockHeader>(block); }

// With memory retained across a restart (a host file on this board's
// stand-in), the buffer and the list survive, so that installed
// applications are found again by the next run of the same firmware.
void retain() {
    const std::uint32_t words[2] = {first_installed_feature, static_cast<std::uint32_t>(nb_allocated_features)};
    tarvelo::retained_memory_save(kernel_working_buffer, kKernelWorkingBufferSize, words, 2);
}

// Sizes 1 to 0x7FFFFFFE only.
void* BESTFIT_ALLOCATOR_allocate_with_check(std::int64_t size) {
    if (size < 1 || size > 0x7FFFFFFE) return nullptr;
    return bestfit_allocator_instance.allocate(static_cast<std::uint32_t>(size));
}

// The listed block whose handle is `handle`, or 0.
word_t findListed(void* handle) {
    word_t h = to_word(handle);
    for (word_t b = first_installed_feature; b != 0; b = header(b)->next) {
        if (b == h) return b;
    }
    return 0;
}

}  // namespace

extern "C" {

alignas(16) std::uint8_t kernel_working_buffer[kKernelWorkingBufferSize];

void LLKERNEL_RAM_BESTFIT_initialize(void* start, void* end) {
    bestfit_allocator_instance.initialize(start, end);
    first_installed_feature = 0;
    nb_allocated_features = 0;
    // The allocator keeps its lists inside the buffer: restoring the buffer
    // restores them.
    std::uint32_t words[2] = {0, 0};
    if (start == kernel_working_buffer && end == kernel_working_buffer + kKernelWorkingBufferSize &&
        tarvelo::retained_memory_restore(kernel_working_buffer, kKernelWorkingBufferSize, words, 2)) {
        first_installed_feature = words[0];
        nb_allocated_features = static_cast<std::int32_t>(words[1]);
    }
}

void* LLKERNEL_IMPL_allocateFeature__II(std::int32_t rom_size, std::int32_t ram_size) {
    if (nb_allocated_features >= kMaxFeatures) return nullptr;
    // Negative sizes are refused rather than wrapping into a small block.
    if (rom_size < 0 || ram_size < 0) return nullptr;
    std::int64_t total = static_cast<std::int64_t>(rom_size) + ram_size + kBlockOverhead;
    void* p = BESTFIT_ALLOCATOR_allocate_with_check(total);
    if (p == nullptr) return nullptr;
    word_t block = to_word(p);
    FeatureBlockHeader* h = header(block);
    h->romAddress = (block + 35u) & ~15u;
    h->ramAddress = (h->romAddress + static_cast<std::uint32_t>(rom_size) + 7u) & ~7u;
    h->romSize = static_cast<std::uint32_t>(rom_size);
    h->ramSize = static_cast<std::uint32_t>(ram_size);
    h->next = 0;
    if (first_installed_feature == 0) {
        first_installed_feature = block;
    } else {
        word_t last = first_installed_feature;
        while (header(last)->next != 0) last = header(last)->next;
        header(last)->next = block;
    }
    ++nb_allocated_features;
    retain();
    return p;
}

void LLKERNEL_IMPL_freeFeature__I(void* handle) {
    if (first_installed_feature == 0) {
        LLKERNEL_ERROR("Feature free issue (no feature installed)\n");
        return;
    }
    word_t h = to_word(handle);
    word_t prev = 0;
    word_t b = first_installed_feature;
    while (b != 0 && b != h) {
        prev = b;
        b = header(b)->next;
    }
    if (b == 0) {
        LLKERNEL_ERROR("Feature free issue (feature not found)\n");
        return;
    }
    if (prev == 0) {
        first_installed_feature = header(b)->next;
    } else {
        header(prev)->next = header(b)->next;
    }
    --nb_allocated_features;
    bestfit_allocator_instance.free(to_ptr(b));
    retain();
}

std::int32_t LLKERNEL_RAM_getFeatureSizeROM(void* handle) {
    word_t b = findListed(handle);
    return b != 0 ? static_cast<std::int32_t>(header(b)->romSize) : -1;
}

std::int32_t LLKERNEL_RAM_getFeatureSizeRAM(void* handle) {
    word_t b = findListed(handle);
    return b != 0 ? static_cast<std::int32_t>(header(b)->ramSize) : -1;
}

std::int32_t LLKERNEL_IMPL_getAllocatedFeaturesCount(void) { return nb_allocated_features; }

void* LLKERNEL_IMPL_getFeatureHandle__I(std::int32_t allocation_index) {
    word_t b = first_installed_feature;
    for (std::int32_t i = 0; b != 0 && i < allocation_index; ++i) b = header(b)->next;
    if (allocation_index < 0 || b == 0) {
        LLKERNEL_ERROR("No feature found at index (allocation_index=%d)\n",
                       static_cast<int>(allocation_index));
        return nullptr;
    }
    return to_ptr(b);
}

void* LLKERNEL_IMPL_getFeatureAddressROM__I(void* handle) {
    word_t b = findListed(handle);
    if (b == 0) {
        LLKERNEL_ERROR("Feature handle not valid (handle=0x%.8x\n",
                       static_cast<unsigned>(to_word(handle)));
        return nullptr;
    }
    return to_ptr(header(b)->romAddress);
}

void* LLKERNEL_IMPL_getFeatureAddressRAM__I(void* handle) {
    word_t b = findListed(handle);
    if (b == 0) {
        LLKERNEL_ERROR("Feature handle not valid (handle=0x%.8x\n",
                       static_cast<unsigned>(to_word(handle)));
        return nullptr;
    }
    return to_ptr(header(b)->ramAddress);
}

std::int32_t LLKERNEL_IMPL_copyToROM__LrowFen_lang_Ram_2LrowFen_lang_Ram_2I(void* dest,
                                                                          const void* src,
                                                                          std::int32_t length) {
    if (dest == nullptr || src == nullptr || length < 0) {
        LLKERNEL_ERROR("Wrong parameters passed\n");
        return -1;
    }
    std::uint64_t d = to_word(dest);
    std::uint64_t dEnd = d + static_cast<std::uint64_t>(length);
    for (word_t b = first_installed_feature; b != 0; b = header(b)->next) {
        const FeatureBlockHeader* h = header(b);
        std::uint64_t rom = h->romAddress;
        std::uint64_t romEnd = rom + h->romSize;
        if (h->romSize >= static_cast<std::uint32_t>(length) && d >= rom && dEnd <= romEnd) {
            std::memmove(dest, src, static_cast<std::size_t>(length));
            retain();
            return 0;
        }
    }
    LLKERNEL_ERROR("ROM destination address do not match LLKERNEL installed feature ROM area\n");
    return -1;
}

std::int32_t LLKERNEL_IMPL_flushCopyToROM(void) { return 0; }

std::int32_t LLKERNEL_IMPL_onFeatureInitializationError__II(void* handle, std::int32_t error_code) {
    if (error_code < 1 || error_code > 8) {
        DbgConsole_Printf("[LLKERNEL][A] No LLKERNEL error code found for %d\n",
                          static_cast<int>(error_code));
        return 0;
    }
    LLKERNEL_ERROR("Failed to initialize feature handle 0x%.8x with error %d(%s)\n",
                   static_cast<unsigned>(to_word(handle)), static_cast<int>(error_code),
                   kErrorNames[error_code - 1]);
    switch (error_code) {
        case 1:
            DbgConsole_Printf(
                "Feature detected but content is corrupted: automatically uninstalling the "
                "feature to free the memory.\n");
            LLKERNEL_IMPL_freeFeature__I(handle);
            break;
        case 2:
            DbgConsole_Printf(
                "Feature detected but not compatible with the Kernel, automatically "
                "uninstalling the feature to free the memory.\n");
            LLKERNEL_IMPL_freeFeature__I(handle);
            break;
        case 5:
            DbgConsole_Printf(
                "Feature detected but addresses are wrong, automatically uninstalling the "
                "feature to free the memory.\n");
            LLKERNEL_IMPL_freeFeature__I(handle);
            break;
        default:
            break;
    }
    return 0;
}

}  // extern "C"
