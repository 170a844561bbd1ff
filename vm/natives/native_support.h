// What the class-library natives share: their arguments and results through
// the execution context, and the exceptions they raise by type.
#pragma once

#include <cstdint>

#include "platform/address.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/runtime_prelude.h"

namespace tarvelo::natives {

inline word_t ref(VMThread* t, std::int32_t i) { return ExecutionContext::refArg(t, i); }
// Primitive register `reg` of the native's frame (the last argument is 5).
inline std::int32_t prim(VMThread* t, std::int32_t reg) { return ExecutionContext::intArg(t, reg); }
inline std::int64_t prim64(VMThread* t, std::int32_t reg) { return ExecutionContext::longArg(t, reg); }
float primFloat(VMThread* t, std::int32_t reg);
double primDouble(VMThread* t, std::int32_t reg);

inline void returnInt(VMThread* t, std::int32_t v) { ExecutionContext::returnInt(t, v); }
inline void returnBool(VMThread* t, bool v) { ExecutionContext::returnInt(t, v ? 1 : 0); }
inline void returnLong(VMThread* t, std::int64_t v) { ExecutionContext::returnLong(t, v); }
// A reference result goes to the lowest reference register of the frame.
inline void returnObject(VMThread* t, word_t v) {
    ExecutionContext::returnRef(t, -static_cast<std::int32_t>(ExecutionContext::refArgCount(t)), v);
}

inline void throwType(VMThread* t, VMType type) { ExecutionContext::throwNew(t, vm_type(type)); }
inline void throwType(VMThread* t, VMType type, const char* message) {
    ExecutionContext::throwNew(t, vm_type(type), message);
}
inline void throwNull(VMThread* t) { throwType(t, VMType::_java_Ljava_lang_NullPointerException); }
inline void throwIndex(VMThread* t) { throwType(t, VMType::_java_Ljava_lang_IndexOutOfBoundsException); }
inline void throwArrayIndex(VMThread* t) { throwType(t, VMType::_java_Ljava_lang_ArrayIndexOutOfBoundsException); }
inline void throwArrayStore(VMThread* t) { throwType(t, VMType::_java_Ljava_lang_ArrayStoreException); }

// offset >= 0, length >= 0 and offset + length <= size, without overflow.
inline bool rangeInside(std::int32_t offset, std::int32_t length, std::int32_t size) {
    return offset >= 0 && length >= 0 && offset <= size - length;
}

// The chars of an array (its length the word before).
inline char16_t* charData(word_t array) { return java::array_data<char16_t>(array); }

// The chars of a String (not null) and their count, or null when its fields
// do not name a range of its array (java::string_chars).
inline const char16_t* stringChars(word_t s, std::int32_t* count) { return java::string_chars(s, count); }

// Two Strings (neither null) with the same chars (StringKey.equals); a
// String whose fields leave its array equals none.
inline bool sameChars(word_t a, word_t b) {
    std::int32_t n = 0, m = 0;
    const char16_t* x = stringChars(a, &n);
    const char16_t* y = stringChars(b, &m);
    if (x == nullptr || y == nullptr || n != m) return false;
    for (std::int32_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return false;
    return true;
}

}  // namespace tarvelo::natives

#include "vm/core/image/image_directory.h"
#include "vm/memory/installed_feature_table.h"

namespace tarvelo::natives {

// Whether a method address handed in by Java code can be read: it lies in
// the kernel image or in an installed application's read-only area.
inline bool methodReadable(word_t method) {
    FeatureImageDirectory* directory = image_directory();
    if (method == 0 || directory == nullptr || (method & 1u) != 0) return false;
    const ImageTables& tables = directory->kernel.tables;
    if (tables.imageEnd != 0 && method >= tables.imageStart && tables.spanContains(method, 4)) return true;
    for (int i = 0; i < installedFeatureSlots(); ++i) {
        const word_t entry = installedFeatureEntry(i);
        if (entry == 0) continue;
        const word_t start = image::read_u32(to_ptr<const void>(entry + installed_feature::kRomStartOffset));
        const word_t end = image::read_u32(to_ptr<const void>(entry + installed_feature::kRomEndOffset));
        if (method >= start && end >= 4 && method <= end - 4) return true;
    }
    return false;
}

// Whether a method address handed in by Java code is readable and its
// class word a type header (0, for a method without a class, is not).
inline bool methodClassValid(word_t method) {
    if (!methodReadable(method)) return false;
    const word_t klass = image::read_u32(to_ptr<const void>(method));
    return klass != 0 && image_directory()->isValidTypeReference(klass, false, false) != 0;
}

}  // namespace tarvelo::natives
