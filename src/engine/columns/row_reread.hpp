// A row read again on its own, after the walk that found it: what a table
// does with rows that walk could not read beside the machine (rows of `**`
// or modifiers, documents not in UTF-8). The same cells (row_cells.hpp) hear
// of the row's tag and children, now from a walk over the row's bytes
// (reads/element_walk.hpp), so that a cell reads the same on either road.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/columns/row_cells.hpp"
#include "engine/reads/element_walk.hpp"

namespace quorbix::engine {

template <class Cells>
class RowReread : public ElementVisitor {
  public:
    RowReread(Cells& cells, xml::Encoding encoding) : cells_(cells), encoding_(encoding) {}

    // Reads the first element of `row` into the cells (none when there is none).
    void read(std::string_view row) {
        cells_.clear();
        child_open_ = false;
        bytes_ = row;
        walk_element(row, encoding_, *this);
    }

    bool start(const xml::XmlEvent& tag, std::size_t lt, std::size_t end, std::size_t depth) {
        if (depth == 0) {
            cells_.start_row(tag);
            return cells_.reads_children();
        }
        if (depth == 1) {
            child_open_ = cells_.open_child(tag);
            if (child_open_) child_ = {bytes_, tag.name(), lt, end, 0, 0, true, true, encoding_};
            stretches_ = 0;
        } else {
            child_.leaf = child_.plain = false;
        }
        return true;
    }

    bool empty(const xml::XmlEvent& tag, std::size_t, std::size_t, std::size_t depth) {
        if (depth == 0)
            cells_.start_row(tag);
        else if (depth == 1)
            cells_.empty_child(tag);
        else
            child_.leaf = child_.plain = false;
        return true;
    }

    bool end(std::size_t lt, std::size_t end, std::size_t depth) {
        if (depth != 1 || !child_open_) return true;
        child_open_ = false;
        child_.lt = lt;
        child_.end = end;
        // Nothing but text: no stretch, or one that fills the content (a
        // comment or PI splits the text, or stands where none is).
        if (child_.plain && lt != child_.content)
            child_.plain = stretches_ == 1 && stretch_ == bytes_.data() + child_.content &&
                           stretch_end_ == bytes_.data() + lt;
        cells_.close_child(child_);
        return true;
    }

    bool text(std::string_view raw, std::size_t depth) {
        if (depth != 1) return true;
        ++stretches_;
        stretch_ = raw.data();
        stretch_end_ = raw.data() + raw.size();
        return true;
    }

    bool cdata(std::string_view, std::size_t depth) {
        if (depth != 0) child_.plain = false;
        return true;
    }
    bool doctype(std::string_view, std::size_t) { return true; }  // rows hold none

  private:
    Cells& cells_;
    xml::Encoding encoding_;
    std::string_view bytes_;
    ChildRead child_;
    bool child_open_ = false;
    std::size_t stretches_ = 0;
    const char *stretch_ = nullptr, *stretch_end_ = nullptr;
};

}  // namespace quorbix::engine
