// The multi-path evaluator over any document and paths; one path in the list
// answers as the single-path evaluator does (a path that records texts,
// OwnedText, answers with texts instead of elements, as designed).
#include "engine/evaluator.hpp"
#include "fuzz/fuzz_input.hpp"
#include "path/parser.hpp"
#include "xml/text_encoding.hpp"

using namespace quorbix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [texts, document] = fuzz::split(fuzz::as_text(data, size));
    auto [held, paths] = fuzz::compiled(texts);
    if (paths.empty()) return 0;
    xml::Encoding encoding = xml::document_encoding(document);
    bool range_mode = size % 2 == 0;
    auto all = engine::evaluate_paths(document, encoding, paths, range_mode);
    if (auto* lists = std::get_if<std::vector<engine::Matches>>(&all))
        if (lists->size() != paths.size()) __builtin_trap();
    for (const path::CompiledPath* p : paths) {
        if (p->final_capture == path::FinalCapture::OwnedText) continue;
        auto one = engine::evaluate_paths(document, encoding, {p}, range_mode);
        auto single = engine::evaluate_path(document, encoding, *p, range_mode);
        if (one.index() != single.index()) __builtin_trap();
        if (auto* lists = std::get_if<std::vector<engine::Matches>>(&one))
            if (fuzz::shown(lists->front(), document) !=
                fuzz::shown(std::get<engine::Matches>(single), document))
                __builtin_trap();
    }
    return 0;
}
