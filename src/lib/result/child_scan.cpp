#include "lib/result/child_scan.hpp"

#include "lib/document/unlocked_scan.hpp"
#include "lib/result/result.hpp"
#include "lib/support/internal_error.hpp"
#include "xml/character_data.hpp"

namespace quorbix::lib {

Expected<ChildScan> ChildScan::of(const PyItems& items, bool copy) {
    DocumentHold hold;
    return of(items, copy, hold);
}

Expected<ChildScan> ChildScan::of(const PyItems& items, bool copy, DocumentHold& hold) {
    auto mode = mode_of(items, hold);
    if (!mode.ok()) return std::move(mode.error());
    if (mode.value() != ResultMode::DictElement)
        return internal_error("DictElement mode implies element bytes are available");
    return of_element(items.front(), copy, hold);
}

Expected<ChildScan> ChildScan::of_element(const PyItem& element, bool copy, DocumentHold& hold) {
    auto bytes = element_bytes(element, hold);
    if (!bytes.ok()) return std::move(bytes.error());
    ChildScan scan;
    scan.encoding_ = bytes.value().encoding;
    // A whole document's children read the entities of its DOCTYPE.
    scan.entities_ = element.source() == PyItem::Source::WholeDocument
                         ? engine::document_entities(bytes.value().bytes, scan.encoding_)
                         : entities_of(element);
    if (copy || hold.view.held() || bytes.value().transcoded) {
        scan.copy_ = std::make_unique<std::string>(bytes.value().bytes);
        scan.element_ = *scan.copy_;
    } else {
        scan.element_ = bytes.value().bytes;  // bytes and str documents never change
    }
    auto children = scan_unlocked(hold, scan.element_.size(),
                                  [&] { return engine::scan_children(scan.element_); });
    if (!children.ok()) return std::move(children.error());
    scan.children_ = std::move(children.value());
    return scan;
}

void ChildScan::group() const {
    if (grouped_) return;
    grouped_ = true;
    std::string scratch;
    for (std::uint32_t c = 0; c < children_.size(); ++c) {
        std::string name(decoded(children_[c].name, scratch));
        auto [it, added] = group_of_.emplace(name, static_cast<std::uint32_t>(names_.size()));
        if (added) {
            names_.push_back(std::move(name));
            groups_.emplace_back();
        }
        groups_[it->second].push_back(c);
    }
}

std::string_view ChildScan::decoded(std::string_view name, std::string& scratch) const {
    return xml::utf8_name(name, encoding_, scratch);
}

std::string ChildScan::text_of(std::string_view name) const {
    std::string scratch;
    return std::string(decoded(name, scratch));
}

const std::vector<std::uint32_t>* ChildScan::group_named(std::string_view utf8) const {
    auto it = group_of_.find(std::string(utf8));
    return it == group_of_.end() ? nullptr : &groups_[it->second];
}

bool ChildScan::has_child(std::string_view utf8) const {
    if (grouped_) return group_named(utf8) != nullptr;
    std::string scratch;
    for (const engine::ChildEntry& child : children_)
        if (decoded(child.name, scratch) == utf8) return true;
    return false;
}

PyItems ChildScan::children_named(std::string_view utf8) const {
    PyItems items;
    if (grouped_) {
        if (const auto* group = group_named(utf8))
            for (std::uint32_t c : *group) items.push_back(child_item(c));
        return items;
    }
    std::string scratch;
    for (std::size_t c = 0; c < children_.size(); ++c)
        if (decoded(children_[c].name, scratch) == utf8) items.push_back(child_item(c));
    return items;
}

PyItem ChildScan::child_item(std::size_t i) const {
    const engine::ChildEntry& child = children_[i];
    return PyItem::shared_element(
        std::string(element_.substr(child.start, child.end - child.start)), encoding_, nullptr,
        entities_);
}

Expected<PyRef> ChildScan::value_of(std::size_t i) const {
    group();
    PyItems items;
    for (std::uint32_t c : groups_[i]) items.push_back(child_item(c));
    return make_result(std::move(items));
}

Expected<PyRef> ChildScan::child_result(std::size_t i) const {
    PyItems items;
    items.push_back(child_item(i));
    return make_result(std::move(items));
}

}  // namespace quorbix::lib
