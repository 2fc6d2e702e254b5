// The decoders behind `decode`, one per family. Each appends the UTF-8 form of
// `in` to `out`, putting one U+FFFD in place of each malformed sequence
// (including one cut off by the end of the input) and going on after it.
#pragma once

#include <string>
#include <string_view>

#include "xml/encoding/encoding.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {

inline bool in(unsigned char b, unsigned char lo, unsigned char hi) {
    return b >= lo && b <= hi;
}

// For `sequence` below: appends U+FFFD for a malformed sequence and returns
// `used`, the number of bytes it takes.
inline std::size_t malformed(std::string& out, std::size_t used) {
    append_replacement(out);
    return used;
}

// The same for a sequence of `used` bytes spoilt by its last byte, which is
// read again if it is ASCII and taken otherwise.
inline std::size_t bad_trail(std::string& out, std::size_t used, unsigned char last) {
    return malformed(out, last < 0x80 ? used - 1 : used);
}

// The loop the multi-byte decoders share: ASCII stands for itself, and at any
// other byte `sequence(bytes, size, i, out)` appends one character, or U+FFFD
// for a malformed sequence, and returns how many bytes it took (at least 1).
// The loop goes on after those, so a byte that cannot continue a sequence
// but is not taken with it is read again as the start of the next.
template <class Sequence>
void decode_sequences(std::string_view text, std::string& out, Sequence sequence) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    out.reserve(out.size() + n);
    for (std::size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            out.push_back(static_cast<char>(p[i++]));
            continue;
        }
        i += sequence(p, n, i, out);
    }
}

void utf8(std::string_view in, std::string& out);
void single_byte(Encoding encoding, std::string_view in, std::string& out);
void x_user_defined(std::string_view in, std::string& out);
void gb18030(std::string_view in, std::string& out);
void big5(std::string_view in, std::string& out);
void euc_jp(std::string_view in, std::string& out);
void iso_2022_jp(std::string_view in, std::string& out);
void shift_jis(std::string_view in, std::string& out);
void euc_kr(std::string_view in, std::string& out);
void utf16(bool big_endian, std::string_view in, std::string& out);

}  // namespace quorbix::xml::decoders
