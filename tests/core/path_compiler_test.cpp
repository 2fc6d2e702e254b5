#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "path/parser.hpp"
#include "path/path_cache.hpp"

namespace quorbix::path {
namespace {

// A compact rendering of a compiled path: `name` exact, `~pat` glob, `**x`
// recursive, then `.3` index, `.#` count, `.#*` each, `#(..)` / `#(..)#`
// filters; `@a`, `#text`; modifiers as `|n` by their number.
std::string render_steps(const std::vector<PathStep>& steps);

std::string render_step(const PathStep& s) {
    std::string out;
    switch (s.kind) {
        case StepKind::Attribute:
            return "@" + s.name;
        case StepKind::Text:
            return "#text";
        case StepKind::ElementGlob:
            out = "~" + s.name;
            break;
        case StepKind::ElementExact:
            out = s.name;
            break;
        case StepKind::ElementInNamespace:
            out = "{" + s.uri + "}" + (s.glob ? "~" : "") + s.name;
            break;
    }
    if (s.recursive) out.insert(0, "**");
    switch (s.selector) {
        case Selector::None:
            break;
        case Selector::Index:
            out += '.';
            out += std::to_string(s.index);
            break;
        case Selector::EachCount:
            out += ".#";
            break;
        case Selector::EachAll:
            out += ".#*";
            break;
        case Selector::FilterFirst:
        case Selector::FilterAll:
            out += "#(";
            out += render_steps(s.filter->lhs);
            out += s.selector == Selector::FilterAll ? ")#" : ")";
            break;
    }
    return out;
}

std::string render_steps(const std::vector<PathStep>& steps) {
    std::string out;
    for (const PathStep& s : steps) {
        if (!out.empty()) out += ' ';
        out += render_step(s);
    }
    return out;
}

std::string render(std::string_view text) {
    auto r = compile_path(text);
    if (auto* e = std::get_if<std::string>(&r)) return "error: " + std::string(*e);
    const CompiledPath& p = *std::get<CompiledPathRef>(r);
    std::string out = render_steps(p.steps);
    for (Modifier m : p.modifiers) {
        out += '|';
        out += std::to_string(static_cast<int>(m));
    }
    return out;
}

std::string message(std::string_view text) {
    auto r = compile_path(text);
    auto* e = std::get_if<std::string>(&r);
    return e ? *e : "compiled";
}

TEST(PathCompiler, StepsFromTheBody) {
    struct Case {
        const char* path;
        const char* steps;
    } cases[] = {
        {"a.b", "a b"},
        {"a..b", "a b"},
        {".a.b.", "a b"},
        {"items.item.#", "items item.#"},
        {"items.item.#.name", "items item.#* name"},
        {"a#b", "a#b"},
        {"**b", "**b"},
        {"**.b", "**b"},
        {".**.b", "**b"},
        {"***x", "**~*x"},
        {"a.**b.c", "a **b c"},
        {"a**b", "~a**b"},
        {"a.*", "a ~*"},
        {"a.b?", "a ~b?"},
        {"a.\\*", "a *"},
        {"a.01", "a.1"},
        {"a.+1", "a +1"},
        {"a.-1", "a -1"},
        {"a(b)", "a(b)"},
        {"a.@id", "a @id"},
        {"a.@\\*x", "a @*x"},
        {"a.#text", "a #text"},
        {"\\#text.\\@id.\\0.\\#", "#text @id 0 #"},
        {"a.b\\.c", "a b.c"},
        {"it's.a|@count", "it's a|@count"},
        {"a.18446744073709551615", "a.18446744073709551615"},
        {"a#(b==1).c", "a#(b) c"},
        {"a.#(b==1)#.c", "a#(b)# c"},
        {"a#(@id==1)", "a#(@id)"},
        {"a#(.==1)", "a#()"},
        {"a#(b=='x|y')", "a#(b)"},
        {"é.ü", "é ü"},
        {"a\\", "a"},
    };
    for (const Case& c : cases) EXPECT_EQ(render(c.path), c.steps) << c.path;
}

TEST(PathCompiler, Modifiers) {
    EXPECT_EQ(render("a|@reverse|@first|@last|@count"), "a|0|1|2|3");
    EXPECT_EQ(render("a|@sort|@sort_n|@sortn|@unique|@uniq"), "a|4|5|5|6|6");
    EXPECT_EQ(render("a|@flatten|@tostr|@sum|@mean|@avg|@min|@max"), "a|7|8|9|10|10|11|12");
    EXPECT_EQ(render("a| @count \u3000"), "a|3");
    EXPECT_EQ(render("a|@count|@count"), "a|3|3");
}

TEST(PathCompiler, FinalCapture) {
    auto capture = [](std::string_view text) {
        return std::get<CompiledPathRef>(compile_path(text))->final_capture;
    };
    EXPECT_EQ(capture("a.b"), FinalCapture::Span);
    EXPECT_EQ(capture("a.b|@count"), FinalCapture::CountOnly);
    EXPECT_EQ(capture("a.b|@count|@count"), FinalCapture::Span);
    EXPECT_EQ(capture("a.b|@sort"), FinalCapture::OwnedText);
    EXPECT_EQ(capture("a.b.0|@sort"), FinalCapture::Span);
    EXPECT_EQ(capture("a.b.#|@sort"), FinalCapture::Span);
    EXPECT_EQ(capture("a.b|@sort|@count"), FinalCapture::Span);
    EXPECT_EQ(capture("a.@b|@count"), FinalCapture::Span);
}

TEST(PathCompiler, AnswerShape) {
    auto shape = [](std::string_view text) {
        return std::get<CompiledPathRef>(compile_path(text))->answer_shape;
    };
    for (const char* list : {"a.#.b", "a.#.@id", "a.#(b>1)#", "a.#(b>1)#.c", "a.#(@k==1)#.#text",
                             "a.#.b|@sort|@reverse|@unique", "a.#.b.#", "x.#.**.b"})
        EXPECT_EQ(shape(list), AnswerShape::List) << list;
    for (const char* number : {"a.#", "a.b|@count", "a.#.b|@avg", "a.#.b|@sum", "a.#|@first",
                               "a.#.b.#|@last", "a.#.b|@first|@max"})
        EXPECT_EQ(shape(number), AnswerShape::Number) << number;
    for (const char* single : {"a", "a.b", "**.b", "a.0.b", "a.#(b>1).c", "a.#.b|@first",
                               "a.#.b|@sort|@last", "a.b|@sort"})
        EXPECT_EQ(shape(single), AnswerShape::Single) << single;
}

TEST(PathCompiler, ErrorMessagesWithCarets) {
    struct Case {
        const char* path;
        const char* message;
    } cases[] = {
        {"", "empty path\n  in path: \"\""},
        {".", "empty path\n  in path: \".\""},
        {"|@count", "empty path\n  in path: \"|@count\""},
        {"a|", "modifier name is empty\n  in path: \"a|\"\n             ^"},
        {"a|count", "modifier name is empty\n  in path: \"a|count\"\n             ^"},
        {"a|@", "modifier name is empty\n  in path: \"a|@\"\n             ^"},
        {"a|@Count", "unknown modifier: @Count\n  in path: \"a|@Count\"\n              ^"},
        {"a.@", "@ must be followed by an attribute name\n  in path: \"a.@\"\n              ^"},
        {"a.@id.b", "@attr must be the last component\n  in path: \"a.@id.b\"\n              ^"},
        {"a.#text.b",
         "#text must be the last component\n  in path: \"a.#text.b\"\n              ^"},
        {"0.a", "index without preceding name\n  in path: \"0.a\""},
        {"#.a", "# without preceding name\n  in path: \"#.a\""},
        {"#(x==1)", "# without preceding name\n  in path: \"#(x==1)\""},
        {"a.0.1", "index without preceding name\n  in path: \"a.0.1\""},
        {"**", "** must be followed by an element name\n  in path: \"**\"\n            ^"},
        {"a.**", "** must be followed by an element name\n  in path: \"a.**\"\n              ^"},
        {"**.#", "** must be followed by an element name\n  in path: \"**.#\"\n            ^"},
        {"**.@id", "** must be followed by an element name\n  in path: \"**.@id\"\n            ^"},
        {"**.**.b",
         "** must be followed by an element name\n  in path: \"**.**.b\"\n            ^"},
        {"**.a.#",
         "** does not accept an explicit selector (no index/#/filter)\n  in path: \"**.a.#\"\n"
         "            ^"},
        {"**.b.0",
         "** does not accept an explicit selector (no index/#/filter)\n  in path: \"**.b.0\"\n"
         "            ^"},
        {"a#(b==1", "unmatched ( in filter\n  in path: \"a#(b==1\"\n              ^"},
        {"a)", "unmatched ( in filter\n  in path: \"a)\"\n             ^"},
        {"a(b", "unmatched ( in filter\n  in path: \"a(b\"\n             ^"},
        {"a.99999999999999999999",
         "bad index: 99999999999999999999\n  in path: \"a.99999999999999999999\"\n"
         "              ^"},
        {"a#(@==1)",
         "@ must be followed by an attribute name\n  in path: \"a#(@==1)\"\n"
         "               ^"},
        {"a#(x)", "filter expression missing operator: x\n  in path: \"a#(x)\"\n               ^"},
        {"a#(x!y)",
         "filter expression missing operator: !y\n  in path: \"a#(x!y)\"\n"
         "                ^"},
        {"a#( ==1)", "empty path\n  in path: \"a#( ==1)\""},
        {"a#(it's==1)", "unmatched ( in filter\n  in path: \"a#(it's==1)\"\n              ^"},
        // Escapes in the quoted path shift the text, not the caret.
        {"\"q\\.a.@",
         "@ must be followed by an attribute name\n  in path: \"\\\"q\\\\.a.@\"\n"
         "                  ^"},
        {"é.@", "@ must be followed by an attribute name\n  in path: \"é.@\"\n               ^"},
        {"a\tb\x01\u0301\u00a0'.0.1",
         "index without preceding name\n  in path: \"a\\tb\\u{1}\\u{301}\\u{a0}'.0.1\""},
    };
    for (const Case& c : cases) EXPECT_EQ(message(c.path), c.message) << c.path;
}

TEST(PathCompiler, HugeAndNestedTextsCompileOrFail) {
    std::string dots(1'000'000, '.');
    EXPECT_EQ(message(dots), "empty path\n  in path: \"" + dots + "\"");
    std::string parens = std::string(100'000, '(') + std::string(100'000, ')');
    EXPECT_EQ(render(parens), parens);
    EXPECT_NE(message(std::string(100'000, '(')).find("unmatched ( in filter"), std::string::npos);
    std::string filters;
    for (int i = 0; i < 100'000; ++i) filters += "a#(";
    EXPECT_NE(message(filters).find("unmatched ( in filter"), std::string::npos);
    std::string many_filters;
    for (int i = 0; i < 100'000; ++i) many_filters += "a#(b==1).";
    EXPECT_EQ(message(many_filters), "compiled");
    std::string quoted = "c==1";
    for (int i = 0; i < 100; ++i) quoted = "'#(" + quoted + ")'==1";
    EXPECT_NE(message("a#(" + quoted + ")").find("unmatched ( in filter"), std::string::npos);
    std::string escapes;
    for (int i = 0; i < 200'000; ++i) escapes += "\\.";
    EXPECT_EQ(render(escapes), std::string(200'000, '.'));
    std::string steps;
    for (int i = 0; i < 100'000; ++i) steps += "a.";
    EXPECT_EQ(std::get<CompiledPathRef>(compile_path(steps))->steps.size(), 100'000u);
}

TEST(PathCompiler, FiltersNestAndReadQuotesAsThePathDoes) {
    EXPECT_EQ(render("a#(b#(c==1)==1)"), "a#(b#(c))");
    EXPECT_EQ(render("a#(b#(c=='=')#.d!=1)#.e"), "a#(b#(c)# d)# e");
    EXPECT_EQ(render("a#('\\''==1)"), "a#(''')");
    EXPECT_EQ(render("a#(b=='x\\'y')"), "a#(b)");
    auto value = std::get<CompiledPathRef>(compile_path("a#(b=='x\\'y')"));
    EXPECT_EQ(std::get<std::string>(value->steps[0].filter->value), "x'y");
    // The nesting cap holds for filters that really nest.
    std::string nested = "c==1";
    for (int i = 0; i < 100; ++i) nested = "b#(" + nested + ")==1";
    EXPECT_NE(message("a#(" + nested + ")").find("unmatched ( in filter"), std::string::npos);
}

TEST(PathCache, SharesCompiledPathsPerThreadAndEmptiesWhenFull) {
    auto first = std::get<CompiledPathRef>(compile_cached("cache.a"));
    auto again = std::get<CompiledPathRef>(compile_cached("cache.a"));
    EXPECT_EQ(first, again);
    EXPECT_NE(first, std::get<CompiledPathRef>(compile_cached("cache.a|@count")));

    CompiledPathRef other_thread;
    std::thread([&] {
        other_thread = std::get<CompiledPathRef>(compile_cached("cache.a"));
    }).join();
    EXPECT_NE(first, other_thread);

    std::size_t before = path_cache_size();
    EXPECT_TRUE(std::holds_alternative<std::string>(compile_cached("bad..0.1")));
    EXPECT_EQ(path_cache_size(), before);

    for (std::size_t i = 0; path_cache_size() < path_cache_capacity; ++i)
        compile_cached("fill." + std::to_string(i));
    compile_cached("one.more");
    EXPECT_EQ(path_cache_size(), 1u);
    auto recompiled = std::get<CompiledPathRef>(compile_cached("cache.a"));
    EXPECT_NE(recompiled, first);  // compiled anew; the old one lives on in `first`
    EXPECT_EQ(path_cache_size(), 2u);
    EXPECT_EQ(first->steps[1].name, "a");
}

}  // namespace
}  // namespace quorbix::path
