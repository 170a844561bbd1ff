#include "vm/core/interpreter/interpreter_support.h"

#include "vm/core/image/image_format.h"
#include "vm/core/image/image_symbols.h"
#include "vm/core/image/type_record.h"

namespace tarvelo {

word_t interface_method(word_t type, std::uint32_t id, std::uint32_t slot) {
    const word_t itable = image::class_interface_table(to_ptr<const void>(type));
    if (itable == 0) return 0;
    const auto* t = to_ptr<const std::uint8_t>(itable);
    const std::uint32_t low = image::read_u16(t + image::kItableLowOffset);
    const std::uint32_t high = image::read_u16(t + image::kItableHighOffset);
    if (id < low || id > high) return 0;
    const word_t imt = image::read_u32(t + image::kItableEntriesOffset + 4 * (id - low));
    if (imt == 0) return 0;
    return image::read_u32(to_ptr<const std::uint8_t>(imt) + 4 * (image::kImtFirstMethodWord + slot));
}

bool is_lazy_static(word_t address) {
    return address >= to_word(_java_statics_refls_kernel_start) && address < to_word(_java_statics_refls_kernel_end);
}

word_t init_wrapper_of(word_t address) {
    const auto* header = to_ptr<const std::uint8_t>(to_word(_java_kernel_header_start));
    const word_t start = image::record_word(header, image::kKernelInitWrappersStart);
    const word_t end = image::record_word(header, image::kKernelInitWrappersEnd);
    for (word_t e = start; e + image::kInitWrapperEntrySize <= end; e += image::kInitWrapperEntrySize) {
        const auto* entry = to_ptr<const std::uint8_t>(e);
        if (image::read_u32(entry + image::kInitWrapperStaticOffset) == address)
            return image::read_u32(entry + image::kInitWrapperMethodOffset);
    }
    return 0;
}

}  // namespace tarvelo
