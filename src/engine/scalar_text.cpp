#include "engine/scalar_text.hpp"

#include <cmath>
#include <limits>

#include "text/numbers.hpp"
#include "text/utf8.hpp"
#include "text/white_space.hpp"

namespace quorbix::engine {
namespace {

std::string_view trimmed_utf8(std::string_view text) {
    if (!text::is_valid_utf8(text)) return {};
    return text::trim_white_space(text);
}

}  // namespace

std::int64_t text_to_int(std::string_view text) {
    std::string_view t = trimmed_utf8(text);
    if (t.empty()) return 0;
    if (auto integer = text::read_int64(t)) return *integer;
    auto number = text::read_double(t);
    if (!number || std::isnan(*number)) return 0;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (*number >= limit) return std::numeric_limits<std::int64_t>::max();
    if (*number <= -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(*number);
}

double text_to_double(std::string_view text) {
    return text::read_double(trimmed_utf8(text)).value_or(0.0);
}

std::optional<bool> boolean_text(std::string_view text) {
    for (std::string_view t :
         {"1", "true", "\"t\"", "\"T\"", "\"1\"", "\"true\"", "\"True\"", "\"TRUE\""})
        if (text == t) return true;
    for (std::string_view f :
         {"0", "false", "\"f\"", "\"F\"", "\"0\"", "\"false\"", "\"False\"", "\"FALSE\""})
        if (text == f) return false;
    return std::nullopt;
}

ScalarType classify_scalar(std::string_view trimmed) {
    if (text::read_int64(trimmed)) return ScalarType::Int;
    if (text::read_double(trimmed)) return ScalarType::Float;
    return ScalarType::Str;
}

}  // namespace quorbix::engine
