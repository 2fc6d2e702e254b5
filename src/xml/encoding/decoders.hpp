// The decoders behind `decode`, one per family. Each works in fatal mode: it
// appends the UTF-8 form of `in` to `out` and returns false at the first
// malformed sequence, including one cut off by the end of the input.
#pragma once

#include <string>
#include <string_view>

#include "xml/encoding/encoding.hpp"

namespace quorbix::xml::decoders {

inline bool in(unsigned char b, unsigned char lo, unsigned char hi) {
    return b >= lo && b <= hi;
}

// The loop the multi-byte decoders share: ASCII stands for itself, and at any
// other byte `sequence(bytes, size, i, out)` decodes one sequence, returning
// how many bytes it took, or 0 for malformed input.
template <class Sequence>
bool decode_sequences(std::string_view text, std::string& out, Sequence sequence) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        if (p[i] < 0x80) {
            out.push_back(static_cast<char>(p[i++]));
            continue;
        }
        std::size_t used = sequence(p, n, i, out);
        if (used == 0) return false;
        i += used;
    }
    return true;
}

bool single_byte(Encoding encoding, std::string_view in, std::string& out);
bool x_user_defined(std::string_view in, std::string& out);
bool gb18030(std::string_view in, std::string& out);
bool big5(std::string_view in, std::string& out);
bool euc_jp(std::string_view in, std::string& out);
bool iso_2022_jp(std::string_view in, std::string& out);
bool shift_jis(std::string_view in, std::string& out);
bool euc_kr(std::string_view in, std::string& out);
bool utf16(bool big_endian, std::string_view in, std::string& out);

}  // namespace quorbix::xml::decoders
