#include "engine/columns/column.hpp"

namespace quorbix::engine {

void Column::append(std::string_view text) {
    CellKind kind = cell_kind(text);
    if (kind != CellKind::Missing) typing_.add(kind);
    append_text(text);
    valid_.push(kind != CellKind::Missing);
    found_.push(true);
}

void Column::append_none(std::size_t count) {
    for (; count > 0; --count) {
        offsets_.push_back(static_cast<std::int64_t>(texts_.size()));
        valid_.push(false);
        found_.push(false);
    }
}

}  // namespace quorbix::engine
