#include "xml/text_encoding.hpp"

#include "xml/attributes.hpp"
#include "xml/char_class.hpp"

namespace quorbix::xml {
namespace {

constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";

bool starts_with(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// The encoding label of a declaration that opens `bytes`, if any.
std::optional<Encoding> declared_encoding(std::string_view bytes) {
    if (!starts_with(bytes, "<?xml") || bytes.size() < 6 || !is_space(bytes[5]))
        return std::nullopt;
    std::size_t close = bytes.find("?>", 5);
    if (close == std::string_view::npos) return std::nullopt;
    AttributeIter it(bytes.substr(5, close - 5));
    Attribute attribute;
    while (it.next(attribute)) {
        if (!attribute.ok || attribute.key != "encoding") continue;
        return encoding_for_label(attribute.value);
    }
    return std::nullopt;
}

}  // namespace

DocumentStart read_document_start(std::string_view bytes) {
    if (starts_with(bytes, utf8_mark)) return {{EncodingSource::BomDetected, Encoding::Utf8}, 3};
    if (auto utf16 = utf16_document(bytes)) {
        bool marked = starts_with(bytes, "\xFE\xFF") || starts_with(bytes, "\xFF\xFE");
        return {{EncodingSource::BomDetected, *utf16}, marked ? 2u : 0u};
    }
    DocumentStart start;
    if (starts_with(bytes, "<?xm")) start.encoding.source = EncodingSource::BomDetected;
    std::optional<Encoding> declared = declared_encoding(bytes);
    // A document read a byte at a time is not UTF-16, whatever it declares:
    // its markup would not have been found. It is read as UTF-8.
    if (declared && *declared != Encoding::Utf16Be && *declared != Encoding::Utf16Le)
        start.encoding = {EncodingSource::DeclDetected, *declared};
    return start;
}

DocumentStart given_document_start(std::string_view bytes, Encoding encoding) {
    bool marked = encoding == Encoding::Utf8 && starts_with(bytes, utf8_mark);
    return {{EncodingSource::Given, encoding}, marked ? 3u : 0u};
}

std::string_view decode_or_raw(std::string_view bytes, Encoding encoding, std::string& scratch) {
    if (encoding == Encoding::Utf8 || is_ascii(bytes)) return bytes;
    if (!decode(encoding, bytes, scratch)) return bytes;
    return scratch;
}

}  // namespace quorbix::xml
