// What is in scope around the matches a scan found, which their bytes do not
// hold: the general entities the document declares, and the namespace
// declarations around each element, where the scan kept them (a path
// compiled under a namespace mapping). Every later read of a match (its text,
// a query relative to it, a table's cells) reads its references and names in
// them. Declarations are kept beside the matches, by where each element
// starts in the scanned bytes, so that a match stays as small as a scan
// without namespaces needs it, and a modifier that reorders matches changes
// nothing here.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/entities.hpp"

namespace quorbix::engine {

class MatchScopes {
  public:
    // The declarations, as start-tag attributes (xml::NamespaceScope), of
    // the element that starts at `start`; one text is shared by the elements
    // of one scope. Elements come mostly in document order.
    void keep(std::uint64_t start, const std::shared_ptr<const std::string>& declarations) {
        if (texts_.empty() || texts_.back() != declarations) texts_.push_back(declarations);
        sorted_ = sorted_ && (by_start_.empty() || by_start_.back().first < start);
        by_start_.emplace_back(start, static_cast<std::uint32_t>(texts_.size() - 1));
    }
    bool empty() const { return by_start_.empty(); }
    // The general entities the scanned document declares (null when it
    // declares none): every later read of its matches' texts reads them.
    const std::shared_ptr<const xml::Entities>& entities() const { return entities_; }
    void use_entities(std::shared_ptr<const xml::Entities> entities) {
        entities_ = std::move(entities);
    }
    // Those of the element at `start`: null when none are in scope there.
    std::shared_ptr<const std::string> of(std::uint64_t start) const {
        const auto* found = find(start);
        return found == nullptr ? nullptr : texts_[found->second];
    }
    std::string_view text_of(std::uint64_t start) const {
        const auto* found = find(start);
        return found == nullptr ? std::string_view() : std::string_view(*texts_[found->second]);
    }
    // Elements taken away (a stream's) need them no more: those before
    // `start` are dropped.
    void forget_before(std::uint64_t start) {
        order();
        auto first = std::lower_bound(by_start_.begin(), by_start_.end(),
                                      std::pair<std::uint64_t, std::uint32_t>{start, 0});
        by_start_.erase(by_start_.begin(), first);
        if (by_start_.empty()) texts_.clear();
    }

  private:
    using Entry = std::pair<std::uint64_t, std::uint32_t>;

    void order() const {
        if (sorted_) return;
        std::stable_sort(by_start_.begin(), by_start_.end(),
                         [](const Entry& a, const Entry& b) { return a.first < b.first; });
        sorted_ = true;
    }
    const Entry* find(std::uint64_t start) const {
        order();
        auto found =
            std::lower_bound(by_start_.begin(), by_start_.end(), start,
                             [](const Entry& entry, std::uint64_t at) { return entry.first < at; });
        return found == by_start_.end() || found->first != start ? nullptr : &*found;
    }

    std::vector<std::shared_ptr<const std::string>> texts_;
    mutable std::vector<Entry> by_start_;
    mutable bool sorted_ = true;
    std::shared_ptr<const xml::Entities> entities_;
};

}  // namespace quorbix::engine
