// Tables over any document: the first path gives the rows, the others the
// columns. The cells read beside the walk that finds the rows are those the
// evaluator gives on each row's bytes (and, for a table without columns,
// those a second reading of each row finds), and the table leaves through
// the Arrow C stream and is released whole.
#include "engine/columns/arrow_export.hpp"
#include "engine/records.hpp"
#include "fuzz/fuzz_input.hpp"

using namespace quorbix;

namespace {

void same_cells(const engine::Table& a, const engine::Table& b) {
    if (a.rows != b.rows || a.columns.size() != b.columns.size()) __builtin_trap();
    for (std::size_t c = 0; c < a.columns.size(); ++c) {
        const engine::Column &x = a.columns[c], &y = b.columns[c];
        if (x.size() != a.rows || x.type() != y.type()) __builtin_trap();
        std::size_t texts = x.offsets().size() - 1;  // a list column's items, else its rows
        if (texts != y.offsets().size() - 1) __builtin_trap();
        for (std::size_t i = 0; i < texts; ++i)
            if (x.text(i) != y.text(i) || (!x.lists() && x.has_text(i) != y.has_text(i)))
                __builtin_trap();
        for (std::size_t r = 0; x.lists() && r <= x.size(); ++r)
            if (x.list_start(r) != y.list_start(r)) __builtin_trap();
    }
}

void export_and_release(engine::Table table) {
    table.names.assign(table.columns.size(), "c");
    ArrowArrayStream stream;
    engine::export_table(std::make_shared<engine::Table>(std::move(table)), &stream);
    ArrowSchema schema;
    ArrowArray batch;
    if (stream.get_schema(&stream, &schema) != 0 || stream.get_next(&stream, &batch) != 0)
        __builtin_trap();
    schema.release(&schema);
    batch.release(&batch);
    stream.release(&stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [texts, document] = fuzz::split(fuzz::as_text(data, size));
    auto [held, paths] = fuzz::compiled(texts);
    if (paths.empty()) return 0;
    const path::CompiledPath& rows = *paths.front();
    auto named = engine::read_table_of_children(document, xml::Encoding::Utf8, rows);
    auto named_again = engine::read_table_of_children(document, xml::Encoding::Utf8, rows, false);
    if (named.index() != named_again.index()) __builtin_trap();
    if (auto* table = std::get_if<engine::Table>(&named)) {
        const auto& again = std::get<engine::Table>(named_again);
        if (table->names != again.names) __builtin_trap();
        same_cells(*table, again);
    }
    std::vector<const path::CompiledPath*> columns(paths.begin() + 1, paths.end());
    auto walked = engine::read_table(document, xml::Encoding::Utf8, rows, columns, true);
    auto evaluated = engine::read_table(document, xml::Encoding::Utf8, rows, columns, false);
    if (walked.index() != evaluated.index()) __builtin_trap();
    auto* table = std::get_if<engine::Table>(&walked);
    if (table == nullptr) return 0;
    same_cells(*table, std::get<engine::Table>(evaluated));
    export_and_release(std::move(*table));
    return 0;
}
