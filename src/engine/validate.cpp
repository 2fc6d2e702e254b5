#include "engine/validate.hpp"

#include <utility>
#include <vector>

#include "xml/tag_walker.hpp"

namespace quorbix::engine {
namespace {

// Keeps the names of the open elements and sees that exactly one root
// element stands in the document; the first problem stops the walk, and is
// described only when a report is asked for.
template <bool Describe>
class WellFormedness {
  public:
    WellFormedness() { open_.reserve(32); }

    bool tag(const xml::XmlEvent& event, std::size_t lt) {
        switch (event.kind) {
            case xml::EventKind::Start:
                if (open_.empty() && !take_root(event, lt)) return false;
                open_.emplace_back(event.name(), lt);
                return true;
            case xml::EventKind::Empty:
                return !open_.empty() || take_root(event, lt);
            default:  // End: it must close the innermost open element
                if (open_.empty())
                    return fail(lt, "end tag </", event.content, "> closes no open element");
                if (!xml::same_bytes(open_.back().first, event.content))
                    return fail(lt, "end tag </", event.content, "> does not close <",
                                open_.back().first, ">");
                open_.pop_back();
                return true;
        }
    }

    // Comments, CDATA and the rest are not looked at, but must read well.
    bool markup(const xml::ReadResult& read, std::size_t lt) {
        return read.ok() || fail(lt, "a malformed ", kind_name(read.event.kind), "", "", "");
    }

    bool valid() const { return valid_; }

    // After a walk that reached the end: what is missing, if anything.
    void at_end(std::size_t size) {
        if (!valid_) return;
        if (!open_.empty())
            fail(open_.back().second, "element <", open_.back().first, "> is not closed");
        else if (!root_seen_)
            fail(size, "no root element", "", "");
    }

    ValidationReport report() && { return std::move(report_); }

  private:
    static std::string_view kind_name(xml::EventKind kind) {
        return kind == xml::EventKind::DocType ? "DOCTYPE (it names no root)" : "declaration";
    }

    bool take_root(const xml::XmlEvent& event, std::size_t lt) {
        if (root_seen_) return fail(lt, "a second root element <", event.name(), ">");
        root_seen_ = true;
        return true;
    }

    bool fail(std::size_t offset, std::string_view a, std::string_view b = {},
              std::string_view c = {}, std::string_view d = {}, std::string_view e = {}) {
        valid_ = false;
        if constexpr (Describe) {
            report_.valid = false;
            report_.offset = offset;
            for (std::string_view part : {a, b, c, d, e}) report_.problem += part;
        } else {
            (void)offset, (void)a, (void)b, (void)c, (void)d, (void)e;
        }
        return false;
    }

    std::vector<std::pair<std::string_view, std::size_t>> open_;  // name, offset of its '<'
    bool root_seen_ = false;
    bool valid_ = true;
    ValidationReport report_;
};

}  // namespace

bool validate_document(std::string_view document) {
    xml::DocumentStart start = xml::read_document_start(document);
    WellFormedness<false> check;
    xml::WalkStop stop = xml::walk_tags(document, start.mark_length, xml::validation_profile(),
                                        start.encoding, check);
    if (stop.end != xml::WalkEnd::Eof) return false;
    check.at_end(document.size());
    return check.valid();
}

ValidationReport validation_report(std::string_view document) {
    xml::DocumentStart start = xml::read_document_start(document);
    WellFormedness<true> check;
    xml::WalkStop stop = xml::walk_tags(document, start.mark_length, xml::validation_profile(),
                                        start.encoding, check);
    if (stop.end == xml::WalkEnd::Syntax) {
        ValidationReport report;
        report.valid = false;
        report.offset = stop.at;
        report.problem = "markup that is not closed or not well formed";
        return report;
    }
    if (stop.end == xml::WalkEnd::Eof) check.at_end(document.size());
    return std::move(check).report();
}

}  // namespace quorbix::engine
