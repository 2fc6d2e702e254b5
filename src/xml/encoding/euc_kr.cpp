#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

constexpr std::uint32_t euc_kr_size = sizeof(tables::euc_kr) / sizeof(tables::euc_kr[0]);

}  // namespace

bool euc_kr(std::string_view text, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        unsigned char b = p[i];
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        if (b < 0x81 || b > 0xFE || i + 1 == n) return false;
        unsigned char trail = p[i + 1];
        if (trail < 0x41 || trail > 0xFE) return false;
        std::uint32_t pointer = (b - 0x81) * 190 + (trail - 0x41);
        std::uint32_t cp = pointer < euc_kr_size ? tables::euc_kr[pointer] : 0;
        if (cp == 0) return false;
        append_utf8(out, cp);
        i += 2;
    }
    return true;
}

}  // namespace quorbix::xml::decoders
