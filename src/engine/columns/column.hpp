// One column of a table as its cells arrive: their texts in UTF-8, end to
// end, with offsets, a bit per cell that says whether it holds a value, and
// the typing those texts settle. A cell without a value either had no match
// (no text) or a text pandas reads as missing (`NA`, an empty element): the
// records keep that text, the typed columns have a null. A list column holds, for each row, the
// texts of every match, its rows marking where each list ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/columns/cell_typing.hpp"

namespace quorbix::engine {

// Bits that start all set and cost nothing until one is cleared.
class Bits {
  public:
    void push(bool bit) {
        if (bit && zeros_ == 0) {
            ++size_;
            return;
        }
        if (zeros_ == 0) bytes_.assign((size_ >> 3) + 1, 0xFF);
        if ((size_ >> 3) >= bytes_.size()) bytes_.push_back(0xFF);
        if (!bit) {
            bytes_[size_ >> 3] &= static_cast<std::uint8_t>(~(1u << (size_ & 7)));
            ++zeros_;
        }
        ++size_;
    }
    bool operator[](std::size_t i) const {
        return zeros_ == 0 || (bytes_[i >> 3] >> (i & 7) & 1) != 0;
    }
    std::size_t zeros() const { return zeros_; }
    // Empty while every bit is set.
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t size_ = 0, zeros_ = 0;
};

class Column {
  public:
    explicit Column(bool lists = false) : lists_(lists) {}

    bool lists() const { return lists_; }

    // A row's cell: its text (trimmed of white space already), or none.
    void append(std::string_view text);
    void append_none(std::size_t count = 1);

    // A list column's row: `item` once per text, then `end_list`.
    void item(std::string_view text) { append_text(text); }
    void end_list() { rows_.push_back(static_cast<std::int64_t>(offsets_.size() - 1)); }

    std::size_t size() const { return lists_ ? rows_.size() - 1 : offsets_.size() - 1; }
    std::size_t nulls() const { return valid_.zeros(); }
    ColumnType type() const { return lists_ ? ColumnType::Text : typing_.type(); }

    // The i-th text (empty for none), whether there was one, and whether it
    // holds a value.
    std::string_view text(std::size_t i) const {
        return std::string_view(texts_).substr(
            static_cast<std::size_t>(offsets_[i]),
            static_cast<std::size_t>(offsets_[i + 1] - offsets_[i]));
    }
    bool has_text(std::size_t i) const { return found_[i]; }
    bool valid(std::size_t i) const { return valid_[i]; }
    // A list column's row i: its items [list_start(i), list_start(i + 1)).
    std::size_t list_start(std::size_t i) const { return static_cast<std::size_t>(rows_[i]); }

    // The buffers as Arrow lays them out: the validity bitmap (empty when
    // every cell holds a value), the offsets of the texts, the texts, and
    // the list offsets of a list column.
    const std::vector<std::uint8_t>& validity() const { return valid_.bytes(); }
    const std::vector<std::int64_t>& offsets() const { return offsets_; }
    const std::string& texts() const { return texts_; }
    const std::vector<std::int64_t>& list_offsets() const { return rows_; }

  private:
    void append_text(std::string_view text) {
        texts_.append(text);
        offsets_.push_back(static_cast<std::int64_t>(texts_.size()));
    }
    bool lists_;
    std::string texts_;
    std::vector<std::int64_t> offsets_{0};
    Bits valid_, found_;
    std::vector<std::int64_t> rows_{0};
    ColumnTyping typing_;
};

}  // namespace quorbix::engine
