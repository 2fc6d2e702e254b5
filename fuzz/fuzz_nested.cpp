// The reads of a matched element: its children, its text, whether it has a
// child, and queries relative to it (one path and many), in any encoding.
#include "engine/element_text.hpp"
#include "engine/evaluator.hpp"
#include "fuzz/fuzz_input.hpp"
#include "path/parser.hpp"

using namespace quorbix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    xml::Encoding encoding = fuzz::encoding_of(data[0]);
    auto [texts, element] = fuzz::split(fuzz::as_text(data + 1, size - 1));
    for (const engine::ChildEntry& child : engine::scan_children(element))
        if (child.start > child.end || child.end > element.size()) __builtin_trap();
    (void)engine::item_text(element, encoding, nullptr);
    (void)engine::has_child_element(element);
    auto [held, paths] = fuzz::compiled(texts);
    for (const path::CompiledPath* p : paths)
        (void)engine::evaluate_path_in_element(element, encoding, *p);
    if (!paths.empty()) (void)engine::evaluate_paths_in_element(element, encoding, paths);
    return 0;
}
