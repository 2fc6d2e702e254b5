#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {

void single_byte(Encoding encoding, std::string_view in, std::string& out) {
    const auto& table =
        tables::single_byte[static_cast<int>(encoding) - static_cast<int>(Encoding::Ibm866)];
    out.reserve(in.size());
    for (unsigned char b : in) {
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            continue;
        }
        std::uint32_t cp = table[b - 0x80];
        if (cp == 0)
            append_replacement(out);  // a byte the encoding leaves unassigned
        else
            append_utf8(out, cp);
    }
}

void x_user_defined(std::string_view in, std::string& out) {
    out.reserve(in.size());
    for (unsigned char b : in) {
        if (b < 0x80)
            out.push_back(static_cast<char>(b));
        else
            append_utf8(out, 0xF780 + (b - 0x80));
    }
}

}  // namespace quorbix::xml::decoders
