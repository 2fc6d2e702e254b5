#include "lib/child_scan.hpp"

#include <unordered_map>

#include "lib/internal_error.hpp"
#include "lib/result_object.hpp"
#include "xml/text_encoding.hpp"

namespace quorbix::lib {

Expected<ChildScan> ChildScan::of(const PyItems& items, bool copy) {
    auto mode = mode_of(items);
    if (!mode.ok()) return std::move(mode.error());
    if (mode.value() != ResultMode::DictElement)
        return internal_error("DictElement mode implies element bytes are available");
    return of_element(items.front(), copy);
}

Expected<ChildScan> ChildScan::of_element(const PyItem& element, bool copy) {
    DocumentHold hold;
    auto bytes = element_bytes(element, hold);
    if (!bytes.ok()) return std::move(bytes.error());
    ChildScan scan;
    scan.encoding_ = bytes.value().encoding;
    if (copy || hold.view.held() || bytes.value().transcoded) {
        scan.copy_ = std::make_unique<std::string>(bytes.value().bytes);
        scan.element_ = *scan.copy_;
    } else {
        scan.element_ = bytes.value().bytes;  // bytes and str documents never change
    }
    scan.children_ = engine::scan_children(scan.element_);
    std::unordered_map<std::string_view, std::uint32_t> group_of;
    for (std::uint32_t c = 0; c < scan.children_.size(); ++c) {
        std::string_view name = scan.children_[c].name;
        auto [it, added] = group_of.emplace(name, static_cast<std::uint32_t>(scan.names_.size()));
        if (added) {
            scan.names_.push_back(name);
            scan.groups_.emplace_back();
        }
        scan.groups_[it->second].push_back(c);
    }
    return scan;
}

std::string_view ChildScan::decoded(std::string_view name, std::string& scratch) const {
    return xml::decode_or_raw(name, encoding_, scratch);
}

Expected<std::string> ChildScan::text_of(std::string_view name) const {
    std::string scratch;
    std::string_view text = decoded(name, scratch);
    if (!xml::is_valid_utf8(text)) return internal_error("XML tag names are valid UTF-8");
    return std::string(text);
}

bool ChildScan::has_child(std::string_view utf8) const {
    std::string scratch;
    for (const engine::ChildEntry& child : children_)
        if (decoded(child.name, scratch) == utf8) return true;
    return false;
}

PyItem ChildScan::child_item(std::size_t i) const {
    const engine::ChildEntry& child = children_[i];
    return PyItem::shared_element(
        std::string(element_.substr(child.start, child.end - child.start)), encoding_);
}

Expected<PyRef> ChildScan::value_of(std::size_t i) const {
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
