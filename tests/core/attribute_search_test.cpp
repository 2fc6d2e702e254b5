#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>

#include "xml/attribute_search.hpp"

namespace quorbix::xml {
namespace {

XmlEvent tag_of(const std::string& content) {
    XmlEvent tag;
    tag.kind = EventKind::Empty;
    tag.content = content;
    tag.name_length = 1;  // every tag here is "t" and its attributes
    return tag;
}

std::optional<std::string> found(const std::string& attributes, std::string_view name,
                                 Encoding encoding = Encoding::Utf8) {
    std::string content = "t" + attributes;
    auto value = find_attribute(tag_of(content), name, encoding);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

TEST(AttributeSearch, FindsTheWholeKeyElseThePrefixedOneOutsideValues) {
    EXPECT_EQ(found(" xid=\"1\" id2=\"2\" id=\"3\"", "id"), "3");
    EXPECT_EQ(found(" a:id=\"1\" id=\"2\"", "id"), "2");
    EXPECT_EQ(found(" a:id=\"1\" b:id=\"2\"", "id"), "1");
    EXPECT_EQ(found(" id=\"0\" a:id=\"1\"", "a:id"), "1");
    EXPECT_EQ(found(" b:id=\"1\"", "a:id"), std::nullopt);
    EXPECT_EQ(found(" t=\"id='x' > id=\" id='4'", "id"), "4");
    EXPECT_EQ(found(" a=\"1\"id=\"2\"", "id"), "2");
    EXPECT_EQ(found("\tid\n=\r\n'x'", "id"), "x");
    EXPECT_EQ(found(" id='1' id='2'", "id"), "1");
    EXPECT_EQ(found(" idx=\"1\" x:idx=\"2\"", "id"), std::nullopt);
    // Malformed lists read as the attributes are read in turn.
    EXPECT_EQ(found(" a=b id=\"2\"", "id"), "2");
    EXPECT_EQ(found(" a\"id=\"1\" id=\"2\"", "id"), "2");
    EXPECT_EQ(found(" id id=\"2\"", "id"), "2");
    EXPECT_EQ(found(" a=\"x id=\"1\"", "id"), std::nullopt);
    EXPECT_EQ(found(" id=\"open", "id"), std::nullopt);
    // Keys are read in the document's encoding.
    EXPECT_EQ(found(" \xE9:id=\"1\"", "id", Encoding::Windows1252), "1");
    EXPECT_EQ(found(" \xE9=\"1\"", "\xC3\xA9", Encoding::Windows1252), "1");
    EXPECT_EQ(found(" \xFF=\"1\"", "\xEF\xBF\xBD"), "1");
}

// A random attribute list, mostly well-formed, built from keys that hold or
// end in the names asked for, values that hold them and '=', '>' and the
// other quote, white space of every kind, and now and then a malformed part.
std::string random_attributes(std::mt19937& rng) {
    static const char* const keys[] = {"id",  "xid", "id2", "a:id", "b:id", "a:b:id",  ":id",
                                       "id:", "i",   "d",   "ID",   "x",    "\xE9:id", "\xFF"};
    static const char* const spaces[] = {" ", "  ", "\t", "\n", "\r\n", ""};
    static const char* const values[] = {"",    "v",        "id", "id=", " id=\"1\" ",
                                         "a>b", "x:id='y'", "=",  "\xE9"};
    static const char* const broken[] = {"\"", "'", "=", "id", " id", "=id", "= \"", ">", ""};
    auto pick = [&rng](const auto& list) { return std::string(list[rng() % std::size(list)]); };
    std::string text;
    for (int n = static_cast<int>(rng() % 6); n > 0; --n) {
        text += pick(spaces) + (rng() % 4 == 0 ? " " : "");
        if (rng() % 10 == 0) text += pick(broken);
        text += pick(keys);
        if (rng() % 12 == 0) continue;  // no value
        text += pick(spaces) + "=" + pick(spaces);
        char quote = rng() % 2 == 0 ? '"' : '\'';
        std::string value = pick(values);
        if (rng() % 3 == 0) value += quote == '"' ? "'" : "\"";
        if (rng() % 15 == 0)
            text += value;  // unquoted
        else
            text += quote + value + (rng() % 25 == 0 ? "" : std::string(1, quote));
    }
    if (rng() % 8 == 0) text += pick(broken);
    return text;
}

TEST(AttributeSearch, AnswersAsReadingTheAttributesInTurn) {
    std::mt19937 rng(2024);
    const char* const names[] = {"id", "a:id", ":id", "i", "d", "id2", "x", "\xC3\xA9", "\xE9"};
    const Encoding encodings[] = {Encoding::Utf8, Encoding::Windows1252, Encoding::ShiftJis};
    // Where each answer stands in the tag, so that the same attribute is found.
    auto place = [](const std::string& content, std::optional<std::string_view> value) {
        if (!value) return std::pair<long, long>(-1, -1);
        return std::pair<long, long>(value->data() - content.data(), value->size());
    };
    for (int i = 0; i < 20000; ++i) {
        std::string content = "t";
        content += random_attributes(rng);
        XmlEvent tag = tag_of(content);
        for (const char* name : names)
            for (Encoding encoding : encodings)
                ASSERT_EQ(place(content, find_attribute(tag, name, encoding)),
                          place(content, find_attribute_in_order(tag, name, encoding)))
                    << "name " << name << " in <" << content << ">, encoding "
                    << static_cast<int>(encoding);
    }
}

}  // namespace
}  // namespace quorbix::xml
