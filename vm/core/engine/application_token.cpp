#include "vm/core/engine/application_token.h"

#include "vm/model/image_format.h"
#include "vm/model/type_record.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/feature_runtime.h"

namespace tarvelo {

std::int32_t applicationToken(word_t type, char* out, bool upper) {
    if (type == 0) return 0;
    const word_t record = image::read_u32(to_ptr<const void>(type + image::kTypeOwnerOffset));
    if (record == 0) return 0;
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::int32_t n = 0;
    auto put = [&](char c) { out[n++] = c; };
    put('@');
    put('F');
    put(':');
    const std::uint8_t* name = nullptr;
    std::int32_t length = 0;
    if (featureName(record, &name, &length)) {
        if (length > kApplicationIdentifierBytes) length = kApplicationIdentifierBytes;
        for (std::int32_t i = 0; i < length; ++i) {
            put(digits[name[i] >> 4]);
            put(digits[name[i] & 0xF]);
        }
    }
    put(':');
    put('0');
    put('x');
    const word_t descriptor = featureRecordWord(record, feature_record::kDescriptor);
    const std::uint32_t base = to_ptr<const std::uint32_t>(descriptor)[image::kFeatureImageStart];
    bool leading = true;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const std::uint32_t d = (base >> shift) & 0xF;
        if (!upper && leading && d == 0 && shift != 0) continue;
        leading = false;
        put(digits[d]);
    }
    put('@');
    return n;
}

}  // namespace tarvelo
