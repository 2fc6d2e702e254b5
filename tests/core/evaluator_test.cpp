#include <gtest/gtest.h>

#include <string>

#include "engine/element_text.hpp"
#include "engine/evaluator.hpp"
#include "path/parser.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::engine {
namespace {

// The matches as one line: "S:text" for scalars, "R:bytes" for ranges,
// "O:bytes" for owned elements, joined by " | ".
std::string render(std::string_view doc, const Matches& matches) {
    std::string out;
    for (const EngineMatch& m : matches) {
        if (!out.empty()) out += " | ";
        switch (m.kind) {
            case EngineMatch::Kind::ScalarText:
                out += "S:" + m.bytes;
                break;
            case EngineMatch::Kind::OwnedElement:
                out += "O:" + m.bytes;
                break;
            case EngineMatch::Kind::ElementRange:
                out += "R:" + std::string(doc.substr(m.start, m.end - m.start));
                break;
        }
    }
    return out;
}

// One path: its matches, or "ambiguous: name".
std::string query(std::string_view doc, std::string_view text, bool range_mode = true) {
    auto compiled = path::compile_path(text);
    if (auto* e = std::get_if<std::string>(&compiled)) return "bad path: " + *e;
    EvalOutcome outcome = evaluate_path(doc, xml::document_encoding(doc),
                                        *std::get<path::CompiledPathRef>(compiled), range_mode);
    if (auto* a = std::get_if<AmbiguousPath>(&outcome)) return "ambiguous: " + a->name;
    return render(doc, std::get<Matches>(outcome));
}

// Several paths in one pass: the lists joined by " || ".
std::string many(std::string_view doc, std::vector<std::string> texts, bool in_element = false) {
    std::vector<path::CompiledPathRef> held;
    std::vector<const path::CompiledPath*> paths;
    for (const std::string& text : texts) {
        held.push_back(std::get<path::CompiledPathRef>(path::compile_path(text)));
        paths.push_back(held.back().get());
    }
    MultiOutcome outcome = in_element ? evaluate_paths_in_element(doc, xml::Encoding::Utf8, paths)
                                      : evaluate_paths(doc, xml::Encoding::Utf8, paths, true);
    if (auto* a = std::get_if<AmbiguousPath>(&outcome)) return "ambiguous: " + a->name;
    std::string out;
    bool first = true;
    for (const Matches& list : std::get<std::vector<Matches>>(outcome)) {
        if (!first) out += " || ";
        first = false;
        out += render(doc, list);
    }
    return out;
}

struct Case {
    const char* doc;
    const char* path;
    const char* want;
};

void check(std::initializer_list<Case> cases) {
    for (const Case& c : cases) EXPECT_EQ(query(c.doc, c.path), c.want) << c.doc << "  " << c.path;
}

TEST(Evaluator, ElementPathsAndCapture) {
    check({
        {"<r><a>1</a><a>2</a></r>", "r.a", "R:<a>1</a> | R:<a>2</a>"},
        {"<r><a/></r>", "r.a", "R:<a/>"},
        {"<r><a>1</a>", "r.a", "R:<a>1</a>"},
        {"<r><a>1</a>", "r", "R:<r><a>1</a>"},
        // An end tag that closes nothing is passed over: what follows still answers.
        {"<r><a>1</a></r></r><a>3</a>", "a", "R:<a>3</a>"},
        {"<x:a>1</x:a>", "a", "R:<x:a>1</x:a>"},
        {"<x:a>1</x:a>", "x:a", "R:<x:a>1</x:a>"},
        {"<x:a>1</x:a>", "y:a", ""},
        {"<r><ab>1</ab><b>2</b><p:ac/></r>", "r.a*", "R:<ab>1</ab> | R:<p:ac/>"},
        {"<r><ab>1</ab><p:ac/></r>", "r.p:*", "R:<p:ac/>"},
        {"<r><a><a>in</a></a></r>", "r.a", "R:<a><a>in</a></a>"},
        {"<?xml version=\"1.0\"?><!-- c --><r>t</r>", "r", "R:<r>t</r>"},
        {"<r/>", "x", ""},
    });
    EXPECT_EQ(query("<r><a>1</a></r>", "r.a", false), "O:<a>1</a>");
}

TEST(Evaluator, Selectors) {
    const char* doc = "<r><a>0</a><b/><a>1</a><a>2</a></r>";
    check({
        {doc, "r.a.1", "R:<a>1</a>"},
        {doc, "r.a.5", ""},
        {doc, "r.a.#", "S:3"},
        {doc, "r.c.#", "S:0"},
        {doc, "x.a.#", ""},
        {"<r><a/><a>x</a><a/></r>", "r.a.#", "S:3"},
        {"<r><a/><a>x</a></r>", "r.a.0", "R:<a/>"},
        {"<r><a><b>1</b></a><a><b>2</b></a></r>", "r.a.b", "ambiguous: a"},
        {"<r><a><b>1</b></a><a><b>2</b></a></r>", "r.a.#.b", "R:<b>1</b> | R:<b>2</b>"},
        {"<r><a><b>1</b></a><a><b>2</b></a></r>", "r.a.0.b", "R:<b>1</b>"},
        {"<r><a><c/></a><a><b>2</b></a></r>", "r.a.0.b", ""},
        {"<r><a>1</a><a>2</a></r>", "r.a.b", "ambiguous: a"},
        {"<r><a/><a/></r>", "r.a.@id", "ambiguous: a"},
        {"<r><a>1</a></r><r><a>2</a></r>", "r.a", "ambiguous: r"},
        {"<r><a><b>1</b><b>2</b></a></r>", "r.a.b.#", "S:2"},
        {"<r><s><a>1</a></s><s><a>2</a><a>3</a></s></r>", "r.s.#.a.#", "S:1 | S:2"},
        {"<r><a>1</a><a>2</a></r>", "r.a|@first", "R:<a>1</a>"},
        {"<r><a>1</a><a>2</a></r><bad", "r.a.1", "R:<a>2</a>"},
    });
}

TEST(Evaluator, RecursiveDescent) {
    check({
        {"<r><x><a>1</a></x><y><a>2</a></y></r>", "**.a", "R:<a>1</a> | R:<a>2</a>"},
        {"<r><a><a>2</a></a></r>", "**.a", "R:<a><a>2</a></a>"},
        {"<r><x><a id='1'/></x><a id='2'/></r>", "**.a.@id", "S:1 | S:2"},
        {"<r><x><a><b>1</b></a></x><y><a><b>2</b></a></y></r>", "**.a.b",
         "R:<b>1</b> | R:<b>2</b>"},
        {"<r><x><a>1</a><a>2</a></x></r>", "r.**a.b", "ambiguous: a"},
        {"<r><a>1</a></r>", "r.**a", "R:<a>1</a>"},
        {"<a>1</a>", "**a", "R:<a>1</a>"},
    });
}

TEST(Evaluator, Terminals) {
    check({
        {"<r><a id=\"7\"/></r>", "r.a.@id", "S:7"},
        {"<r><a id=\"7\"/></r>", "r.a.#text", "S:"},
        {"<r><a id=\"7\"/></r>", "r.a", "R:<a id=\"7\"/>"},
        {"<r x:id=\"1\"/>", "r.@id", "S:1"},
        {"<r xmlns:id=\"u\"/>", "r.@id", "S:u"},
        {"<r a=\"&lt;&bad;\"/>", "r.@a", "S:<&bad;"},
        {"<r a=\"&lt;\"/>", "r.@a", "S:<"},
        {"<r a='1'><b>x</b></r><r2/>", "r.@a", "S:1"},
        {"<r>a<b>b</b><![CDATA[<c>]]>&amp;</r>", "r.#text", "S:ab<c>&"},
        {"<r>a &bad; b &amp; c</r>", "r.#text", "S:a &bad; b & c"},
        {"<r>x\r\ny\rz<a b='1\r\n2'/></r>", "r.#text", "S:x\ny\nz"},
        {"<r>x\r\ny\rz<a b='1\r\n2'/></r>", "r.a.@b", "S:1 2"},
        {"<r a='\t&#9;\n&#10;\r&#13;\r\n.'/>", "r.@a", "S: \t \n \r ."},
        {"<r x:id=\"1\" id=\"2\"/>", "r.@id", "S:2"},
        {"<r x:id=\"1\" id=\"2\"/>", "r.@x:id", "S:1"},
        {"<r/>", "#text", "S:"},
        {"<r a='1'/>", "@a", ""},
        {"<r><a>1</a><a>2</a></r>", "r.a.#text", "ambiguous: a"},
        {"<r><a>1</a><a>2</a></r>", "r.a.#.#text", "S:1 | S:2"},
        {"<?xml version='1.0' encoding='windows-1252'?><r>caf\xE9</r>", "r.#text", "S:caf\xC3\xA9"},
    });
}

TEST(Evaluator, Filters) {
    const char* keyed = "<r><a k=\"1\">x</a><a k=\"2\">y</a><a k=\"2\">z</a></r>";
    check({
        {keyed, "r.a.#(@k==2)", "R:<a k=\"2\">y</a>"},
        {keyed, "r.a.#(@k==2)#", "R:<a k=\"2\">y</a> | R:<a k=\"2\">z</a>"},
        {keyed, "r.a.#(@k==2)#.#text", "S:y | S:z"},
        {keyed, "r.a.#(@k!=2)#", "R:<a k=\"1\">x</a>"},
        {keyed, "r.a.#(@missing!=2)#", ""},
        {"<r><a><b>1</b></a><a><b>2</b></a></r>", "r.a.#(b==2)", "R:<a><b>2</b></a>"},
        {"<r><a><b> 1.0 </b></a></r>", "r.a.#(b==1)", "R:<a><b> 1.0 </b></a>"},
        {"<r><a><b> 1.0 </b></a></r>", "r.a.#(b=='1')", ""},
        {"<r><a><b>x</b></a></r>", "r.a.#(b>2)", ""},
        {"<r><a><b>x</b></a></r>", "r.a.#(b!=2)", "R:<a><b>x</b></a>"},
        {"<r><a><c/></a></r>", "r.a.#(b!=2)", ""},
        {"<r><a><b>1</b><b>2</b></a></r>", "r.a.#(b==2)", ""},  // only the first b counts
        {"<r><a><b/></a></r>", "r.a.#(b=='')", "R:<a><b/></a>"},
        {"<r><a><b>1</b><c>x</c><c>y</c></a></r>", "r.a.#(b==1).c", "R:<c>x</c> | R:<c>y</c>"},
        {"<r><a><c>x</c><b>1</b><c/></a></r>", "r.a.#(b==1).c.1", "R:<c/>"},
        {"<r><a id='3'><b>1</b></a></r>", "r.a.#(b==1).@id", "S:3"},
        {"<r><a><b>1</b></a><a><b>1</b></a></r>", "r.a.#(b==1)#",
         "R:<a><b>1</b></a> | R:<a><b>1</b></a>"},
        {"<r><a>v</a><a>w</a></r>", "r.a.#(.==w)", "R:<a>w</a>"},
        {"<r><a>v</a><a>w</a></r>", "r.a.#(#text=='w')", "R:<a>w</a>"},
        {"<r><a><c id='3'/></a></r>", "r.a.#(c.@id==3)", "R:<a><c id='3'/></a>"},
        {"<r><a><c/><c/></a><a><c/></a></r>", "r.a.#(c.#>1)#", "R:<a><c/><c/></a>"},
        {"<r><a><b><c>1</c></b></a></r>", "r.a.#(b.c==1).b.c", "R:<c>1</c>"},
        {"<r><a><b>1</b><b>2</b></a></r>", "r.a.#(b.c==1)", "ambiguous: b"},
        {"<r><a k='1'/><a k='2'/></r>", "r.a.#(@k==2)", "R:<a k='2'/>"},
        {"<r><a k='1'/><a k='2'/></r>", "r.a.#(@k==2).@k", "S:2"},
        {"<r><a><t>x1</t></a><a><t>y</t></a></r>", "r.a.#(t%'x*')#.t", "R:<t>x1</t>"},
        {"<r><a><t>x1</t></a><a><t>y</t></a></r>", "r.a.#(t!%'x*')#.t", "R:<t>y</t>"},
    });
    EXPECT_EQ(query(keyed, "r.a.#(@k==2)#", false), "O:<a k=\"2\">y</a> | O:<a k=\"2\">z</a>");
    EXPECT_EQ(query("<r><a><b>1</b><c/></a></r>", "r.a.#(b==1).c", false), "O:<c/>");
}

TEST(Evaluator, Modifiers) {
    const char* texts = "<r><v>b</v><v>a</v><v>B</v><v>ab</v></r>";
    check({
        {texts, "r.v.#.#text|@sort", "S:B | S:a | S:ab | S:b"},
        {texts, "r.v|@sort", "R:<v>B</v> | R:<v>a</v> | R:<v>ab</v> | R:<v>b</v>"},
        {texts, "r.v|@reverse|@first", "R:<v>ab</v>"},
        {texts, "r.v|@last", "R:<v>ab</v>"},
        {texts, "r.v|@count", "S:4"},
        {texts, "r.x|@count", "S:0"},
        {texts, "r.x|@first", ""},
        {texts, "r.v|@count|@count", "S:1"},
        {texts, "r.v|@first|@count", "S:1"},
        {texts, "r.v|@flatten|@tostr", "R:<v>b</v> | R:<v>a</v> | R:<v>B</v> | R:<v>ab</v>"},
        {"<r><v>10</v><v>9</v><v>x</v><v>-1</v><v>a</v></r>", "r.v.#.#text|@sort_n",
         "S:-1 | S:9 | S:10 | S:a | S:x"},
        {"<r><v>a</v><v>b</v><v>a</v></r>", "r.v|@unique", "R:<v>a</v> | R:<v>b</v>"},
        {"<r><v>1</v><v>x</v><v> 2.5 </v></r>", "r.v|@sum", "S:3.5"},
        {"<r><v>1</v><v>2</v></r>", "r.v|@sum", "S:3"},
        {"<r><v>1</v><v>2</v></r>", "r.v|@mean", "S:1.5"},
        {"<r><v>1e15</v><v>1</v></r>", "r.v|@sum", "S:1000000000000001"},
        {"<r><v>0.1</v><v>0.2</v></r>", "r.v|@sum", "S:0.30000000000000004"},
        {"<r><v>x</v></r>", "r.v|@sum", "S:0"},
        {"<r><v>x</v></r>", "r.v|@mean", "S:nan"},
        {"<r><v>x</v></r>", "r.v|@min", "S:inf"},
        {"<r><v>x</v></r>", "r.v|@max", "S:-inf"},
        {"<r><v>nan</v><v>3</v></r>", "r.v|@max", "S:3"},
        {"<r><v>nan</v><v>3</v></r>", "r.v|@sum", "S:nan"},
        {"<r><v>1</v><v>5</v><v>3</v></r>", "r.v.#.#text|@sort_n|@first", "S:1"},
    });
}

TEST(Evaluator, LegacyEncodedDocuments) {
    // windows-1252 (the encoding ISO-8859-1 names): names, attributes, CDATA
    // and the texts filters and modifiers compare are all read as UTF-8.
    const char* doc =
        "<?xml version='1.0' encoding='ISO-8859-1'?>"
        "<r><caf\xE9 k='\xE9t\xE9'>x</caf\xE9><c><![CDATA[d\xE9j\xE0]]></c><c>\xFC</c></r>";
    check({
        {doc, "r.caf\xC3\xA9.@k", "S:\xC3\xA9t\xC3\xA9"},
        {doc, "r.c.#.#text", "S:d\xC3\xA9j\xC3\xA0 | S:\xC3\xBC"},
        {doc, "r.c.#(.==\xC3\xBC)#.#text", "S:\xC3\xBC"},
        {doc, "r.c#(#text==\xC3\xBC)#.#text", "S:\xC3\xBC"},
        {doc, "r.*#(@k==\xC3\xA9t\xC3\xA9).#text", "S:x"},
        {doc, "**.c|@sort|@last", "R:<c>\xFC</c>"},
    });
    // Bytes that do not decode read as U+FFFD, wherever they stand.
    check({
        {"<r><![CDATA[\xFF]]></r>", "r.#text", "S:\xEF\xBF\xBD"},
        {"<r a='\xFF'>b\xFF"
         "c</r>",
         "r.@a", "S:\xEF\xBF\xBD"},
        {"<r a='\xFF'>b\xFF"
         "c</r>",
         "r.#text",
         "S:b\xEF\xBF\xBD"
         "c"},
        {"<r><\xFF>1</\xFF></r>", "r.\xEF\xBF\xBD", "R:<\xFF>1</\xFF>"},
        {"<?xml version='1.0' encoding='Shift_JIS'?><r a='\x82'>\x82\xA0\x82</r>", "r.@a",
         "S:\xEF\xBF\xBD"},
        {"<?xml version='1.0' encoding='Shift_JIS'?><r a='\x82'>\x82\xA0\x82</r>", "r.#text",
         "S:\xE3\x81\x82\xEF\xBF\xBD"},
    });
}

TEST(MultiPath, PathsShareOnePass) {
    const char* ab = "<r><a>1</a><b>2</b></r>";
    EXPECT_EQ(many(ab, {"r.a", "r.b"}), "R:<a>1</a> || R:<b>2</b>");
    EXPECT_EQ(many(ab, {"r.b", "r.a"}), "R:<b>2</b> || R:<a>1</a>");
    EXPECT_EQ(many(ab, {"r.a", "r.x"}), "R:<a>1</a> || ");
    EXPECT_EQ(many("<r><a>1</a><a>2</a><b/></r>", {"r.a.b", "r.b"}), "ambiguous: a");
    const char* three = "<r><a>1</a><a>2</a><a>3</a></r>";
    EXPECT_EQ(many(three, {"r.a.0", "r.a.#"}), "R:<a>1</a> || S:3");
    // A path that records texts answers |@first with the text.
    EXPECT_EQ(many(three, {"r.a|@first", "r.a|@count"}), "S:1 || S:3");
    EXPECT_EQ(many("<r><a>1</a><b>2</b><c><", {"r.a|@first", "r.b|@first"}), "S:1 || S:2");
    // Several paths act on one element: it is read once for all of them.
    const char* doc = "<r><a k='1'><b>x</b><b>y</b></a><a k='2'><b>z</b></a></r>";
    EXPECT_EQ(many(doc, {"r.a", "r.a.#.b", "r.a.#.@k", "r.a.#.#text", "r.a.#(b==z)#.@k",
                         "r.a.#(@k==1)#.b.1", "**.b|@count"}),
              "R:<a k='1'><b>x</b><b>y</b></a> | R:<a k='2'><b>z</b></a> || "
              "R:<b>x</b> | R:<b>y</b> | R:<b>z</b> || S:1 | S:2 || S:xy | S:z || S:2 || "
              "R:<b>y</b> || S:3");
    EXPECT_EQ(many(doc, {"r.a.#(b.0.#text==z)#", "r.a.#(b==x)#.b.#", "r.a.1.b.0"}),
              "R:<a k='2'><b>z</b></a> || S:2 || R:<b>z</b>");
}

TEST(Evaluator, EmptyDocumentsWithoutAnAddress) {
    // An empty string_view has no address: nothing may be searched through it.
    std::string_view nothing;
    EXPECT_EQ(query(nothing, "r.a"), "");
    EXPECT_EQ(query(nothing, "r.#"), "S:0");  // the document level is entered, and ends
    EXPECT_EQ(many(nothing, {"r", "**.a|@count"}), " || S:0");
    EXPECT_EQ(many(nothing, {"a", "@k"}, true), " || ");
}

TEST(MultiPath, FiltersReadTheirChildInThePassOthersDescend) {
    // While other paths read a's children, each filter's value is the text of
    // the first b among them: as the filter alone reads it.
    const char* doc = "<r><a><b>x</b><b>z</b></a><a><b/><c>1</c></a><a><c>2</c></a></r>";
    std::vector<std::string> paths = {"r.a.#(b==z)#.c", "r.a.#(b=='')#.c", "r.a.#(b!=q)#.c",
                                      "r.a.#(b%'?')#|@count"};
    std::string together = many(doc, {"r.a.#.c", paths[0], paths[1], paths[2], paths[3]});
    EXPECT_EQ(together, "R:<c>1</c> | R:<c>2</c> ||  || R:<c>1</c> || R:<c>1</c> || S:1");
    for (const std::string& path : paths) EXPECT_EQ(many(doc, {path}), query(doc, path)) << path;
}

TEST(MultiPath, LeavesPassedOverBySearchesKeepTheirText) {
    EXPECT_EQ(many("<r><a k='>'>x &amp; y</a><a></a></r>", {"**.z", "r.a.#.#text", "r.a|@sort"}),
              " || S:x & y | S: || S: | S:x & y");
}

TEST(Evaluator, LongFilterChainsKeepTheirOrder) {
    // Past a fixed depth, the walks over filtered elements' bytes run from a
    // list rather than within each other: their matches keep their order.
    std::string doc, each, first;
    for (int i = 0; i < 24; ++i) doc += "<a><b>1</b>";
    doc += "<a><b>1</b><c>1</c><c>2</c></a><a><b>2</b><c>3</c></a><a><b>1</b><c>4</c></a>";
    for (int i = 0; i < 24; ++i) doc += "</a>";
    for (int i = 0; i < 25; ++i) each += "a#(b==1)#.", first += "a#(b==1).";
    EXPECT_EQ(query(doc, each + "c"), "R:<c>1</c> | R:<c>2</c> | R:<c>4</c>");
    EXPECT_EQ(query(doc, first + "c"), "R:<c>1</c> | R:<c>2</c>");
    EXPECT_EQ(query(doc, each + "c|@reverse|@first"), "R:<c>4</c>");
}

TEST(MultiPath, CountsEndMalformedElementsAsCapturesDo) {
    // Found by fuzzing: a counted element must end where a captured one does,
    // at the first end tag at its depth, whatever its name.
    EXPECT_EQ(many("<b></><b>", {"**.b|@count"}), "S:2");
    EXPECT_EQ(query("<b></><b>", "**.b|@count"), "S:2");
}

TEST(MultiPath, StreamedFiltersOfSeveralPathsOnOneElement) {
    // Found by the reference tests: each path takes its own gathered matches.
    EXPECT_EQ(many("<r k='1' id='9'><b/></r>", {"r#(b==)#.@id", "r#(b==)#.@k", "r#(b==x)#.@k"}),
              "S:9 || S:1 || ");
}

TEST(MultiPath, RelativeToOneElement) {
    const char* element = "<a k='1'><b>x</b><c><b>y</b></c><d/></a>";
    EXPECT_EQ(many(element, {"b", "@k", "#text", "**.b", "c.b", "d", "x"}, true),
              "O:<b>x</b> || S:1 || S:xy || O:<b>x</b> | O:<b>y</b> || O:<b>y</b> || O:<d/> || ");
    EXPECT_EQ(many("<a k='1'/>", {"@k", "#text", "b"}, true), "S:1 || S: || ");
    EXPECT_EQ(many("<?xml version='1.0'?><!--c--><a><b>1</b></a>", {"b"}, true), "O:<b>1</b>");
}

TEST(Evaluator, DeepDocumentsNeedNoRecursion) {
    const std::size_t depth = 1'000'000;
    std::string doc;
    for (std::size_t i = 0; i < depth; ++i) doc += "<e>";
    doc += "<target>x</target>";
    for (std::size_t i = 0; i < depth; ++i) doc += "</e>";
    EXPECT_EQ(query(doc, "**.target"), "R:<target>x</target>");
    EXPECT_EQ(query(doc, "e.#text"), "S:x");
    EXPECT_EQ(query(doc, "**.target|@count"), "S:1");
    // A path as long as the document is deep.
    std::string deep_path;
    for (int i = 0; i < 100'000; ++i) deep_path += "e.";
    std::string nested;
    for (int i = 0; i < 100'000; ++i) nested += "<e>";
    nested += "v";
    for (int i = 0; i < 100'000; ++i) nested += "</e>";
    EXPECT_EQ(query(nested, deep_path + "#text"), "S:v");
}

TEST(ElementText, ChildrenAndText) {
    auto children = scan_children("<r><a>1</a><b/><a><a/></a></r>");
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children[0].name, "a");
    EXPECT_EQ(children[1].name, "b");
    EXPECT_EQ(children[2].start, 15u);
    EXPECT_EQ(children[2].end, 26u);
    EXPECT_TRUE(scan_children("<r/>").empty());
    EXPECT_TRUE(scan_children("<r>text</r>").empty());
    auto prefixed = scan_children("<r><ns:a/><a/></r>");
    EXPECT_EQ(prefixed[0].name, "ns:a");
    EXPECT_EQ(prefixed[1].name, "a");
    // A child ends at the first end tag at its depth, whatever its name; one
    // left open ends at the markup that cannot be read, or the input's end.
    for (auto [cut, b_end] : {std::pair{"<r><a></x><b><!x>", 13u}, {"<r><a></x><b>t", 14u}}) {
        auto ended = scan_children(cut);
        ASSERT_EQ(ended.size(), 2u) << cut;
        EXPECT_EQ(ended[0].end, 10u) << cut;
        EXPECT_EQ(ended[1].end, b_end) << cut;
    }

    EXPECT_FALSE(has_child_element("<a>hello</a>"));
    EXPECT_TRUE(has_child_element("<a><b/></a>"));
    EXPECT_TRUE(has_child_element("<a>x<b>y</b>z</a>"));
    EXPECT_FALSE(has_child_element("<a/>"));
    EXPECT_FALSE(has_child_element("<a><!--c--><?p x?></a>"));
    EXPECT_TRUE(has_child_element("<?xml version=\"1.0\"?><!--c--><root><x/></root>"));

    EXPECT_EQ(item_text("<a>x<b>y</b>&amp;<![CDATA[<z>]]></a>", xml::Encoding::Utf8, nullptr),
              "xy&<z>");
    EXPECT_EQ(item_text("<a/>", xml::Encoding::Utf8, nullptr), "");
    EXPECT_EQ(item_text("text only", xml::Encoding::Utf8, nullptr), "");
}

}  // namespace
}  // namespace quorbix::engine
