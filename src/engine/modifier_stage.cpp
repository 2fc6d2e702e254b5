#include "engine/modifier_stage.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_set>

#include "engine/element_text.hpp"
#include "text/numbers.hpp"
#include "text/white_space.hpp"
#include "xml/character_data.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {
namespace {

using path::Modifier;

// The scanned bytes ElementRange matches point into, their encoding and the
// entities their document declares.
struct Document {
    std::string_view bytes;
    xml::Encoding encoding;
    const xml::Entities* entities;
};

std::string match_text(const EngineMatch& m, const Document& document) {
    return engine::match_text(m, document.bytes, document.encoding, document.entities);
}

std::optional<double> number_of(const std::string& text) {
    return text::read_double(text::trim_white_space(text));
}

// A match with its sort keys, computed once.
struct Keyed {
    EngineMatch match;
    std::string text;
    std::optional<double> number;
};

std::vector<Keyed> keyed(Matches& matches, const Document& document, bool numbers) {
    std::vector<Keyed> out;
    out.reserve(matches.size());
    for (EngineMatch& m : matches) {
        std::string text = match_text(m, document);
        std::optional<double> number = numbers ? number_of(text) : std::nullopt;
        out.push_back({std::move(m), std::move(text), number});
    }
    return out;
}

void unkey(std::vector<Keyed>& items, Matches& matches) {
    matches.clear();
    for (Keyed& k : items) matches.push_back(std::move(k.match));
}

void sort_matches(Matches& matches, const Document& document, bool numeric) {
    if (matches.size() < 2) return;
    auto items = keyed(matches, document, numeric);
    std::stable_sort(items.begin(), items.end(), [numeric](const Keyed& a, const Keyed& b) {
        if (numeric && a.number && b.number) return *a.number < *b.number;
        if (numeric && a.number) return true;  // numbers come first
        if (numeric && b.number) return false;
        return a.text < b.text;  // bytewise: std::string compares as unsigned char
    });
    unkey(items, matches);
}

void unique_matches(Matches& matches, const Document& document) {
    auto items = keyed(matches, document, false);
    std::unordered_set<std::string_view> seen;  // views into `items`, which stays put
    matches.clear();
    for (Keyed& k : items)
        if (seen.insert(k.text).second) matches.push_back(std::move(k.match));
}

std::string aggregate(Modifier modifier, const Matches& matches, const Document& document) {
    NumberFold fold;
    for (const EngineMatch& m : matches) fold.add(match_text(m, document));
    return fold.result(modifier);
}

void replace_by(Matches& matches, std::string text) {
    matches.clear();
    matches.push_back(EngineMatch::scalar(std::move(text)));
}

}  // namespace

std::string match_text(const EngineMatch& m, std::string_view document, xml::Encoding encoding,
                       const xml::Entities* entities) {
    switch (m.kind) {
        case EngineMatch::Kind::ScalarText:
            return m.bytes;
        case EngineMatch::Kind::OwnedElement:
            return item_text(m.bytes, encoding, entities);
        case EngineMatch::Kind::ElementRange:
            return item_text(document.substr(m.start, m.end - m.start), encoding, entities);
    }
    return {};
}

void NumberFold::add(const EngineMatch& m, std::string_view document, xml::Encoding encoding,
                     const xml::Entities* entities) {
    if (m.kind != EngineMatch::Kind::ElementRange || !m.has_leaf_text())
        return add(match_text(m, document, encoding, entities));
    // A leaf's number is read where the scan found its text. (Its text for a
    // list the modifiers sort is read again: that measured faster there.)
    std::string text;
    xml::append_character_data(document.substr(m.start + m.leaf_text_offset, m.leaf_text_length),
                               encoding, text, entities);
    add(text);
}

void NumberFold::add(const std::string& text) {
    auto number = number_of(text);
    if (!number) return;
    ++count_;
    sum_ += *number;
    // NaN never wins: fmin and fmax take the other operand.
    low_ = std::fmin(low_, *number);
    high_ = std::fmax(high_, *number);
}

std::string NumberFold::result(Modifier modifier) const {
    double value = high_;
    switch (modifier) {
        case Modifier::Sum:
            value = sum_;
            break;
        case Modifier::Mean:
            value = count_ == 0 ? std::numeric_limits<double>::quiet_NaN() : sum_ / count_;
            break;
        case Modifier::Min:
            value = low_;
            break;
        default:
            break;
    }
    return text::format_number(value);
}

void apply_modifiers(std::span<const Modifier> modifiers, Matches& matches, std::string_view bytes,
                     xml::Encoding encoding, const xml::Entities* entities) {
    Document document{bytes, encoding, entities};
    for (Modifier modifier : modifiers) {
        switch (modifier) {
            case Modifier::Reverse:
                std::reverse(matches.begin(), matches.end());
                break;
            case Modifier::First:
                if (matches.size() > 1) matches.erase(matches.begin() + 1, matches.end());
                break;
            case Modifier::Last:
                if (matches.size() > 1) matches.erase(matches.begin(), matches.end() - 1);
                break;
            case Modifier::Count:
                replace_by(matches, std::to_string(matches.size()));
                break;
            case Modifier::Sort:
            case Modifier::SortNumeric:
                sort_matches(matches, document, modifier == Modifier::SortNumeric);
                break;
            case Modifier::Unique:
                unique_matches(matches, document);
                break;
            case Modifier::Flatten:
            case Modifier::ToStr:
                break;
            case Modifier::Sum:
            case Modifier::Mean:
            case Modifier::Min:
            case Modifier::Max:
                replace_by(matches, aggregate(modifier, matches, document));
                break;
        }
    }
}

}  // namespace quorbix::engine
