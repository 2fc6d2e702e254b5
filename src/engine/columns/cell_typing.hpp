// How a column of texts is typed, cell by cell as the cells arrive, with the
// rules pandas' parsers apply by default: the missing markers read as null,
// `True`/`False` in three spellings as bools, plain decimals as integers or
// floats. The one place these rules live: the Arrow tables, the frames and
// the typing of later chunks and partitions all follow what it decides.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorbix::engine {

// What one cell's text reads as.
enum class CellKind : std::uint8_t { Missing, True, False, Integer, Float, Text, Unsure };

// Integer: [+-]digits, at most 18 of them (so that it fits 64 bits);
// Float: [+-]digits[.digits][(e|E)[+-]digits] with a fraction or an
// exponent; Text: bytes no parser reads as a number or a bool; Unsure: a
// text a parser may read as a number though it is none of the above (a
// 19-digit integer, `inf`), which the core leaves to pandas.
CellKind cell_kind(std::string_view cell);

// The texts pandas' parsers read as a missing value by default.
inline constexpr std::string_view missing_texts[] = {
    "",     "#N/A", "#N/A N/A", "#NA",  "-1.#IND", "-1.#QNAN", "-NaN", "-nan", "1.#IND", "1.#QNAN",
    "<NA>", "N/A",  "NA",       "NULL", "NaN",     "None",     "n/a",  "nan",  "null"};

// A column's type once its cells are in. Empty: every cell missing. Other:
// cells of several kinds that pandas settles in its own ways (bools beside
// numbers, an Unsure cell): the column stays text here, and a frame hands
// its texts to pandas' parser.
enum class ColumnType : std::uint8_t { Empty, Integer, Float, Bool, Text, Other };

class ColumnTyping {
  public:
    // Takes one present cell's kind (never Missing: a missing cell leaves
    // the type as it is).
    void add(CellKind kind) { seen_ |= bit(kind); }
    ColumnType type() const;

  private:
    static constexpr std::uint8_t bit(CellKind kind) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
    }
    std::uint8_t seen_ = 0;
};

}  // namespace quorbix::engine
