// Numbers as text and back, for the class library's Integer, Long, Float
// and Double conversions and for the virtual machine's own messages.
//
// Integer text is written backwards so that it ends at a given index of a
// char array, the most negative value included; a radix outside 2 to 36 is
// taken as 10. Every writer is bounded by the array: text that does not fit
// writes nothing and reports -1.
//
// Float and double text is the standard library's formatted printing cut to
// a fixed number of characters (9 significant characters for a float, 17
// for a double) with trailing zeros removed: these are not the shortest
// round-trip texts. Parsing is the standard library's, with NaN for any text
// it does not take whole.
#pragma once

#include <cstdint>

namespace tarvelo {

namespace NumberText {

// The radix used for `radix`: itself when 2 to 36, else 10.
std::int32_t effectiveRadix(std::int32_t radix);

// Writes the text of `value` so that it ends just before `end` in
// `chars[0 .. capacity)`; returns its length, or -1 (nothing written) when
// it does not fit at or after index 0 or `end` lies outside the array.
std::int32_t appendInteger(std::int32_t value, std::int32_t radix, char16_t* chars, std::int32_t capacity,
                           std::int32_t end);
std::int32_t longToText(std::int64_t value, std::int32_t radix, char16_t* chars, std::int32_t capacity,
                        std::int32_t end);

// Long.parseLong over chars[0 .. length): 0 and the value, or 3 for empty,
// malformed or out-of-range text and for a radix outside 2 to 36.
inline constexpr int kParseOk = 0;
inline constexpr int kParseMalformed = 3;
int parseLong(const char16_t* chars, std::int32_t length, std::int32_t radix, std::int64_t* out);

}  // namespace NumberText

namespace TulvarSupportNumberLibC {

// The text buffer of the float and double conversions.
inline constexpr int kTextBuffer = 32;

// The class library's text of a float or double into `text` (at least
// kTextBuffer bytes, not terminated); returns its length.
int floatToText(float value, char* text);
int doubleToText(double value, char* text);

// Cuts a formatted number to `digits` characters (plus one for a sign) and
// drops trailing zeros, keeping one after the point; in scientific form the
// exponent follows without a '+' and with the digits the formatting gave.
// Returns the new length, or -1 for a scientific text without 'E'.
int trimNumberText(char* text, int length, int digits, bool scientific, bool nonNegative);

// `text` holds `length` characters followed by a NUL; a trailing d, D, f or
// F is dropped first. NaN when the standard parser does not take the whole
// text or the text is empty.
float parseFloat(char* text, int length);
double parseDouble(char* text, int length);

}  // namespace TulvarSupportNumberLibC

}  // namespace tarvelo

// The board's formatting and parsing of numbers (the standard library's).
extern "C" {
int LLBSP_IMPL_float_to_string(char* buffer, int size, int scientific, float value);
int LLBSP_IMPL_double_to_string(char* buffer, int size, int scientific, double value);
float LLBSP_IMPL_string_to_float(const char* text, int length);
double LLBSP_IMPL_string_to_double(const char* text, int length);
}
