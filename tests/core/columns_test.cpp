// Columns typed as their cells arrive, and handed out through the Arrow C
// stream: what a consumer reads back is what was put in, and releasing
// every struct frees everything (the sanitizers' build checks that).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/columns/arrow_export.hpp"

namespace quorbix::engine {
namespace {

ColumnType type_of(std::initializer_list<const char*> cells) {
    Column column;
    for (const char* cell : cells) column.append(cell);
    return column.type();
}

TEST(Columns, TypedAsPandasParsersTypeThem) {
    EXPECT_EQ(type_of({"01", "+2", "-3"}), ColumnType::Integer);
    EXPECT_EQ(type_of({"1", "NA", ""}), ColumnType::Integer);  // nulls where pandas has NaN
    EXPECT_EQ(type_of({"1", "2.5", "1e3", ".5", "5."}), ColumnType::Float);
    EXPECT_EQ(type_of({"True", "false", "TRUE", "null"}), ColumnType::Bool);
    EXPECT_EQ(type_of({"a", "12", "2020-01-02", "1-2"}), ColumnType::Text);
    EXPECT_EQ(type_of({"NA", "", "n/a"}), ColumnType::Empty);
    EXPECT_EQ(type_of({"1", "True"}), ColumnType::Other);  // pandas keeps both as objects
    EXPECT_EQ(type_of({"inf", "1"}), ColumnType::Other);   // a spelling only pandas settles
    EXPECT_EQ(type_of({"1234567890123456789"}), ColumnType::Other);  // past 18 digits
    EXPECT_EQ(type_of({"e5", "-"}), ColumnType::Text);
}

TEST(Columns, ExportedAsArrowReadsBack) {
    auto table = std::make_shared<Table>();
    table->names = {"n", "s", "l"};
    table->rows = 10;
    table->columns.reserve(3);  // the references below stay good
    Column& n = table->columns.emplace_back();
    Column& s = table->columns.emplace_back();
    Column& l = table->columns.emplace_back(true);
    for (int i = 0; i < 10; ++i) {
        if (i == 9)
            n.append_none();
        else
            n.append(std::to_string(i * 7 - 20));
        std::string text = i % 3 ? std::to_string(i) : "NA";
        if (i % 3) text.insert(0, 1, 't');
        s.append(text);
        for (int k = 0; k < i % 3; ++k) l.item("x");
        l.end_list();
    }
    ArrowArrayStream stream;
    export_table(table, &stream);
    table.reset();  // the stream keeps what it lends
    ArrowSchema schema;
    ASSERT_EQ(stream.get_schema(&stream, &schema), 0);
    ASSERT_EQ(schema.n_children, 3);
    EXPECT_STREQ(schema.children[0]->format, "l");
    EXPECT_STREQ(schema.children[1]->format, "U");
    EXPECT_STREQ(schema.children[2]->format, "+L");
    EXPECT_STREQ(schema.children[2]->children[0]->format, "U");
    ArrowArray batch;
    ASSERT_EQ(stream.get_next(&stream, &batch), 0);
    ASSERT_EQ(batch.length, 10);
    const ArrowArray& numbers = *batch.children[0];
    EXPECT_EQ(numbers.null_count, 1);
    EXPECT_EQ(static_cast<const std::int64_t*>(numbers.buffers[1])[8], 36);
    auto validity = static_cast<const std::uint8_t*>(numbers.buffers[0]);
    EXPECT_EQ(validity[1] & 2, 0);  // row 9
    const ArrowArray& texts = *batch.children[1];
    EXPECT_EQ(texts.null_count, 4);  // rows 0, 3, 6, 9 read "NA"
    auto offsets = static_cast<const std::int64_t*>(texts.buffers[1]);
    auto data = static_cast<const char*>(texts.buffers[2]);
    EXPECT_EQ(std::string(data + offsets[1], data + offsets[2]), "t1");
    const ArrowArray& lists = *batch.children[2];
    EXPECT_EQ(static_cast<const std::int64_t*>(lists.buffers[1])[10], 9);
    EXPECT_EQ(lists.children[0]->length, 9);
    ArrowArray end;
    ASSERT_EQ(stream.get_next(&stream, &end), 0);
    EXPECT_EQ(end.release, nullptr);
    // Released in any order: the schema, the stream, then the batch.
    schema.release(&schema);
    stream.release(&stream);
    batch.release(&batch);
    EXPECT_EQ(batch.release, nullptr);
}

// Floats past a double's range read as a parser reads them: infinity, or 0.
TEST(Columns, FloatsPastTheirRange) {
    auto table = std::make_shared<Table>();
    table->names = {"f"};
    table->rows = 4;
    Column& f = table->columns.emplace_back();
    for (const char* cell : {"1e400", "-1e400", "-1e-400", "2.5"}) f.append(cell);
    ASSERT_EQ(f.type(), ColumnType::Float);
    ArrowArrayStream stream;
    export_table(table, &stream);
    ArrowArray batch;
    ASSERT_EQ(stream.get_next(&stream, &batch), 0);
    auto values = static_cast<const double*>(batch.children[0]->buffers[1]);
    EXPECT_EQ(values[0], std::numeric_limits<double>::infinity());
    EXPECT_EQ(values[1], -std::numeric_limits<double>::infinity());
    EXPECT_EQ(values[2], 0.0);
    EXPECT_TRUE(std::signbit(values[2]));
    EXPECT_EQ(values[3], 2.5);
    batch.release(&batch);
    stream.release(&stream);
}

}  // namespace
}  // namespace quorbix::engine
