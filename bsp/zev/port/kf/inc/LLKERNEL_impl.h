// The virtual machine's interface to the storage of installed applications
// (`IDynamicFeaturesManager`), implemented by the port. A handle is the
// address of the application's block; all calls come from the virtual
// machine's task.
#pragma once

#include <cstdint>

extern "C" {

// A block holding a read-only area of `rom_size` and a RAM area of
// `ram_size` bytes; nullptr when 16 blocks exist or no memory is left.
void* LLKERNEL_IMPL_allocateFeature__II(std::int32_t rom_size, std::int32_t ram_size);
void LLKERNEL_IMPL_freeFeature__I(void* handle);
std::int32_t LLKERNEL_IMPL_getAllocatedFeaturesCount(void);
void* LLKERNEL_IMPL_getFeatureHandle__I(std::int32_t allocation_index);
void* LLKERNEL_IMPL_getFeatureAddressROM__I(void* handle);
void* LLKERNEL_IMPL_getFeatureAddressRAM__I(void* handle);
// 0, or -1 when the destination range is not inside one read-only area.
std::int32_t LLKERNEL_IMPL_copyToROM__LrowFen_lang_Ram_2LrowFen_lang_Ram_2I(void* dest,
                                                                          const void* src,
                                                                          std::int32_t length);
std::int32_t LLKERNEL_IMPL_flushCopyToROM(void);
std::int32_t LLKERNEL_IMPL_onFeatureInitializationError__II(void* handle, std::int32_t error_code);

}  // extern "C"
