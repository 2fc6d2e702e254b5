#include "text/numbers.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace quorbix::text {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool equals_ignoring_case(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// The decimal number grammar: digits, an optional point (a digit on at least
// one side), an optional exponent. Returns the estimated power of ten of the
// value's leading digit, to tell overflow from underflow; nothing when the
// text is not a number.
std::optional<long long> scan_decimal(std::string_view s) {
    std::size_t i = 0;
    std::size_t integer_digits = 0, fraction_digits = 0;
    long long leading = 0;  // power of ten of the first non-zero digit, relative to the point
    bool nonzero_seen = false;
    while (i < s.size() && is_digit(s[i])) {
        if (!nonzero_seen && s[i] != '0') nonzero_seen = true;
        if (nonzero_seen) ++leading;
        ++integer_digits, ++i;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) {
            if (!nonzero_seen) {
                --leading;
                if (s[i] != '0') nonzero_seen = true, ++leading;
            }
            ++fraction_digits, ++i;
        }
    }
    if (integer_digits + fraction_digits == 0) return std::nullopt;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        if (i == s.size() || !is_digit(s[i])) return std::nullopt;
        for (; i < s.size() && is_digit(s[i]); ++i)
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (s[i] - '0');
        if (negative) exponent = -exponent;
    }
    if (i != s.size()) return std::nullopt;
    return leading + exponent;
}

// Up to 15 digits with at most one point and no exponent, the commonest
// numbers in documents: the digits form an integer a double holds exactly, and
// one division by a power of ten a double holds exactly rounds correctly, so
// the value is the one the full conversion gives, at a fraction of its cost.
std::optional<double> short_decimal(std::string_view s) {
    if (s.empty() || s.size() > 16) return std::nullopt;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction = -1;  // digits after the point; -1 before any point
    for (char c : s) {
        if (is_digit(c)) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
            if (fraction >= 0) ++fraction;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || digits > 15) return std::nullopt;
    static constexpr double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    auto value = static_cast<double>(mantissa);
    return fraction <= 0 ? value : value / powers[fraction];
}

}  // namespace

std::optional<std::int64_t> read_int64(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::size_t start = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (start == text.size()) return std::nullopt;
    for (std::size_t i = start; i < text.size(); ++i)
        if (!is_digit(text[i])) return std::nullopt;
    // from_chars takes a minus sign but not a plus sign.
    std::string_view digits = text[0] == '+' ? text.substr(1) : text;
    std::int64_t value;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<double> read_double(std::string_view text) {
    bool negative = false;
    std::string_view body = text;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    double sign = negative ? -1.0 : 1.0;
    if (auto value = short_decimal(body)) return sign * *value;
    if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity"))
        return sign * std::numeric_limits<double>::infinity();
    if (equals_ignoring_case(body, "nan")) return sign * std::numeric_limits<double>::quiet_NaN();

    auto magnitude = scan_decimal(body);
    if (!magnitude) return std::nullopt;
    double value = 0;
    auto [end, error] =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    if (error == std::errc::result_out_of_range)
        value = *magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (error != std::errc() || end != body.data() + body.size())
        return std::nullopt;
    return sign * value;
}

namespace {

// The shortest digits that read back as `value` (its scientific form), then
// written out positionally. The fixed form of to_chars is no help: for large
// integers it writes the exact binary value ("99999999999999991611392" for
// 1e23), which is as short as the round-trip digits padded with zeros.
std::string positional(double value) {
    char buffer[32];
    auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                 std::chars_format::scientific);
    std::string_view form(buffer, written.ptr - buffer);  // "d[.ddd]e±xx"
    std::size_t e = form.find('e');
    int exponent = 0;
    std::from_chars(form.data() + e + (form[e + 1] == '+' ? 2 : 1), form.data() + form.size(),
                    exponent);
    std::string digits(form.substr(0, 1));
    if (e > 1) digits += form.substr(2, e - 2);  // drop the point
    // The value is 0.digits times ten to the power point.
    int point = exponent + 1;
    std::string out = value < 0 ? "-" : "";
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        out += digits;
        out.append(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        out += digits.substr(0, point);
        out += '.';
        out += digits.substr(point);
    }
    return out;
}

}  // namespace

std::string format_number(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    if (value == 0) return "0";
    if (std::fabs(value) < 1e15 && std::trunc(value) == value)
        return std::to_string(static_cast<std::int64_t>(value));
    return positional(value);
}

}  // namespace quorbix::text
