#include <algorithm>
#include <cstring>

#include "xml/encoding/encoding.hpp"
#include "xml/encoding/tables.hpp"

namespace quorbix::xml {
namespace {

bool is_label_space(char c) {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

// Long enough for every known label; longer texts cannot match.
constexpr std::size_t max_label_length = 32;

}  // namespace

std::optional<Encoding> encoding_for_label(std::string_view label) {
    while (!label.empty() && is_label_space(label.front())) label.remove_prefix(1);
    while (!label.empty() && is_label_space(label.back())) label.remove_suffix(1);
    if (label.empty() || label.size() > max_label_length) return std::nullopt;

    char folded[max_label_length];
    for (std::size_t i = 0; i < label.size(); ++i) {
        char c = label[i];
        folded[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    std::string_view key(folded, label.size());

    const tables::LabelEntry* begin = tables::labels;
    const tables::LabelEntry* end = tables::labels + tables::label_count;
    auto it =
        std::lower_bound(begin, end, key, [](const tables::LabelEntry& e, std::string_view k) {
            return std::string_view(e.label) < k;
        });
    if (it == end || std::string_view(it->label) != key) return std::nullopt;
    return static_cast<Encoding>(it->encoding);
}

std::string_view encoding_name(Encoding encoding) {
    return tables::encoding_names[static_cast<int>(encoding)];
}

}  // namespace quorbix::xml
