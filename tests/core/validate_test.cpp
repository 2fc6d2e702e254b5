#include <gtest/gtest.h>

#include <string>

#include "engine/evaluator.hpp"
#include "engine/validate.hpp"
#include "path/parser.hpp"

namespace quorbix::engine {
namespace {

TEST(ValidateDocument, AcceptsWellFormedDocumentsWithOneRoot) {
    for (const char* doc : {"<a/>", "<?xml version=\"1.0\"?><!-- c --><a><b/></a>", "x<a/>y",
                            "<a>&bogus;</a>", "<a b=\"1\" b=\"2\"/>", "<a><!-- x -- y --></a>",
                            "<a></a >", "<!DOCTYPE a [<!ELEMENT a ANY>]><a/>",
                            "\xEF\xBB\xBF<a>t<![CDATA[</b>]]></a>", "<p:a><p:b/></p:a>"})
        EXPECT_TRUE(validate_document(doc)) << doc;
}

TEST(ValidateDocument, RejectsEverythingElse) {
    for (const char* doc : {"", "text only", "<!-- c -->", "<?xml version=\"1.0\"?>", "<a></a><b/>",
                            "<a/><a/>", "<a>", "<a></b>", "</a>", "<a></a></a>", "<a><!-- x",
                            "<a b=\"1></a>", "<!DOCTYPE ><a/>", "<a><b></a></b>", "<a/><!x>"})
        EXPECT_FALSE(validate_document(doc)) << doc;
}

// The scan that answers a path checks a document as validation does, whether
// it reads every tag itself, or ends early and leaves the rest to the check.
TEST(ValidateDocument, AScanChecksAsValidationDoes) {
    auto report_line = [](const ValidationReport& r) {
        return std::to_string(r.offset) + ":" + std::to_string(r.line) + ":" +
               std::to_string(r.column) + ": " + r.problem;
    };
    for (const char* text : {"r.a", "r.a.0", "**.b", "r.#(b==1)#.c"}) {
        auto path = std::get<path::CompiledPathRef>(path::compile_path(text));
        for (std::string doc :
             {"", "<r/><x/>", "<r><a>1</a><a><b>1</b></x></a></r>", "</r>", "<r><a>\n<b/>",
              "<r><a/></r>\n<!x>", "<r><!DOCTYPE ><a/></r>", "<r><a b='>'>\n</a></r>",
              "<r><a><c>x</c></a><a></a2></r>", "<r><a>t</a><a><b>1</b><c>2</c></a></r></r>"}) {
            xml::StructureCheck check;
            auto outcome = evaluate_path(doc, xml::Encoding::Utf8, *path, true, &check);
            ASSERT_TRUE(std::holds_alternative<Matches>(outcome)) << doc;
            EXPECT_EQ(report_line(report_of(check, doc, xml::Encoding::Utf8)),
                      report_line(validation_report(doc)))
                << text << " over " << doc;
        }
    }
}

TEST(ValidateDocument, DeepNestingNeedsNoRecursion) {
    const std::size_t depth = 1'000'000;
    std::string doc;
    doc.reserve(depth * 7);
    for (std::size_t i = 0; i < depth; ++i) doc += "<e>";
    for (std::size_t i = 0; i < depth; ++i) doc += "</e>";
    EXPECT_TRUE(validate_document(doc));
    doc.pop_back();
    EXPECT_FALSE(validate_document(doc));
}

}  // namespace
}  // namespace quorbix::engine
