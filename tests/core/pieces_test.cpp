// A document fed in pieces of any size answers as the whole document does,
// holds only what its open matches need, and stops reading once answered.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/evaluator.hpp"
#include "engine/streamed_paths.hpp"
#include "path/parser.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::engine {
namespace {

struct Compiled {
    std::vector<path::CompiledPathRef> held;
    std::vector<const path::CompiledPath*> paths;
    explicit Compiled(const std::vector<std::string>& texts) {
        for (const std::string& text : texts) {
            held.push_back(std::get<path::CompiledPathRef>(path::compile_path(text)));
            paths.push_back(held.back().get());
        }
    }
};

// Every list, every match's bytes, then the check's verdict: one text.
std::string render(const std::vector<Matches>& lists, const ValidationReport& report) {
    std::string out;
    for (const Matches& list : lists) {
        for (const EngineMatch& m : list)
            out += (m.kind == EngineMatch::Kind::ScalarText ? "S:" : "O:") + m.bytes + "|";
        out += "||";
    }
    if (!report.valid)
        out += "bad at " + std::to_string(report.offset) + ", line " + std::to_string(report.line) +
               ", column " + std::to_string(report.column) + ": " + report.problem;
    return out;
}

std::string whole(std::string_view doc, const std::vector<std::string>& texts) {
    Compiled compiled(texts);
    xml::StructureCheck check;
    xml::Encoding encoding = xml::document_encoding(doc);
    MultiOutcome outcome = evaluate_paths(doc, encoding, compiled.paths, false, &check);
    if (auto* a = std::get_if<AmbiguousPath>(&outcome)) return "ambiguous: " + a->name;
    return render(std::get<std::vector<Matches>>(outcome), report_of(check, doc, encoding));
}

// The document in pieces of `size` bytes (the first piece, as a caller
// would, grown until its start says how it is encoded).
std::string in_pieces(std::string_view doc, const std::vector<std::string>& texts,
                      std::size_t size) {
    Compiled compiled(texts);
    std::size_t first = size;
    while (first < doc.size() && !document_start_known(doc.substr(0, first))) first += size;
    first = std::min(first, doc.size());
    StreamedPaths scan(compiled.paths, xml::read_document_start(doc.substr(0, first)),
                       Checking::Report);
    std::vector<Matches> taken(texts.size());
    auto take = [&] {
        for (std::size_t p = 0; p < texts.size(); ++p) {
            if (!scan.streams(p)) continue;
            for (EngineMatch& m : scan.found()[p]) taken[p].push_back(std::move(m));
            scan.found()[p].clear();
        }
    };
    bool more = scan.feed(doc.substr(0, first));
    for (std::size_t at = first; more && at < doc.size(); at += size) {
        more = scan.feed(doc.substr(at, size));
        take();
    }
    scan.end();
    take();
    if (scan.error()) return "ambiguous: " + scan.error()->name;
    for (std::size_t p = 0; p < texts.size(); ++p)
        if (!scan.streams(p)) taken[p] = std::move(scan.found()[p]);
    return render(taken, scan.report().value_or(ValidationReport{}));
}

void expect_pieces_answer_as_whole(std::string_view doc, const std::vector<std::string>& texts) {
    std::string expected = whole(doc, texts);
    for (std::size_t size : {1, 2, 3, 5, 7, 13, 63, 64, 65, 200, 4096})
        ASSERT_EQ(in_pieces(doc, texts, size), expected) << "pieces of " << size << " bytes";
}

TEST(Pieces, AnswerAsTheWholeDocument) {
    const std::string catalog =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- a <catalog> -->\n"
        "<catalog xmlns:dc=\"urn:dc\">\n"
        "  <book id=\"b1\" note='a > b'><dc:title>Ünïcode &amp; more</dc:title>"
        "<price>12.50</price><tag>x</tag><tag>y</tag></book>\n"
        "  <book id=\"b2\"><dc:title><![CDATA[<not a tag>]]></dc:title><price>9</price>"
        "<empty/></book>\n"
        "  <book id=\"b3\"><price>30</price><dc:title>Third<?pi x?></dc:title>"
        "<deep><a><b><c>in</c></b></a></deep></book>\n"
        "</catalog>\n";
    expect_pieces_answer_as_whole(
        catalog, {"catalog.book.#.dc:title", "catalog.book.#(price>10)#.@id", "**.tag|@count",
                  "catalog.book.#.price|@sum", "catalog.book.1", "**.c",
                  "catalog.book.#(price<20)#.dc:title", "catalog.book.#.price|@sort",
                  "catalog.book.#(@id==\"b3\")#.deep", "catalog.book.#.dc:title.#text"});
}

TEST(Pieces, EntitiesReadAsInTheWholeDocument) {
    // A DOCTYPE any piece may split; references in texts, values, filters and
    // a sum. A 1 MB entity read 20 times passes the 8 MiB a short document
    // may expand to, not the 100 times the bytes read before the references.
    const std::string doc =
        "<!DOCTYPE r [<!ENTITY n \"5\"><!ENTITY who \"A &#38;amp; &n;\">"
        "<!ENTITY big \"" +
        std::string(1 << 20, 'x') +
        "\">]>"
        "<r><i k=\"&who;\"><v>&n;</v></i><i><v>1&n;</v></i>" +
        [] {
            std::string bigs;
            for (int i = 0; i < 20; ++i) bigs += "<b>&big;</b>";
            return bigs;
        }() +
        "</r>";
    std::vector<std::string> paths = {"r.i.#.@k", "r.i.#(v==\"5\")#.@k", "r.i.#.v|@sum",
                                      "r.b|@count", "r.b|@sort|@count"};
    EXPECT_EQ(whole(doc, paths), "S:A & 5|||S:A & 5|||S:20|||S:20|||S:20|||");
    for (std::size_t size : {1u << 16, 1u << 20})
        EXPECT_EQ(in_pieces(doc, paths, size), whole(doc, paths));
    // What cannot be read in place is reported where the DOCTYPE stands.
    const std::string markup =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY m \"<b/>\">]><r>&m;</r>";
    std::string found = in_pieces(markup, {"r|@sum"}, 7);
    EXPECT_NE(found.find("bad at 22, line 2, column 1: not read in full: the entity \"m\""),
              std::string::npos)
        << found;
}

TEST(Pieces, MalformedDocumentsEndWhereTheWholeDocumentEnds) {
    for (std::string doc : {"<r><a>1</b><c>2</c></r>", "<r><a>1</a><!-- never closed <c>2</c>",
                            "<r><a x='1>2</a></r>", "<r><a>1</a></r><r2/>", "<r><a>1<",
                            "<r><a>1</a><![CDATA[x]]", "</x><r><a>1</a>"})
        expect_pieces_answer_as_whole(doc, {"r.a", "**.c", "r.a.#|@count", "**.a|@first"});
}

// Problems are placed in lines and columns wherever they lie: an element
// left open may begin long before the bytes still held.
TEST(Pieces, ProblemsOfLongDocuments) {
    std::string doc = "<?xml version='1.0'?>\n<r>\n";
    for (int i = 0; i < 3000; ++i)
        doc += "  <item n='" + std::to_string(i) + "'>\u00e9t\u00e9</item>\n";
    expect_pieces_answer_as_whole(doc, {"r.item.#.@n|@count", "r.item.#(@n==2999)#"});
    expect_pieces_answer_as_whole(doc + "  <item>cut",
                                  {"r.item.#.@n|@count", "r.item.#(@n==2999)#"});
    expect_pieces_answer_as_whole(doc + "</x>", {"r.item.#.@n|@count", "r.item.#(@n==2999)#"});
    // One long line of characters, broken ones among them, before the fault:
    // its column counts them as the whole line does, wherever bytes are dropped.
    std::string line = "<r>";
    for (int i = 0; i < 400; ++i) line += "<b>x\xC3\xA9\x90\xE5\x89</b>";
    expect_pieces_answer_as_whole(line + "<a></r>", {"r.b.#|@count"});
}

TEST(Pieces, EncodingsAndMarks) {
    expect_pieces_answer_as_whole("\xEF\xBB\xBF<r><a>\xC3\xA9t\xC3\xA9</a></r>", {"r.a"});
    expect_pieces_answer_as_whole(
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r><\xE0>\xE1\xE2</\xE0></r>",
        {"r.\xD0\xB0", "r.\xD0\xB0.#"});
    expect_pieces_answer_as_whole("<?xml version='1.0'?>", {"r"});
    expect_pieces_answer_as_whole("", {"r"});
}

TEST(Pieces, AmbiguityAndEarlyStops) {
    expect_pieces_answer_as_whole("<r><a><b>1</b></a><a><b>2</b></a></r>", {"r.a.b", "r.a.#.b"});
    expect_pieces_answer_as_whole("<r><a>1</a><a>2</a></r>", {"r.a|@first", "r.a.#|@first"});
}

// Generated documents of nested, repeated and malformed elements.
std::string generated(std::mt19937& rng) {
    const char* names[] = {"a", "b", "c", "dc:t"};
    std::string doc = "<r>";
    std::vector<std::string> open{"r"};
    for (int i = 0; i < 60; ++i) {
        switch (rng() % 7) {
            case 0:
            case 1: {
                std::string name = names[rng() % 4];
                doc += "<" + name + (rng() % 3 == 0 ? " k=\"v>\" n='1'" : "") + ">";
                open.push_back(name);
                break;
            }
            case 2:
                if (open.size() > 1) {
                    doc += "</" + open.back() + ">";
                    open.pop_back();
                }
                break;
            case 3:
                doc += std::to_string(rng() % 100) + " \xC3\xA9 &lt;";
                break;
            case 4:
                doc += rng() % 2 ? "<!-- <a> -->" : "<![CDATA[<b>]]>";
                break;
            case 5:
                doc += std::string("<") + names[rng() % 4] + "/>";
                break;
            default:
                if (rng() % 10 == 0) doc += "</zz>";  // a mismatched end tag
                break;
        }
    }
    while (rng() % 4 != 0 && !open.empty()) {
        doc += "</" + open.back() + ">";
        open.pop_back();
    }
    return doc;
}

TEST(Pieces, GeneratedDocuments) {
    std::mt19937 rng(20261210);
    for (int i = 0; i < 150; ++i) {
        std::string doc = generated(rng);
        expect_pieces_answer_as_whole(
            doc, {"**.a", "r.b.#|@count", "**.c.#text", "r.a.#(b>50)#.c.#", "r.a.#(c%\"1*\")#",
                  "r.a.#.b.#", "**.dc:t|@first", "r.c.1", "r.b.#(@n==1)#", "r.a.#.@k"});
    }
}

// What is held stays about a piece, however long the document.
TEST(Pieces, HoldsLittleOfALongDocument) {
    std::string doc = "<r>";
    for (int i = 0; i < 20000; ++i) doc += "<item id=\"" + std::to_string(i) + "\"><v>x</v></item>";
    doc += "</r>";
    Compiled compiled({"r.item.#.v", "r.item.#(@id==\"19999\")#"});
    StreamedPaths scan(compiled.paths, xml::read_document_start(doc.substr(0, 64)), Checking::None);
    std::size_t most = 0, matches = 0;
    for (std::size_t at = 0; at < doc.size(); at += 4096) {
        ASSERT_TRUE(scan.feed(doc.substr(at, 4096)));
        matches += scan.found()[0].size();
        scan.found()[0].clear();
        most = std::max(most, scan.held());
    }
    scan.end();
    EXPECT_EQ(matches + scan.found()[0].size(), 20000u);
    EXPECT_EQ(scan.found()[1].size(), 1u);
    EXPECT_LE(most, 3 * 4096u);
}

// A long text is dropped as it is read, unless an element it is in is a match.
TEST(Pieces, HoldsLittleOfALongText) {
    std::string doc = "<r><t>" + std::string(1 << 20, 'x') + "</t><v>1</v></r>";
    for (bool captured : {false, true}) {
        Compiled compiled({captured ? "r.t" : "r.v"});
        StreamedPaths scan(compiled.paths, xml::read_document_start("<r>"), Checking::Report);
        std::size_t most = 0;
        for (std::size_t at = 0; at < doc.size(); at += 1000) {
            scan.feed(doc.substr(at, 1000));
            most = std::max(most, scan.held());
        }
        scan.end();
        EXPECT_EQ(scan.found()[0].size(), 1u);
        if (captured)
            EXPECT_GT(most, 1000000u);  // the text, held until its element ends
        else
            EXPECT_LE(most, 3000u);
    }
}

TEST(Pieces, AnsweredPathsStopTheReading) {
    Compiled compiled({"r.a|@first"});
    StreamedPaths scan(compiled.paths, xml::read_document_start("<r>"), Checking::None);
    EXPECT_TRUE(scan.feed("<r><b/><a>1"));
    EXPECT_FALSE(scan.feed("</a><a>2</a>"));
    ASSERT_EQ(scan.found()[0].size(), 1u);
    EXPECT_EQ(scan.found()[0][0].bytes, "1");
}

}  // namespace
}  // namespace quorbix::engine

namespace quorbix::engine {
namespace {

// Stopping at the first problem: the matches of the bytes before it, and
// none of the elements open there.
TEST(Pieces, TheFirstProblemEndsACheckedScan) {
    for (std::size_t size : {1, 4, 100}) {
        Compiled compiled({"**.a", "r.a.#|@count"});
        std::string doc = "<r><a>1</a><a>2</b><a>3</a></r>";
        StreamedPaths scan(compiled.paths, xml::read_document_start("<r>"),
                           Checking::StopAtProblem);
        std::size_t at = 0;
        while (at < doc.size() && scan.feed(doc.substr(at, size))) at += size;
        EXPECT_LT(at, doc.size());
        scan.end();
        ASSERT_EQ(scan.found()[0].size(), 1u);
        EXPECT_EQ(scan.found()[0][0].bytes, "<a>1</a>");
        ASSERT_TRUE(scan.report());
        EXPECT_EQ(scan.report()->offset, 15u);
    }
}

}  // namespace
}  // namespace quorbix::engine
