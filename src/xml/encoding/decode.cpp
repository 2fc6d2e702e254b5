#include "xml/encoding/decoders.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {

bool decode(Encoding encoding, std::string_view bytes, std::string& out) {
    out.clear();
    switch (encoding) {
        case Encoding::Utf8:
            if (!is_valid_utf8(bytes)) return false;
            out.assign(bytes);
            return true;
        case Encoding::Gbk:
        case Encoding::Gb18030:
            return decoders::gb18030(bytes, out);
        case Encoding::Big5:
            return decoders::big5(bytes, out);
        case Encoding::EucJp:
            return decoders::euc_jp(bytes, out);
        case Encoding::Iso2022Jp:
            return decoders::iso_2022_jp(bytes, out);
        case Encoding::ShiftJis:
            return decoders::shift_jis(bytes, out);
        case Encoding::EucKr:
            return decoders::euc_kr(bytes, out);
        case Encoding::Replacement:
            // Any input at all is one error, and fatal mode fails on it.
            return bytes.empty();
        case Encoding::Utf16Be:
            return decoders::utf16(true, bytes, out);
        case Encoding::Utf16Le:
            return decoders::utf16(false, bytes, out);
        case Encoding::XUserDefined:
            return decoders::x_user_defined(bytes, out);
        default:
            return decoders::single_byte(encoding, bytes, out);
    }
}

}  // namespace quorbix::xml
