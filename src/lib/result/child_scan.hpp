// A DictElement's children, read once: the element's bytes (a private copy or
// the document's own), its direct children and their unique names. Views and
// iterators build one at each use; values are cut out of it lazily.
#pragma once

#include <Python.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/element_text.hpp"
#include "lib/result/item.hpp"
#include "lib/support/pending_error.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::lib {

class ChildScan {
  public:
    // The children of a Result's single element, its bytes copied (`copy`)
    // when the scan must outlive the operation. An internal error when the
    // Result is no longer a DictElement.
    static Expected<ChildScan> of(const PyItems& items, bool copy);
    // The same, reading the element through the hold of an operation that
    // has read it already.
    static Expected<ChildScan> of(const PyItems& items, bool copy, DocumentHold& hold);
    // The same for a caller that has just found the Result's mode to be
    // DictElement, reading the element through the same hold.
    static Expected<ChildScan> of_element(const PyItem& element, bool copy, DocumentHold& hold);

    const std::vector<engine::ChildEntry>& children() const { return children_; }
    // The unique child names, as text: children whose names read the same
    // (two undecodable names, both U+FFFD) are one key.
    const std::vector<std::string>& names() const {
        group();
        return names_;
    }
    // A name as the document's encoding reads it, in UTF-8 (bytes that do
    // not decode read as U+FFFD). `scratch` holds the decoded text.
    std::string_view decoded(std::string_view name, std::string& scratch) const;
    // The same, as a text of its own.
    std::string text_of(std::string_view name) const;
    // Whether a child is named `utf8`, compared as text.
    bool has_child(std::string_view utf8) const;
    // Every child named `utf8`, compared as text, each copied into a buffer
    // of its own: its group once grouped, else one pass over the children.
    PyItems children_named(std::string_view utf8) const;
    // The Result of every child named `names()[i]`, each child copied into a
    // buffer of its own.
    Expected<PyRef> value_of(std::size_t i) const;
    // The one-item Result of child `i`.
    Expected<PyRef> child_result(std::size_t i) const;

    // Groups the children by name; done on first use, and before a scan
    // that threads may share is published.
    void group() const;

  private:
    PyItem child_item(std::size_t i) const;
    // The group of the children named `utf8`, once grouped; null when none is.
    const std::vector<std::uint32_t>* group_named(std::string_view utf8) const;

    std::unique_ptr<std::string> copy_;  // at a fixed address: the entries point into it
    std::string_view element_;
    xml::Encoding encoding_ = xml::Encoding::Utf8;
    std::shared_ptr<const xml::Entities> entities_;  // the document's, children read them
    std::vector<engine::ChildEntry> children_;
    // Per unique name, the indexes of its children, so that every value is
    // cut out without looking at the others.
    mutable bool grouped_ = false;
    mutable std::vector<std::string> names_;
    mutable std::vector<std::vector<std::uint32_t>> groups_;
    mutable std::unordered_map<std::string, std::uint32_t> group_of_;  // name -> its group
};

}  // namespace quorbix::lib
