// Natives of number text (SupportNumber), of the bit views of Float and
// Double, and the Math functions of the runtime library.
#include <cstring>

#include "vm/core/engine/string_factory.h"
#include "vm/core/runtime_support/fp_bits.h"
#include "vm/core/runtime_support/math.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/natives/class_lookup.h"
#include "vm/natives/native_support.h"
#include "vm/natives/number_text.h"

using namespace tarvelo;
using namespace tarvelo::natives;

float tarvelo::natives::primFloat(VMThread* t, std::int32_t reg) {
    const std::int32_t bits = prim(t, reg);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

double tarvelo::natives::primDouble(VMThread* t, std::int32_t reg) {
    const std::int64_t bits = prim64(t, reg);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

namespace {

void returnText(VMThread* t, const char* text, int length) {
    const word_t s = StringConversions::newStringFromBytes(t, reinterpret_cast<const std::uint8_t*>(text), length);
    if (s != 0) returnObject(t, s);
}

// The String argument NUL-terminated in the scratch buffer; null after
// NumberFormatException for empty text or text that does not fit.
char* numberTextArgument(VMThread* t, std::int32_t* length) {
    const word_t s = ref(t, 0);
    if (s == 0) {
        throwNull(t);
        return nullptr;
    }
    char* text = ClassLookup::stringToScratch(s, length);
    if (text == nullptr || *length == 0) {
        throwType(t, VMType::_java_Ljava_lang_NumberFormatException);
        return nullptr;
    }
    return text;
}

}  // namespace

extern "C" {

// static double SupportNumber.parseDoubleNative(String s)
void VMNative_com_olun_vm_support_lang_SupportNumber_parseDoubleNative(VMThread* t) {
    std::int32_t length = 0;
    char* text = numberTextArgument(t, &length);
    if (text != nullptr) ExecutionContext::returnDouble(t, TulvarSupportNumberLibC::parseDouble(text, length));
}

// static float SupportNumber.parseFloatNative(String s)
void VMNative_com_olun_vm_support_lang_SupportNumber_parseFloatNative(VMThread* t) {
    std::int32_t length = 0;
    char* text = numberTextArgument(t, &length);
    if (text != nullptr) ExecutionContext::returnFloat(t, TulvarSupportNumberLibC::parseFloat(text, length));
}

// static String SupportNumber.toStringDouble(double d)
void VMNative_com_olun_vm_support_lang_SupportNumber_toStringDouble(VMThread* t) {
    char text[TulvarSupportNumberLibC::kTextBuffer];
    returnText(t, text, TulvarSupportNumberLibC::doubleToText(primDouble(t, 5), text));
}

// static String SupportNumber.toStringFloat(float f)
void VMNative_com_olun_vm_support_lang_SupportNumber_toStringFloat(VMThread* t) {
    char text[TulvarSupportNumberLibC::kTextBuffer];
    returnText(t, text, TulvarSupportNumberLibC::floatToText(primFloat(t, 5), text));
}

// static int SupportNumber.toStringLongNative(long v, int radix, char[] chars):
// the text right-aligned at the end of the array.
void VMNative_com_olun_vm_support_lang_SupportNumber_toStringLongNative(VMThread* t) {
    const word_t chars = ref(t, 0);
    if (chars == 0) return throwNull(t);
    const std::int32_t length = java::array_length(chars);
    const std::int32_t n = NumberText::longToText(prim64(t, 6), prim(t, 5), charData(chars), length, length);
    if (n < 0) return throwIndex(t);
    returnInt(t, n);
}

// static long SupportNumber.parseLong(char[] chars, int off, int len, int radix)
void VMNative_com_olun_vm_support_lang_SupportNumber_parseLong(VMThread* t) {
    const word_t chars = ref(t, 0);
    const std::int32_t radix = prim(t, 5);
    const std::int32_t len = prim(t, 6);
    const std::int32_t off = prim(t, 7);
    if (chars == 0) return throwNull(t);
    if (!rangeInside(off, len, java::array_length(chars))) return throwIndex(t);
    std::int64_t value = 0;
    if (NumberText::parseLong(charData(chars) + off, len, radix, &value) != NumberText::kParseOk)
        return throwType(t, VMType::_java_Ljava_lang_IllegalArgumentException);
    returnLong(t, value);
}

// --- Float and Double bits --------------------------------------------------------------

void VMNative_java_lang_Float_intBitsToFloat(VMThread* t) { returnInt(t, prim(t, 5)); }
void VMNative_java_lang_Float_floatToIntBits(VMThread* t) {
    returnInt(t, rt::FPUtil::floatToIntBitsCheck(primFloat(t, 5)));
}
void VMNative_java_lang_Float_floatToRawIntBits(VMThread* t) { returnInt(t, prim(t, 5)); }
void VMNative_java_lang_Double_longBitsToDouble(VMThread* t) { returnLong(t, prim64(t, 5)); }
void VMNative_java_lang_Double_doubleToLongBits(VMThread* t) {
    returnLong(t, rt::FPUtil::doubleToLongBitsCheck(primDouble(t, 5)));
}
void VMNative_java_lang_Double_doubleToRawLongBits(VMThread* t) { returnLong(t, prim64(t, 5)); }

// --- Math ------------------------------------------------------------------------------------
// One double argument in registers 5-6; two in 7-8 (the first) and 5-6.
#define TARVELO_MATH1(name)                                                                         \
    void VMNative_java_lang_Math_##name(VMThread* t) {                                              \
        ExecutionContext::returnDouble(t, rt::Math::name(primDouble(t, 5)));                        \
    }
#define TARVELO_MATH2(name)                                                                         \
    void VMNative_java_lang_Math_##name(VMThread* t) {                                              \
        ExecutionContext::returnDouble(t, rt::Math::name(primDouble(t, 7), primDouble(t, 5)));      \
    }
TARVELO_MATH1(cos)
TARVELO_MATH1(sin)
TARVELO_MATH1(tan)
TARVELO_MATH1(acos)
TARVELO_MATH1(asin)
TARVELO_MATH1(atan)
TARVELO_MATH2(atan2)
TARVELO_MATH1(sqrt)
TARVELO_MATH1(cbrt)
TARVELO_MATH1(cosh)
TARVELO_MATH1(sinh)
TARVELO_MATH1(tanh)
TARVELO_MATH1(exp)
TARVELO_MATH1(expm1)
TARVELO_MATH1(log)
TARVELO_MATH1(log10)
TARVELO_MATH1(log1p)
TARVELO_MATH2(hypot)
TARVELO_MATH2(IEEEremainder)
TARVELO_MATH2(pow)
TARVELO_MATH1(rint)
#undef TARVELO_MATH1
#undef TARVELO_MATH2

void VMNative_java_lang_Math_copySignD(VMThread* t) {
    ExecutionContext::returnDouble(t, rt::Math::copySign(primDouble(t, 7), primDouble(t, 5)));
}
void VMNative_java_lang_Math_copySignF(VMThread* t) {
    ExecutionContext::returnFloat(t, rt::Math::copySign(primFloat(t, 6), primFloat(t, 5)));
}
void VMNative_java_lang_Math_nextAfterD(VMThread* t) {
    ExecutionContext::returnDouble(t, rt::Math::nextAfter(primDouble(t, 7), primDouble(t, 5)));
}
// (float start, double direction): start in 7, direction in 5-6.
void VMNative_java_lang_Math_nextAfterF(VMThread* t) {
    ExecutionContext::returnFloat(t, rt::Math::nextAfter(primFloat(t, 7), primDouble(t, 5)));
}
// (double d, int n): d in 6-7, n in 5.
void VMNative_java_lang_Math_scalbD(VMThread* t) {
    ExecutionContext::returnDouble(t, rt::Math::scalb(primDouble(t, 6), prim(t, 5)));
}
void VMNative_java_lang_Math_scalbF(VMThread* t) {
    ExecutionContext::returnFloat(t, rt::Math::scalb(primFloat(t, 6), prim(t, 5)));
}

}  // extern "C"
