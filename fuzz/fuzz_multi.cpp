// The multi-path evaluator over any document and paths; one path in the list
// answers as the single-path evaluator does, and so does each path among the
// others, since where an element ends never depends on the other paths (a
// path that records texts, OwnedText, answers with texts instead of elements,
// as designed).
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
    auto* together = std::get_if<std::vector<engine::Matches>>(&all);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const path::CompiledPath* p = paths[i];
        if (p->final_capture == path::FinalCapture::OwnedText) continue;
        auto one = engine::evaluate_paths(document, encoding, {p}, range_mode);
        auto single = engine::evaluate_path(document, encoding, *p, range_mode);
        if (one.index() != single.index()) __builtin_trap();
        auto* alone = std::get_if<engine::Matches>(&single);
        if (alone == nullptr) continue;
        std::string shown = fuzz::shown(*alone, document);
        if (fuzz::shown(std::get<std::vector<engine::Matches>>(one).front(), document) != shown)
            __builtin_trap();
        if (together != nullptr && fuzz::shown((*together)[i], document) != shown) __builtin_trap();
    }
    return 0;
}
