#include "engine/columns/cell_typing.hpp"

namespace quorbix::engine {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Integer, Float, or Text when `cell` is no plain decimal.
CellKind number_kind(std::string_view cell) {
    std::size_t i = 0, n = cell.size();
    if (i < n && (cell[i] == '+' || cell[i] == '-')) ++i;
    std::size_t digits = 0;
    bool fraction = false;
    for (; i < n && is_digit(cell[i]); ++i) ++digits;
    if (i < n && cell[i] == '.') {
        fraction = true;
        for (++i; i < n && is_digit(cell[i]); ++i) ++digits;
    }
    if (digits == 0) return CellKind::Text;
    if (i < n && (cell[i] == 'e' || cell[i] == 'E')) {
        fraction = true;
        ++i;
        if (i < n && (cell[i] == '+' || cell[i] == '-')) ++i;
        std::size_t exponent = 0;
        for (; i < n && is_digit(cell[i]); ++i) ++exponent;
        if (exponent == 0) return CellKind::Text;
    }
    if (i != n) return CellKind::Text;
    if (fraction) return CellKind::Float;
    return digits <= 18 ? CellKind::Integer : CellKind::Unsure;
}

bool is_missing(std::string_view cell) {
    // The first bytes the markers start with, '' aside: most cells start
    // with none of them.
    if (std::string_view("#-1<Nn").find(cell.front()) == std::string_view::npos) return false;
    for (std::string_view s : missing_texts)
        if (cell == s) return true;
    return false;
}

// Not a plain decimal, a bool or a missing marker: Unsure for a spelling of
// infinity or not-a-number, which a parser reads as a float, else Text.
CellKind text_kind(std::string_view cell) {
    if (cell.front() == '+' || cell.front() == '-') cell.remove_prefix(1);
    if (cell.size() != 3 && cell.size() != 8) return CellKind::Text;
    char lower[8];
    for (std::size_t i = 0; i < cell.size(); ++i)
        lower[i] =
            cell[i] >= 'A' && cell[i] <= 'Z' ? static_cast<char>(cell[i] - 'A' + 'a') : cell[i];
    std::string_view word(lower, cell.size());
    return word == "inf" || word == "infinity" || word == "nan" ? CellKind::Unsure : CellKind::Text;
}

}  // namespace

// Most cells are settled by their first byte and their length: only those
// that may be a marker or a bool are compared with them.
CellKind cell_kind(std::string_view cell) {
    if (cell.empty()) return CellKind::Missing;
    char first = cell.front();
    if (is_digit(first) || first == '+' || first == '-' || first == '.') {
        CellKind kind = number_kind(cell);
        if (kind != CellKind::Text) return kind;
    }
    if (cell.size() == 4 && (cell == "True" || cell == "TRUE" || cell == "true"))
        return CellKind::True;
    if (cell.size() == 5 && (cell == "False" || cell == "FALSE" || cell == "false"))
        return CellKind::False;
    if (cell.size() <= 9 && is_missing(cell)) return CellKind::Missing;
    return text_kind(cell);
}

ColumnType ColumnTyping::type() const {
    constexpr std::uint8_t integer = bit(CellKind::Integer), floating = bit(CellKind::Float),
                           bools = bit(CellKind::True) | bit(CellKind::False),
                           text = bit(CellKind::Text);
    if (seen_ == 0) return ColumnType::Empty;
    if ((seen_ & ~integer) == 0) return ColumnType::Integer;
    if ((seen_ & ~(integer | floating)) == 0) return ColumnType::Float;
    if ((seen_ & ~bools) == 0) return ColumnType::Bool;
    // Texts beside numbers stay texts; beside a bool spelling or an Unsure
    // cell pandas may read some cells as values.
    if ((seen_ & text) && (seen_ & ~(integer | floating | text)) == 0) return ColumnType::Text;
    return ColumnType::Other;
}

}  // namespace quorbix::engine
