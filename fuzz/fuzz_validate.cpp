// Validation over any bytes: an answer, never a crash; a valid document
// stays valid behind a byte-order mark.
#include "engine/validate.hpp"
#include "fuzz/fuzz_input.hpp"

using namespace quorbix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::as_text(data, size);
    bool valid = engine::validate_document(input);
    if (valid && input.substr(0, 3) != "\xEF\xBB\xBF" &&
        !engine::validate_document("\xEF\xBB\xBF" + std::string(input)))
        __builtin_trap();
    return 0;
}
