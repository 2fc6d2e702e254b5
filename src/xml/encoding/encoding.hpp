// The text encodings a document may declare, looked up by label, and the
// decoders that turn text in them into UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorbix::xml {

// In the order of the encoding data (encodings.json); the generated tables
// are indexed by these values.
enum class Encoding : std::uint8_t {
    Utf8,
    Ibm866,
    Iso8859_2,
    Iso8859_3,
    Iso8859_4,
    Iso8859_5,
    Iso8859_6,
    Iso8859_7,
    Iso8859_8,
    Iso8859_8I,
    Iso8859_10,
    Iso8859_13,
    Iso8859_14,
    Iso8859_15,
    Iso8859_16,
    Koi8R,
    Koi8U,
    Macintosh,
    Windows874,
    Windows1250,
    Windows1251,
    Windows1252,
    Windows1253,
    Windows1254,
    Windows1255,
    Windows1256,
    Windows1257,
    Windows1258,
    XMacCyrillic,
    Gbk,
    Gb18030,
    Big5,
    EucJp,
    Iso2022Jp,
    ShiftJis,
    EucKr,
    Replacement,
    Utf16Be,
    Utf16Le,
    XUserDefined,
};

inline constexpr int encoding_count = 40;

// The encoding a label names: ASCII white space trimmed, ASCII letters
// compared without case. Unknown labels give nothing.
std::optional<Encoding> encoding_for_label(std::string_view label);

// The encoding's canonical name ("windows-1252", "Shift_JIS").
std::string_view encoding_name(Encoding encoding);

// Decodes `bytes` into UTF-8 in replacement mode: each malformed sequence
// becomes U+FFFD, as the Encoding Standard's decoders do, so it never fails.
// No byte-order mark is looked at. `out` is overwritten; for valid UTF-8 it
// is a copy (callers that want none check `text::is_valid_utf8` first).
void decode(Encoding encoding, std::string_view bytes, std::string& out);

// Whether a document is UTF-16, from its byte-order mark or, without one,
// from its first bytes ("<?" in either byte order); nothing otherwise.
std::optional<Encoding> utf16_document(std::string_view bytes);

// The UTF-8 form of a UTF-16 document (`encoding` is Utf16Be or Utf16Le), its
// byte-order mark dropped; lone surrogates and an odd last byte become U+FFFD.
std::string transcode_utf16_document(std::string_view bytes, Encoding encoding);

}  // namespace quorbix::xml
