#include "vm/natives/number_text.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "vm/core/runtime_support/digits.h"

namespace tarvelo {

namespace NumberText {

std::int32_t effectiveRadix(std::int32_t radix) { return radix >= 2 && radix <= 36 ? radix : 10; }

namespace {

// The digits of a value made negative (so that the most negative value
// needs no special case), last digit first, into `digits`; the count.
int negativeDigits(std::int64_t negative, std::int32_t radix, char16_t* digits) {
    int n = 0;
    while (negative <= -radix) {
        digits[n++] = static_cast<char16_t>(rt::Character::forDigit(static_cast<std::int32_t>(-(negative % radix))));
        negative /= radix;
    }
    digits[n++] = static_cast<char16_t>(rt::Character::forDigit(static_cast<std::int32_t>(-negative)));
    return n;
}

std::int32_t writeBackwards(std::int64_t value, std::int32_t radix, char16_t* chars, std::int32_t capacity,
                            std::int32_t end) {
    radix = effectiveRadix(radix);
    char16_t digits[65];  // 64 binary digits and a sign
    const bool negative = value < 0;
    int n = negativeDigits(negative ? value : -value, radix, digits);
    if (negative) digits[n++] = u'-';
    if (chars == nullptr || end < 0 || end > capacity || n > end) return -1;
    for (int i = 0; i < n; ++i) chars[end - 1 - i] = digits[i];
    return n;
}

}  // namespace

std::int32_t appendInteger(std::int32_t value, std::int32_t radix, char16_t* chars, std::int32_t capacity,
                           std::int32_t end) {
    return writeBackwards(value, radix, chars, capacity, end);
}

std::int32_t longToText(std::int64_t value, std::int32_t radix, char16_t* chars, std::int32_t capacity,
                        std::int32_t end) {
    return writeBackwards(value, radix, chars, capacity, end);
}

int parseLong(const char16_t* chars, std::int32_t length, std::int32_t radix, std::int64_t* out) {
    if (radix < 2 || radix > 36 || chars == nullptr || length <= 0) return kParseMalformed;
    std::int32_t i = 0;
    bool negative = false;
    std::int64_t limit = -std::numeric_limits<std::int64_t>::max();
    if (chars[0] == u'-') {
        negative = true;
        limit = std::numeric_limits<std::int64_t>::min();
        ++i;
    }
    if (i >= length) return kParseMalformed;
    const std::int64_t multmin = limit / radix;
    std::int64_t result = 0;
    for (; i < length; ++i) {
        const std::int32_t digit = rt::Character::digit(chars[i]);
        if (digit < 0 || digit >= radix || result < multmin) return kParseMalformed;
        result *= radix;
        if (result < limit + digit) return kParseMalformed;
        result -= digit;
    }
    *out = negative ? result : -result;
    return kParseOk;
}

}  // namespace NumberText

namespace TulvarSupportNumberLibC {

namespace {

int fixedText(const char* fixed, char* text) {
    const int n = static_cast<int>(std::strlen(fixed));
    std::memcpy(text, fixed, static_cast<std::size_t>(n));
    return n;
}

template <typename T>
int toText(T value, char* text, T largest, T small, T large, int digits, bool zeroPositive, bool zeroNegative,
           int (*format)(char*, int, int, T)) {
    if (std::isnan(value)) return fixedText("NaN", text);
    if (value < -largest) return fixedText("-Infinity", text);
    if (value > largest) return fixedText("Infinity", text);
    if (zeroPositive) return fixedText("0.0", text);
    if (zeroNegative) return fixedText("-0.0", text);
    const bool scientific = (value > -small && value < small) || value >= large || value <= -large;
    char buffer[kTextBuffer + 1] = {};
    const int n = format(buffer, kTextBuffer, scientific ? 1 : 0, value);
    if (n < 0 || n > kTextBuffer) return fixedText("NaN", text);
    const int trimmed = trimNumberText(buffer, n, digits, scientific, value >= 0);
    if (trimmed < 0 || trimmed > kTextBuffer) return fixedText("NaN", text);
    std::memcpy(text, buffer, static_cast<std::size_t>(trimmed));
    return trimmed;
}

}  // namespace

int floatToText(float value, char* text) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return toText<float>(value, text, FLT_MAX, 0.001f, 1e7f, 9, bits == 0, bits == 0x80000000u,
                         LLBSP_IMPL_float_to_string);
}

int doubleToText(double value, char* text) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    return toText<double>(value, text, DBL_MAX, 0.001, 1e7, 17, bits == 0, bits == 0x8000000000000000ull,
                          LLBSP_IMPL_double_to_string);
}

int trimNumberText(char* text, int length, int digits, bool scientific, bool nonNegative) {
    int e = length;
    if (scientific) {
        e = -1;
        for (int i = length - 1; i >= 0; --i) {
            if (text[i] == 'E') {
                e = i;
                break;
            }
        }
        if (e < 0) return -1;
    }
    int k = digits + (nonNegative ? 0 : 1);
    if (k > e - 1) k = e - 1;
    while (k > 0 && text[k] == '0') --k;
    if (k >= 0 && text[k] == '.') ++k;
    if (!scientific) return k + 1;
    int at = k + 1;
    const int sign = e + 1;
    text[at++] = 'E';
    int from = sign;
    if (from < length && (text[from] == '-' || text[from] == '+')) {
        if (text[from] == '-') text[at++] = '-';
        ++from;
    }
    while (from < length) text[at++] = text[from++];
    return at;
}

namespace {

// Drops a trailing type letter (d, D, f or F: (c & ~0x22) == 'D').
int dropTypeLetter(char* text, int length) {
    if (length > 0 && (text[length - 1] & ~0x22) == 'D') {
        text[--length] = '\0';
    }
    return length;
}

}  // namespace

float parseFloat(char* text, int length) { return LLBSP_IMPL_string_to_float(text, dropTypeLetter(text, length)); }

double parseDouble(char* text, int length) {
    return LLBSP_IMPL_string_to_double(text, dropTypeLetter(text, length));
}

}  // namespace TulvarSupportNumberLibC

}  // namespace tarvelo

extern "C" {

int LLBSP_IMPL_float_to_string(char* buffer, int size, int scientific, float value) {
    return std::snprintf(buffer, static_cast<std::size_t>(size), scientific != 0 ? "%.8E" : "%.8f",
                         static_cast<double>(value));
}

int LLBSP_IMPL_double_to_string(char* buffer, int size, int scientific, double value) {
    return std::snprintf(buffer, static_cast<std::size_t>(size), scientific != 0 ? "%.16lE" : "%.16lf", value);
}

float LLBSP_IMPL_string_to_float(const char* text, int length) {
    std::uint32_t bits = 0x7FC00000u;
    float nan;
    std::memcpy(&nan, &bits, 4);
    if (length <= 0) return nan;
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    return end == text + length ? v : nan;
}

double LLBSP_IMPL_string_to_double(const char* text, int length) {
    std::uint64_t bits = 0x7FF8000000000000ull;
    double nan;
    std::memcpy(&nan, &bits, 8);
    if (length <= 0) return nan;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    return end == text + length ? v : nan;
}

}  // extern "C"
