#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "text/numbers.hpp"
#include "text/quote_literal.hpp"
#include "text/utf8.hpp"
#include "text/white_space.hpp"

namespace quorbix::text {
namespace {

TEST(TrimWhiteSpace, UnicodeWhiteSpaceAtBothEnds) {
    EXPECT_EQ(trim_white_space(" \t\n\v\f\r42 \r\n"), "42");
    EXPECT_EQ(trim_white_space("\u00A0\u3000x y\u2029\u0085\u202F\u205F\u1680\u200A"), "x y");
    EXPECT_EQ(trim_white_space("\u200Bx"), "\u200Bx");  // zero width space is not white space
    EXPECT_EQ(trim_white_space("   "), "");
    EXPECT_EQ(trim_white_space(""), "");
    EXPECT_EQ(trim_white_space(" \xFF "), "\xFF");  // stops at bytes that are not UTF-8
}

TEST(ReadInt64, AcceptsExactlySignedDigitsInRange) {
    EXPECT_EQ(read_int64("42"), 42);
    EXPECT_EQ(read_int64("+7"), 7);
    EXPECT_EQ(read_int64("-0012"), -12);
    EXPECT_EQ(read_int64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(read_int64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    for (const char* bad : {"", "+", "-", "9223372036854775808", "-9223372036854775809", " 1", "1 ",
                            "1.0", "0x10", "1_000", "++1", "1e3"})
        EXPECT_FALSE(read_int64(bad)) << bad;
}

TEST(ReadDouble, GrammarRoundingAndRange) {
    EXPECT_EQ(read_double("3.99"), 3.99);
    EXPECT_EQ(read_double("-3.99"), -3.99);
    EXPECT_EQ(read_double("1e3"), 1000.0);
    EXPECT_EQ(read_double(".5"), 0.5);
    EXPECT_EQ(read_double("5."), 5.0);
    EXPECT_EQ(read_double("+1E-2"), 0.01);
    EXPECT_EQ(read_double("0.1"), 0.1);
    EXPECT_EQ(read_double("9007199254740993"), 9007199254740992.0);  // round half to even
    EXPECT_EQ(read_double("99999999999999999999"), 1e20);
    EXPECT_EQ(read_double("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(read_double("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(read_double("1e99999999999999999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(read_double("1e-400"), 0.0);
    EXPECT_EQ(read_double("0.000001e-99999999999"), 0.0);
    EXPECT_EQ(read_double("4.9e-324"), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(read_double("INF"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(read_double("-Infinity"), -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(*read_double("nan")));
    EXPECT_TRUE(std::isnan(*read_double("+NaN")));
    for (const char* bad : {"", ".", "e5", "1e", "1e+", " 1", "1 ", "0x10", "1_000", "--1",
                            "infinit", "nan(1)", "1.2.3", "abc", "1,5", "+", "inf "})
        EXPECT_FALSE(read_double(bad)) << bad;
}

// Short decimals take a shortcut: every one must read as the full conversion
// reads it, to the last bit, at every length and place of the point.
TEST(ReadDouble, ShortDecimalsAsTheFullConversionReadsThem) {
    std::mt19937_64 random(11);
    for (int round = 0; round < 200000; ++round) {
        std::string text;
        auto digits = static_cast<int>(random() % 17) + 1;
        auto point = static_cast<int>(random() % (digits + 2)) - 1;  // -1: none
        for (int i = 0; i < digits; ++i) {
            if (i == point) text += '.';
            text += static_cast<char>('0' + random() % 10);
        }
        if (point == digits) text += '.';
        double expected = 0;
        std::from_chars(text.data(), text.data() + text.size(), expected);
        auto got = read_double(text);
        ASSERT_TRUE(got) << text;
        EXPECT_EQ(*got, expected) << text;
        EXPECT_EQ(std::signbit(*read_double("-" + text)), true) << text;
    }
}

TEST(FormatNumber, ShortestDigitsWrittenPositionally) {
    EXPECT_EQ(format_number(3), "3");
    EXPECT_EQ(format_number(-0.0), "0");
    EXPECT_EQ(format_number(-42), "-42");
    EXPECT_EQ(format_number(2.5), "2.5");
    EXPECT_EQ(format_number(1.5), "1.5");
    EXPECT_EQ(format_number(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(format_number(1e15), "1000000000000000");
    EXPECT_EQ(format_number(1e15 + 1), "1000000000000001");
    EXPECT_EQ(format_number(1e-7), "0.0000001");
    EXPECT_EQ(format_number(-1.25e-3), "-0.00125");
    // Past 2^53 integral doubles print their shortest round-trip digits.
    EXPECT_EQ(format_number(1e23), "100000000000000000000000");
    EXPECT_EQ(format_number(1152921504606846976.0), "1152921504606847000");
    EXPECT_EQ(format_number(-9007199254740993.0 * 4), "-36028797018963970");
    EXPECT_EQ(format_number(1.5e300).size(), 301u);
    EXPECT_EQ(format_number(123456.789e10), "1234567890000000");
    EXPECT_EQ(format_number(5e-324), "0." + std::string(323, '0') + "5");
    EXPECT_EQ(format_number(1e21), "1000000000000000000000");
    EXPECT_EQ(format_number(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(format_number(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(format_number(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(format_number(std::numeric_limits<double>::max()).size(), 309u);
}

TEST(QuoteLiteral, EscapesWhatCannotBeShownAsItself) {
    EXPECT_EQ(quote_literal("a.b"), "\"a.b\"");
    EXPECT_EQ(quote_literal("it's \"q\" \\"), "\"it's \\\"q\\\" \\\\\"");
    EXPECT_EQ(quote_literal(std::string_view("\t\r\n\0", 4)), "\"\\t\\r\\n\\0\"");
    EXPECT_EQ(quote_literal("\x01\x7F"), "\"\\u{1}\\u{7f}\"");
    EXPECT_EQ(quote_literal("\u00A0 \u200B\u2028\uE000"),
              "\"\\u{a0} \\u{200b}\\u{2028}\\u{e000}\"");
    EXPECT_EQ(quote_literal("e\u0301\u20DD"), "\"e\\u{301}\\u{20dd}\"");
    EXPECT_EQ(quote_literal("é日本😀"), "\"é日本😀\"");
    EXPECT_EQ(quote_literal("\xFF"), "\"\\u{fffd}\"");
}

}  // namespace
}  // namespace quorbix::text
