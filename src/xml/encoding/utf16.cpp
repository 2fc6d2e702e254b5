#include "xml/encoding/decoders.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml {
namespace {

bool starts_with(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

namespace decoders {

void utf16(bool big_endian, std::string_view in, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t units = in.size() / 2;
    auto unit = [&](std::size_t i) -> std::uint32_t {
        return big_endian ? (p[2 * i] << 8) | p[2 * i + 1] : (p[2 * i + 1] << 8) | p[2 * i];
    };
    out.reserve(out.size() + in.size() + in.size() / 2);
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDFFF) {
            bool high = u <= 0xDBFF;
            if (high && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(++i) - 0xDC00));
            } else {
                append_replacement(out);
                // A high half at the end takes an odd last byte into its U+FFFD.
                if (high && i + 1 == units) return;
            }
            continue;
        }
        append_utf8(out, u);
    }
    if (in.size() % 2 != 0) append_replacement(out);
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
    decoders::utf16(encoding == Encoding::Utf16Be, bytes, out);
    return out;
}

}  // namespace quorbix::xml
