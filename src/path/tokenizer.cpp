#include "path/tokenizer.hpp"

#include <optional>

#include "path/glob.hpp"
#include "path/unquoted_scan.hpp"

namespace quorbix::path {
namespace {

using Kind = PathToken::Kind;

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::optional<std::uint64_t> read_index(std::string_view digits) {
    std::uint64_t value = 0;
    for (char c : digits) {
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// One finished segment as a token.
std::variant<PathToken, PathError> classify(std::string_view segment) {
    PathToken token;
    if (segment == "#text") {
        token.kind = Kind::Text;
    } else if (segment.front() == '@') {
        if (segment.size() == 1) return PathError{PathErrorKind::MissingAttributeName, {}};
        token.kind = Kind::Attribute;
        token.name = remove_escapes(segment.substr(1));
    } else if (segment == "#") {
        token.kind = Kind::Each;
    } else if (all_digits(segment)) {
        auto index = read_index(segment);
        if (!index) return PathError{PathErrorKind::BadIndex, std::string(segment)};
        token.kind = Kind::Index;
        token.index = *index;
    } else {
        token.kind = Kind::Name;
        token.glob = has_unescaped_wildcard(segment);
        token.name = token.glob ? std::string(segment) : remove_escapes(segment);
    }
    return token;
}

// The ')' that closes the filter whose text starts at `from`: nested
// parentheses counted; quoted regions and escaped characters skipped.
std::optional<std::size_t> closing_paren(std::string_view text, std::size_t from) {
    int depth = 1;
    std::optional<std::size_t> close;
    scan_unquoted(text, from, [&](std::size_t i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')' && --depth == 0) close = i;
        return !close;
    });
    return close;
}

class Tokenizer {
  public:
    explicit Tokenizer(std::string_view body) : body_(body) {}

    Tokens run() {
        std::size_t i = 0;
        while (i < body_.size() && !error_) {
            char c = body_[i];
            if (c == '.') {
                flush();
                ++i;
            } else if (c == '\\') {
                i = take_escape(i);
            } else if (c == '*' && segment_.empty() && starts_with(i, "**")) {
                i = take_recursive_markers(i);
            } else if (c == '#' && starts_with(i, "#(")) {
                i = take_filter(i);
            } else {
                segment_ += c;
                ++i;
            }
        }
        if (!error_) flush();
        return {std::move(tokens_), std::move(error_)};
    }

  private:
    bool starts_with(std::size_t i, std::string_view s) const {
        return body_.substr(i, s.size()) == s;
    }

    void flush() {
        if (segment_.empty() || error_) return;
        auto token = classify(segment_);
        segment_.clear();
        if (auto* e = std::get_if<PathError>(&token))
            error_ = std::move(*e);
        else
            tokens_.push_back(std::move(std::get<PathToken>(token)));
    }

    // A backslash and the byte after it both join the segment; the escaped
    // character never acts as a marker.
    std::size_t take_escape(std::size_t i) {
        segment_ += body_.substr(i, 2);
        return i + 2;
    }

    std::size_t take_recursive_markers(std::size_t i) {
        do {
            PathToken marker;
            marker.kind = Kind::Recursive;
            tokens_.push_back(std::move(marker));
            i += 2;
        } while (starts_with(i, "**"));
        if (i == body_.size()) return i;
        char c = body_[i];
        if (c == '.') return i + 1;
        if (c == '\\' || starts_with(i, "#(")) return i;  // the main loop reads these
        segment_ += c;  // anything else, a single '*' included, starts a segment
        return i + 1;
    }

    std::size_t take_filter(std::size_t i) {
        flush();
        if (error_) return i;
        std::size_t open = i + 2;
        auto close = closing_paren(body_, open);
        if (!close) {
            error_ = PathError{PathErrorKind::UnmatchedParen, {}};
            return body_.size();
        }
        PathToken token;
        token.kind = Kind::Filter;
        token.filter_text = body_.substr(open, *close - open);
        std::size_t next = *close + 1;
        if (next < body_.size() && body_[next] == '#') {
            token.all_matches = true;
            ++next;
        }
        tokens_.push_back(std::move(token));
        return next;
    }

    std::string_view body_;
    std::string segment_;
    std::vector<PathToken> tokens_;
    std::optional<PathError> error_;
};

}  // namespace

std::variant<std::vector<std::string_view>, PathError> cut_top_level(std::string_view text) {
    std::vector<std::string_view> pieces;
    int depth = 0;
    std::size_t piece_start = 0;
    scan_unquoted(text, 0, [&](std::size_t i) {
        char c = text[i];
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == '|' && depth == 0) {
            pieces.push_back(text.substr(piece_start, i - piece_start));
            piece_start = i + 1;
        }
        return depth >= 0;
    });
    if (depth != 0) return PathError{PathErrorKind::UnmatchedParen, {}};
    pieces.push_back(text.substr(piece_start));
    return pieces;
}

Tokens tokenize(std::string_view body) {
    return Tokenizer(body).run();
}

}  // namespace quorbix::path
