// Whether a document's tags make one tree: every end tag closes the innermost
// open element, exactly one root element stands in it, and all its markup is
// closed. The check is fed tag by tag by whoever reads the tags (a reader on
// its way through a scan, or a tag walk) and keeps only the names of the
// open elements and the first problem: its offset and the names it concerns.
// The names point into the document until `keep_names` copies them, as a
// document fed in pieces asks before it drops a piece. The problem is put in
// words only when asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml/byte_search.hpp"
#include "xml/text_encoding.hpp"
#include "xml/xml_event.hpp"

namespace quorbix::xml {

class StructureCheck {
  public:
    StructureCheck() { open_.reserve(32); }

    bool ok() const { return problem_ == Problem::None; }

    // A start tag named `name` whose '<' is at `lt`. Each tag answers whether
    // the document is still well formed; tags after the first problem change
    // nothing it says: only the first is kept.
    bool start(std::string_view name, std::size_t lt) {
        if (open_.empty() && !take_root(name, lt)) return false;
        open_.push_back({name, lt});
        return true;
    }

    // A self-closing tag.
    bool empty(std::string_view name, std::size_t lt) {
        return !open_.empty() || take_root(name, lt);
    }

    // An end tag: it must close the innermost open element.
    bool end(std::string_view name, std::size_t lt) {
        if (open_.empty()) return fail(Problem::StrayEnd, lt, name);
        if (!same_bytes(open_.back().name, name))
            return fail(Problem::MismatchedEnd, lt, name, open_.back().name);
        open_.pop_back();
        return true;
    }

    // As the visitor of a tag walk (tag_walker.hpp), which stops at the first
    // problem: a tag, and other markup, which is not looked at but must read
    // well.
    bool tag(const XmlEvent& event, std::size_t lt, std::size_t /*end*/) {
        switch (event.kind) {
            case EventKind::Start:
                return start(event.name(), lt);
            case EventKind::Empty:
                return empty(event.name(), lt);
            default:
                return end(event.content, lt);
        }
    }
    bool markup(const ReadResult& read, std::size_t lt, std::size_t /*end*/) {
        if (!read.ok()) malformed(read.event.kind, lt);
        return ok();
    }

    // Markup a reader refused at `lt`: one that is not closed or not well
    // formed (Syntax), or a comment, declaration or DOCTYPE read with an
    // error (`kind`).
    void unreadable(std::size_t lt) { fail(Problem::Unreadable, lt); }
    void malformed(EventKind kind, std::size_t lt) {
        fail(kind == EventKind::DocType ? Problem::MalformedDocType : Problem::MalformedMarkup, lt);
    }

    // The document ended after `size` bytes: whatever is still open, or a
    // document without a root element, is a problem.
    void at_end(std::size_t size) {
        if (!ok()) return;
        if (!open_.empty())
            fail(Problem::Unclosed, open_.back().lt, open_.back().name);
        else if (!root_seen_)
            fail(Problem::NoRoot, size);
    }

    // The offsets of the open elements' '<', outermost first.
    std::size_t open_elements() const { return open_.size(); }
    std::size_t open_element_at(std::size_t i) const { return open_[i].lt; }
    // Copies the open elements' names, which pointed into the bytes seen so
    // far (or into an earlier copy).
    void keep_names() {
        std::string copy;
        for (const Open& open : open_) copy.append(open.name);
        kept_names_ = std::move(copy);
        std::size_t at = 0;
        for (Open& open : open_) {
            open.name = std::string_view(kept_names_).substr(at, open.name.size());
            at += open.name.size();
        }
    }
    // Where the first problem is: the offset of the markup at fault, or the
    // document's size when it ended too soon.
    std::size_t offset() const { return offset_; }

    // The first problem in words, the names decoded from `encoding`.
    std::string message(Encoding encoding) const;

  private:
    enum class Problem : std::uint8_t {
        None,
        StrayEnd,
        MismatchedEnd,
        SecondRoot,
        Unclosed,
        NoRoot,
        MalformedMarkup,
        MalformedDocType,
        Unreadable,
    };
    struct Open {
        std::string_view name;
        std::size_t lt;
    };

    bool take_root(std::string_view name, std::size_t lt) {
        if (root_seen_) return fail(Problem::SecondRoot, lt, name);
        root_seen_ = true;
        return true;
    }
    // Keeps the first problem; answers false.
    [[gnu::cold, gnu::noinline]] bool fail(Problem problem, std::size_t offset,
                                           std::string_view name = {}, std::string_view open = {}) {
        if (!ok()) return false;
        problem_ = problem;
        offset_ = offset;
        name_ = name;
        open_name_ = open;
        return false;
    }

    std::vector<Open> open_;  // innermost last; names point into the document or `kept_names_`
    std::string kept_names_;
    bool root_seen_ = false;
    Problem problem_ = Problem::None;
    std::size_t offset_ = 0;
    std::string name_, open_name_;  // the names the problem concerns
};

// Feeds `check` the tags of `document` from `from` (in text, or at a tag's
// '<') to its end, and then its end, unless it found a problem already.
// `encoding` is what a reader of the document would be given.
void check_rest(std::string_view document, std::size_t from, TextEncoding encoding,
                StructureCheck& check);

}  // namespace quorbix::xml
