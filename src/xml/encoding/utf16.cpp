#include "xml/encoding/decoders.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {

bool utf16(bool big_endian, std::string_view in, std::string& out) {
    if (in.size() % 2 != 0) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t units = in.size() / 2;
    auto unit = [&](std::size_t i) -> std::uint32_t {
        return big_endian ? (p[2 * i] << 8) | p[2 * i + 1] : (p[2 * i + 1] << 8) | p[2 * i];
    };
    out.reserve(in.size());
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xDC00 && u <= 0xDFFF) return false;  // a low half with no high half
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == units) return false;
            std::uint32_t low = unit(++i);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(out, u);
    }
    return true;
}

}  // namespace quorbix::xml::decoders
