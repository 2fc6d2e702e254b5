// The single-path evaluator over any document and path: range and copy mode
// give the same answer.
#include "engine/evaluator.hpp"
#include "fuzz/fuzz_input.hpp"
#include "path/parser.hpp"
#include "xml/text_encoding.hpp"

using namespace quorbix;

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
    return 0;
}
