// A table handed out as an Arrow stream of one record batch: each column
// typed as its cells settled it (int64, float64, bool, large_string, or a
// large_list of large_string for a list column), its texts and bitmaps
// lent, not copied. The stream and every array it gives keep the table
// alive until their consumer releases them.
#pragma once

#include <memory>

#include "engine/columns/arrow_abi.hpp"
#include "engine/columns/table.hpp"

namespace quorbix::engine {

void export_table(std::shared_ptr<const Table> table, ArrowArrayStream* out);

}  // namespace quorbix::engine
