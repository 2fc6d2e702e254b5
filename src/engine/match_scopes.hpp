// The namespace declarations in scope around the elements a scan found,
// where the scan kept them (a path compiled under a namespace mapping): every
// later read of such an element (a query relative to it, a table's cells)
// reads its names in them. Kept beside the matches, by where each element
// starts in the scanned bytes, so that a match stays as small as a scan
// without namespaces needs it, and a modifier that reorders matches changes
// nothing here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorbix::engine {

class MatchScopes {
  public:
    // The declarations, as start-tag attributes (xml::NamespaceScope), of
    // the element that starts at `start`; one text is shared by the elements
    // of one scope.
    void keep(std::uint64_t start, std::shared_ptr<const std::string> declarations) {
        by_start_.insert_or_assign(start, std::move(declarations));
    }
    // Those of the element at `start`: null when none are in scope there.
    std::shared_ptr<const std::string> of(std::uint64_t start) const {
        auto found = by_start_.find(start);
        return found == by_start_.end() ? nullptr : found->second;
    }
    std::string_view text_of(std::uint64_t start) const {
        auto found = by_start_.find(start);
        return found == by_start_.end() ? std::string_view() : std::string_view(*found->second);
    }
    // An element taken away (a stream's) needs them no more.
    void forget(std::uint64_t start) { by_start_.erase(start); }

  private:
    std::unordered_map<std::uint64_t, std::shared_ptr<const std::string>> by_start_;
};

}  // namespace quorbix::engine
