#include "engine/records.hpp"

#include <unordered_map>

#include "engine/element_text.hpp"
#include "engine/evaluator.hpp"
#include "text/white_space.hpp"
#include "xml/attributes.hpp"
#include "xml/character_data.hpp"

namespace quorbix::engine {
namespace {

std::string_view match_bytes(const EngineMatch& m, std::string_view bytes) {
    if (m.kind == EngineMatch::Kind::ElementRange)
        return bytes.substr(static_cast<std::size_t>(m.start),
                            static_cast<std::size_t>(m.end - m.start));
    return m.bytes;
}

std::string trimmed(std::string_view text) {
    return std::string(text::trim_white_space(text));
}

// An element with elements inside shows as its markup, in UTF-8.
std::string markup(std::string_view element, xml::Encoding encoding) {
    std::string scratch;
    return std::string(xml::utf8_text(element, encoding, scratch));
}

// The rows' bytes: each element `rows` matches, in the document.
std::variant<std::vector<std::string_view>, AmbiguousPath> row_elements(
    std::string_view document, xml::Encoding encoding, const path::CompiledPath& rows,
    Matches& matches) {
    EvalOutcome outcome = evaluate_path(document, encoding, rows, true);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&outcome)) return std::move(*ambiguous);
    matches = std::move(std::get<Matches>(outcome));
    std::vector<std::string_view> elements;
    elements.reserve(matches.size());
    for (const EngineMatch& m : matches)
        if (m.kind != EngineMatch::Kind::ScalarText) elements.push_back(match_bytes(m, document));
    return elements;
}

// Columns by name, in the order they were first seen.
class ColumnsByName {
  public:
    explicit ColumnsByName(Table& table) : table_(table) {}

    // Starts a row of empty cells, as wide as the columns found so far.
    void start_row() {
        row_start_ = table_.cells.size();
        table_.cells.resize(row_start_ + table_.columns.size());
        ++table_.rows;
    }

    // Fills the cell of column `name` in the current row; a later attribute
    // or child of the name wins, as in pandas.read_xml.
    void put(std::string_view name, std::string value) {
        auto [at, added] = index_.try_emplace(std::string(name), table_.columns.size());
        if (added) {
            table_.columns.emplace_back(name);
            table_.cells.emplace_back();
        }
        table_.cells[row_start_ + at->second] = std::move(value);
    }

    // Rows made before a column was found are as wide as the final table.
    void square() {
        std::size_t width = table_.columns.size();
        std::vector<std::optional<std::string>> cells;
        cells.reserve(table_.rows * width);
        std::size_t at = 0;
        for (std::size_t seen : row_widths_) {
            for (std::size_t i = 0; i < seen; ++i) cells.push_back(std::move(table_.cells[at++]));
            cells.resize(cells.size() + width - seen);
        }
        table_.cells = std::move(cells);
    }

    void end_row() { row_widths_.push_back(table_.cells.size() - row_start_); }

  private:
    Table& table_;
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<std::size_t> row_widths_;
    std::size_t row_start_ = 0;
};

void read_children(std::string_view element, xml::Encoding encoding, ColumnsByName& columns) {
    xml::XmlReader reader(element, xml::evaluation_profile(), encoding);
    std::string scratch;
    for (;;) {
        xml::ReadResult r = reader.next_event();
        if (r.event.kind == xml::EventKind::Eof) return;
        if (r.ok() &&
            (r.event.kind == xml::EventKind::Start || r.event.kind == xml::EventKind::Empty)) {
            xml::AttributeIter it = xml::attributes(r.event);
            xml::Attribute attribute;
            while (it.next(attribute)) {
                if (!attribute.ok) continue;
                std::string value;
                xml::append_character_data(attribute.value, encoding, value);
                columns.put(xml::utf8_name(attribute.key, encoding, scratch), trimmed(value));
            }
            break;
        }
    }
    for (const ChildEntry& child : scan_children(element)) {
        std::string_view bytes = element.substr(static_cast<std::size_t>(child.start),
                                                static_cast<std::size_t>(child.end - child.start));
        if (has_child_element(bytes)) continue;
        columns.put(xml::utf8_name(child.name, encoding, scratch),
                    trimmed(item_text(bytes, encoding)));
    }
}

}  // namespace

std::optional<std::string> matches_text(const Matches& matches, std::string_view bytes,
                                        xml::Encoding encoding) {
    if (matches.empty()) return std::nullopt;
    if (matches.size() == 1) {
        const EngineMatch& m = matches.front();
        if (m.kind == EngineMatch::Kind::ScalarText) return trimmed(m.bytes);
        std::string_view element = match_bytes(m, bytes);
        if (has_child_element(element)) return markup(element, encoding);
        return trimmed(item_text(element, encoding));
    }
    std::string joined;
    for (std::size_t i = 0; i < matches.size(); ++i) {
        if (i > 0) joined += '\n';
        const EngineMatch& m = matches[i];
        joined += m.kind == EngineMatch::Kind::ScalarText ? m.bytes
                                                          : markup(match_bytes(m, bytes), encoding);
    }
    return joined;
}

TableOutcome read_table(std::string_view document, xml::Encoding encoding,
                        const path::CompiledPath& rows,
                        const std::vector<const path::CompiledPath*>& columns) {
    Matches row_matches;
    auto elements = row_elements(document, encoding, rows, row_matches);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&elements)) return std::move(*ambiguous);
    Table table;
    for (std::string_view element : std::get<std::vector<std::string_view>>(elements)) {
        MultiOutcome outcome = evaluate_paths_in_element(element, encoding, columns);
        if (auto* ambiguous = std::get_if<AmbiguousPath>(&outcome)) return std::move(*ambiguous);
        for (const Matches& matches : std::get<std::vector<Matches>>(outcome))
            table.cells.push_back(matches_text(matches, element, encoding));
        ++table.rows;
    }
    return table;
}

TableOutcome read_table_of_children(std::string_view document, xml::Encoding encoding,
                                    const path::CompiledPath& rows) {
    Matches row_matches;
    auto elements = row_elements(document, encoding, rows, row_matches);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&elements)) return std::move(*ambiguous);
    Table table;
    ColumnsByName columns(table);
    for (std::string_view element : std::get<std::vector<std::string_view>>(elements)) {
        columns.start_row();
        read_children(element, encoding, columns);
        columns.end_row();
    }
    columns.square();
    return table;
}

}  // namespace quorbix::engine
