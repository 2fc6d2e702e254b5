#include "engine/columns/arrow_export.hpp"

#include <cerrno>
#include <charconv>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace quorbix::engine {
namespace {

using TablePtr = std::shared_ptr<const Table>;

// What a schema owns: its children, each one's name kept as a string.
struct SchemaHold {
    std::string name;
    std::vector<ArrowSchema> child_structs;
    std::vector<ArrowSchema*> children;
};

// A schema's or an array's release: its children first, then what it owns.
template <class Hold, class Struct>
void release(Struct* released) {
    auto* hold = static_cast<Hold*>(released->private_data);
    for (Struct& child : hold->child_structs)
        if (child.release != nullptr) child.release(&child);
    delete hold;
    released->release = nullptr;
}

void fill_schema(ArrowSchema* out, const char* format, std::string name, std::int64_t flags,
                 std::size_t children) {
    auto* hold = new SchemaHold{std::move(name), std::vector<ArrowSchema>(children), {}};
    for (ArrowSchema& child : hold->child_structs) hold->children.push_back(&child);
    *out = ArrowSchema{format,
                       hold->name.c_str(),
                       nullptr,
                       flags,
                       static_cast<std::int64_t>(children),
                       children ? hold->children.data() : nullptr,
                       nullptr,
                       release<SchemaHold, ArrowSchema>,
                       hold};
}

const char* format_of(const Column& column) {
    if (column.lists()) return "+L";
    switch (column.type()) {
        case ColumnType::Integer:
            return "l";
        case ColumnType::Float:
            return "g";
        case ColumnType::Bool:
            return "b";
        default:
            return "U";
    }
}

void table_schema(const Table& table, ArrowSchema* out) {
    fill_schema(out, "+s", "", 0, table.columns.size());
    auto* hold = static_cast<SchemaHold*>(out->private_data);
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column& column = table.columns[i];
        ArrowSchema* child = &hold->child_structs[i];
        fill_schema(child, format_of(column), table.names[i], ARROW_FLAG_NULLABLE,
                    column.lists() ? 1 : 0);
        if (column.lists())
            fill_schema(static_cast<SchemaHold*>(child->private_data)->children[0], "U", "item", 0,
                        0);
    }
}

// What an array owns: the table it lends from, the values it made (numbers
// and bools are read from their texts here), its buffer list and children.
struct ArrayHold {
    TablePtr table;
    std::vector<std::int64_t> integers;
    std::vector<double> floats;
    std::vector<std::uint8_t> bits;
    std::vector<const void*> buffers;
    std::vector<ArrowArray> child_structs;
    std::vector<ArrowArray*> children;
};

ArrayHold* fill_array(ArrowArray* out, const TablePtr& table, std::size_t length, std::size_t nulls,
                      std::size_t children) {
    auto* hold = new ArrayHold{table, {}, {}, {}, {}, std::vector<ArrowArray>(children), {}};
    for (ArrowArray& child : hold->child_structs) hold->children.push_back(&child);
    *out = ArrowArray{static_cast<std::int64_t>(length),
                      static_cast<std::int64_t>(nulls),
                      0,
                      0,
                      static_cast<std::int64_t>(children),
                      nullptr,
                      children ? hold->children.data() : nullptr,
                      nullptr,
                      release<ArrayHold, ArrowArray>,
                      hold};
    return hold;
}

void set_buffers(ArrowArray* out, ArrayHold* hold, std::vector<const void*> buffers) {
    hold->buffers = std::move(buffers);
    out->n_buffers = static_cast<std::int64_t>(hold->buffers.size());
    out->buffers = hold->buffers.data();
}

const void* validity_of(const Column& column) {
    return column.nulls() ? column.validity().data() : nullptr;
}

// A Float cell's value (no sign of '+'), correctly rounded; past the range
// of a double, infinity or zero, as a parser reads `1e400` and `1e-400`.
double float_of(std::string_view text) {
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc::result_out_of_range) return value;
    std::size_t e = text.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
    double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    return text.front() == '-' ? -magnitude : magnitude;
}

// The values of a column typed Integer, Float or Bool, read from its texts;
// a cell without a value reads as zero (its validity bit says null).
void read_values(const Column& column, ArrayHold* hold) {
    std::size_t size = column.size();
    ColumnType type = column.type();
    if (type == ColumnType::Bool) hold->bits.assign(size / 8 + 1, 0);
    if (type == ColumnType::Integer) hold->integers.assign(size + 1, 0);
    if (type == ColumnType::Float) hold->floats.assign(size + 1, 0.0);
    for (std::size_t i = 0; i < size; ++i) {
        if (!column.valid(i)) continue;
        std::string_view text = column.text(i);
        if (type == ColumnType::Bool) {
            if (text.front() == 'T' || text.front() == 't')
                hold->bits[i >> 3] |= static_cast<std::uint8_t>(1u << (i & 7));
            continue;
        }
        if (text.front() == '+') text.remove_prefix(1);
        const char* end = text.data() + text.size();
        if (type == ColumnType::Integer)
            std::from_chars(text.data(), end, hold->integers[i]);
        else
            hold->floats[i] = float_of(text);
    }
}

void column_array(const TablePtr& table, const Column& column, ArrowArray* out) {
    if (column.lists()) {
        std::size_t items = column.offsets().size() - 1;
        ArrayHold* hold = fill_array(out, table, column.size(), 0, 1);
        set_buffers(out, hold, {nullptr, column.list_offsets().data()});
        ArrayHold* texts = fill_array(hold->children[0], table, items, 0, 0);
        set_buffers(hold->children[0], texts,
                    {nullptr, column.offsets().data(), column.texts().data()});
        return;
    }
    ArrayHold* hold = fill_array(out, table, column.size(), column.nulls(), 0);
    switch (column.type()) {
        case ColumnType::Integer:
            read_values(column, hold);
            set_buffers(out, hold, {validity_of(column), hold->integers.data()});
            return;
        case ColumnType::Float:
            read_values(column, hold);
            set_buffers(out, hold, {validity_of(column), hold->floats.data()});
            return;
        case ColumnType::Bool:
            read_values(column, hold);
            set_buffers(out, hold, {validity_of(column), hold->bits.data()});
            return;
        default:
            set_buffers(out, hold,
                        {validity_of(column), column.offsets().data(), column.texts().data()});
    }
}

void table_array(const TablePtr& table, ArrowArray* out) {
    ArrayHold* hold = fill_array(out, table, table->rows, 0, table->columns.size());
    set_buffers(out, hold, {nullptr});
    for (std::size_t i = 0; i < table->columns.size(); ++i)
        column_array(table, table->columns[i], hold->children[i]);
}

// The stream gives the table as one batch, then its end.
struct StreamHold {
    TablePtr table;
    bool given = false;
};

// Memory run out midway: what was made is released, and the consumer
// hears of it as an error.
template <class Struct>
int out_of_memory(Struct* out) {
    if (out->release != nullptr) out->release(out);
    return ENOMEM;
}

int stream_schema(ArrowArrayStream* stream, ArrowSchema* out) try {
    out->release = nullptr;
    table_schema(*static_cast<StreamHold*>(stream->private_data)->table, out);
    return 0;
} catch (const std::bad_alloc&) {
    return out_of_memory(out);
}

int stream_next(ArrowArrayStream* stream, ArrowArray* out) try {
    out->release = nullptr;
    auto* hold = static_cast<StreamHold*>(stream->private_data);
    if (hold->given) {
        out->release = nullptr;  // the end of the stream
        return 0;
    }
    table_array(hold->table, out);
    hold->given = true;
    return 0;
} catch (const std::bad_alloc&) {
    return out_of_memory(out);
}

const char* stream_error(ArrowArrayStream*) {
    return "out of memory";
}

void release_stream(ArrowArrayStream* stream) {
    delete static_cast<StreamHold*>(stream->private_data);
    stream->release = nullptr;
}

}  // namespace

void export_table(std::shared_ptr<const Table> table, ArrowArrayStream* out) {
    *out = ArrowArrayStream{stream_schema, stream_next, stream_error, release_stream,
                            new StreamHold{std::move(table)}};
}

}  // namespace quorbix::engine
