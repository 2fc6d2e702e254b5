#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "xml/attributes.hpp"
#include "xml/character_data.hpp"
#include "xml/unescape.hpp"
#include "xml/xml_reader.hpp"

namespace quorbix::xml {
namespace {

// One event as the tests compare it: kind, payload (the name for tags), error.
struct Seen {
    EventKind kind;
    std::string text;
    ReaderError error = ReaderError::None;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << static_cast<int>(s.kind) << ":" << s.text << ":" << static_cast<int>(s.error);
}

std::vector<Seen> read_all(std::string_view doc, ReaderSettings settings = evaluation_profile()) {
    XmlReader reader(doc, settings);
    std::vector<Seen> seen;
    for (int guard = 0; guard < 1000; ++guard) {
        ReadResult r = reader.next_event();
        bool tag = r.event.kind == EventKind::Start || r.event.kind == EventKind::Empty;
        seen.push_back(
            {r.event.kind, std::string(tag ? r.event.name() : r.event.content), r.error});
        if (r.ok() && r.event.kind == EventKind::Eof) break;
    }
    return seen;
}

using K = EventKind;
using E = ReaderError;

TEST(XmlReader, ReportsEveryEventKind) {
    auto seen = read_all(
        "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY x \">\">]><?pi data?>"
        "<r a=\"1\"><!-- c --><![CDATA[<x>]]>t<e/></r>");
    std::vector<Seen> want = {
        {K::Decl, "xml version=\"1.0\""},
        {K::DocType, "r [<!ENTITY x \">\">]"},
        {K::PI, "pi data"},
        {K::Start, "r"},
        {K::Comment, " c "},
        {K::CData, "<x>"},
        {K::Text, "t"},
        {K::Empty, "e"},
        {K::End, "r"},
        {K::Eof, ""},
    };
    EXPECT_EQ(seen, want);
}

TEST(XmlReader, PositionsBeforeAndAfterTags) {
    XmlReader reader("<a>x</a>", evaluation_profile());
    EXPECT_EQ(reader.position(), 0u);
    ReadResult start = reader.next_event();
    EXPECT_EQ(start.event.kind, K::Start);
    EXPECT_EQ(reader.position(), 3u);
    EXPECT_EQ(reader.next_event().event.content, "x");
    EXPECT_EQ(reader.position(), 4u);  // the '<' of </a>, already consumed
    EXPECT_EQ(reader.next_event().event.kind, K::End);
    EXPECT_EQ(reader.position(), 8u);

    XmlReader skipper("<a>x</a>", evaluation_profile());
    skipper.next_event();
    EXPECT_EQ(skipper.skip_element("a"), E::None);
    EXPECT_EQ(skipper.position(), 8u);
}

TEST(XmlReader, TagNamesAndContent) {
    XmlReader reader("<a  b=\"1\"/><c d='x>y'></c >", evaluation_profile());
    ReadResult empty = reader.next_event();
    EXPECT_EQ(empty.event.kind, K::Empty);
    EXPECT_EQ(empty.event.name(), "a");
    EXPECT_EQ(empty.event.content, "a  b=\"1\"");
    ReadResult start = reader.next_event();
    EXPECT_EQ(start.event.kind, K::Start);
    EXPECT_EQ(start.event.name(), "c");
    EXPECT_EQ(start.event.attribute_text(), " d='x>y'");
    ReadResult end = reader.next_event();
    EXPECT_EQ(end.event.kind, K::End);
    EXPECT_EQ(end.event.name(), "c");
    EXPECT_EQ(reader.next_event().event.kind, K::Eof);
}

TEST(XmlReader, EndNamesCheckedOnlyInValidationProfile) {
    EXPECT_EQ(read_all("<a></b>")[1], (Seen{K::End, "b"}));
    EXPECT_EQ(read_all("<a></b>", validation_profile())[1], (Seen{K::End, "b", E::IllFormed}));
    for (auto settings : {evaluation_profile(), validation_profile()}) {
        auto seen = read_all("</a><b/>", settings);
        EXPECT_EQ(seen[0].error, E::IllFormed);
        EXPECT_EQ(seen[1], (Seen{K::Empty, "b"}));  // reading goes on after it
    }
    ReaderSettings stray = evaluation_profile();
    stray.allow_stray_end_tags = true;
    EXPECT_EQ(read_all("</a>", stray)[0], (Seen{K::End, "a"}));
}

TEST(XmlReader, SyntaxErrorsEndTheStream) {
    for (const char* doc : {"<a><!-- x", "<a", "<a b=\"x>", "<![CDATA[x", "<?pi", "<!x>", "</a",
                            "<!DOCTYPE a", "<"}) {
        auto seen = read_all(doc);
        ASSERT_GE(seen.size(), 2u) << doc;
        EXPECT_EQ(seen[seen.size() - 2].error, E::Syntax) << doc;
        EXPECT_EQ(seen.back(), (Seen{K::Eof, ""})) << doc;
    }
    XmlReader reader("<!-- x", evaluation_profile());
    EXPECT_EQ(reader.next_event().error, E::Syntax);
    EXPECT_EQ(reader.next_event().event.kind, K::Eof);
    EXPECT_EQ(reader.next_event().event.kind, K::Eof);
}

TEST(XmlReader, DoctypeNeedsAName) {
    auto seen = read_all("<!DOCTYPE  ><a/>");
    EXPECT_EQ(seen[0].error, E::IllFormed);
    EXPECT_EQ(seen[1], (Seen{K::Empty, "a"}));
    EXPECT_EQ(read_all("<!doctype html><a/>")[0], (Seen{K::DocType, "html"}));
}

TEST(XmlReader, DeclarationNeedsSpaceOrEndAfterXml) {
    EXPECT_EQ(read_all("<?xml?>")[0].kind, K::Decl);
    EXPECT_EQ(read_all("<?xml-stylesheet a?>")[0].kind, K::PI);
    EXPECT_EQ(read_all("<?xml\tversion='1.0'?>")[0].kind, K::Decl);
}

TEST(XmlReader, TextAtTheEndAndWhiteSpaceBetweenElements) {
    auto seen = read_all("<a> <b/>\n</a>tail");
    std::vector<Seen> want = {{K::Start, "a"}, {K::Text, " "},    {K::Empty, "b"}, {K::Text, "\n"},
                              {K::End, "a"},   {K::Text, "tail"}, {K::Eof, ""}};
    EXPECT_EQ(seen, want);
}

TEST(XmlReader, SplitEmptyElementsAndTrimming) {
    ReaderSettings split = evaluation_profile();
    split.split_empty_elements = true;
    std::vector<Seen> want = {{K::Start, "a"}, {K::End, "a"}, {K::Eof, ""}};
    EXPECT_EQ(read_all("<a/>", split), want);

    ReaderSettings trim = evaluation_profile();
    trim.trim_text_front = trim.trim_text_back = true;
    std::vector<Seen> trimmed = {{K::Start, "a"}, {K::Text, "x"}, {K::End, "a"}, {K::Eof, ""}};
    EXPECT_EQ(read_all("<a>  x \n</a>  ", trim), trimmed);

    ReaderSettings untrimmed_end = evaluation_profile();
    untrimmed_end.trim_end_tag_names = false;
    EXPECT_EQ(read_all("<a></a >", untrimmed_end)[1], (Seen{K::End, "a "}));

    ReaderSettings dashes = evaluation_profile();
    dashes.check_comment_dashes = true;
    EXPECT_EQ(read_all("<!-- a -- b -->", dashes)[0].error, E::IllFormed);
    EXPECT_EQ(read_all("<!-- a -- b -->")[0].error, E::None);
}

TEST(XmlReader, SkipElementCountsNestingByName) {
    std::string doc = "<a><a><b><a/></b></a><!-- </a> --><![CDATA[</a>]]></a><c/>";
    XmlReader reader(doc, evaluation_profile());
    reader.next_event();
    EXPECT_EQ(reader.skip_element("a"), E::None);
    EXPECT_EQ(reader.position(), doc.size() - 4);
    EXPECT_EQ(reader.next_event().event.name(), "c");

    XmlReader unclosed("<a><b>", evaluation_profile());
    unclosed.next_event();
    EXPECT_EQ(unclosed.skip_element("a"), E::IllFormed);

    XmlReader broken("<a><b", evaluation_profile());
    broken.next_event();
    EXPECT_EQ(broken.skip_element("a"), E::Syntax);
}

TEST(XmlReader, ByteOrderMarksAndDetectedEncodings) {
    XmlReader bom("\xEF\xBB\xBF<a/>", evaluation_profile());
    EXPECT_EQ(bom.position(), 3u);
    ReadResult r = bom.next_event();
    EXPECT_EQ(r.event.kind, K::Empty);
    EXPECT_EQ(bom.position(), 7u);
    EXPECT_EQ(bom.encoding().source, EncodingSource::BomDetected);

    XmlReader text_first("\xEF\xBB\xBFx<a/>", evaluation_profile());
    text_first.next_event();
    EXPECT_EQ(text_first.position(), 4u);

    XmlReader le(std::string_view("\xFF\xFE<\0a\0", 6), evaluation_profile());
    le.next_event();
    EXPECT_EQ(le.encoding().encoding, Encoding::Utf16Le);
    XmlReader be(std::string_view("\0<\0?\0x", 6), evaluation_profile());
    be.next_event();
    EXPECT_EQ(be.encoding().encoding, Encoding::Utf16Be);

    XmlReader declared("<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xE9</a>",
                       evaluation_profile());
    declared.next_event();
    EXPECT_EQ(declared.encoding().source, EncodingSource::DeclDetected);
    EXPECT_EQ(declared.encoding().encoding, Encoding::Windows1252);
    declared.next_event();
    std::string text;
    append_character_data(declared.next_event().event.content, declared.encoding().encoding, text);
    EXPECT_EQ(text, "caf\xC3\xA9");

    // A label nothing here knows reads as UTF-8, and is kept for the binding.
    std::string_view unknown_text = "<?xml version='1.0' encoding='ibm855'?><a/>";
    XmlReader unknown(unknown_text, evaluation_profile());
    unknown.next_event();
    EXPECT_EQ(unknown.encoding().source, EncodingSource::BomDetected);
    EXPECT_EQ(unknown.encoding().encoding, Encoding::Utf8);
    DocumentStart start = read_document_start(unknown_text);
    EXPECT_EQ(start.unknown_label, "ibm855");
    EXPECT_EQ(unknown_text.substr(start.declaration_length), "<a/>");
    EXPECT_TRUE(
        read_document_start("<?xml version='1.0' encoding='KOI8-R'?><a/>").unknown_label.empty());
}

TEST(XmlReader, OnlyTheDocumentsStartSetsTheEncoding) {
    // A byte-order mark wins over the declaration.
    XmlReader marked("\xEF\xBB\xBF<?xml version='1.0' encoding='KOI8-R'?><a/>",
                     evaluation_profile());
    EXPECT_EQ(marked.encoding().encoding, Encoding::Utf8);
    // A declaration after the start is read as one, but changes nothing.
    XmlReader late("<a><?xml version='1.0' encoding='KOI8-R'?></a>", evaluation_profile());
    late.next_event();
    EXPECT_EQ(late.next_event().event.kind, K::Decl);
    EXPECT_EQ(late.encoding().source, EncodingSource::Implicit);
    // Bytes read one at a time are not UTF-16, whatever they declare.
    XmlReader utf16("<?xml version='1.0' encoding='UTF-16'?><a/>", evaluation_profile());
    EXPECT_EQ(utf16.encoding().encoding, Encoding::Utf8);
    // A known encoding is kept: the declaration of a str's text says nothing.
    XmlReader given("<?xml version='1.0' encoding='ISO-8859-1'?><a/>", evaluation_profile(),
                    Encoding::Utf8);
    EXPECT_EQ(given.encoding().source, EncodingSource::Given);
    EXPECT_EQ(given.encoding().encoding, Encoding::Utf8);
    // Element bytes read in their document's encoding.
    XmlReader element("<a>caf\xE9</a>", evaluation_profile(), Encoding::Windows1252);
    element.next_event();
    std::string text;
    append_character_data(element.next_event().event.content, element.encoding().encoding, text);
    EXPECT_EQ(text, "caf\xC3\xA9");
}

TEST(XmlReader, SkipLeafHandsBackTheTextOfALeaf) {
    XmlReader leaf("<r><a>x &amp; y</a><b/></r>", evaluation_profile());
    leaf.next_event();
    leaf.next_event();
    EXPECT_EQ(leaf.skip_leaf("a"), "x &amp; y");
    EXPECT_EQ(leaf.position(), 19u);  // past </a>
    EXPECT_EQ(leaf.next_event().event.kind, K::Empty);
    XmlReader empty("<a></a>", evaluation_profile());
    empty.next_event();
    EXPECT_EQ(empty.skip_leaf("a"), "");
    // Markup inside, or an end tag of another name: not a leaf, and the
    // reader stands at that markup.
    XmlReader parent("<a>x<c/></a>", evaluation_profile());
    parent.next_event();
    EXPECT_FALSE(parent.skip_leaf("a"));
    EXPECT_EQ(parent.next_event().event.kind, K::Empty);
    XmlReader other("<a>x</b>", evaluation_profile());
    other.next_event();
    EXPECT_FALSE(other.skip_leaf("a"));
}

// The tag-end search walks quotes chunk by chunk and short tags take a
// shortcut; both must find the '>' that walking the bytes one by one with the
// quote state finds, wherever the tag lies against the input's end.
TEST(ByteSearch, TagEndsAgreeWithAWalkByteByByte) {
    auto walked_end = [](const char* p, const char* end) -> const char* {
        char quote = 0;
        for (; p < end; ++p) {
            if (quote != 0) {
                if (*p == quote) quote = 0;
            } else if (*p == '>') {
                return p;
            } else if (*p == '"' || *p == '\'') {
                quote = *p;
            }
        }
        return nullptr;
    };
    const std::string pieces[] = {"a",  "b:c", " ", "\t", "\n", "=",
                                  "\"", "'",   ">", "<",  "/",  "xyzw"};
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string tag;
        std::size_t length = random() % 90;
        while (tag.size() < length) tag += pieces[random() % std::size(pieces)];
        const char* p = tag.data();
        const char* end = p + tag.size();
        const char* expected = walked_end(p, end);
        EXPECT_EQ(xml::find_tag_end(p, end), expected) << tag;
        const char* gt = nullptr;
        const char* name_end = nullptr;
        if (xml::short_tag(p, end, gt, name_end)) {
            EXPECT_EQ(gt, expected) << tag;
            EXPECT_EQ(name_end, xml::find_space(p, gt)) << tag;
        }
    }
}

TEST(CharacterData, DecodesNormalisesLineEndsAndResolvesWithoutLosingAnything) {
    std::string scratch;
    std::string_view ok = "h\xC3\xA9llo";
    EXPECT_EQ(utf8_text(ok, Encoding::Utf8, scratch).data(), ok.data());  // no copy
    EXPECT_EQ(utf8_text("a\xC3", Encoding::Utf8, scratch), "a\xEF\xBF\xBD");
    EXPECT_EQ(utf8_text("\xED\xA0\x80", Encoding::Utf8, scratch),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    std::string_view plain = "no CR";
    EXPECT_EQ(lf_line_ends(plain, scratch).data(), plain.data());
    EXPECT_EQ(lf_line_ends("a\r\nb\rc\r\r\nd\r", scratch), "a\nb\nc\n\nd\n");

    auto text = [](std::string_view raw, Encoding encoding = Encoding::Utf8) {
        std::string out;
        append_character_data(raw, encoding, out);
        return out;
    };
    // Line ends are read before references: a CR written as one stays.
    EXPECT_EQ(text("a\r\nb&#13;&#xD;c"), "a\nb\r\rc");
    EXPECT_EQ(text("Tom &amp; Jerry&nbsp;Show"), "Tom & Jerry&nbsp;Show");
    EXPECT_EQ(text("\xC1\xE2\r\n&eacute;", Encoding::Windows1251), "\xD0\x91\xD0\xB2\n&eacute;");
    // Wherever a reference, a CR or a non-ASCII byte stands in a word of
    // eight, the text is read through every stage.
    const std::string xs(20, 'x');
    EXPECT_EQ(text(xs), xs);
    for (std::size_t at = 0; at < xs.size(); ++at) {
        auto with = [&](const char* piece) { return xs.substr(0, at) + piece + xs.substr(at); };
        EXPECT_EQ(text(with("&lt;")), with("<"));
        EXPECT_EQ(text(with("\r")), with("\n"));
        EXPECT_EQ(text(with("\xFF")), with("\xEF\xBF\xBD"));
    }
    std::string cdata;
    append_cdata("&amp;\r\n\xFF", Encoding::Utf8, cdata);
    EXPECT_EQ(cdata, "&amp;\n\xEF\xBF\xBD");
}

TEST(Attributes, IteratesPairsAndErrorItems) {
    auto collect = [](std::string_view tag_text) {
        std::vector<std::string> out;
        AttributeIter it(tag_text);
        Attribute a;
        while (it.next(a))
            out.push_back(a.ok ? std::string(a.key) + "=" + std::string(a.value) : "!");
        return out;
    };
    EXPECT_EQ(collect(" a=\"1\" b = '2'\tc=\"&amp;\""),
              (std::vector<std::string>{"a=1", "b=2", "c=&amp;"}));
    EXPECT_EQ(collect(" a=\"1\" a=\"2\" b=\"3\""), (std::vector<std::string>{"a=1", "!", "b=3"}));
    EXPECT_EQ(collect(" flag b=\"3\""), (std::vector<std::string>{"!", "b=3"}));
    EXPECT_EQ(collect(" a=1 b=\"3\""), (std::vector<std::string>{"!", "b=3"}));
    EXPECT_EQ(collect(" a=\"open"), (std::vector<std::string>{"!"}));
    EXPECT_TRUE(collect("").empty());

    std::string many;
    for (int i = 0; i < 40; ++i) many += " k" + std::to_string(i) + "=\"v\"";
    many += " k7=\"again\"";
    auto items = collect(many);
    ASSERT_EQ(items.size(), 41u);
    EXPECT_EQ(items.back(), "!");
}

TEST(Unescape, ResolvesEntitiesAndCharacterReferencesAndKeepsEveryOtherAmpersand) {
    std::string scratch;
    std::string_view plain = "no entities";
    EXPECT_EQ(unescape_text(plain, scratch).data(), plain.data());

    EXPECT_EQ(unescape_text("&amp;&#65;&#x42;", scratch), "&AB");
    EXPECT_EQ(unescape_text("&lt;&gt;&apos;&quot;", scratch), "<>'\"");
    EXPECT_EQ(unescape_text("&#x1F4A9;&#233;&#0000065;", scratch),
              "\xF0\x9F\x92\xA9\xC3\xA9"
              "A");
    EXPECT_EQ(unescape_text("&#x10FFFF;", scratch), "\xF4\x8F\xBF\xBF");
    for (const char* kept : {"&#X42;", "&#0;", "&foo;", "&", "a & b", "&#;", "&#x;", "&#-1;",
                             "&#+1;", "&#xD800;", "&#x110000;", "&#99999999999;", "&AMP;", "&#1a;",
                             "&amp", "&#65", "&nbsp;&eacute;", "a&&b;"})
        EXPECT_EQ(unescape_text(kept, scratch), kept) << kept;
    EXPECT_EQ(unescape_text("& &amp; &lt &lt;", scratch), "& & &lt <");
    EXPECT_EQ(unescape_text("&#&#65;&", scratch), "&#A&");
    // Stray ampersands are read past once each: a long run costs linear time.
    std::string run(1 << 20, '&');
    EXPECT_EQ(unescape_text(run, scratch), run);
}

}  // namespace
}  // namespace quorbix::xml
