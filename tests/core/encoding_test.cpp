#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/utf8.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {
namespace {

using namespace std::string_literals;

std::string decoded(std::string_view label, const std::string& bytes) {
    auto encoding = encoding_for_label(label);
    EXPECT_TRUE(encoding) << label;
    if (!encoding) return "(unknown label)";
    std::string out = "stale";  // overwritten
    decode(*encoding, bytes, out);
    return out;
}

struct Check {
    const char* label;
    std::string bytes;
    std::string text;
};

void expect_decodes(const std::vector<Check>& checks) {
    for (const Check& c : checks)
        EXPECT_EQ(decoded(c.label, c.bytes), c.text)
            << c.label << " " << testing::PrintToString(c.bytes);
}

TEST(Labels, MatchAfterTrimmingAndCaseFolding) {
    EXPECT_EQ(encoding_for_label("utf-8"), Encoding::Utf8);
    EXPECT_EQ(encoding_for_label(" \tUTF8\r\n\f"), Encoding::Utf8);
    EXPECT_EQ(encoding_for_label("Latin1"), Encoding::Windows1252);
    EXPECT_EQ(encoding_for_label("ISO-8859-1"), Encoding::Windows1252);
    EXPECT_EQ(encoding_for_label("us-ascii"), Encoding::Windows1252);
    EXPECT_EQ(encoding_for_label("utf-16"), Encoding::Utf16Le);
    EXPECT_EQ(encoding_for_label("x-sjis"), Encoding::ShiftJis);
    EXPECT_EQ(encoding_for_label("iso-2022-kr"), Encoding::Replacement);
    EXPECT_EQ(encoding_for_label("GB2312"), Encoding::Gbk);
    for (const char* unknown : {"utf_8", "utf 8", "\vutf-8", "", "   ", "nonsense",
                                "a-very-long-label-that-matches-nothing-at-all"})
        EXPECT_FALSE(encoding_for_label(unknown)) << unknown;
}

TEST(Labels, EnumerationFollowsTheData) {
    EXPECT_EQ(encoding_name(Encoding::Utf8), "UTF-8");
    EXPECT_EQ(encoding_name(Encoding::Iso8859_8I), "ISO-8859-8-I");
    EXPECT_EQ(encoding_name(Encoding::XMacCyrillic), "x-mac-cyrillic");
    EXPECT_EQ(encoding_name(Encoding::Gbk), "GBK");
    EXPECT_EQ(encoding_name(Encoding::ShiftJis), "Shift_JIS");
    EXPECT_EQ(encoding_name(Encoding::Replacement), "replacement");
    EXPECT_EQ(encoding_name(Encoding::XUserDefined), "x-user-defined");
    // Every encoding's own name is one of its labels.
    for (int i = 0; i < encoding_count; ++i) {
        auto e = static_cast<Encoding>(i);
        EXPECT_EQ(encoding_for_label(encoding_name(e)), e) << encoding_name(e);
    }
}

struct Sample {
    const char* label;
    std::string bytes;
    const char* text;
};

TEST(Decoders, DecodeRealText) {
    std::vector<Sample> samples = {
        {"Shift_JIS",
         "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x65\x83\x4C\x83\x58\x83\x67\x81\x41\xB6\xC0\xB6\xC5"s,
         "日本語のテキスト、ｶﾀｶﾅ"},
        {"EUC-JP",
         "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xC6\xA5\xAD\xA5\xB9\xA5\xC8\xA1\xA2\x8E\xB6\x8E\xC0\x8E\xB6\x8E\xC5"s,
         "日本語のテキスト、ｶﾀｶﾅ"},
        {"ISO-2022-JP",
         "\x1B\x24\x42\x46\x7C\x4B\x5C\x38\x6C\x24\x4E\x25\x46\x25\x2D\x25\x39\x25\x48\x1B\x28\x42\x41\x42\x43"s,
         "日本語のテキストABC"},
        {"gb18030", "\xD6\xD0\xCE\xC4\xCE\xC4\xB1\xBE\xA3\xBA\xBA\xBA\xD7\xD6\xA2\xE3"s,
         "中文文本：汉字€"},
        {"GBK", "\xD6\xD0\xCE\xC4\xCE\xC4\xB1\xBE\xA3\xBA\xBA\xBA\xD7\xD6"s, "中文文本：汉字"},
        {"Big5", "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5\xA4\xE5\xA6\x72"s, "繁體中文文字"},
        {"EUC-KR", "\xC7\xD1\xB1\xB9\xBE\xEE\x20\xC5\xD8\xBD\xBA\xC6\xAE"s, "한국어 텍스트"},
        {"KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4\x2C\x20\xCD\xC9\xD2"s, "Привет, мир"},
        {"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2\x2C\x20\xEC\xE8\xF0"s, "Привет, мир"},
        {"IBM866", "\x8F\xE0\xA8\xA2\xA5\xE2\x2C\x20\xAC\xA8\xE0"s, "Привет, мир"},
        {"ISO-8859-7", "\xCA\xE1\xEB\xE7\xEC\xDD\xF1\xE1\x20\xEA\xFC\xF3\xEC\xE5"s,
         "Καλημέρα κόσμε"},
        {"latin1", "\x63\x61\x66\xE9\x20\x80\x20\x6E\x61\xEF\x76\x65"s, "café € naïve"},
        {"ISO-8859-2", "\xAF\xF3\xB3\xE6\x20\x67\xEA\xB6\x6C\xB1"s, "Żółć gęślą"},
        {"UTF-16LE",
         "\x68\x00\xE9\x00\x6C\x00\x6C\x00\x6F\x00\x20\x00\x3D\xD8\x00\xDE\x20\x00\xE5\x65\x2C\x67"s,
         "héllo 😀 日本"},
        {"UTF-16BE",
         "\x00\x68\x00\xE9\x00\x6C\x00\x6C\x00\x6F\x00\x20\xD8\x3D\xDE\x00\x00\x20\x65\xE5\x67\x2C"s,
         "héllo 😀 日本"},
        {"utf-8", "na\xC3\xAFve \xF0\x9F\x92\xA9"s, "naïve 💩"},
    };
    for (const Sample& s : samples) EXPECT_EQ(decoded(s.label, s.bytes), s.text) << s.label;
}

TEST(Decoders, SpotChecks) {
    expect_decodes({
        {"utf-8", "\xE0\x80"s, "\uFFFD\uFFFD"},
        {"utf-8", "\xED\xA0\x80"s, "\uFFFD\uFFFD\uFFFD"},
        {"utf-8", "\xF4\x90\x80\x80"s, "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"utf-8", "\xC0\xAF"s, "\uFFFD\uFFFD"},
        {"utf-8", "\xF0\x9F\x92"s, "\uFFFD"},
        {"utf-8", "\xEF\xBB\xBFx"s, "\xEF\xBB\xBFx"s},  // no byte-order-mark handling
        {"gb18030", "\x80"s, "€"},
        {"gb18030", "\xA3\xA0"s, "\u3000"},
        {"gb18030", "\x81\x30\x81\x30"s, "\u0080"},
        {"gb18030", "\x81\x35\xF4\x37"s, "\uE7C7"},
        {"gb18030", "\x84\x31\xA4\x39"s, "\uFFFF"},
        {"gb18030", "\x84\x31\xA5\x30"s, "\uFFFD"},
        {"gb18030", "\x90\x30\x81\x30"s, "\U00010000"},
        {"gb18030", "\xE3\x32\x9A\x35"s, "\U0010FFFF"},
        {"gb18030", "\xE3\x32\x9A\x36"s, "\uFFFD"},
        {"gb18030", "\x81\x30\x81"s, "\uFFFD"},
        {"gb18030", "\xFF"s, "\uFFFD"},
        {"big5", "\x88\x62\x88\x64"s, "\u00CA\u0304\u00CA\u030C"},
        {"big5", "\x87\x40"s, "\u43F0"},
        {"big5", "\x81\x40"s, "\uFFFD@"},
        {"big5", "\xA4"s, "\uFFFD"},
        {"shift_jis", "\xF0\x40\xF9\xFC"s, "\uE000\uE757"},
        {"shift_jis", "\x5C\x7E\x80\xA1"s, "\\~\u0080\uFF61"},
        {"shift_jis", "\xA0"s, "\uFFFD"},
        {"shift_jis", "\xFC\xFC"s, "\uFFFD"},  // past the end of the index
        {"euc-jp", "\x8E\xA1"s, "\uFF61"},
        {"euc-jp", "\x8F\xA2\xAF"s, "\u02D8"},
        {"euc-jp", "\x8E\x41"s, "\uFFFDA"},
        {"euc-jp", "\x8F\xA2"s, "\uFFFD"},
        {"euc-jp", "\x8F\xFE\xFE"s, "\uFFFD"},  // past the end of the JIS X 0212 index
        {"euc-jp", "\x8F\xF8\xF0"s, "\uFFFD"},
        {"iso-2022-jp", "\x1B\x28\x4A\x5C\x7E"s, "\u00A5\u203E"},
        {"iso-2022-jp", "\x1B\x28\x49\x21"s, "\uFF61"},
        {"iso-2022-jp", "\x1B\x28\x42\x1B\x28\x42\x41"s, "\uFFFDA"},
        {"iso-2022-jp", "\x1B\x24\x42\x0A"s, "\uFFFD"},
        {"iso-2022-jp", "\x1B\x24\x42\x46"s, "\uFFFD"},
        {"iso-2022-jp", "\x1B\x28\x42"s, ""},
        {"iso-2022-jp", "\x1B\x28\x5A"s, "\uFFFD(Z"},
        {"iso-2022-jp", "\x0E"s, "\uFFFD"},
        {"euc-kr", "\xB0\xA1"s, "\uAC00"},
        {"euc-kr", "\xB0\x5B"s, "\uFFFD["},
        {"euc-kr", "\xFE\xFE"s, "\uFFFD"},
        {"utf-16le", "\x3D\xD8\xA9\xDC"s, "\U0001F4A9"},
        {"utf-16be", "\xD8\x3D\x00\x41"s, "\uFFFDA"},
        {"utf-16be", "\xDC\x00"s, "\uFFFD"},
        {"utf-16be", "\xD8\x3D"s, "\uFFFD"},
        {"utf-16be", "\x00"s, "\uFFFD"},
        {"utf-16le", "\xFE\xFF"s, "\uFFFE"},
        {"x-user-defined", "\x41\xFF"s, "A\uF7FF"},
        {"replacement", ""s, ""},
        {"replacement", "A"s, "\uFFFD"},
        {"windows-1252", "\x80\x81"s, "\u20AC\u0081"},
        {"iso-8859-3", "\xA5"s, "\uFFFD"},
        {"iso-8859-8-i", "\xE0"s, "\u05D0"},
        {"windows-874", "\xDB"s, "\uFFFD"},
        {"koi8-u", "\xA4"s, "\u0454"},
        {"macintosh", "\x80"s, "\u00C4"},
        {"x-mac-cyrillic", "\x80"s, "\u0410"},
    });
}

TEST(Decoders, Utf8ReplacesMaximalSubparts) {
    // As Python's bytes.decode("utf-8", "replace"): a sequence cut short is
    // one U+FFFD, and the byte that cut it starts the next.
    expect_decodes({
        {"utf-8", "\xF0\x9F\x92\x41"s, "\uFFFDA"},
        {"utf-8", "\xC3\xA9\xC3"s, "\u00E9\uFFFD"},
        {"utf-8", "\xE0\xA0\xC0"s, "\uFFFD\uFFFD"},
        {"utf-8", "\xC2\xF0\x9F\x92\xA9"s, "\uFFFD\U0001F4A9"},
        {"utf-8", "\xFF\xFE\xF5\x80"s, "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"utf-8", "a\xF1\x80\x80\xE1\x80\xC2x\x80y\x80\xBFz"s,
         "a\uFFFD\uFFFD\uFFFDx\uFFFDy\uFFFD\uFFFDz"},
    });
}

TEST(Decoders, DoubleByteReplacement) {
    // A bad lead is one U+FFFD, and so is a lead at the end. A bad trail is
    // read again if it is ASCII, and taken with the lead otherwise.
    expect_decodes({
        {"big5", "\x80\x41\xFF"s, "\uFFFDA\uFFFD"},
        {"big5", "\xA4\x0A"s, "\uFFFD\n"},
        {"big5", "\x81\xA1\x41"s, "\uFFFDA"},  // no code point
        {"big5", "\xA4\x80"s, "\uFFFD"},
        {"euc-kr", "\x80\x41"s, "\uFFFDA"},
        {"euc-kr", "\xB0"s, "\uFFFD"},
        {"euc-kr", "\xC9\x41"s, "\uFFFDA"},
        {"euc-kr", "\xC9\xA1"s, "\uFFFD"},
        {"euc-kr", "\x81\xFF"s, "\uFFFD"},
        {"shift_jis", "\xFD\x41"s, "\uFFFDA"},
        {"shift_jis", "\x81"s, "\uFFFD"},
        {"shift_jis", "\x81\x20"s, "\uFFFD "},
        {"shift_jis", "\x81\x7F"s, "\uFFFD\x7F"},
        {"shift_jis", "\x85\x40"s, "\uFFFD@"},  // no code point
        {"shift_jis", "\x81\xFD"s, "\uFFFD"},
        {"shift_jis", "\xFC\xFC\x41"s, "\uFFFDA"},
        {"euc-jp", "\x80\xFF"s, "\uFFFD\uFFFD"},
        {"euc-jp", "\xA1"s, "\uFFFD"},
        {"euc-jp", "\xA4\x41"s, "\uFFFDA"},
        {"euc-jp", "\x8F\x41"s, "\uFFFDA"},
        {"euc-jp", "\x8E\xE0"s, "\uFFFD"},
        {"euc-jp", "\xA9\xA1"s, "\uFFFD"},  // no code point
        // In the three-byte form, 0x8F and the second byte are taken either way.
        {"euc-jp", "\x8F\xA2\x41\xA4\xA2"s, "\uFFFDA\u3042"},
        {"euc-jp", "\x8F\xA2\xA1\x41"s, "\uFFFDA"},
    });
}

TEST(Decoders, Gb18030Replacement) {
    expect_decodes({
        {"gb18030", "\x81"s, "\uFFFD"},
        {"gb18030", "\x81\x30"s, "\uFFFD"},
        {"gb18030", "\x81\x20"s, "\uFFFD "},
        {"gb18030", "\x81\x7F"s, "\uFFFD\x7F"},
        {"gb18030", "\x81\xFF"s, "\uFFFD"},
        // A bad third byte puts back the second and third, a bad fourth the
        // last three; a pointer with no code point takes all four.
        {"gb18030", "\x81\x30\x41"s, "\uFFFD0A"},
        {"gbk", "\x81\x30\x41"s, "\uFFFD0A"},
        {"gb18030", "\x81\x30\xFF\x30"s, "\uFFFD0\uFFFD0"},
        {"gb18030", "\x81\x30\x81\x41"s, "\uFFFD0\u4E04"},
        {"gb18030", "\x84\x31\xA5\x30\x41"s, "\uFFFDA"},
    });
}

TEST(Decoders, Iso2022JpReplacement) {
    expect_decodes({
        {"iso-2022-jp", "\x80"s, "\uFFFD"},
        {"iso-2022-jp", "\x1B"s, "\uFFFD"},
        // A bad escape drops only its 0x1B.
        {"iso-2022-jp", "\x1B\x41"s, "\uFFFDA"},
        {"iso-2022-jp", "\x1B\x28"s, "\uFFFD("},
        // Two escapes in a row are an error, but the second still switches.
        {"iso-2022-jp", "\x1B\x28\x42\x1B\x28\x4A\x5C"s, "\uFFFD\u00A5"},
        {"iso-2022-jp", "\x1B\x24\x42\x46\x7C\x1B\x28\x42"s, "\u65E5"},
        {"iso-2022-jp", "\x1B\x28\x49\x21\x0A"s, "\uFF61\uFFFD"},
        {"iso-2022-jp", "\x1B\x24\x42\x46\x7C\x0A"s, "\u65E5\uFFFD"},
        {"iso-2022-jp", "\x1B\x24\x42\x22\x2F"s, "\uFFFD"},  // no code point
        // A byte that cannot be a trail is taken; an escape drops the lead.
        {"iso-2022-jp", "\x1B\x24\x42\x46\x0A\x46\x7C"s, "\uFFFD\u65E5"},
        {"iso-2022-jp", "\x1B\x24\x42\x46\x1B\x28\x42\x41"s, "\uFFFDA"},
    });
}

TEST(Decoders, OtherReplacement) {
    expect_decodes({
        {"utf-16le", "\x3D\xD8\x3D\xD8\xA9\xDC"s, "\uFFFD\U0001F4A9"},
        {"utf-16be", "\x00\x41\x00"s, "A\uFFFD"},
        // The end after a high half is one error, odd last byte or not.
        {"utf-16be", "\xD8\x3D\x00"s, "\uFFFD"},
        {"utf-16be", "\xDC\x00\x00"s, "\uFFFD\uFFFD"},
        {"replacement", "<a>\xFF</a>"s, "\uFFFD"},
        {"iso-8859-3", "A\xA5\x42"s, "A\uFFFDB"},
        {"windows-1253", "\xAA\xD2\xFF"s, "\uFFFD\uFFFD\uFFFD"},
    });
    // A UTF-16 document is read by the same decoder, past its byte-order mark.
    EXPECT_EQ(transcode_utf16_document("\xFF\xFE\x41\x00\x3D\xD8\x00"s, Encoding::Utf16Le),
              "A\uFFFD");
    EXPECT_EQ(transcode_utf16_document("\xFE\xFF\xDC\x00\x00\x41"s, Encoding::Utf16Be), "\uFFFDA");
}

TEST(Utf8, ValidationAndAsciiChecks) {
    EXPECT_TRUE(text::is_valid_utf8(""));
    EXPECT_TRUE(text::is_valid_utf8("plain ascii text longer than eight bytes"));
    EXPECT_TRUE(text::is_valid_utf8("\xF4\x8F\xBF\xBF\xEF\xBF\xBF"));
    EXPECT_FALSE(text::is_valid_utf8("abcdefgh\x80"));
    EXPECT_FALSE(text::is_valid_utf8("\xF5\x80\x80\x80"));
    EXPECT_TRUE(text::is_ascii("0123456789abcdef!"));
    EXPECT_FALSE(text::is_ascii("0123456789abcdef\xC3\xA9"));
}

}  // namespace
}  // namespace quorbix::xml
