#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

constexpr std::uint32_t euc_kr_size = sizeof(tables::euc_kr) / sizeof(tables::euc_kr[0]);

}  // namespace

void euc_kr(std::string_view text, std::string& out) {
    decode_sequences(
        text, out,
        [](const unsigned char* p, std::size_t n, std::size_t i, std::string& out) -> std::size_t {
            unsigned char lead = p[i];
            if (!in(lead, 0x81, 0xFE) || i + 1 == n) return malformed(out, 1);
            unsigned char trail = p[i + 1];
            if (in(trail, 0x41, 0xFE)) {
                std::uint32_t pointer = (lead - 0x81) * 190 + (trail - 0x41);
                std::uint32_t cp = pointer < euc_kr_size ? tables::euc_kr[pointer] : 0;
                if (cp != 0) {
                    append_utf8(out, cp);
                    return 2;
                }
            }
            return bad_trail(out, 2, trail);
        });
}

}  // namespace quorbix::xml::decoders
