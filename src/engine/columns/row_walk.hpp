// A table's rows and their cells in the walk that finds the rows: the
// machine decides which elements are rows, and beside it this visitor keeps,
// for the element that may be one, what its cells read, so that no row is
// read a second time for them. What a row's cells are is the `Cells` policy's
// (row_cells.hpp): the row's attributes and children of the columns' names,
// or every attribute and leaf child by name.
//
// Rows here are the matches of a path of element steps without `**` or
// modifiers, so every row stands at one depth, the path's length, and ends
// at the first end tag at its depth (as every element does for the machine).
// A row is the element the machine matched while the tag that closed it was
// reported (or, for one left open, when the walk ended): `on_row` then hears
// of its bytes and its cells, and may stop the walk by answering false.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/columns/row_cells.hpp"
#include "engine/machine/machine.hpp"
#include "engine/name_test.hpp"
#include "path/compiled_path.hpp"

namespace quorbix::engine {

template <class Cells, class OnRow>
class RowWalk {
  public:
    // The rows are the matches `machine` adds to `rows`; the last step of
    // their path is `row_step`, and they stand at `row_depth` (the root is at
    // 1). Bytes are UTF-8, as names are compared as bytes.
    RowWalk(Machine& machine, Matches& rows, std::string_view bytes, const path::PathStep& row_step,
            std::size_t row_depth, Cells& cells, OnRow on_row)
        : machine_(machine),
          rows_(rows),
          row_step_(row_step),
          row_depth_(row_depth),
          cells_(cells),
          on_row_(on_row) {
        child_.bytes = bytes;
    }

    bool tag(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        bool go = machine_.tag(event, lt, end);
        bool row_ended = false;
        switch (event.kind) {
            case xml::EventKind::Start:
                on_start(event, lt, end);
                ++depth_;
                break;
            case xml::EventKind::Empty:
                row_ended = on_empty(event, lt, end);
                break;
            default:
                if (depth_ == 0) break;  // an end tag that closes nothing is passed over
                --depth_;
                row_ended = on_end(lt, end);
        }
        if (rows_.empty()) return go;
        bool heard = !row_ended || take_row();
        counted();
        return heard && go;
    }

    bool markup(const xml::ReadResult& read, std::size_t lt, std::size_t end) {
        child_.plain = false;  // a comment, CDATA or PI in the child: its text is read again
        bool go = machine_.markup(read, lt, end);
        if (read.event.kind == xml::EventKind::DocType)
            cells_.use_entities(machine_.shared_entities());
        return go;
    }

    // The walk ended at `at`: a row still open ends there, as does its child.
    void finish(std::size_t at) {
        machine_.finish(at);
        if (row_open_ && !stopped_ && !rows_.empty()) {
            if (child_open_) close_child(at, at);
            row_end_ = at;
            take_row();
        }
        counted();
    }

    // How many rows `on_row` heard of, and how many the machine matched: a
    // row matched at another tag than its own end is never heard of.
    std::size_t rows_taken() const { return taken_; }
    std::size_t rows_matched() const { return matched_; }

  private:
    void on_start(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        if (depth_ + 1 == row_depth_) {
            row_open_ = name_matches(row_step_, event.name());
            if (row_open_) open_row(event, lt);
        } else if (row_open_ && depth_ == row_depth_) {
            child_open_ = cells_.open_child(event);
            if (child_open_) child_ = {child_.bytes, event.name(), lt, end, 0, 0, true, true};
        } else {
            child_.leaf = child_.plain = false;  // an element inside the child
        }
    }

    // Whether the self-closing tag was a row's.
    bool on_empty(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        if (depth_ + 1 == row_depth_) {
            if (!name_matches(row_step_, event.name())) return false;
            open_row(event, lt);
            row_open_ = false;
            row_end_ = end;
            return true;
        }
        if (row_open_ && depth_ == row_depth_)
            cells_.empty_child(event);
        else
            child_.leaf = child_.plain = false;
        return false;
    }

    // Whether the end tag closed a row.
    bool on_end(std::size_t lt, std::size_t end) {
        if (!row_open_) return false;
        if (depth_ == row_depth_) {
            if (child_open_) close_child(lt, end);
            return false;
        }
        if (depth_ + 1 != row_depth_) return false;
        row_open_ = false;
        row_end_ = end;
        return true;
    }

    void open_row(const xml::XmlEvent& event, std::size_t lt) {
        row_start_ = lt;
        child_open_ = false;
        cells_.start_row(event);
    }

    void close_child(std::size_t lt, std::size_t end) {
        child_open_ = false;
        child_.lt = lt;
        child_.end = end;
        cells_.close_child(child_);
    }

    // The matches are counted and dropped as they come: the table keeps what
    // it needs of them.
    void counted() {
        matched_ += rows_.size();
        rows_.clear();
    }

    bool take_row() {
        ++taken_;
        std::string_view row(child_.bytes.data() + row_start_, row_end_ - row_start_);
        stopped_ = !on_row_(row, cells_);
        return !stopped_;
    }

    Machine& machine_;
    Matches& rows_;
    const path::PathStep& row_step_;
    std::size_t row_depth_;
    Cells& cells_;
    OnRow on_row_;
    std::size_t depth_ = 0;
    bool row_open_ = false, child_open_ = false, stopped_ = false;
    std::size_t row_start_ = 0, row_end_ = 0;
    ChildRead child_;  // the row's child being read
    std::size_t taken_ = 0, matched_ = 0;
};

}  // namespace quorbix::engine
