// Paths answered over a document that arrives in pieces, in one pass (the
// driver of driver/pieces.hpp): the matches found so far can be taken
// between pieces, each a copy of its bytes, while the document's size
// changes nothing of what is held.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/engine_match.hpp"
#include "engine/match_scopes.hpp"
#include "engine/validate.hpp"
#include "path/compiled_path.hpp"
#include "xml/structure_check.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::engine {

class Answers;
class Machine;
class PieceDriver;

// Whether the first bytes of a document say how its text is encoded: a
// declaration at its start is read through its "?>" (or 4 KiB of it).
bool document_start_known(std::string_view first_bytes);

// Whether a streamed scan checks the document's structure, and whether its
// first problem ends the scan (the answers are then those of the bytes
// before it) or is only reported.
enum class Checking { None, Report, StopAtProblem };

class StreamedPaths {
  public:
    // `start` is what the document's first bytes say (xml::read_document_start,
    // or xml::given_document_start for a caller that transcoded them); its
    // text must be read a byte at a time (not UTF-16). `checking` says
    // whether the tags the scan sees are checked (xml::StructureCheck).
    StreamedPaths(std::vector<const path::CompiledPath*> paths, xml::DocumentStart start,
                  Checking checking);
    ~StreamedPaths();
    StreamedPaths(const StreamedPaths&) = delete;
    StreamedPaths& operator=(const StreamedPaths&) = delete;

    // Takes the next piece; false once nothing more can be found, when the
    // rest of the document need not be read.
    bool feed(std::string_view piece);
    // The document ended: the paths' counts, folds and modifiers are taken.
    void end();

    // Each path's matches, in document order, appended as they are found.
    // A path whose matches `stream` may have them taken (moved out) between
    // pieces; the others' lists are complete only after `end`, when their
    // modifiers have ordered or cut them.
    std::vector<Matches>& found() { return found_; }
    // The namespace declarations in scope around element matches, for paths
    // compiled under a mapping; the taker forgets those it took.
    MatchScopes& scopes() { return scopes_; }
    bool streams(std::size_t p) const;
    bool ended() const { return ended_; }
    // An ambiguous path stops the scan; this says which.
    const std::optional<AmbiguousPath>& error() const { return error_; }
    const xml::StructureCheck& check() const { return check_; }
    // With a check, its first problem, once found; nothing while the
    // document is well formed so far. A reference left as written for an
    // entity that could not be read in its place (by the scan, or by a read
    // of its matches since) is reported too, as a document not read in full.
    const std::optional<ValidationReport>& report() const;
    xml::Encoding encoding() const { return encoding_; }
    // The entities the document declares, once its DOCTYPE is read: the
    // elements copied out of it read them, and what they leave unread is
    // reported here.
    const std::shared_ptr<const xml::Entities>& entities() const;
    // Whether the scan ended before the document did, having found all it
    // looks for (or, checked so, a problem): the rest was not read.
    bool stopped_early() const;
    // The document's bytes held now.
    std::size_t held() const;

  private:
    std::vector<const path::CompiledPath*> paths_;
    std::vector<Matches> found_;
    MatchScopes scopes_;
    xml::Encoding encoding_;
    xml::StructureCheck check_;
    std::unique_ptr<Answers> answers_;
    std::unique_ptr<Machine> machine_;
    std::unique_ptr<PieceDriver> driver_;
    std::optional<AmbiguousPath> error_;
    mutable std::optional<ValidationReport> entities_report_;
    std::uint64_t fed_ = 0;  // the document's bytes so far
    bool ended_ = false;
};

}  // namespace quorbix::engine
