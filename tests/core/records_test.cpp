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

std::string generated_rows(std::mt19937& random) {
    std::string doc = "<r xmlns:p='u'>";
    for (std::size_t row = random() % 6; row > 0; --row) {
        doc += random() % 2 ? "<row x=\" 1 \" p:y='&amp;'>" : "<row>";
        for (std::size_t i = random() % 6; i > 0; --i)
            doc += children[random() % std::size(children)];
        doc += "</row>";
    }
    return doc + "</r>";
}

path::CompiledPathRef compiled(const char* text) {
    return std::get<path::CompiledPathRef>(path::compile_path(text));
}

TEST(Records, DirectReadsAnswerAsTheEvaluator) {
    std::vector<path::CompiledPathRef> owned;
    std::vector<const path::CompiledPath*> columns;
    for (const char* text : {"@x", "a", "b", "p:a", "c", "@p:y", "@y", "c.0.a", "b.0.@x"}) {
        owned.push_back(compiled(text));
        columns.push_back(owned.back().get());
    }
    path::CompiledPathRef rows = compiled("r.row");
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        std::string doc = generated_rows(random);
        if (round % 2) doc.resize(random() % (doc.size() + 1));  // cut anywhere: rows left open
        auto direct = std::get<Table>(read_table(doc, xml::Encoding::Utf8, *rows, columns, true));
        auto evaluated =
            std::get<Table>(read_table(doc, xml::Encoding::Utf8, *rows, columns, false));
        ASSERT_EQ(direct.rows, evaluated.rows) << doc;
        ASSERT_EQ(direct.columns.size(), evaluated.columns.size());
        for (std::size_t c = 0; c < direct.columns.size(); ++c)
            for (std::size_t r = 0; r < direct.rows; ++r) {
                const Column &a = direct.columns[c], &b = evaluated.columns[c];
                ASSERT_EQ(a.has_text(r), b.has_text(r)) << doc << " column " << c;
                ASSERT_EQ(a.text(r), b.text(r)) << doc << " column " << c;
            }
    }
}

}  // namespace
}  // namespace quorbix::engine
