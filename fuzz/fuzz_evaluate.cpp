// The single-path evaluator over any document and path: range and copy mode
// give the same answer, and so they do under a namespace mapping, where the
// declarations kept around each element match agree too.
#include "engine/evaluator.hpp"
#include "engine/reads/declarations_around.hpp"
#include "fuzz/fuzz_input.hpp"
#include "path/parser.hpp"
#include "xml/text_encoding.hpp"

using namespace quorbix;

namespace {

void under_mapping(const std::string& text, std::string_view document, xml::Encoding encoding) {
    static const path::NamespaceMap mapping({{"a", "urn:a"}, {"b", "urn:b"}, {"", ""}});
    auto compiled = path::compile_path(text, &mapping);
    auto* path = std::get_if<path::CompiledPathRef>(&compiled);
    if (path == nullptr) return;
    engine::MatchScopes in_ranges, in_copies;
    auto ranges = engine::evaluate_path(document, encoding, **path, true, nullptr, &in_ranges);
    auto copies = engine::evaluate_path(document, encoding, **path, false, nullptr, &in_copies);
    if (ranges.index() != copies.index()) __builtin_trap();
    auto* r = std::get_if<engine::Matches>(&ranges);
    if (r == nullptr) return;
    const auto& c = std::get<engine::Matches>(copies);
    if (fuzz::shown(*r, document) != fuzz::shown(c, document)) __builtin_trap();
    for (std::size_t i = 0; i < r->size(); ++i) {
        if ((*r)[i].kind == engine::EngineMatch::Kind::ScalarText) continue;
        if (in_ranges.text_of((*r)[i].start) != in_copies.text_of(c[i].start)) __builtin_trap();
        if ((*r)[i].kind == engine::EngineMatch::Kind::ElementRange)
            (void)engine::declarations_around(document, (*r)[i].start, encoding);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [paths, document] = fuzz::split(fuzz::as_text(data, size));
    auto compiled = path::compile_path(paths.front());
    auto* path = std::get_if<path::CompiledPathRef>(&compiled);
    if (path == nullptr) return 0;
    xml::Encoding encoding = xml::document_encoding(document);
    auto ranges = engine::evaluate_path(document, encoding, **path, true);
    auto copies = engine::evaluate_path(document, encoding, **path, false);
    if (ranges.index() != copies.index()) __builtin_trap();
    if (auto* r = std::get_if<engine::Matches>(&ranges))
        if (fuzz::shown(*r, document) != fuzz::shown(std::get<engine::Matches>(copies), document))
            __builtin_trap();
    under_mapping(std::string(paths.front()), document, encoding);
    return 0;
}
