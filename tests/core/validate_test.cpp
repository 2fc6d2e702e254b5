#include <gtest/gtest.h>

#include <string>

#include "engine/validate.hpp"

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
