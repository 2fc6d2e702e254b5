// The reader and the scan alone, with no Python in the way: each question over
// a document file, best of N rounds (its paths compiled once, before them), and
// how many matches it found. Built with -DQUORBIX_BUILD_BENCH=ON;
// bench/instructions.sh counts its instructions.
//   core_bench FILE [ROUNDS] [QUESTION ...]
// A QUESTION is "validate", "read" (every event, nothing else), "none" (only
// the document read in: the baseline instruction counts subtract), a path, or
// "many:" and paths separated by ";;", answered in one pass, or "table:" and
// the rows' path then the columns' paths, separated by ";;" (as read_xml reads;
// the rows' path alone: their attributes and leaf children by name). A
// question that starts with "{PREFIX=URI,...}" compiles its paths under that
// namespace mapping: "{d=http://purl.org/dc/elements/1.1/}catalog.book.#.d:title".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "engine/evaluator.hpp"
#include "engine/records.hpp"
#include "engine/validate.hpp"
#include "path/parser.hpp"
#include "xml/text_encoding.hpp"
#include "xml/xml_reader.hpp"

namespace {

using namespace quorbix;

// The namespace mapping the question being prepared is compiled under.
std::optional<path::NamespaceMap> mapping;

// The path `text` compiled; nothing, and a message, when it is malformed.
std::optional<path::CompiledPathRef> compile_one(const std::string& text) {
    auto compiled = path::compile_path(text, mapping ? &*mapping : nullptr);
    if (auto* message = std::get_if<std::string>(&compiled)) {
        std::fprintf(stderr, "%s\n", message->c_str());
        return std::nullopt;
    }
    return std::get<path::CompiledPathRef>(compiled);
}

// The paths of `texts`, separated by ";;"; nothing when one is malformed.
std::optional<std::vector<path::CompiledPathRef>> compile_all(const std::string& texts) {
    std::vector<path::CompiledPathRef> compiled;
    for (std::size_t from = 0; from <= texts.size();) {
        std::size_t to = std::min(texts.find(";;", from), texts.size());
        auto one = compile_one(texts.substr(from, to - from));
        if (!one) return std::nullopt;
        compiled.push_back(std::move(*one));
        from = to + 2;
    }
    return compiled;
}

// A question made ready to be asked: its paths are compiled once, before the
// rounds, as a compiled path is, so that a round counts the scan alone.
struct Question {
    enum class Kind { None, Validate, Read, Path, Many, Table } kind;
    std::vector<path::CompiledPathRef> paths;
};

// "{p=URI,q=URI}" before a question: its mapping, and the question after it.
std::string read_mapping(const std::string& text) {
    mapping.reset();
    std::size_t close = text.find('}');
    if (text.empty() || text[0] != '{' || close == std::string::npos) return text;
    std::vector<std::pair<std::string, std::string>> bindings;
    for (std::size_t from = 1; from < close;) {
        std::size_t to = std::min(text.find(',', from), close);
        std::string binding = text.substr(from, to - from);
        std::size_t equals = binding.find('=');
        bindings.emplace_back(binding.substr(0, equals),
                              equals == std::string::npos ? "" : binding.substr(equals + 1));
        from = to + 1;
    }
    mapping.emplace(std::move(bindings));
    return text.substr(close + 1);
}

std::optional<Question> prepare(const std::string& asked) {
    using Kind = Question::Kind;
    std::string text = read_mapping(asked);
    if (text == "none") return Question{Kind::None, {}};
    if (text == "validate") return Question{Kind::Validate, {}};
    if (text == "read") return Question{Kind::Read, {}};
    if (text.rfind("many:", 0) == 0 || text.rfind("table:", 0) == 0) {
        auto compiled = compile_all(text.substr(text.find(':') + 1));
        if (!compiled) return std::nullopt;
        return Question{text[0] == 'm' ? Kind::Many : Kind::Table, std::move(*compiled)};
    }
    auto compiled = compile_one(text);
    if (!compiled) return std::nullopt;
    return Question{Kind::Path, {std::move(*compiled)}};
}

// Every event of the reader, nothing else done with them.
std::size_t read_events(std::string_view document) {
    xml::XmlReader reader(document, xml::evaluation_profile());
    std::size_t events = 0;
    while (true) {
        xml::ReadResult r = reader.next_event();
        if (r.ok() && r.event.kind == xml::EventKind::Eof) return events;
        ++events;
    }
}

// The paths in one pass: how many matches.
std::size_t ask_many(const Question& question, std::string_view document, xml::Encoding encoding) {
    std::vector<const path::CompiledPath*> paths;
    for (const auto& p : question.paths) paths.push_back(p.get());
    auto outcome = engine::evaluate_paths(document, encoding, paths, true);
    std::size_t found = 0;
    if (auto* lists = std::get_if<std::vector<engine::Matches>>(&outcome))
        for (const auto& list : *lists) found += list.size();
    return found;
}

// The rows of the first path, read through the others: how many cells.
std::size_t ask_table(const Question& question, std::string_view document, xml::Encoding encoding) {
    std::vector<const path::CompiledPath*> columns;
    for (std::size_t i = 1; i < question.paths.size(); ++i)
        columns.push_back(question.paths[i].get());
    auto outcome = columns.empty()
                       ? engine::read_table_of_children(document, encoding, *question.paths.front())
                       : engine::read_table(document, encoding, *question.paths.front(), columns);
    if (auto* table = std::get_if<engine::Table>(&outcome))
        return table->rows * table->columns.size();
    return 0;
}

// What one round of a question found, so that nothing is optimised away.
std::size_t ask(const Question& question, std::string_view document, xml::Encoding encoding) {
    switch (question.kind) {
        case Question::Kind::None:
            return 0;
        case Question::Kind::Validate:
            return engine::validate_document(document) ? 1 : 0;
        case Question::Kind::Read:
            return read_events(document);
        case Question::Kind::Many:
            return ask_many(question, document, encoding);
        case Question::Kind::Table:
            return ask_table(question, document, encoding);
        case Question::Kind::Path:
            break;
    }
    auto outcome = engine::evaluate_path(document, encoding, *question.paths.front(), true);
    if (auto* matches = std::get_if<engine::Matches>(&outcome)) return matches->size();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: core_bench FILE [ROUNDS] [QUESTION ...]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::string document((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<std::string> questions(argv + std::min(argc, 3), argv + argc);
    if (questions.empty())
        questions = {"read", "validate", "catalog.book.#.price", "**.tag",
                     "catalog.book.#(@lang==\"de\")#.dc:title"};
    xml::Encoding encoding = xml::document_encoding(document);
    for (const std::string& text : questions) {
        auto question = prepare(text);
        if (!question) return 2;
        double best = 1e300;
        std::size_t found = 0;
        for (int i = 0; i < rounds; ++i) {
            auto start = std::chrono::steady_clock::now();
            found = ask(*question, document, encoding);
            std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
        }
        std::printf("%-45s %10.2f ms %9.1f MB/s %10zu found\n", text.c_str(), best,
                    document.size() / best / 1e3, found);
    }
    return 0;
}
