#include "xml/encoding/decoders.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml {
namespace {

constexpr std::uint32_t replacement_character = 0xFFFD;

// Decodes UTF-16 into UTF-8. In fatal mode the first malformed sequence (a
// lone surrogate, an odd trailing byte) fails the decode; otherwise each
// becomes U+FFFD and decoding goes on.
bool utf16_to_utf8(bool big_endian, bool fatal, std::string_view in, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t units = in.size() / 2;
    auto unit = [&](std::size_t i) -> std::uint32_t {
        return big_endian ? (p[2 * i] << 8) | p[2 * i + 1] : (p[2 * i + 1] << 8) | p[2 * i];
    };
    out.reserve(out.size() + in.size() + in.size() / 2);
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDFFF) {
            bool paired =
                u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF;
            if (!paired) {
                if (fatal) return false;
                append_utf8(out, replacement_character);
                continue;
            }
            u = 0x10000 + ((u - 0xD800) << 10) + (unit(++i) - 0xDC00);
        }
        append_utf8(out, u);
    }
    if (in.size() % 2 == 0) return true;
    if (fatal) return false;
    append_utf8(out, replacement_character);
    return true;
}

bool starts_with(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

namespace decoders {

bool utf16(bool big_endian, std::string_view in, std::string& out) {
    return utf16_to_utf8(big_endian, true, in, out);
}

}  // namespace decoders

std::optional<Encoding> utf16_document(std::string_view bytes) {
    if (starts_with(bytes, "\xFE\xFF") || starts_with(bytes, std::string_view("\x00<\x00?", 4)))
        return Encoding::Utf16Be;
    if (starts_with(bytes, "\xFF\xFE") || starts_with(bytes, std::string_view("<\x00?\x00", 4)))
        return Encoding::Utf16Le;
    return std::nullopt;
}

std::string transcode_utf16_document(std::string_view bytes, Encoding encoding) {
    if (starts_with(bytes, "\xFE\xFF") || starts_with(bytes, "\xFF\xFE")) bytes.remove_prefix(2);
    std::string out;
    utf16_to_utf8(encoding == Encoding::Utf16Be, false, bytes, out);
    return out;
}

}  // namespace quorbix::xml
