// What a row's cells are, as the walk that finds the rows reads them
// (row_walk.hpp): `PlainCells` for columns of one step (an attribute of the
// row, or its first child of a name), `NamedCells` for a table without
// columns (every attribute of the row and each leaf child, by name). Each
// hears of the row's start tag, of its children's names, and of each child
// it wanted when the child ends; the caller takes the cells when the row
// proves to be one. The walk beside the machine reads UTF-8; a row read
// again (row_reread.hpp) may be in any encoding.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/columns/cell_text.hpp"
#include "engine/element_text.hpp"
#include "engine/name_test.hpp"
#include "path/compiled_path.hpp"
#include "path/namespace_map.hpp"
#include "text/white_space.hpp"
#include "xml/attribute_search.hpp"
#include "xml/attributes.hpp"
#include "xml/character_data.hpp"
#include "xml/namespace_scope.hpp"

namespace quorbix::engine {

// A child of a row, read as far as the walk saw it: its markup is
// [start, end) of `bytes`, its content [content, lt).
struct ChildRead {
    std::string_view bytes;
    std::string_view name;
    std::size_t start = 0, content = 0, lt = 0, end = 0;
    bool leaf = true;   // no element inside
    bool plain = true;  // nothing but text inside: no element, comment, CDATA or PI
    xml::Encoding encoding = xml::Encoding::Utf8;

    // The text its cell holds, trimmed (to_str() of the child), with the
    // `entities` the document declares; it may live in `scratch`.
    std::string_view text(std::string& scratch, const xml::Entities* entities) const {
        std::string_view raw(bytes.data() + content, lt - content);
        if (!plain)
            return cell_text(EngineMatch::range(start, end), bytes, encoding, scratch, entities);
        if (encoding == xml::Encoding::Utf8 && xml::text_as_written(raw))
            return text::trim_white_space(raw);
        return leaf_cell_text(raw, encoding, scratch, entities);
    }
};

// One plain column: `step` is its one step, an attribute or a child name.
struct PlainColumn {
    const path::PathStep* step;
};

// A row's cell of a plain column: its text, in the document when it reads
// as written there, else in `own`, which keeps its room from row to row.
struct FoundCell {
    bool found = false;
    std::string_view text;
    std::string own;
};

class PlainCells {
  public:
    explicit PlainCells(const std::vector<PlainColumn>& columns)
        : columns_(columns), cells_(columns.size()) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].step->kind != path::StepKind::Attribute) child_columns_.push_back(i);
        wanted_.reserve(child_columns_.size());
    }

    const std::vector<FoundCell>& cells() const { return cells_; }
    bool reads_children() const { return !child_columns_.empty(); }
    // The general entities the document declares, read in the cells.
    void use_entities(std::shared_ptr<const xml::Entities> entities) {
        entities_ = std::move(entities);
    }
    const std::shared_ptr<const xml::Entities>& entities() const { return entities_; }

    void clear() {
        for (FoundCell& cell : cells_) cell.found = false;
    }

    void start_row(const xml::XmlEvent& tag) {
        clear();
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const path::PathStep& step = *columns_[i].step;
            if (step.kind != path::StepKind::Attribute) continue;
            auto raw = xml::find_attribute(tag, step.name, xml::Encoding::Utf8);
            if (raw && xml::value_as_written(*raw)) {
                fill(i, text::trim_white_space(*raw));
            } else if (raw) {
                scratch_.clear();
                xml::append_attribute_value(*raw, xml::Encoding::Utf8, scratch_, entities_.get());
                fill(i, text::trim_white_space(scratch_));
            }
        }
    }

    // Whether a column still wants this child (its first of the name).
    [[gnu::always_inline]] bool open_child(const xml::XmlEvent& tag) {
        wanted_.clear();
        for (std::size_t i : child_columns_)
            if (wants(i, tag.name())) wanted_.push_back(i);
        return !wanted_.empty();
    }

    [[gnu::always_inline]] void empty_child(const xml::XmlEvent& tag) {
        for (std::size_t i : child_columns_)
            if (wants(i, tag.name())) fill(i, {});
    }

    void close_child(const ChildRead& child) {
        std::string_view text = child.text(scratch_, entities_.get());
        for (std::size_t i : wanted_) fill(i, text);
    }

  private:
    [[gnu::always_inline]] bool wants(std::size_t column, std::string_view name) const {
        return !cells_[column].found && name_matches(*columns_[column].step, name);
    }

    void fill(std::size_t column, std::string_view text) {
        FoundCell& cell = cells_[column];
        cell.found = true;
        bool in_scratch = !text.empty() && text.data() >= scratch_.data() &&
                          text.data() <= scratch_.data() + scratch_.size();
        if (!in_scratch) {
            cell.text = text;
            return;
        }
        cell.own.assign(text);
        cell.text = cell.own;
    }

    const std::vector<PlainColumn>& columns_;
    std::vector<FoundCell> cells_;
    std::vector<std::size_t> child_columns_;  // the columns of children, not attributes
    std::vector<std::size_t> wanted_;         // those the open child fills
    std::string scratch_;
    std::shared_ptr<const xml::Entities> entities_;
};

// A row's attributes and leaf children as (name, text) pairs, in document
// order, names as written; the table's columns by name take a later pair of
// a name over an earlier one, as pandas.read_xml does. Names and texts stay
// views into the document where they read as written there. Under a
// namespace mapping, a name in a namespace the mapping binds is written with
// the mapping's prefix (unprefixed for its empty one), so that one element
// written two ways is one column; namespace declarations are no columns.
class NamedCells {
  public:
    struct Named {
        std::string_view name, text;
        std::string own_name, own_text;  // their room, kept from row to row
    };

    explicit NamedCells(xml::Encoding encoding = xml::Encoding::Utf8,
                        const path::NamespaceMap* namespaces = nullptr)
        : encoding_(encoding), namespaces_(namespaces) {}

    // Under a mapping: the declarations in scope around the next row.
    void in_scope(std::string_view declarations) {
        if (namespaces_ != nullptr) around_ = declarations;
    }

    std::size_t size() const { return count_; }
    const Named& operator[](std::size_t i) const { return cells_[i]; }
    bool reads_children() const { return true; }
    void use_entities(std::shared_ptr<const xml::Entities> entities) {
        entities_ = std::move(entities);
    }
    const std::shared_ptr<const xml::Entities>& entities() const { return entities_; }

    void clear() { count_ = 0; }

    void start_row(const xml::XmlEvent& tag) {
        clear();
        if (namespaces_ != nullptr) {
            scope_ = xml::NamespaceScope::declared(around_);
            scope_.enter(tag, 1, encoding_);
        }
        xml::AttributeIter attributes = xml::attributes(tag);
        xml::Attribute attribute;
        while (attributes.next(attribute)) {
            if (!attribute.ok) continue;
            if (namespaces_ != nullptr && declares(attribute.key)) continue;
            Named& cell = next(attribute.key, true);
            if (encoding_ == xml::Encoding::Utf8 && xml::value_as_written(attribute.value)) {
                cell.text = text::trim_white_space(attribute.value);
                continue;
            }
            cell.own_text.clear();
            xml::append_attribute_value(attribute.value, encoding_, cell.own_text, entities_.get());
            cell.text = text::trim_white_space(cell.own_text);
        }
    }

    bool open_child(const xml::XmlEvent& tag) {
        if (namespaces_ != nullptr) scope_.enter(tag, 2, encoding_);
        return true;
    }

    void empty_child(const xml::XmlEvent& tag) {
        if (namespaces_ != nullptr) scope_.enter(tag, 2, encoding_);
        next(tag.name()).text = {};
    }

    void close_child(const ChildRead& child) {
        if (!child.leaf) return;  // an element with elements inside has no column
        Named& cell = next(child.name);
        std::string_view text = child.text(cell.own_text, entities_.get());
        cell.text = text;  // in the document, or in the cell's own room
    }

  private:
    // The next pair, its name set; a name that is not UTF-8 reads with
    // U+FFFD, in the pair's own room.
    Named& next(std::string_view raw_name, bool attribute = false) {
        if (count_ == cells_.size()) cells_.emplace_back();
        Named& cell = cells_[count_++];
        cell.name = xml::utf8_name(raw_name, encoding_, cell.own_name);
        if (namespaces_ != nullptr) cell.name = mapped(cell.name, attribute, cell.own_name);
        return cell;
    }

    static bool declares(std::string_view key) {
        return key == "xmlns" || key.starts_with("xmlns:");
    }

    // `name` with the mapping's prefix for its namespace; as written when
    // the mapping binds none (or nothing declares its prefix).
    std::string_view mapped(std::string_view name, bool attribute, std::string& room) const {
        xml::NameNamespace ns =
            attribute ? scope_.attribute_namespace(name) : scope_.element_namespace(name);
        std::string_view local = xml::local_name(name);
        if (!ns.known) return name;
        if (ns.uri.empty()) return local;
        const std::string* prefix = namespaces_->prefix_of(ns.uri);
        if (prefix == nullptr) return name;
        if (prefix->empty()) return local;
        std::string written = *prefix + ":" + std::string(local);
        room = std::move(written);
        return room;
    }

    // The first `count_` are this row's; the rest keep their room. A deque,
    // so that adding one moves none: views into their room stay good.
    std::deque<Named> cells_;
    std::size_t count_ = 0;
    xml::Encoding encoding_;
    const path::NamespaceMap* namespaces_;
    std::string_view around_;
    xml::NamespaceScope scope_;
    std::shared_ptr<const xml::Entities> entities_;
};

}  // namespace quorbix::engine
