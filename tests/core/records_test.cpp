// A table's columns of one plain step are read beside the walk that finds
// the rows; they must read as the evaluator reads them, on rows of every
// shape, in documents cut anywhere.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/records.hpp"
#include "path/parser.hpp"

namespace quorbix::engine {
namespace {

const char* const children[] = {
    "<a>1</a>",
    "<a> x &amp; y </a>",
    "<b/>",
    "<b x='2'>t<![CDATA[<c>]]></b>",
    "<p:a>q</p:a>",
    "<a><c>in</c></a>",
    "<a >s</a >",
    "<!-- n -->",
    "text",
    "<c><a>deep</a></c>",
    "<a>&#65;&lt;</a>",
    "<b></b>",
    "<a>x<!-- c -->y</a>",
    "<a><?p?>z</a>",
};

// Attribute lists of every kind: a key and a prefixed key of one local name
// in either order, repeated keys, white space around '=', and lists a
// plain reading gives up on (no quotes, a quote in a key, non-ASCII keys).
const char* const row_tags[] = {
    "<row>",
    "<row x=\" 1 \" p:y='&amp;'>",
    "<row p:y='3' y=\"2\">",
    "<row y='2' p:y='3' x='a' x='b'>",
    "<row x = \"1\"\ty\n=\n'\t2'>",
    "<row x=1 y='2'>",
    "<row x'='1' y='2'>",
    "<row \xC3\xA9='1' y='&#65;'>",
    "<row q:x='1' p:x='2'>",
};

std::string generated_rows(std::mt19937& random) {
    std::string doc = "<r xmlns:p='u'>";
    for (std::size_t row = random() % 6; row > 0; --row) {
        doc += row_tags[random() % std::size(row_tags)];
        for (std::size_t i = random() % 6; i > 0; --i)
            doc += children[random() % std::size(children)];
        doc += "</row>";
    }
    return doc + "</r>";
}

void same_cells(const Table& a, const Table& b, const std::string& doc) {
    ASSERT_EQ(a.rows, b.rows) << doc;
    ASSERT_EQ(a.columns.size(), b.columns.size()) << doc;
    for (std::size_t c = 0; c < a.columns.size(); ++c)
        for (std::size_t r = 0; r < a.rows; ++r) {
            ASSERT_EQ(a.columns[c].has_text(r), b.columns[c].has_text(r)) << doc << " column " << c;
            ASSERT_EQ(a.columns[c].text(r), b.columns[c].text(r)) << doc << " column " << c;
        }
}

path::CompiledPathRef compiled(const char* text) {
    return std::get<path::CompiledPathRef>(path::compile_path(text));
}

TEST(Records, DirectReadsAnswerAsTheEvaluator) {
    std::vector<path::CompiledPathRef> owned;
    std::vector<const path::CompiledPath*> columns;
    for (const char* text : {"@x", "a", "b", "p:a", "c", "@p:y", "@y", "c.0.a", "b.0.@x", "@q:x"}) {
        owned.push_back(compiled(text));
        columns.push_back(owned.back().get());
    }
    path::CompiledPathRef rows = compiled("r.row"), deep = compiled("**.row");
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        std::string doc = generated_rows(random);
        if (round % 2) doc.resize(random() % (doc.size() + 1));  // cut anywhere: rows left open
        auto direct = std::get<Table>(read_table(doc, xml::Encoding::Utf8, *rows, columns, true));
        auto evaluated =
            std::get<Table>(read_table(doc, xml::Encoding::Utf8, *rows, columns, false));
        ASSERT_EQ(direct.rows, evaluated.rows) << doc;
        same_cells(direct, evaluated, doc);
        // Rows the walk cannot read beside the machine are read again, alike.
        auto reread = std::get<Table>(read_table(doc, xml::Encoding::Utf8, *deep, columns, true));
        same_cells(reread, evaluated, doc);
        // Without columns: every attribute and leaf child by name, both ways.
        auto walked = std::get<Table>(read_table_of_children(doc, xml::Encoding::Utf8, *rows));
        auto again =
            std::get<Table>(read_table_of_children(doc, xml::Encoding::Utf8, *rows, false));
        ASSERT_EQ(walked.names, again.names) << doc;
        same_cells(walked, again, doc);
        auto deep_named = std::get<Table>(read_table_of_children(doc, xml::Encoding::Utf8, *deep));
        ASSERT_EQ(deep_named.names, again.names) << doc;
        same_cells(deep_named, again, doc);
    }
}

}  // namespace
}  // namespace quorbix::engine
