// A table's rows and the cells of its plain columns (an attribute of the
// row, or its first child of a name) in the walk that finds the rows: the
// machine decides which elements are rows, and beside it this visitor keeps,
// for the element that may be one, the cells those columns read, so that no
// row is read a second time for them.
//
// Rows here are the matches of a path of element steps without `**` or
// modifiers, so every row stands at one depth, the path's length, and ends
// at the first end tag at its depth (as every element does for the machine).
// A row is the element the machine matched while the tag that closed it was
// reported (or, for one left open, when the walk ended): `on_row` then hears
// of its bytes and its cells, and may stop the walk by answering false.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/columns/cell_text.hpp"
#include "engine/element_text.hpp"
#include "engine/machine/machine.hpp"
#include "engine/name_test.hpp"
#include "path/compiled_path.hpp"
#include "text/white_space.hpp"
#include "xml/attribute_search.hpp"
#include "xml/character_data.hpp"

namespace quorbix::engine {

// One plain column: `step` is its one step, an attribute or a child name.
struct PlainColumn {
    const path::PathStep* step;
};

// A row's cell of a plain column, as the walk found it: its text, in the
// document when it reads as written there, else in `own`.
struct FoundCell {
    bool found = false;
    std::string_view text;
    std::string own;
};

template <class OnRow>
class RowWalk {
  public:
    // The rows are the matches `machine` adds to `rows`; the last step of
    // their path is `row_step`, and they stand at `row_depth` (the root is at
    // 1). Bytes are UTF-8, as names are compared as bytes.
    RowWalk(Machine& machine, Matches& rows, std::string_view bytes, const path::PathStep& row_step,
            std::size_t row_depth, const std::vector<PlainColumn>& columns, OnRow on_row)
        : machine_(machine),
          rows_(rows),
          bytes_(bytes),
          row_step_(row_step),
          row_depth_(row_depth),
          columns_(columns),
          cells_(columns.size()),
          on_row_(on_row) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].step->kind != path::StepKind::Attribute) child_columns_.push_back(i);
        wanted_.reserve(child_columns_.size());
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
        plain_ = false;  // a comment, CDATA or PI in the child read: its text is read again
        return machine_.markup(read, lt, end);
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
            open_child(event, lt, end);
        } else {
            plain_ = false;
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
        if (row_open_ && depth_ == row_depth_) {
            for (std::size_t i : child_columns_)
                if (wants(i, event.name())) fill(i, {});
        } else {
            plain_ = false;
        }
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
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            cells_[i].found = false;
            const path::PathStep& step = *columns_[i].step;
            if (step.kind != path::StepKind::Attribute) continue;
            auto raw = xml::find_attribute(event, step.name, xml::Encoding::Utf8);
            if (raw && xml::value_as_written(*raw)) {
                fill(i, text::trim_white_space(*raw));
            } else if (raw) {
                scratch_.clear();
                xml::append_attribute_value(*raw, xml::Encoding::Utf8, scratch_);
                fill(i, text::trim_white_space(scratch_));
            }
        }
    }

    // Whether a child column still wants a child of this name: its first.
    bool wants(std::size_t column, std::string_view name) const {
        return !cells_[column].found && name_matches(*columns_[column].step, name);
    }

    void open_child(const xml::XmlEvent& event, std::size_t lt, std::size_t end) {
        wanted_.clear();
        for (std::size_t i : child_columns_)
            if (wants(i, event.name())) wanted_.push_back(i);
        child_open_ = !wanted_.empty();
        if (!child_open_) return;
        child_start_ = lt;
        content_ = end;
        plain_ = true;
    }

    // The child at [child_start_, end) ends: its text fills the cells of the
    // columns that want it.
    void close_child(std::size_t lt, std::size_t end) {
        child_open_ = false;
        std::string_view raw = bytes_.substr(content_, lt - content_), text;
        if (!plain_)
            text = cell_text(EngineMatch::range(child_start_, end), bytes_, xml::Encoding::Utf8,
                             scratch_);
        else if (xml::text_as_written(raw))
            text = text::trim_white_space(raw);
        else
            text = leaf_cell_text(raw, xml::Encoding::Utf8, scratch_);
        for (std::size_t i : wanted_) fill(i, text);
    }

    // A text in the scratch is copied to the cell's own room, which it keeps
    // from row to row: no allocation per cell.
    void fill(std::size_t column, std::string_view text) {
        FoundCell& cell = cells_[column];
        cell.found = true;
        bool in_scratch = text.data() >= scratch_.data() &&
                          text.data() <= scratch_.data() + scratch_.size() && !text.empty();
        if (!in_scratch) {
            cell.text = text;
            return;
        }
        cell.own.assign(text);
        cell.text = cell.own;
    }

    // The matches are counted and dropped as they come: the table keeps what
    // it needs of them.
    void counted() {
        matched_ += rows_.size();
        rows_.clear();
    }

    bool take_row() {
        ++taken_;
        stopped_ = !on_row_(bytes_.substr(row_start_, row_end_ - row_start_), cells_);
        return !stopped_;
    }

    Machine& machine_;
    Matches& rows_;
    std::string_view bytes_;
    const path::PathStep& row_step_;
    std::size_t row_depth_;
    const std::vector<PlainColumn>& columns_;
    std::vector<FoundCell> cells_;
    OnRow on_row_;
    std::size_t depth_ = 0;
    bool row_open_ = false, child_open_ = false, plain_ = false, stopped_ = false;
    std::size_t row_start_ = 0, row_end_ = 0, child_start_ = 0, content_ = 0;
    std::vector<std::size_t> child_columns_;  // the columns of children, not attributes
    std::vector<std::size_t> wanted_;         // those the open child fills
    std::string scratch_;
    std::size_t taken_ = 0, matched_ = 0;
};

}  // namespace quorbix::engine
