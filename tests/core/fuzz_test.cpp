// Random bytes and every truncation of a real document must never crash the
// reader; the sanitizer build is what turns a bad read into a failure here.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/element_text.hpp"
#include "engine/evaluator.hpp"
#include "engine/validate.hpp"
#include "path/parser.hpp"
#include "xml/attributes.hpp"
#include "xml/character_data.hpp"
#include "xml/text_encoding.hpp"
#include "xml/unescape.hpp"
#include "xml/xml_reader.hpp"

namespace quorbix::xml {
namespace {

const char* const sample =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
    "<!DOCTYPE catalog [<!ENTITY e \"x\">]>\n"
    "<catalog xmlns:p=\"urn:p\"><!-- books -->\n"
    "  <book id=\"1\" lang='de'><p:title>A &amp; B &#65;</p:title><price>10.5</price></book>\n"
    "  <book id=\"2\"><title><![CDATA[<raw>]]>\x93\xFA</title><empty/><?pi x?></book>\n"
    "</catalog>\n";

// Reads every event, touching every payload the way the evaluators do.
void drain(std::string_view doc, ReaderSettings settings) {
    XmlReader reader(doc, settings);
    std::string scratch;
    for (int steps = 0; steps < 100000; ++steps) {
        ReadResult r = reader.next_event();
        if (r.ok() && r.event.kind == EventKind::Eof) return;
        (void)reader.position();
        if (!r.ok()) continue;
        switch (r.event.kind) {
            case EventKind::Start:
                if (steps % 3 == 0) (void)reader.skip_element(r.event.name());
                [[fallthrough]];
            case EventKind::Empty: {
                AttributeIter it = attributes(r.event);
                Attribute a;
                while (it.next(a))
                    if (a.ok) (void)unescape_text(a.value, scratch);
                break;
            }
            case EventKind::Text: {
                std::string text;
                append_character_data(r.event.content, reader.encoding().encoding, text);
                break;
            }
            default:
                break;
        }
    }
    FAIL() << "the reader did not reach the end";
}

TEST(Fuzz, EveryTruncationOfARealDocument) {
    std::string doc = sample;
    for (std::size_t n = 0; n <= doc.size(); ++n) {
        std::string cut = doc.substr(0, n);  // its own allocation, so overreads are caught
        drain(cut, evaluation_profile());
        drain(cut, validation_profile());
        (void)engine::validate_document(cut);
    }
    EXPECT_TRUE(engine::validate_document(doc));
}

TEST(Fuzz, RandomBytesAndMutations) {
    std::mt19937 rng(12345);
    const std::string alphabet(
        "<>/!?-[]\"'=&;#x CDATA\xEF\xBB\xBF"
        "\0\x80"
        "ab",
        28);
    std::string doc = sample;
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        if (round % 2 == 0) {
            std::size_t length = rng() % 64;
            for (std::size_t i = 0; i < length; ++i) input += alphabet[rng() % alphabet.size()];
        } else {
            input = doc;
            for (int edits = 1 + rng() % 4; edits > 0; --edits)
                input[rng() % input.size()] = alphabet[rng() % alphabet.size()];
        }
        drain(input, evaluation_profile());
        drain(input, validation_profile());
    }
}

// Every kind of path over broken documents: the evaluator must answer, never
// crash, in both scan modes; so must the element-byte operations.
TEST(Fuzz, QueriesOverMutatedDocuments) {
    const char* paths[] = {
        "catalog.book.#.p:title",
        "catalog.book.1",
        "**.title",
        "**.book.@id",
        "catalog.book.#.#text",
        "catalog.book.#(@id==2)#.title",
        "catalog.book.#(price>5)",
        "catalog.book.#(title%'A*')#.@lang",
        "catalog.*.#(p:title.#text!='x').empty",
        "catalog.book.#(.==1)#|@sort|@unique",
        "catalog.book.#.price|@sum",
        "catalog.book|@first",
        "catalog.book.#",
        "catalog.#text",
        "@id",
        "#text",
    };
    std::vector<path::CompiledPathRef> compiled;
    for (const char* text : paths) {
        auto r = path::compile_path(text);
        ASSERT_TRUE(std::holds_alternative<path::CompiledPathRef>(r)) << text;
        compiled.push_back(std::get<path::CompiledPathRef>(r));
    }
    std::mt19937 rng(99);
    const std::string alphabet = "<>/!?-[]\"'=&;# CDATAbook";
    std::string doc = sample;
    for (int round = 0; round < 5000; ++round) {
        std::string input = doc;
        if (round > 0) {
            for (int edits = 1 + rng() % 4; edits > 0; --edits)
                input[rng() % input.size()] = alphabet[rng() % alphabet.size()];
            input.resize(rng() % (input.size() + 1));
        }
        for (const auto& path : compiled) {
            (void)engine::evaluate_path(input, xml::document_encoding(input), *path, true);
            (void)engine::evaluate_path(input, xml::document_encoding(input), *path, false);
        }
        (void)engine::item_text(input, xml::document_encoding(input), nullptr);
        (void)engine::has_child_element(input);
        (void)engine::scan_children(input);
    }
}

// Random path texts: each compiles or fails with a message, and every one
// that compiles answers over the sample and its truncations.
TEST(Fuzz, RandomPaths) {
    std::mt19937 rng(7);
    const std::string alphabet = "ab.#*?@()|\\'\"=!<>%0123 ptextbook:catalog";
    const std::vector<std::string> words = {"catalog", "book",  "#", "**", "@id",
                                            "#text",   "#(",    ")", ")#", "|@sort",
                                            "|@count", "title", "0", "=="};
    std::string doc = sample;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int n = 1 + rng() % 8; n > 0; --n) {
            if (rng() % 2)
                text += words[rng() % words.size()];
            else
                text += alphabet[rng() % alphabet.size()];
            if (rng() % 3 == 0) text += '.';
        }
        auto compiled = path::compile_path(text);
        if (auto* message = std::get_if<std::string>(&compiled)) {
            EXPECT_NE(message->find("\n  in path: "), std::string::npos) << text;
            continue;
        }
        const auto& path = *std::get<path::CompiledPathRef>(compiled);
        (void)engine::evaluate_path(doc, xml::Encoding::Utf8, path, round % 2 == 0);
        (void)engine::evaluate_path(doc.substr(0, rng() % doc.size()), xml::Encoding::Utf8, path,
                                    round % 2 == 1);
    }
}

}  // namespace
}  // namespace quorbix::xml
