// Numbers as text and back: integer text in every radix, bounded by the
// destination; Long.parseLong's rules; float and double text cut to the
// class library's fixed width; parsing with NaN for text not taken whole.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "vm/natives/number_text.h"

using namespace tarvelo;

namespace {

std::string ascii(const char16_t* chars, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(chars[i]);
    return s;
}

std::string intText(std::int32_t v, std::int32_t radix) {
    char16_t buf[40];
    const int n = NumberText::appendInteger(v, radix, buf, 40, 40);
    return n < 0 ? "<none>" : ascii(buf + 40 - n, n);
}

std::string longText(std::int64_t v, std::int32_t radix) {
    char16_t buf[70];
    const int n = NumberText::longToText(v, radix, buf, 70, 70);
    return n < 0 ? "<none>" : ascii(buf + 70 - n, n);
}

TEST(IntegerText, EveryRadixAndTheExtremes) {
    EXPECT_EQ(intText(0, 10), "0");
    EXPECT_EQ(intText(-2147483647 - 1, 10), "-2147483648");
    EXPECT_EQ(intText(2147483647, 16), "7fffffff");
    EXPECT_EQ(intText(-2147483647 - 1, 2), "-10000000000000000000000000000000");
    EXPECT_EQ(intText(35, 36), "z");
    EXPECT_EQ(longText(std::numeric_limits<std::int64_t>::min(), 10), "-9223372036854775808");
    EXPECT_EQ(longText(std::numeric_limits<std::int64_t>::max(), 36), "1y2p0ij32e8e7");
    EXPECT_EQ(longText(-255, 16), "-ff");
}

// Radix 1 would never end and radix 0 would divide by zero: both, and any
// radix outside 2 to 36, are taken as 10.
TEST(IntegerText, RadixOutsideTheRangeIsTen) {
    for (std::int32_t radix : {-5, 0, 1, 37, 1000}) {
        EXPECT_EQ(intText(-123, radix), "-123") << radix;
        EXPECT_EQ(longText(4567, radix), "4567") << radix;
    }
}

// Text that does not fit writes nothing.
TEST(IntegerText, TextThatDoesNotFitWritesNothing) {
    char16_t buf[4] = {u'.', u'.', u'.', u'.'};
    EXPECT_EQ(NumberText::appendInteger(-1000, 10, buf, 4, 4), -1);
    EXPECT_EQ(ascii(buf, 4), "....");
    EXPECT_EQ(NumberText::appendInteger(123, 10, buf, 4, 2), -1);
    EXPECT_EQ(NumberText::appendInteger(1, 10, buf, 4, 5), -1);  // end past the array
    EXPECT_EQ(NumberText::appendInteger(1, 10, buf, 4, -1), -1);
    EXPECT_EQ(ascii(buf, 4), "....");
    EXPECT_EQ(NumberText::appendInteger(-999, 10, buf, 4, 4), 4);
    EXPECT_EQ(ascii(buf, 4), "-999");
}

int parse(const char* text, std::int32_t radix, std::int64_t* out) {
    char16_t chars[80];
    const int n = static_cast<int>(std::strlen(text));
    for (int i = 0; i < n; ++i) chars[i] = static_cast<char16_t>(text[i]);
    return NumberText::parseLong(chars, n, radix, out);
}

TEST(ParseLong, AcceptsWhatLongParseLongAccepts) {
    struct Case {
        const char* text;
        std::int32_t radix;
        std::int64_t value;
    } cases[] = {
        {"0", 10, 0},
        {"-9223372036854775808", 10, std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775807", 10, std::numeric_limits<std::int64_t>::max()},
        {"-ff", 16, -255},
        {"FF", 16, 255},
        {"zz", 36, 36 * 36 - 1},
        {"0000012", 10, 12},
    };
    for (const Case& c : cases) {
        std::int64_t v = 0;
        EXPECT_EQ(parse(c.text, c.radix, &v), NumberText::kParseOk) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST(ParseLong, RefusesMalformedOutOfRangeAndBadRadix) {
    struct Case {
        const char* text;
        std::int32_t radix;
    } cases[] = {
        {"", 10}, {"-", 10}, {"+5", 10}, {"12a", 10}, {"2", 2}, {" 1", 10},
        {"9223372036854775808", 10}, {"-9223372036854775809", 10}, {"99999999999999999999", 10},
        {"1", 0}, {"1", 1}, {"1", 37}, {"1", -10},
    };
    for (const Case& c : cases) {
        std::int64_t v = 77;
        EXPECT_EQ(parse(c.text, c.radix, &v), NumberText::kParseMalformed) << c.text << " radix " << c.radix;
        EXPECT_EQ(v, 77);
    }
}

std::string floatText(float f) {
    char text[TulvarSupportNumberLibC::kTextBuffer];
    return std::string(text, static_cast<std::size_t>(TulvarSupportNumberLibC::floatToText(f, text)));
}

std::string doubleText(double d) {
    char text[TulvarSupportNumberLibC::kTextBuffer];
    return std::string(text, static_cast<std::size_t>(TulvarSupportNumberLibC::doubleToText(d, text)));
}

float bitsFloat(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, 4);
    return f;
}

double bitsDouble(std::uint64_t b) {
    double d;
    std::memcpy(&d, &b, 8);
    return d;
}

// The texts are the formatted value cut to 9 characters (10 with a sign),
// never rounded again, with trailing zeros dropped.
TEST(FloatText, Table) {
    struct Case {
        float value;
        const char* text;
    } cases[] = {
        {1.0f, "1.0"},
        {0.1f, "0.1"},
        {-2.5f, "-2.5"},
        {123.456f, "123.456001"},
        {1.0E7f, "1.0E07"},
        {-1.0E7f, "-1.0E07"},
        {1.5E-5f, "1.49999996E-05"},
        {1234567.0f, "1234567.0"},
        {0.001f, "0.001"},
        {-0.001f, "-0.001"},
        {9.99E-4f, "9.9900004E-04"},  // trailing zeros go in scientific form too
        {FLT_MAX, "3.40282347E38"},
        {-FLT_MAX, "-3.40282347E38"},
        {FLT_MIN, "1.17549435E-38"},
        {bitsFloat(1), "1.40129846E-45"},  // the smallest subnormal
        {0.0f, "0.0"},
        {-0.0f, "-0.0"},
        {std::numeric_limits<float>::infinity(), "Infinity"},
        {-std::numeric_limits<float>::infinity(), "-Infinity"},
        {std::numeric_limits<float>::quiet_NaN(), "NaN"},
        {bitsFloat(0xFFC00001u), "NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(floatText(c.value), c.text) << c.text;
}

TEST(DoubleText, Table) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {1.0, "1.0"},
        {1e-10, "1.0E-10"},
        {0.1, "0.1"},
        {-2.5, "-2.5"},
        {1e7, "1.0E07"},
        {9999999.0, "9999999.0"},
        {123456.789, "123456.789"},
        {2.0 / 3.0, "0.6666666666666666"},
        {DBL_MAX, "1.7976931348623157E308"},
        {DBL_MIN, "2.2250738585072014E-308"},
        {bitsDouble(1), "4.9406564584124654E-324"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {std::numeric_limits<double>::infinity(), "Infinity"},
        {-std::numeric_limits<double>::infinity(), "-Infinity"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(doubleText(c.value), c.text) << c.text;
}

TEST(TrimNumberText, ScientificWithoutExponentIsRefused) {
    char text[] = "1.2345";
    EXPECT_EQ(TulvarSupportNumberLibC::trimNumberText(text, 6, 9, true, true), -1);
}

float parseF(const char* s) {
    char buf[64];
    std::strcpy(buf, s);
    return TulvarSupportNumberLibC::parseFloat(buf, static_cast<int>(std::strlen(s)));
}

double parseD(const char* s) {
    char buf[64];
    std::strcpy(buf, s);
    return TulvarSupportNumberLibC::parseDouble(buf, static_cast<int>(std::strlen(s)));
}

TEST(NumberParsing, TypeLetterDroppedAndMalformedTextIsNaN) {
    EXPECT_EQ(parseF("1.5f"), 1.5f);
    EXPECT_EQ(parseF("1.5F"), 1.5f);
    EXPECT_EQ(parseD("2.25d"), 2.25);
    EXPECT_EQ(parseD("-1e300"), -1e300);
    EXPECT_EQ(parseD("4.9E-324"), bitsDouble(1));
    std::uint32_t bits;
    const float nan = parseF("1.5x");
    std::memcpy(&bits, &nan, 4);
    EXPECT_EQ(bits, 0x7FC00000u);
    EXPECT_TRUE(std::isnan(parseF("")));
    EXPECT_TRUE(std::isnan(parseF("f")));
    EXPECT_TRUE(std::isnan(parseD("1.0.0")));
    EXPECT_TRUE(std::isnan(parseD("--1")));
    std::uint64_t dbits;
    const double dnan = parseD("abc");
    std::memcpy(&dbits, &dnan, 8);
    EXPECT_EQ(dbits, 0x7FF8000000000000ull);
}

}  // namespace
