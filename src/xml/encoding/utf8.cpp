#include <cstdint>
#include <cstring>

#include "text/utf8.hpp"
#include "xml/encoding/decoders.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {

using decoders::in;

namespace decoders {

void utf8(std::string_view text, std::string& out) {
    decode_sequences(
        text, out,
        [text](const unsigned char*, std::size_t, std::size_t i, std::string& out) -> std::size_t {
            // A sequence cut short is one U+FFFD; the byte that cut it is read
            // again as the start of the next.
            bool complete;
            std::size_t length = text::utf8_valid_prefix(text, i, complete);
            if (!complete) return malformed(out, length > 0 ? length : 1);
            out.append(text.data() + i, length);
            return length;
        });
}

}  // namespace decoders
}  // namespace quorbix::xml
