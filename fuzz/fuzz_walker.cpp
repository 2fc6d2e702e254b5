// The tag walker against the reader over any bytes: the same events at the
// same offsets with every classifier this processor runs, and the same
// validation answer as a reader-driven check (also from the report that says
// where a document fails).
#include "engine/validate.hpp"
#include "fuzz/fuzz_input.hpp"
#include "fuzz/tag_trace.hpp"

using namespace quorbix;

namespace {

// Validation as the reader alone decides it.
bool validate_by_reader(std::string_view document) {
    xml::XmlReader reader(document, xml::validation_profile());
    bool root_seen = false;
    for (;;) {
        reader.skip_text();
        xml::ReadResult r = reader.next_event();
        if (!r.ok()) return false;
        if (r.event.kind == xml::EventKind::Eof) return reader.depth() == 0 && root_seen;
        bool start = r.event.kind == xml::EventKind::Start;
        if ((start || r.event.kind == xml::EventKind::Empty) &&
            reader.depth() == (start ? 1u : 0u)) {
            if (root_seen) return false;
            root_seen = true;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::as_text(data, size);
    std::string expected = fuzz::reader_trace(input);
    bool valid = validate_by_reader(input);
    for (xml::Classifier c : {xml::Classifier::ByteWise, xml::Classifier::Sse2,
                              xml::Classifier::Avx2, xml::Classifier::Avx512}) {
        if (!xml::use_classifier(c)) continue;
        if (fuzz::walker_trace(input) != expected) __builtin_trap();
        if (engine::validate_document(input) != valid) __builtin_trap();
        if (engine::validation_report(input).valid != valid) __builtin_trap();
    }
    return 0;
}
