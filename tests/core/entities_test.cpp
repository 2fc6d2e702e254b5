#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "xml/character_data.hpp"
#include "xml/entities.hpp"
#include "xml/unescape.hpp"

namespace quorbix::xml {
namespace {

std::shared_ptr<const Entities> declare(std::string_view subset, std::uint64_t size = 1000) {
    return Entities::declared("<!DOCTYPE doc [" + std::string(subset) + "]>", size);
}

// `text` as a document declaring `subset` reads it.
std::string read(std::string_view subset, std::string_view text) {
    auto entities = declare(subset);
    std::string out;
    append_character_data(text, Encoding::Utf8, out, entities.get());
    return out;
}

TEST(EntitiesDeclared, NestedReferencesExpandAtUseWhateverTheOrder) {
    // "b" names "c" before it is declared: references in literals are read at use.
    std::string_view subset = R"(<!ENTITY a "[&b;|&b;]"> <!ENTITY b "&c;&c;"> <!ENTITY c 'x'>)";
    EXPECT_EQ(read(subset, "&a; &c;"), "[xx|xx] x");
    EXPECT_EQ(read(subset, "&a &undeclared; &a;;&#x41;"), "&a &undeclared; [xx|xx];A");
    EXPECT_EQ(read(R"(<!ENTITY a "1&u;2">)", "&a;"), "1&u;2");  // undeclared inside stays
}

TEST(EntitiesDeclared, FirstDeclarationBindsAndPredefinedKeepTheirMeaning) {
    std::string_view subset = R"(<!ENTITY e "first"><!ENTITY e "second"><!ENTITY lt "LT">
                                 <!ENTITY amp "AMP"><!ENTITY x SYSTEM "x.xml"><!ENTITY x "inner">)";
    EXPECT_EQ(read(subset, "&e; &lt; &amp; &x;"), "first < & &x;");
}

TEST(EntitiesDeclared, LiteralsAsXmlReadsThem) {
    // Character references become characters when declared, so "&#38;#60;"
    // leaves "&#60;", read at use as the character '<'; "&#60;" leaves
    // markup. Line ends in the literal read as LF; "&#13;" stays a CR.
    std::string_view subset =
        "<!ENTITY r \"a&#38;#60;b&#xE9;&lt;\"><!ENTITY m \"&#60;i/>\">"
        "<!ENTITY n 'one\r\ntwo\rthree&#13;'>";
    EXPECT_EQ(read(subset, "&r;|&n;"), "a<b\xC3\xA9<|one\ntwo\nthree\r");
    auto entities = declare(subset);
    std::string out;
    EXPECT_FALSE(entities->fell_short());
    EXPECT_FALSE(entities->expand("m", out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(entities->fell_short());
    std::string at = "\"m\" declared at byte " + std::to_string(15 + subset.find("<!ENTITY m"));
    EXPECT_NE(entities->problem()->find(at), std::string::npos) << *entities->problem();
}

TEST(EntitiesDeclared, MarkupAnywhereInsideRefusesTheWhole) {
    auto entities = declare(R"(<!ENTITY outer "a&inner;b"><!ENTITY inner "<b>bold</b>">)");
    std::string out;
    EXPECT_FALSE(entities->expand("outer", out));
    EXPECT_FALSE(entities->expand("inner", out));
    EXPECT_EQ(out, "");
}

TEST(EntitiesDeclared, CyclesNeverExpand) {
    auto entities = declare(R"(<!ENTITY self "x&self;"> <!ENTITY a "&b;"> <!ENTITY b "y&c;">
                               <!ENTITY c "&a;"> <!ENTITY into "z&b;"> <!ENTITY fine "ok">)");
    std::string out;
    for (const char* name : {"self", "a", "b", "c", "into"}) {
        EXPECT_FALSE(entities->expand(name, out)) << name;
        EXPECT_EQ(out, "") << name;
    }
    EXPECT_TRUE(entities->expand("fine", out));
    EXPECT_EQ(out, "ok");
    EXPECT_TRUE(entities->fell_short());
    std::string problem = entities->problem().value();
    EXPECT_NE(problem.find("\"self\""), std::string::npos) << problem;
    EXPECT_NE(problem.find("without end"), std::string::npos) << problem;
}

TEST(EntitiesDeclared, ExternalAndUnparsedStayAsWrittenWithoutFallingShort) {
    std::string_view subset = R"(<!ENTITY s SYSTEM "s.xml"> <!ENTITY p PUBLIC "-//x" "p.xml">
                                 <!ENTITY n SYSTEM "pic.png" NDATA png> <!ENTITY v "&s;+&n;">)";
    auto entities = declare(subset);
    EXPECT_EQ(read(subset, "&s;&p;&n;&v;"), "&s;&p;&n;&s;+&n;");
    std::string out;
    EXPECT_FALSE(entities->expand("s", out));
    EXPECT_FALSE(entities->fell_short());
    EXPECT_EQ(declare(R"(<!ENTITY s SYSTEM "s.xml">)"), nullptr);  // nothing to expand
}

TEST(EntitiesDeclared, ParameterEntitiesAreNotRead) {
    // A literal keeps "%p;"; after a reference to a parameter entity, which
    // might declare anything, later declarations are not taken on trust.
    std::string_view subset = R"(<!ENTITY % p "<!ENTITY q 'from p'>"> <!ENTITY e "[%p;]">
                                 %p; <!ENTITY late "late">)";
    EXPECT_EQ(read(subset, "&e;&q;&p;&late;"), "[%p;]&q;&p;&late;");
}

TEST(EntitiesDeclared, SubsetIsReadByXmlGrammar) {
    std::string_view subset = R"(
        <!-- <!ENTITY c "in a comment"> ]> -->
        <?pi <!ENTITY pi "in a PI"> ]> ?>
        <!ATTLIST doc a CDATA "]>"> <!ELEMENT doc ANY>
        <!ENTITY g "x>]y'"> <!ENTITY h '"]>"'>)";
    EXPECT_EQ(read(subset, "&c;&pi;&g;&h;"), "&c;&pi;x>]y'\"]>\"");
    // The external identifier's literal may hold '[' and '>'.
    auto entities = Entities::declared(R"(<!DOCTYPE d SYSTEM "a[>" [<!ENTITY e "E">]>)", 0);
    std::string out;
    ASSERT_NE(entities, nullptr);
    EXPECT_TRUE(entities->expand("e", out));
    EXPECT_EQ(Entities::declared(R"(<!DOCTYPE d SYSTEM "[<!ENTITY e 'E'>]">)", 0), nullptr);
    EXPECT_EQ(Entities::declared("<!DOCTYPE d [<!ENTITY e 'unclosed>]>", 0), nullptr);
}

TEST(EntitiesInAttributeValues, ReplacementWhiteSpaceReadsAsSpaces) {
    // White space written in the literal (a "&#10;" in it is now written
    // there) reads as spaces; a reference read at use ("&#38;#9;") is kept.
    auto entities = declare("<!ENTITY w \"a\tb\nc&#10;d&#38;#9;e\">");
    std::string value, text;
    append_attribute_value("[&w;]\t", Encoding::Utf8, value, entities.get());
    append_character_data("[&w;]", Encoding::Utf8, text, entities.get());
    EXPECT_EQ(value, "[a b c d\te] ");
    EXPECT_EQ(text, "[a\tb\nc\nd\te]");
}

TEST(EntitiesInAttributeValues, WithoutEntitiesReferencesReadAsBefore) {
    std::string text, value, unescaped;
    append_character_data("&e; &amp; &#65;", Encoding::Utf8, text);
    append_attribute_value("&e;\t&lt;", Encoding::Utf8, value, nullptr);
    append_unescaped("&e;&gt;", unescaped);
    EXPECT_EQ(text, "&e; & A");
    EXPECT_EQ(value, "&e; <");
    EXPECT_EQ(unescaped, "&e;>");
}

// Ten entities of ten references each: lol9 would expand to 3 GB.
std::string billion_laughs() {
    std::string subset = R"(<!ENTITY lol0 "lol">)";
    for (int level = 1; level < 10; ++level) {
        subset += "<!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) subset += "&lol" + std::to_string(level - 1) + ";";
        subset += "\">";
    }
    return subset;
}

TEST(EntitiesBound, BillionLaughsCostsNothing) {
    auto started = std::chrono::steady_clock::now();
    auto entities = declare(billion_laughs());
    std::string out;
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(entities->expand("lol9", out));
    EXPECT_EQ(out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_TRUE(entities->fell_short());
    EXPECT_NE(entities->problem()->find("\"lol9\""), std::string::npos);
    EXPECT_TRUE(entities->expand("lol6", out));  // refusals spent nothing
    EXPECT_EQ(out.size(), 3'000'000u);
    // Before any reference, the first declaration too large alone: lol7,
    // 30 MB, past 8 MiB.
    EXPECT_NE(declare(billion_laughs())->problem()->find("\"lol7\" declared"), std::string::npos);
}

TEST(EntitiesBound, ManyReferencesToALargeEntityStopAtTheBudget) {
    // A 100 KB entity referenced 100,000 times in a document of about 700 KB.
    std::string subset = "<!ENTITY big \"" + std::string(100'000, 'x') + "\">";
    constexpr int references = 100'000;
    auto entities = declare(subset, subset.size() + references * 6);
    std::uint64_t written = 0;
    int expanded = 0;
    std::string out;
    for (int i = 0; i < references; ++i, out.clear())
        if (entities->expand("big", out)) written += out.size(), ++expanded;
    EXPECT_LE(written, entities->budget());
    EXPECT_GT(written, entities->budget() - 100'000);
    EXPECT_EQ(written, expanded * 100'000ull);
    EXPECT_TRUE(entities->fell_short());
    EXPECT_NE(entities->problem()->find("would have passed"), std::string::npos);
}

TEST(EntitiesBound, EachReadingHasABudgetOfItsOwnAndTellsTheDocument) {
    auto document = declare("<!ENTITY big \"" + std::string(1 << 20, 'x') + "\">", 0);
    for (int read = 0; read < 3; ++read) {
        auto reading = Entities::reading(document);
        std::string out;
        int expanded = 0;
        for (int i = 0; i < 10; ++i, out.clear()) expanded += reading->expand("big", out);
        EXPECT_EQ(expanded, 8);  // 8 MiB a reading, however many came before
        EXPECT_TRUE(reading->fell_short());
    }
    EXPECT_TRUE(document->fell_short());
    EXPECT_NE(document->problem()->find("would have passed"), std::string::npos);
}

TEST(EntitiesBound, ThreadsShareOneBudget) {
    auto entities = declare("<!ENTITY big \"" + std::string(1 << 20, 'x') + "\">", 0);
    std::uint64_t written[2] = {0, 0};
    auto expand_all = [&](std::uint64_t& total) {
        std::string out;
        for (int i = 0; i < 20; ++i, out.clear())
            if (entities->expand("big", out)) total += out.size();
    };
    std::thread other(expand_all, std::ref(written[1]));
    expand_all(written[0]);
    other.join();
    EXPECT_EQ(written[0] + written[1], 8u << 20);  // eight whole expansions fit in 8 MiB
}

}  // namespace
}  // namespace quorbix::xml
