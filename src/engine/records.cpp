#include "engine/records.hpp"

#include <unordered_map>

#include "engine/columns/cell_text.hpp"
#include "engine/columns/row_reread.hpp"
#include "engine/columns/row_walk.hpp"
#include "engine/driver/walk_document.hpp"
#include "engine/evaluator.hpp"
#include "engine/machine/answers.hpp"
#include "engine/scan_path.hpp"
#include "xml/scan_progress.hpp"

namespace quorbix::engine {
namespace {

std::string_view match_bytes(const EngineMatch& m, std::string_view bytes) {
    if (m.kind == EngineMatch::Kind::ElementRange)
        return bytes.substr(static_cast<std::size_t>(m.start),
                            static_cast<std::size_t>(m.end - m.start));
    return m.bytes;
}

// A row's cell of a column from the column's matches: the first match's
// text, or every match's in a list column.
void put_matches(const Matches& matches, std::string_view row, xml::Encoding encoding,
                 const xml::Entities* entities, Column& column, std::string& scratch) {
    if (column.lists()) {
        for (const EngineMatch& m : matches)
            column.item(cell_text(m, row, encoding, scratch, entities));
        column.end_list();
    } else if (matches.empty()) {
        column.append_none();
    } else {
        column.append(cell_text(matches.front(), row, encoding, scratch, entities));
    }
}

// The rows' bytes: each element `rows` matches, in the document; the scan
// that finds them also checks the document's structure into `structure`.
std::variant<std::vector<std::string_view>, AmbiguousPath> row_elements(
    std::string_view document, xml::Encoding encoding, const path::CompiledPath& rows,
    Matches& matches, ValidationReport& structure, MatchScopes& scopes,
    const std::shared_ptr<const xml::Entities>& given) {
    xml::StructureCheck check;
    EvalOutcome outcome = evaluate_path(document, encoding, rows, true, &check, &scopes, given);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&outcome)) return std::move(*ambiguous);
    structure = report_of(check, document, encoding);
    matches = std::move(std::get<Matches>(outcome));
    std::vector<std::string_view> elements;
    elements.reserve(matches.size());
    for (const EngineMatch& m : matches)
        if (m.kind != EngineMatch::Kind::ScalarText) elements.push_back(match_bytes(m, document));
    return elements;
}

// A table whose cells left references as written, the entities they name
// unread, reports its document as not read in full, unless its structure
// failed first. Entities `given` by the caller are the caller's to report.
void report_entities(Table& table, const std::shared_ptr<const xml::Entities>& entities,
                     const std::shared_ptr<const xml::Entities>& given, std::string_view document,
                     xml::Encoding encoding) {
    if (entities && !given && table.structure.valid)
        table.structure = entities_report(*entities, document, encoding);
}

// Columns by name, in the order they were first seen.
class ColumnsByName {
  public:
    explicit ColumnsByName(Table& table) : table_(table) {}

    // Fills the cell of column `name` in the current row; a later attribute
    // or child of the name wins, as in pandas.read_xml.
    // `value` must stay valid until the row ends.
    void put(std::string_view name, std::string_view value) {
        std::size_t at = column_of(name);
        row_[at] = value;
        filled_[at] = true;
    }

    void end_row() {
        for (std::size_t i = 0; i < row_.size(); ++i) {
            if (filled_[i])
                table_.columns[i].append(row_[i]);
            else
                table_.columns[i].append_none();
            filled_[i] = false;
        }
        ++table_.rows;
        next_ = 0;
    }

  private:
    // Rows mostly hold their names in one order: the column after the one
    // last put is tried first.
    std::size_t column_of(std::string_view name) {
        if (next_ < table_.names.size() && table_.names[next_] == name) return next_++;
        auto found = index_.find(name);
        if (found != index_.end()) return next_ = found->second + 1, found->second;
        std::size_t at = table_.columns.size();
        index_.emplace(std::string(name), at);
        table_.names.emplace_back(name);
        table_.columns.emplace_back().append_none(table_.rows);
        row_.emplace_back();
        filled_.push_back(false);
        next_ = at + 1;
        return at;
    }

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };

    Table& table_;
    std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> index_;
    std::vector<std::string_view> row_;
    std::vector<bool> filled_;
    std::size_t next_ = 0;
};

// A column of one plain step, an attribute of the row or its first child of
// one name, is read from the row's tags (row_cells.hpp); other columns go
// through the evaluator. Names are compared as bytes, so only UTF-8 rows are
// read this way.
bool reads_directly(const path::CompiledPath& column) {
    if (column.steps.size() != 1 || !column.modifiers.empty()) return false;
    const path::PathStep& step = column.steps.front();
    return step.selector == path::Selector::None && !step.recursive &&
           (step.kind == path::StepKind::ElementExact || step.kind == path::StepKind::Attribute);
}

// The columns of a table, split into the plain ones (`reads_directly`),
// read by a walk over the row or beside the one that finds the rows, and the
// others, which the evaluator answers on each row's bytes.
class RowColumns {
  public:
    RowColumns(const std::vector<const path::CompiledPath*>& columns, bool direct,
               xml::Encoding encoding)
        : columns_(columns), encoding_(encoding) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (direct && reads_directly(*columns[i])) {
                plain_.push_back({&columns[i]->steps.front()});
                plain_at_.push_back(i);
            } else {
                others_.push_back(columns[i]);
                others_at_.push_back(i);
            }
        }
    }

    const std::vector<PlainColumn>& plain() const { return plain_; }

    void start(Table& table) const {
        table.columns.clear();
        for (const path::CompiledPath* column : columns_)
            table.columns.emplace_back(column->answer_shape == path::AnswerShape::List);
    }

    // A row whose plain cells the walk found: all its cells; false on an
    // ambiguous path.
    bool read(std::string_view row, const PlainCells& cells, Table& table,
              std::string_view scope = {}) {
        entities_ = cells.entities();
        const std::vector<FoundCell>& found = cells.cells();
        for (std::size_t k = 0; k < plain_.size(); ++k) {
            Column& column = table.columns[plain_at_[k]];
            if (found[k].found)
                column.append(found[k].text);
            else
                column.append_none();
        }
        return read_others(row, table, scope);
    }

    // The cells of the columns the evaluator answers, and the row counted;
    // `scope`, the declarations in scope around the row.
    bool read_others(std::string_view row, Table& table, std::string_view scope) {
        if (!others_.empty()) {
            MultiOutcome outcome =
                evaluate_paths_in_element(row, encoding_, others_, scope, nullptr, entities_);
            if (auto* ambiguous = std::get_if<AmbiguousPath>(&outcome)) {
                error_ = std::move(*ambiguous);
                return false;
            }
            const auto& lists = std::get<std::vector<Matches>>(outcome);
            for (std::size_t k = 0; k < lists.size(); ++k)
                put_matches(lists[k], row, encoding_, entities_.get(), table.columns[others_at_[k]],
                            scratch_);
        }
        ++table.rows;
        return true;
    }

    std::optional<AmbiguousPath>& error() { return error_; }

  private:
    const std::vector<const path::CompiledPath*>& columns_;
    xml::Encoding encoding_;
    std::shared_ptr<const xml::Entities> entities_;  // the document's, its cells read
    std::vector<PlainColumn> plain_;
    std::vector<std::size_t> plain_at_, others_at_;
    std::vector<const path::CompiledPath*> others_;
    std::string scratch_;
    std::optional<AmbiguousPath> error_;
};

// A row's named cells into the table's columns by name.
void take_named(const NamedCells& named, ColumnsByName& columns) {
    for (std::size_t i = 0; i < named.size(); ++i) columns.put(named[i].name, named[i].text);
    columns.end_row();
}

// Whether the rows' path lets their plain cells be read in the walk that
// finds them: element steps without `**`, so that every row stands at the
// path's length, each row its own match, and no modifier reorders them.
bool rows_in_one_walk(const path::CompiledPath& rows) {
    if (!rows.modifiers.empty() || rows.final_capture != path::FinalCapture::Span ||
        rows.namespaced)
        return false;
    for (const path::PathStep& step : rows.steps)
        if (!step.is_element() || step.recursive) return false;
    return rows.steps.back().selector != path::Selector::EachCount;
}

// The rows of the UTF-8 `document` in one walk: the machine finds them and
// a RowWalk beside it reads `cells`, which `on_row` takes from each row. The
// error, if the rows' path is ambiguous; `whole` false when a row was
// matched other than at its own end (a filter above the rows decided at its
// ancestor's end): the caller then reads the rows again.
struct WalkedRows {
    bool whole = true;
    std::optional<AmbiguousPath> error;
};

template <class Cells, class OnRow>
WalkedRows walk_rows(std::string_view document, const path::CompiledPath& rows, Cells& cells,
                     OnRow on_row, ValidationReport& structure,
                     const std::shared_ptr<const xml::Entities>& given) {
    Matches matches;
    xml::StructureCheck check;
    Answers answers(document, xml::Encoding::Utf8,
                    {scan_path(rows, &matches, path::FinalCapture::Span)}, true);
    answers.use_entities(given);
    cells.use_entities(given);
    Machine machine(answers, document, 0);
    machine.start_document();
    RowWalk<Cells, OnRow> walk(machine, matches, document, rows.steps.back(), rows.steps.size(),
                               cells, on_row);
    walk_document(machine, walk, document, xml::Encoding::Utf8, &check);
    WalkedRows walked{walk.rows_taken() == walk.rows_matched(), answers.conclude()};
    structure = report_of(check, document, xml::Encoding::Utf8);
    return walked;
}

// The table of plain columns and others in one walk; nothing when the rows
// must be read again.
std::optional<TableOutcome> read_in_one_walk(std::string_view document,
                                             const path::CompiledPath& rows, RowColumns& reader,
                                             const std::shared_ptr<const xml::Entities>& given) {
    Table table;
    reader.start(table);
    PlainCells cells(reader.plain());
    auto on_row = [&](std::string_view row, const PlainCells& found) {
        return reader.read(row, found, table);
    };
    WalkedRows walked = walk_rows(document, rows, cells, on_row, table.structure, given);
    if (reader.error()) return TableOutcome{std::move(*reader.error())};
    if (walked.error) return TableOutcome{std::move(*walked.error)};
    if (!walked.whole) return std::nullopt;
    report_entities(table, cells.entities(), given, document, xml::Encoding::Utf8);
    return TableOutcome{std::move(table)};
}

// The table of the rows' attributes and leaf children in one walk; nothing
// when the rows must be read again.
std::optional<TableOutcome> read_children_in_one_walk(
    std::string_view document, const path::CompiledPath& rows,
    const std::shared_ptr<const xml::Entities>& given) {
    Table table;
    ColumnsByName columns(table);
    NamedCells cells;
    auto on_row = [&](std::string_view, const NamedCells& named) {
        take_named(named, columns);
        return true;
    };
    WalkedRows walked = walk_rows(document, rows, cells, on_row, table.structure, given);
    if (walked.error) return TableOutcome{std::move(*walked.error)};
    if (!walked.whole) return std::nullopt;
    report_entities(table, cells.entities(), given, document, xml::Encoding::Utf8);
    return TableOutcome{std::move(table)};
}

}  // namespace

TableOutcome read_table(std::string_view document, xml::Encoding encoding,
                        const path::CompiledPath& rows,
                        const std::vector<const path::CompiledPath*>& columns, bool direct_reads,
                        std::shared_ptr<const xml::Entities> given) {
    // Names tested by namespace need the declarations in scope, which only
    // the evaluator keeps.
    bool scoped = rows.namespaced;
    for (const path::CompiledPath* column : columns) scoped = scoped || column->namespaced;
    bool direct = encoding == xml::Encoding::Utf8 && direct_reads && !scoped;
    if (direct && rows_in_one_walk(rows)) {
        RowColumns reader(columns, true, encoding);
        if (auto table = read_in_one_walk(document, rows, reader, given)) return std::move(*table);
    }
    RowColumns reader(columns, direct, encoding);
    Matches row_matches;
    Table table;
    // Columns by namespace read each row in the declarations around it, which
    // the scan that finds the rows keeps.
    path::CompiledPath scoped_rows;
    if (scoped && !rows.namespaced) {
        scoped_rows = rows;
        scoped_rows.namespaced = true;
    }
    const path::CompiledPath& found_by = scoped_rows.namespaced ? scoped_rows : rows;
    MatchScopes scopes;
    auto elements =
        row_elements(document, encoding, found_by, row_matches, table.structure, scopes, given);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&elements)) return std::move(*ambiguous);
    reader.start(table);
    PlainCells cells(reader.plain());
    cells.use_entities(scopes.entities());
    RowReread<PlainCells> reread(cells, encoding);
    xml::ProgressBudget progress;
    std::size_t row = 0;
    for (std::string_view element : std::get<std::vector<std::string_view>>(elements)) {
        if (!progress.go_on(element.size())) break;  // what was read is dropped
        if (!reader.plain().empty()) reread.read(element);
        while (row_matches[row].kind == EngineMatch::Kind::ScalarText) ++row;
        std::string_view scope = scoped ? scopes.text_of(row_matches[row].start) : "";
        ++row;
        if (!reader.read(element, cells, table, scope)) return std::move(*reader.error());
    }
    report_entities(table, scopes.entities(), given, document, encoding);
    return table;
}

TableOutcome read_table_of_children(std::string_view document, xml::Encoding encoding,
                                    const path::CompiledPath& rows, bool one_walk,
                                    std::shared_ptr<const xml::Entities> given) {
    if (one_walk && encoding == xml::Encoding::Utf8 && rows_in_one_walk(rows))
        if (auto table = read_children_in_one_walk(document, rows, given)) return std::move(*table);
    Matches row_matches;
    Table table;
    MatchScopes scopes;
    auto elements =
        row_elements(document, encoding, rows, row_matches, table.structure, scopes, given);
    if (auto* ambiguous = std::get_if<AmbiguousPath>(&elements)) return std::move(*ambiguous);
    ColumnsByName columns(table);
    NamedCells cells(encoding, rows.namespaces.get());
    cells.use_entities(scopes.entities());
    RowReread<NamedCells> reread(cells, encoding);
    xml::ProgressBudget progress;
    std::size_t row = 0;
    for (std::string_view element : std::get<std::vector<std::string_view>>(elements)) {
        while (row_matches[row].kind == EngineMatch::Kind::ScalarText) ++row;
        cells.in_scope(scopes.text_of(row_matches[row++].start));
        if (!progress.go_on(element.size())) break;  // what was read is dropped
        reread.read(element);
        take_named(cells, columns);
    }
    report_entities(table, scopes.entities(), given, document, encoding);
    return table;
}

}  // namespace quorbix::engine
