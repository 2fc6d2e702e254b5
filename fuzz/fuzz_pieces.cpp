// Paths over a document fed in pieces, of a size the input's length picks
// (1 to 97 bytes): the same matches, and the same first problem at the same
// line and column, as the whole document gives; a reference left unread is
// the problem of a document well formed otherwise.
#include "engine/evaluator.hpp"
#include "engine/streamed_paths.hpp"
#include "engine/validate.hpp"
#include "fuzz/fuzz_input.hpp"
#include "xml/text_encoding.hpp"

using namespace quorbix;

namespace {

// What a scan found: each list's matches, then the check's report.
std::string answer(const std::vector<engine::Matches>& lists, const engine::ValidationReport& r) {
    std::string out;
    for (const engine::Matches& list : lists) out += fuzz::shown(list, {}) + "||";
    if (!r.valid)
        out += std::to_string(r.offset) + ":" + std::to_string(r.line) + ":" +
               std::to_string(r.column) + r.problem;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [texts, document] = fuzz::split(fuzz::as_text(data, size));
    auto [held, paths] = fuzz::compiled(texts);
    if (paths.empty()) return 0;
    xml::DocumentStart start = xml::read_document_start(document);
    if (start.encoding.encoding == xml::Encoding::Utf16Le ||
        start.encoding.encoding == xml::Encoding::Utf16Be)
        return 0;  // a stream reads them decoded by its caller
    xml::StructureCheck check;
    engine::MatchScopes scopes;
    auto whole =
        engine::evaluate_paths(document, start.encoding.encoding, paths, false, &check, &scopes);

    const std::size_t piece = 1 + size % 97;
    std::size_t first = std::min(document.size(), piece);
    while (first < document.size() && !engine::document_start_known(document.substr(0, first)))
        first = std::min(document.size(), first + piece);
    engine::StreamedPaths scan(paths, xml::read_document_start(document.substr(0, first)),
                               engine::Checking::Report);
    bool more = scan.feed(document.substr(0, first));
    for (std::size_t at = first; more && at < document.size(); at += piece)
        more = scan.feed(document.substr(at, piece));
    scan.end();

    auto* lists = std::get_if<std::vector<engine::Matches>>(&whole);
    if ((lists == nullptr) != scan.error().has_value()) __builtin_trap();
    if (lists == nullptr) return 0;
    // Both read the same texts, so they leave the same references unread.
    const xml::Encoding encoding = start.encoding.encoding;
    const engine::ValidationReport unread =
        scopes.entities() ? engine::entities_report(*scopes.entities(), document, encoding)
                          : engine::ValidationReport{};
    const engine::ValidationReport report = scan.report().value_or(engine::ValidationReport{});
    // A scan that stopped early checked less of the document than the whole
    // one: the problem it reports, if any, is only a reference left unread.
    const bool stopped = scan.stopped_early() && answer({}, report) == answer({}, unread);
    engine::ValidationReport expected =
        stopped ? unread : engine::report_of(check, document, encoding);
    if (expected.valid) expected = unread;
    if (answer(*lists, expected) != answer(scan.found(), report)) __builtin_trap();
    return 0;
}
