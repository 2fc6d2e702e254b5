#include "xml/text_encoding.hpp"

#include <utility>

#include "xml/attributes.hpp"
#include "xml/char_class.hpp"

namespace quorbix::xml {
namespace {

constexpr std::string_view utf8_mark = "\xEF\xBB\xBF";

bool starts_with(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// The encoding label of a declaration that opens `bytes`, and the
// declaration's length; nothing without a declaration or a label.
std::optional<std::pair<std::string_view, std::size_t>> declared_label(std::string_view bytes) {
    if (!starts_with(bytes, "<?xml") || bytes.size() < 6 || !is_space(bytes[5]))
        return std::nullopt;
    std::size_t close = bytes.find("?>", 5);
    if (close == std::string_view::npos) return std::nullopt;
    AttributeIter it(bytes.substr(5, close - 5));
    Attribute attribute;
    while (it.next(attribute))
        if (attribute.ok && attribute.key == "encoding")
            return std::pair{attribute.value, close + 2};
    return std::nullopt;
}

DocumentStart marked_start(TextEncoding encoding, std::size_t mark_length) {
    DocumentStart start;
    start.encoding = encoding;
    start.mark_length = mark_length;
    return start;
}

}  // namespace

DocumentStart read_document_start(std::string_view bytes) {
    if (starts_with(bytes, utf8_mark))
        return marked_start({EncodingSource::BomDetected, Encoding::Utf8}, 3);
    if (auto utf16 = utf16_document(bytes)) {
        bool marked = starts_with(bytes, "\xFE\xFF") || starts_with(bytes, "\xFF\xFE");
        return marked_start({EncodingSource::BomDetected, *utf16}, marked ? 2 : 0);
    }
    DocumentStart start;
    if (starts_with(bytes, "<?xm")) start.encoding.source = EncodingSource::BomDetected;
    auto label = declared_label(bytes);
    if (!label) return start;
    std::optional<Encoding> declared = encoding_for_label(label->first);
    if (!declared) {
        start.unknown_label = label->first;
        start.declaration_length = label->second;
    } else if (*declared != Encoding::Utf16Be && *declared != Encoding::Utf16Le) {
        // A document read a byte at a time is not UTF-16, whatever it
        // declares: its markup would not have been found. It reads as UTF-8.
        start.encoding = {EncodingSource::DeclDetected, *declared};
    }
    return start;
}

DocumentStart given_document_start(std::string_view bytes, Encoding encoding) {
    bool marked = encoding == Encoding::Utf8 && starts_with(bytes, utf8_mark);
    return marked_start({EncodingSource::Given, encoding}, marked ? 3 : 0);
}

}  // namespace quorbix::xml
