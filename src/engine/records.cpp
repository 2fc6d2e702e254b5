#include "engine/records.hpp"

#include <unordered_map>

#include "engine/element_text.hpp"
#include "engine/evaluator.hpp"
#include "engine/name_test.hpp"
#include "engine/reads/element_children.hpp"
#include "text/white_space.hpp"
#include "xml/character_data.hpp"
#include "xml/scan_progress.hpp"

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

// The rows' bytes: each element `rows` matches, in the document; the scan
// that finds them also checks the document's structure into `structure`.
std::variant<std::vector<std::string_view>, AmbiguousPath> row_elements(
    std::string_view document, xml::Encoding encoding, const path::CompiledPath& rows,
    Matches& matches, ValidationReport& structure) {
    xml::StructureCheck check;
    EvalOutcome outcome = evaluate_path(document, encoding, rows, true, &check);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&outcome)) return std::move(*ambiguous);
    structure = report_of(check, document, encoding);
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

// The text of a leaf child of `element` into `out`: its one stretch of
// text, else read again from the child's bytes.
void leaf_text(const ElementChild& child, std::string_view element, xml::Encoding encoding,
               std::string& out) {
    out.clear();
    if (child.text)
        xml::append_character_data(*child.text, encoding, out);
    else
        out = item_text(element.substr(child.start, child.end - child.start), encoding);
}

void read_children(std::string_view element, xml::Encoding encoding, ElementChildren& row,
                   ColumnsByName& columns) {
    if (!row.read(element, encoding)) return;
    for_each_attribute(row.tag(), encoding, [&](std::string_view name, std::string value) {
        columns.put(name, trimmed(value));
    });
    std::string scratch, text;
    for (const ElementChild& child : row.children()) {
        if (!child.leaf) continue;
        leaf_text(child, element, encoding, text);
        columns.put(xml::utf8_name(child.name, encoding, scratch), trimmed(text));
    }
}

// A column of one plain step, an attribute of the row or its children of one
// name, is read in one walk over the row's children shared by every such
// column; other columns go through the evaluator. Names are compared as
// bytes, so only UTF-8 rows are read this way.
bool reads_directly(const path::CompiledPath& column) {
    if (column.steps.size() != 1 || !column.modifiers.empty()) return false;
    const path::PathStep& step = column.steps.front();
    return step.selector == path::Selector::None && !step.recursive &&
           (step.kind == path::StepKind::ElementExact || step.kind == path::StepKind::Attribute);
}

// The cells of the columns that `reads_directly`, for one row: attributes
// from its start tag, children from one walk over the row, which takes each
// direct child whole.
class DirectRead {
  public:
    explicit DirectRead(const std::vector<const path::CompiledPath*>& columns) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (reads_directly(*columns[i])) {
                const path::PathStep& step = columns[i]->steps.front();
                (step.kind == path::StepKind::Attribute ? attributes_ : children_)
                    .push_back({i, &step});
            }
        found_.resize(columns.size());
    }

    // Reads `row` (UTF-8) into `cells`, the row's cells.
    void read(std::string_view row, std::optional<std::string>* cells) {
        if (attributes_.empty() && children_.empty()) return;
        if (!row_.read(row, xml::Encoding::Utf8, !children_.empty())) return;
        for (const Wanted& a : attributes_) {
            if (attribute_value(row_.tag(), a.step->name, xml::Encoding::Utf8, scratch_))
                cells[a.column] = trimmed(scratch_);
        }
        if (children_.empty()) return;
        find_children();
        for (const Wanted& c : children_) {
            const Found& found = found_[c.column];
            if (found.empty()) continue;
            if (found.size() == 1 && found.front()->leaf) {
                leaf_text(*found.front(), row, xml::Encoding::Utf8, scratch_);
                cells[c.column] = trimmed(scratch_);
                continue;
            }
            Matches matches;
            for (const ElementChild* child : found)
                matches.push_back(EngineMatch::range(child->start, child->end));
            cells[c.column] = matches_text(matches, row, xml::Encoding::Utf8);
        }
    }

  private:
    struct Wanted {
        std::size_t column;
        const path::PathStep* step;
    };
    using Found = std::vector<const ElementChild*>;

    // Each column's children of the row, in document order.
    void find_children() {
        for (const Wanted& c : children_) found_[c.column].clear();
        for (const ElementChild& child : row_.children())
            for (const Wanted& c : children_)
                if (name_matches(*c.step, child.name)) found_[c.column].push_back(&child);
    }

    std::vector<Wanted> attributes_, children_;
    std::vector<Found> found_;
    ElementChildren row_;
    std::string scratch_;
};

// [+-]digits[.digits][(e|E)[+-]digits], at least one digit before the
// exponent; integers of up to 18 digits, which fit 64 bits.
bool plain_number(std::string_view cell) {
    std::size_t i = 0, n = cell.size();
    if (i < n && (cell[i] == '+' || cell[i] == '-')) ++i;
    std::size_t digits = 0;
    bool fraction = false;
    for (; i < n && cell[i] >= '0' && cell[i] <= '9'; ++i) ++digits;
    if (i < n && cell[i] == '.') {
        fraction = true;
        for (++i; i < n && cell[i] >= '0' && cell[i] <= '9'; ++i) ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (cell[i] == 'e' || cell[i] == 'E')) {
        fraction = true;
        ++i;
        if (i < n && (cell[i] == '+' || cell[i] == '-')) ++i;
        std::size_t exponent = 0;
        for (; i < n && cell[i] >= '0' && cell[i] <= '9'; ++i) ++exponent;
        if (exponent == 0) return false;
    }
    return i == n && (fraction || digits <= 18);
}

// Texts pandas reads as missing or as a bool by default.
bool missing_or_bool(std::string_view cell) {
    static constexpr std::string_view bools[] = {"True", "TRUE", "true", "False", "FALSE", "false"};
    for (std::string_view s : missing_texts)
        if (cell == s) return true;
    for (std::string_view s : bools)
        if (cell == s) return true;
    return false;
}

// A text no parser reads as a number: a byte outside those of numbers, and
// not one of the spellings of infinity and not-a-number.
bool never_a_number(std::string_view cell) {
    if (cell.find_first_not_of("0123456789+-.eE") == std::string_view::npos) return false;
    std::string lower;
    for (char c : cell) lower += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    std::string_view rest = lower;
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) rest.remove_prefix(1);
    return rest != "inf" && rest != "infinity" && rest != "nan";
}

}  // namespace

ColumnKind column_kind(const Table& table, std::size_t column, std::size_t width) {
    bool present = false, numbers = true, text = false;
    for (std::size_t r = 0; r < table.rows; ++r) {
        const std::optional<std::string>& cell = table.cells[r * width + column];
        if (!cell) continue;
        present = true;
        if (missing_or_bool(*cell)) return ColumnKind::Other;
        if (!plain_number(*cell)) numbers = false;
        if (!text && never_a_number(*cell)) text = true;
    }
    if (!present) return ColumnKind::Other;
    if (numbers) return ColumnKind::Number;
    return text ? ColumnKind::Text : ColumnKind::Other;
}

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
                        const std::vector<const path::CompiledPath*>& columns, bool direct_reads) {
    Matches row_matches;
    Table table;
    auto elements = row_elements(document, encoding, rows, row_matches, table.structure);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&elements)) return std::move(*ambiguous);
    DirectRead direct(columns);
    bool by_evaluator = encoding != xml::Encoding::Utf8 || !direct_reads;
    std::vector<const path::CompiledPath*> evaluated;  // the columns the evaluator reads
    std::vector<std::size_t> evaluated_at;
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (by_evaluator || !reads_directly(*columns[i])) {
            evaluated.push_back(columns[i]);
            evaluated_at.push_back(i);
        }
    const auto& rows_bytes = std::get<std::vector<std::string_view>>(elements);
    table.cells.reserve(rows_bytes.size() * columns.size());
    xml::ProgressBudget progress;
    for (std::string_view element : rows_bytes) {
        if (!progress.go_on(element.size())) break;  // what was read is dropped
        std::size_t first = table.cells.size();
        table.cells.resize(first + columns.size());
        if (!by_evaluator) direct.read(element, &table.cells[first]);
        if (!evaluated.empty()) {
            MultiOutcome outcome = evaluate_paths_in_element(element, encoding, evaluated);
            if (auto* ambiguous = std::get_if<AmbiguousPath>(&outcome))
                return std::move(*ambiguous);
            const auto& lists = std::get<std::vector<Matches>>(outcome);
            for (std::size_t k = 0; k < lists.size(); ++k)
                table.cells[first + evaluated_at[k]] = matches_text(lists[k], element, encoding);
        }
        ++table.rows;
    }
    return table;
}

TableOutcome read_table_of_children(std::string_view document, xml::Encoding encoding,
                                    const path::CompiledPath& rows) {
    Matches row_matches;
    Table table;
    auto elements = row_elements(document, encoding, rows, row_matches, table.structure);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&elements)) return std::move(*ambiguous);
    ColumnsByName columns(table);
    ElementChildren row;
    xml::ProgressBudget progress;
    for (std::string_view element : std::get<std::vector<std::string_view>>(elements)) {
        if (!progress.go_on(element.size())) break;  // what was read is dropped
        columns.start_row();
        read_children(element, encoding, row, columns);
        columns.end_row();
    }
    columns.square();
    return table;
}

}  // namespace quorbix::engine
