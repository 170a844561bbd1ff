// Natives of java.lang.String and of the support class Systools: searches,
// hashes, comparisons, byte/char copies and integer text.
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/object_model.h"
#include "vm/natives/native_support.h"
#include "vm/natives/number_text.h"

using namespace tarvelo;
using namespace tarvelo::natives;

namespace {

bool isString(word_t o) { return o != 0 && typeOf(o) == types::string(); }

}  // namespace

extern "C" {

// static int String.indexOf(String s, int ch, int from)
void VMNative_java_lang_String_indexOf(VMThread* t) {
    const word_t s = ref(t, 0);
    if (s == 0) return throwNull(t);
    std::int32_t count = 0;
    const char16_t* chars = stringChars(s, &count);
    if (chars == nullptr) return throwIndex(t);
    const std::int32_t ch = prim(t, 6);
    std::int32_t from = prim(t, 5);
    if (from < 0) from = 0;
    for (std::int32_t i = from; i < count; ++i)
        if (chars[i] == ch) return returnInt(t, i);
    returnInt(t, -1);
}

// static int String.lastIndexOf(String s, int ch, int from)
void VMNative_java_lang_String_lastIndexOf(VMThread* t) {
    const word_t s = ref(t, 0);
    if (s == 0) return throwNull(t);
    std::int32_t count = 0;
    const char16_t* chars = stringChars(s, &count);
    if (chars == nullptr) return throwIndex(t);
    const std::int32_t ch = prim(t, 6);
    std::int32_t from = prim(t, 5);
    if (from > count - 1) from = count - 1;
    for (std::int32_t i = from; i >= 0; --i)
        if (chars[i] == ch) return returnInt(t, i);
    returnInt(t, -1);
}

// static int String.hashCodeNative(String s)
void VMNative_java_lang_String_hashCodeNative(VMThread* t) {
    const word_t s = ref(t, 0);
    if (s == 0) return throwNull(t);
    std::int32_t n = 0;
    const char16_t* chars = stringChars(s, &n);
    if (chars == nullptr) return throwIndex(t);
    std::uint32_t h = 0;
    for (std::int32_t i = 0; i < n; ++i) h = 31u * h + chars[i];
    returnInt(t, static_cast<std::int32_t>(h));
}

// static boolean String.equals(String a, Object b)
void VMNative_java_lang_String_equals(VMThread* t) {
    const word_t a = ref(t, 0);
    const word_t b = ref(t, 1);
    if (a == 0) return throwNull(t);
    returnBool(t, isString(b) && sameChars(a, b));
}

// static boolean Systools.regionMatches(String a, int aOff, String b, int bOff, int len)
void VMNative_com_olun_vm_support_lang_Systools_regionMatches(VMThread* t) {
    const word_t a = ref(t, 0);
    const word_t b = ref(t, 1);
    if (a == 0 || b == 0) return throwNull(t);
    const std::int32_t len = prim(t, 5);
    const std::int32_t bOff = prim(t, 6);
    const std::int32_t aOff = prim(t, 7);
    std::int32_t aCount = 0, bCount = 0;
    const char16_t* x = stringChars(a, &aCount);
    const char16_t* y = stringChars(b, &bCount);
    if (x == nullptr || y == nullptr) return throwIndex(t);
    if (aOff < 0 || bOff < 0 || static_cast<std::int64_t>(aCount) - len < aOff ||
        static_cast<std::int64_t>(bCount) - len < bOff)
        return returnBool(t, false);
    x += aOff;
    y += bOff;
    for (std::int32_t i = 0; i < len; ++i)
        if (x[i] != y[i]) return returnBool(t, false);
    returnBool(t, true);
}

}  // extern "C"

namespace {

// (src, srcOff, dst, dstOff, len) with both arrays and the ranges checked.
template <typename From, typename To>
void copyConverting(VMThread* t) {
    const word_t src = ref(t, 0);
    const word_t dst = ref(t, 1);
    const std::int32_t len = prim(t, 5);
    const std::int32_t dstOff = prim(t, 6);
    const std::int32_t srcOff = prim(t, 7);
    if (src == 0 || dst == 0) return throwNull(t);
    if (!rangeInside(srcOff, len, java::array_length(src)) || !rangeInside(dstOff, len, java::array_length(dst)))
        return throwIndex(t);
    const From* from = java::array_data<From>(src) + srcOff;
    To* to = java::array_data<To>(dst) + dstOff;
    for (std::int32_t i = 0; i < len; ++i) to[i] = static_cast<To>(from[i]);
}

}  // namespace

extern "C" {

// static void Systools.byteArrayToCharArray(byte[] src, int srcOff, char[] dst, int dstOff, int len)
void VMNative_com_olun_vm_support_lang_Systools_byteArrayToCharArray(VMThread* t) {
    copyConverting<std::uint8_t, char16_t>(t);
}

// static void Systools.charArrayToByteArray(char[] src, int srcOff, byte[] dst, int dstOff, int len)
void VMNative_com_olun_vm_support_lang_Systools_charArrayToByteArray(VMThread* t) {
    copyConverting<char16_t, std::uint8_t>(t);
}

// static int Systools.appendInteger(char[] chars, int value, int radix): the
// text right-aligned at the end of the array.
void VMNative_com_olun_vm_support_lang_Systools_appendInteger(VMThread* t) {
    const word_t chars = ref(t, 0);
    if (chars == 0) return throwNull(t);
    const std::int32_t length = java::array_length(chars);
    const std::int32_t n = NumberText::appendInteger(prim(t, 6), prim(t, 5), charData(chars), length, length);
    if (n < 0) return throwIndex(t);
    returnInt(t, n);
}

}  // extern "C"
