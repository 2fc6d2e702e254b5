#include "text/utf8.hpp"
#include "xml/encoding/decoders.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml {

void decode(Encoding encoding, std::string_view bytes, std::string& out) {
    out.clear();
    switch (encoding) {
        case Encoding::Utf8:
            if (text::is_valid_utf8(bytes))
                out.assign(bytes);
            else
                decoders::utf8(bytes, out);
            return;
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
            // Any input at all is one error; nothing is ever decoded.
            if (!bytes.empty()) append_replacement(out);
            return;
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
