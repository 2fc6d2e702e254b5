// Reading and writing numbers in text: one implementation shared by filters,
// modifiers and conversions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorbix::text {

// An optional sign, then one or more ASCII digits, nothing else, within the
// signed 64-bit range.
std::optional<std::int64_t> read_int64(std::string_view text);

// An optional sign, then "inf", "infinity" or "nan" in any case, or a decimal
// number with an optional exponent; no white space. Correctly rounded;
// magnitudes beyond the double range give infinity, tiny ones zero.
std::optional<double> read_double(std::string_view text);

// "nan", "inf", "-inf"; integers below 1e15 without a fraction in plain
// decimal; anything else as the shortest digits that read back exactly,
// written positionally (1e-7 is "0.0000001"). Negative zero is "0".
std::string format_number(double value);

}  // namespace quorbix::text
