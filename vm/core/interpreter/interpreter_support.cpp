#include "vm/core/interpreter/interpreter_support.h"

#include "vm/model/image_format.h"
#include "vm/model/image_symbols.h"
#include "vm/model/type_record.h"

namespace tarvelo {

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
