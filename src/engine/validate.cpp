#include "engine/validate.hpp"

#include <algorithm>

#include "xml/character_data.hpp"

namespace quorbix::engine {
namespace {

xml::StructureCheck check_document(std::string_view document, xml::DocumentStart start) {
    xml::StructureCheck check;
    xml::check_rest(document, start.mark_length, start.encoding, check);
    return check;
}

// The characters of `text` once decoded: UTF-8 bytes that start one.
std::size_t characters(std::string_view text, xml::Encoding encoding) {
    std::string scratch;
    std::string_view utf8 = xml::utf8_text(text, encoding, scratch);
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

bool validate_document(std::string_view document) {
    return check_document(document, xml::read_document_start(document)).ok();
}

ValidationReport validation_report(std::string_view document) {
    return validation_report(document, xml::document_encoding(document));
}

ValidationReport validation_report(std::string_view document, xml::Encoding encoding) {
    xml::StructureCheck check = check_document(document, xml::read_document_start(document));
    return report_of(check, document, encoding);
}

TextPlace place_after(TextPlace place, std::string_view text, xml::Encoding encoding) {
    place.offset += text.size();
    std::size_t last = text.rfind('\n');
    if (last == std::string_view::npos) {
        place.column += characters(text, encoding);
        return place;
    }
    place.line += static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    place.column = 1 + characters(text.substr(last + 1), encoding);
    return place;
}

ValidationReport report_of(const xml::StructureCheck& check, std::string_view document,
                           xml::Encoding encoding, TextPlace start) {
    if (check.ok()) return {};
    std::size_t offset = std::clamp(check.offset(), start.offset, start.offset + document.size());
    return report_at(check, place_after(start, document.substr(0, offset - start.offset), encoding),
                     encoding);
}

ValidationReport report_at(const xml::StructureCheck& check, TextPlace place,
                           xml::Encoding encoding) {
    if (check.ok()) return {};
    return {false, place.offset, place.line, place.column, check.message(encoding)};
}

ValidationReport entities_report(const xml::Entities& entities, TextPlace place) {
    if (!entities.fell_short()) return {};
    return {false, place.offset, place.line, place.column,
            "not read in full: " + entities.problem().value_or("an entity was not expanded")};
}

ValidationReport entities_report(const xml::Entities& entities, std::string_view document,
                                 xml::Encoding encoding) {
    std::uint64_t at = std::min<std::uint64_t>(entities.doctype_at(), document.size());
    return entities_report(entities, place_after({}, document.substr(0, at), encoding));
}

}  // namespace quorbix::engine
