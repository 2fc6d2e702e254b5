// A walk over the bytes of one element: the first element of a byte slice,
// from its start tag to where it ends, driven by the tag walk
// (xml/tag_walker.hpp). Its visitor hears of each thing with the depth it
// stands at: the element itself at 0, its children at 1, and so on.
//
// An element ends by depth alone: an end tag closes the innermost open
// element, whatever its name, and one met before the element opens is passed
// over. Elements still open when the walk ends, at the slice's end or at
// markup it cannot read, end there: each is told an end at [at, at), `at`
// being the slice's size or the offset of that markup's '<'. Comments,
// processing instructions and DOCTYPEs are not text; CDATA is.
//
// A visitor derives from `ElementVisitor` and hides what it wants to hear:
//   start(tag, lt, end, depth)  a start tag, whose markup is [lt, end)
//   empty(tag, lt, end, depth)  a self-closing tag
//   end(lt, end, depth)         the end of the element at `depth`
//   text(raw, depth)            raw text inside the element at `depth`, as
//                               xml::append_character_data reads it; never
//                               empty, and split wherever markup stands
//   cdata(content, depth)       a CDATA section's content, as
//                               xml::append_cdata reads it
//   doctype(markup, lt)         a DOCTYPE before the element, when the bytes
//                               are a whole document
// Each returns false to stop the walk. Nothing is allocated on the way.
#pragma once

#include <cstddef>
#include <string_view>

#include "xml/scan_progress.hpp"
#include "xml/tag_walker.hpp"

namespace quorbix::engine {

struct ElementVisitor {
    bool start(const xml::XmlEvent&, std::size_t, std::size_t, std::size_t) { return true; }
    bool empty(const xml::XmlEvent&, std::size_t, std::size_t, std::size_t) { return true; }
    bool end(std::size_t, std::size_t, std::size_t) { return true; }
    bool text(std::string_view, std::size_t) { return true; }
    bool cdata(std::string_view, std::size_t) { return true; }
    bool doctype(std::string_view, std::size_t) { return true; }
};

namespace detail {

// The tag walk's visitor: keeps the depth, cuts the text between markup, and
// ends the walk once the element is whole.
template <class Visitor>
class ElementWalk {
  public:
    ElementWalk(std::string_view bytes, Visitor& visitor) : bytes_(bytes), visitor_(visitor) {}

    bool tag(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        if (!text_before(lt)) return false;
        text_from_ = end;
        if (event.kind == xml::EventKind::Start)
            return heard(visitor_.start(event, lt, end, open_++));
        if (event.kind == xml::EventKind::Empty)
            return heard(visitor_.empty(event, lt, end, open_)) && open_ != 0;
        if (open_ == 0) return true;  // an end tag before the element
        return heard(visitor_.end(lt, end, --open_)) && open_ != 0;
    }

    bool markup(const xml::ReadResult& read, std::size_t lt, std::size_t end) {
        if (!text_before(lt)) return false;
        text_from_ = end;
        if (open_ == 0 && read.event.kind == xml::EventKind::DocType)
            return heard(visitor_.doctype(bytes_.substr(lt, end - lt), lt));
        if (open_ == 0 || read.event.kind != xml::EventKind::CData) return true;
        return heard(visitor_.cdata(read.event.content, open_ - 1));
    }

    // The walk ended at `at` with elements maybe open: they end there.
    void finish(std::size_t at) {
        if (stopped_ || !text_before(at)) return;
        while (open_ != 0)
            if (!heard(visitor_.end(at, at, --open_))) return;
    }

  private:
    bool heard(bool go_on) {
        stopped_ = !go_on;
        return go_on;
    }

    bool text_before(std::size_t lt) {
        if (open_ == 0 || lt == text_from_) return true;
        return heard(visitor_.text(bytes_.substr(text_from_, lt - text_from_), open_ - 1));
    }

    std::string_view bytes_;
    Visitor& visitor_;
    std::size_t open_ = 0;       // open elements, the walked one included
    std::size_t text_from_ = 0;  // where the text after the last markup starts
    bool stopped_ = false;       // the visitor said to stop
};

}  // namespace detail

// Walks the first element in `bytes`, which are in `encoding`.
template <class Visitor>
void walk_element(std::string_view bytes, xml::Encoding encoding, Visitor& visitor) {
    const xml::DocumentStart start = xml::given_document_start(bytes, encoding);
    detail::ElementWalk<Visitor> walk(bytes, visitor);
    const xml::WalkStop stop =
        xml::walk_tags(bytes, start.mark_length, xml::evaluation_profile(), start.encoding, walk);
    if (stop.end == xml::WalkEnd::Stopped) return;
    // A walk its scan's hook stopped shows the input as ending where it
    // stood: its answer is dropped, so the rest is not read as text.
    if (bytes.size() > xml::progress_interval && !xml::go_on_scanning()) return;
    walk.finish(stop.at);
}

}  // namespace quorbix::engine
