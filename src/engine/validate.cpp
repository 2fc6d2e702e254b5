#include "engine/validate.hpp"

#include <vector>

#include "xml/tag_walker.hpp"

namespace quorbix::engine {
namespace {

// Keeps the names of the open elements and sees that exactly one root
// element stands in the document.
class WellFormedness {
  public:
    WellFormedness() { open_.reserve(32); }

    bool tag(const xml::XmlEvent& event, std::size_t) {
        switch (event.kind) {
            case xml::EventKind::Start:
                if (open_.empty() && !take_root()) return false;
                open_.push_back(event.name());
                return true;
            case xml::EventKind::Empty:
                return !open_.empty() || take_root();
            default:  // End: it must close the innermost open element
                if (open_.empty() || !xml::same_bytes(open_.back(), event.content)) return fail();
                open_.pop_back();
                return true;
        }
    }

    // Comments, CDATA and the rest are not looked at, but must read well.
    bool markup(const xml::ReadResult& read, std::size_t) { return read.ok() || fail(); }

    bool complete() const { return valid_ && root_seen_ && open_.empty(); }

  private:
    bool take_root() {
        if (root_seen_) return fail();
        root_seen_ = true;
        return true;
    }
    bool fail() {
        valid_ = false;
        return false;
    }

    std::vector<std::string_view> open_;
    bool root_seen_ = false;
    bool valid_ = true;
};

}  // namespace

bool validate_document(std::string_view document) {
    xml::DocumentStart start = xml::read_document_start(document);
    WellFormedness check;
    xml::WalkEnd end = xml::walk_tags(document, start.mark_length, xml::validation_profile(),
                                      start.encoding, check);
    return end == xml::WalkEnd::Eof && check.complete();
}

}  // namespace quorbix::engine
