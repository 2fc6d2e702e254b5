// The driver of a document that arrives in pieces (from a file, a pipe, a
// decompressor): each piece is appended to the bytes held, and one walk
// reports the tags they complete. A tag, a comment or a CDATA section that
// runs past the bytes held waits, with what follows it, for the next piece;
// so does the text after the last tag. Once walked, the bytes before the
// first element the machine will read at its end are dropped: what is held
// is a piece or two and the elements being matched, whatever the
// document's size. Matches are copies (the answers' copy mode), as the
// bytes they were found in do not stay.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/machine/machine.hpp"
#include "engine/validate.hpp"
#include "xml/structure_check.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::engine {

class PieceDriver {
  public:
    // Drives `machine` (over a whole document, in copy mode) through the
    // document whose start is `start`; a `check`, when given, sees every tag
    // the machine sees. With `stop_at_problem` the scan ends at the check's
    // first problem: the machine answers from what came before it, and the
    // elements open there are no matches.
    PieceDriver(Machine& machine, xml::DocumentStart start, xml::StructureCheck* check = nullptr,
                bool stop_at_problem = false)
        : machine_(machine),
          start_(start),
          check_(check),
          stop_at_problem_(stop_at_problem && check != nullptr),
          resume_(start.mark_length) {}

    // Takes the next piece of the document; false once the machine looks
    // for nothing more (it stopped, or every path is answered), when the
    // rest need not be read.
    bool feed(std::string_view piece);
    // The document ended: what is still open ends there.
    void end();

    // Whether the scan ended before the document did: the machine had
    // nothing more to look for, or the check's first problem ended it.
    bool stopped_early() const { return stopped_early_; }
    // The bytes held now, and where they begin in the document.
    std::size_t held() const { return held_.size(); }
    std::uint64_t origin() const { return origin_; }
    // The check's first problem, placed in lines and columns as soon as it
    // was found, while its bytes were still held.
    const std::optional<ValidationReport>& report() const { return report_; }

  private:
    void walk(bool last);
    void drop_walked();
    bool cuttable(std::size_t at) const;
    // How far back from where it could drop a cut is looked for.
    static constexpr std::size_t max_cut_search = 64 * 1024;
    void place_dropped(std::size_t dropped);
    ValidationReport place_problem() const;

    Machine& machine_;
    xml::DocumentStart start_;
    xml::StructureCheck* check_;
    bool stop_at_problem_;
    std::string held_;  // the document from `origin_` on, as far as it arrived
    std::uint64_t origin_ = 0;
    std::size_t resume_;  // where in `held_` the next walk begins
    // The size `held_` must reach before the next walk: markup longer than
    // the pieces so far is walked again only once the bytes held doubled,
    // so that a long comment costs a few walks, not one per piece.
    std::size_t walk_at_ = 0;
    bool done_ = false;
    bool stopped_early_ = false;
    // With a check: where the bytes held begin in lines, and where the open
    // elements whose bytes were dropped begin (a prefix of the check's open
    // elements), so that a problem is placed wherever it lies.
    TextPlace origin_place_;
    std::vector<TextPlace> open_places_;
    std::optional<ValidationReport> report_;
};

}  // namespace quorbix::engine
