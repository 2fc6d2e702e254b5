// Validation over any bytes: an answer, never a crash; a valid document
// stays valid behind a byte-order mark; a scan that checks the document as it
// answers a path finds the problem validation finds.
#include "engine/evaluator.hpp"
#include "engine/validate.hpp"
#include "fuzz/fuzz_input.hpp"
#include "path/parser.hpp"

using namespace quorbix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::as_text(data, size);
    bool valid = engine::validate_document(input);
    if (valid && input.substr(0, 3) != "\xEF\xBB\xBF" &&
        !engine::validate_document("\xEF\xBB\xBF" + std::string(input)))
        __builtin_trap();
    static const path::CompiledPathRef rows =
        std::get<path::CompiledPathRef>(path::compile_path("*.a"));
    xml::StructureCheck check;
    xml::Encoding encoding = xml::document_encoding(input);
    if (std::holds_alternative<engine::Matches>(
            engine::evaluate_path(input, encoding, *rows, true, &check))) {
        engine::ValidationReport scanned = engine::report_of(check, input, encoding);
        engine::ValidationReport walked = engine::validation_report(input);
        if (scanned.valid != walked.valid || scanned.offset != walked.offset ||
            scanned.problem != walked.problem)
            __builtin_trap();
    }
    return 0;
}
