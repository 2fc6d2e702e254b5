// The reader and the scan alone, with no Python in the way: each question over
// a document file, best of N rounds, and how many matches it found. Built with
// -DQUORBIX_BUILD_BENCH=ON; bench/instructions.sh counts its instructions.
//   core_bench FILE [ROUNDS] [QUESTION ...]
// A QUESTION is "validate", "read" (every event, nothing else), "none" (only
// the document read in: the baseline instruction counts subtract), a path, or
// "many:" and paths separated by ";;", answered in one pass, or "table:" and
// the rows' path then the columns' paths, separated by ";;" (as read_xml reads).
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

// The paths of `texts`, separated by ";;"; nothing when one is malformed.
std::optional<std::vector<path::CompiledPathRef>> compile_all(const std::string& texts) {
    std::vector<path::CompiledPathRef> compiled;
    for (std::size_t from = 0; from <= texts.size();) {
        std::size_t to = std::min(texts.find(";;", from), texts.size());
        auto one = path::compile_path(texts.substr(from, to - from));
        if (auto* message = std::get_if<std::string>(&one)) {
            std::fprintf(stderr, "%s\n", message->c_str());
            return std::nullopt;
        }
        compiled.push_back(std::get<path::CompiledPathRef>(one));
        from = to + 2;
    }
    return compiled;
}

// The paths of `texts` in one pass: how many matches.
std::size_t ask_many(const std::string& texts, std::string_view document, xml::Encoding encoding) {
    auto compiled = compile_all(texts);
    if (!compiled) return 0;
    std::vector<const path::CompiledPath*> paths;
    for (const auto& p : *compiled) paths.push_back(p.get());
    auto outcome = engine::evaluate_paths(document, encoding, paths, true);
    std::size_t found = 0;
    if (auto* lists = std::get_if<std::vector<engine::Matches>>(&outcome))
        for (const auto& list : *lists) found += list.size();
    return found;
}

// The rows of the first path of `texts`, read through the others: how many cells.
std::size_t ask_table(const std::string& texts, std::string_view document, xml::Encoding encoding) {
    auto compiled = compile_all(texts);
    if (!compiled) return 0;
    std::vector<const path::CompiledPath*> columns;
    for (std::size_t i = 1; i < compiled->size(); ++i) columns.push_back((*compiled)[i].get());
    auto outcome = engine::read_table(document, encoding, *compiled->front(), columns);
    if (auto* table = std::get_if<engine::Table>(&outcome)) return table->cells.size();
    return 0;
}

// What one run of a question found, so that nothing is optimised away.
std::size_t ask(const std::string& question, std::string_view document, xml::Encoding encoding) {
    if (question == "none") return 0;
    if (question == "validate") return engine::validate_document(document) ? 1 : 0;
    if (question == "read") {
        xml::XmlReader reader(document, xml::evaluation_profile());
        std::size_t events = 0;
        while (true) {
            xml::ReadResult r = reader.next_event();
            if (r.ok() && r.event.kind == xml::EventKind::Eof) return events;
            ++events;
        }
    }
    if (question.rfind("many:", 0) == 0) return ask_many(question.substr(5), document, encoding);
    if (question.rfind("table:", 0) == 0) return ask_table(question.substr(6), document, encoding);
    auto compiled = path::compile_path(question);
    if (auto* message = std::get_if<std::string>(&compiled)) {
        std::fprintf(stderr, "%s\n", message->c_str());
        return 0;
    }
    const auto& path = *std::get<path::CompiledPathRef>(compiled);
    auto outcome = engine::evaluate_path(document, encoding, path, true);
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
    for (const std::string& question : questions) {
        double best = 1e300;
        std::size_t found = 0;
        for (int i = 0; i < rounds; ++i) {
            auto start = std::chrono::steady_clock::now();
            found = ask(question, document, encoding);
            std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            best = std::min(best, took.count());
        }
        std::printf("%-45s %10.2f ms %9.1f MB/s %10zu found\n", question.c_str(), best,
                    document.size() / best / 1e3, found);
    }
    return 0;
}
