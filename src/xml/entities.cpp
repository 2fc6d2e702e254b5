#include "xml/entities.hpp"

#include "xml/doctype.hpp"

#include <algorithm>
#include <limits>
#include <tuple>

#include "xml/byte_search.hpp"
#include "xml/char_class.hpp"
#include "xml/character_data.hpp"
#include "xml/encoding/utf8_writer.hpp"
#include "xml/unescape.hpp"

namespace quorbix::xml {
namespace {

constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();

// The least budget, whatever the document's size: small documents may still
// expand a few entities of ordinary size.
constexpr std::uint64_t least_budget = 8u << 20;
// How many times its own size a document's references may expand to.
constexpr std::uint64_t budget_per_byte = 100;

std::uint64_t add_saturating(std::uint64_t a, std::uint64_t b) {
    return a > most - b ? most : a + b;
}

std::uint64_t budget_for(std::uint64_t document_size) {
    std::uint64_t scaled =
        document_size > most / budget_per_byte ? most : document_size * budget_per_byte;
    return std::max(least_budget, scaled);
}

// Bytes a name may start with and hold: XML's name characters in ASCII, and
// every byte of a multibyte character (its names take most of them).
bool starts_name(unsigned char c) {
    return c >= 0x80 || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c == ':';
}

bool continues_name(unsigned char c) {
    return starts_name(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The end of the name at `p`: `p` itself when none starts there. A name
// holds no '&', so reading names after each '&' of a text stays linear.
const char* past_name(const char* p, const char* end) {
    if (p == end || !starts_name(static_cast<unsigned char>(*p))) return p;
    for (++p; p < end && continues_name(static_cast<unsigned char>(*p));) ++p;
    return p;
}

const char* past_spaces(const char* p, const char* end) {
    while (p < end && is_space(*p)) ++p;
    return p;
}

bool is_predefined(std::string_view name) {
    return name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot";
}

// An entity's replacement text from its literal: line ends read as LF, as
// everywhere in the document, then character references replaced by their
// characters. Other references stay for when the entity is referenced.
std::string replacement_of(std::string_view literal) {
    std::string lines, text;
    std::string_view read = lf_line_ends(literal, lines);
    const char* p = read.data();
    const char* end = p + read.size();
    while (p < end) {
        const char* amp = find_byte(p, end, '&');
        if (amp == nullptr) break;
        text.append(p, amp);
        std::uint32_t cp = 0;
        const char* after =
            amp + 1 < end && amp[1] == '#' ? read_character_reference(amp + 2, end, cp) : nullptr;
        if (after != nullptr) {
            append_utf8(text, cp);
        } else {
            text.push_back('&');
            after = amp + 1;
        }
        p = after;
    }
    text.append(p, end);
    return text;
}

// The byte past the '[' that opens the DOCTYPE's internal subset, or nullptr
// when it has none. The quoted literals of its external identifier may hold
// '[' and '>'.
const char* subset_start(const char* p, const char* end) {
    if (starts_with(p, end, "<!DOCTYPE")) p += 9;
    for (; p < end; ++p) {
        if (*p == '"' || *p == '\'') {
            p = find_byte(p + 1, end, *p);
            if (p == nullptr) return nullptr;
        } else if (*p == '[') {
            return p + 1;
        } else if (*p == '>') {
            return nullptr;
        }
    }
    return nullptr;
}

}  // namespace

std::shared_ptr<const Entities> Entities::declared(std::string_view doctype,
                                                   std::uint64_t document_size) {
    return declared_at(doctype, 0, document_size);
}

std::shared_ptr<const Entities> Entities::declared(std::string_view doctype, Encoding encoding,
                                                   std::uint64_t at, std::uint64_t document_size) {
    std::string scratch;
    return declared_at(utf8_text(doctype, encoding, scratch), at, document_size);
}

std::shared_ptr<const Entities> Entities::declared_at(std::string_view doctype, std::uint64_t at,
                                                      std::uint64_t document_size) {
    std::shared_ptr<Entities> entities(new Entities(budget_for(document_size)));
    entities->doctype_at_ = at;
    entities->read_subset(doctype);
    auto& all = entities->entities_;
    if (std::none_of(all.begin(), all.end(),
                     [](const Entity& e) { return e.kind == Kind::Internal; }))
        return nullptr;
    entities->split_replacements();
    entities->measure();
    return entities;
}

// Declarations are read until the subset's ']'. A parameter entity reference
// between them stands for declarations never read here, which may have bound
// the names declared after it first; so, as XML asks of a processor that does
// not read it, the entity declarations after one are ignored.
void Entities::read_subset(std::string_view doctype) {
    const char* begin = doctype.data();
    const char* end = begin + doctype.size();
    const char* p = subset_start(begin, end);
    bool reading = true;
    while (p != nullptr && p < end && *p != ']') {
        if (*p == '%') reading = false;
        if (*p != '<') {
            ++p;
            continue;
        }
        const char* lt = p;
        p = past_subset_markup(lt, end);
        bool entity = starts_with(lt, end, "<!ENTITY") && end - lt > 8 && is_space(lt[8]);
        if (p != nullptr && entity && reading)
            read_declaration({lt + 8, static_cast<std::size_t>(p - 1 - (lt + 8))},
                             static_cast<std::size_t>(lt - begin));
    }
    // The names now live in the entities, which no longer move.
    by_name_.clear();
    for (std::size_t i = 0; i < entities_.size(); ++i) by_name_.emplace(entities_[i].name, i);
}

// One <!ENTITY ...> between its keyword and its '>'. While the subset is read
// the map's names are views into the DOCTYPE.
void Entities::read_declaration(std::string_view body, std::size_t declared_at) {
    const char* end = body.data() + body.size();
    const char* p = past_spaces(body.data(), end);
    if (p == end || *p == '%') return;  // a parameter entity, for the DTD alone
    const char* name_end = past_name(p, end);
    std::string_view name(p, static_cast<std::size_t>(name_end - p));
    if (name.empty() || is_predefined(name) || by_name_.count(name) != 0) return;
    p = past_spaces(name_end, end);
    Entity entity;
    entity.name = name;
    entity.declared_at = declared_at;
    if (p < end && (*p == '"' || *p == '\'')) {
        const char* close = find_byte(p + 1, end, *p);
        if (close == nullptr) return;
        entity.replacement = replacement_of({p + 1, static_cast<std::size_t>(close - p - 1)});
    } else if (starts_with(p, end, "SYSTEM") || starts_with(p, end, "PUBLIC")) {
        entity.kind = Kind::External;  // with NDATA or not, never read
    } else {
        return;
    }
    by_name_.emplace(name, entities_.size());
    entities_.push_back(std::move(entity));
}

void Entities::split_replacements() {
    for (Entity& entity : entities_)
        if (entity.kind == Kind::Internal) split(entity);
}

// An entity's replacement text as pieces. Markup is not read in place of a
// reference, so an entity whose text holds '<' is never expanded; a
// reference to an entity not declared here, or not read, stays as written.
void Entities::split(Entity& entity) {
    entity.first_piece = pieces_.size();
    std::string_view replacement = entity.replacement;
    if (replacement.find('<') != std::string_view::npos) {
        entity.status = Status::Markup;
    } else {
        split_text(entity, replacement);
    }
    std::string().swap(entity.replacement);  // its pieces hold it now
}

void Entities::split_text(Entity& entity, std::string_view replacement) {
    const char* p = replacement.data();
    const char* end = p + replacement.size();
    while (p < end) {
        const char* amp = find_byte(p, end, '&');
        if (amp == nullptr) break;
        add_text(entity, Piece::Kind::Literal, {p, static_cast<std::size_t>(amp - p)});
        p = split_reference(entity, amp, end);
    }
    add_text(entity, Piece::Kind::Literal, {p, static_cast<std::size_t>(end - p)});
}

// The reference at `amp` as a piece, and the byte past it. A character
// reference or predefined entity is read now, once; one to an entity
// declared here is read at use; anything else is kept as written.
const char* Entities::split_reference(Entity& entity, const char* amp, const char* end) {
    std::string named;
    std::uint32_t cp = 0;
    char c = 0;
    const char* after = nullptr;
    if (amp + 1 < end && amp[1] == '#') {
        if ((after = read_character_reference(amp + 2, end, cp)) != nullptr) append_utf8(named, cp);
    } else if ((after = read_predefined_entity(amp + 1, end, c)) != nullptr) {
        named.push_back(c);
    } else {
        const char* name_end = past_name(amp + 1, end);
        auto found = by_name_.find({amp + 1, static_cast<std::size_t>(name_end - amp - 1)});
        if (name_end < end && *name_end == ';' && found != by_name_.end() &&
            entities_[found->second].kind == Kind::Internal) {
            add_piece(entity, Piece::Kind::Entity, found->second, 0);
            return name_end + 1;
        }
    }
    if (after == nullptr) {
        add_text(entity, Piece::Kind::Literal, "&");
        return amp + 1;
    }
    add_text(entity, Piece::Kind::Named, named);
    return after;
}

// Text follows text of its kind in text_, so the two make one piece.
void Entities::add_piece(Entity& entity, Piece::Kind kind, std::size_t at, std::size_t size) {
    bool joins = entity.pieces != 0 && kind != Piece::Kind::Entity && pieces_.back().kind == kind &&
                 pieces_.back().at + pieces_.back().size == at;
    if (joins) {
        pieces_.back().size += size;
    } else {
        pieces_.push_back({kind, at, size});
        ++entity.pieces;
    }
}

void Entities::add_text(Entity& entity, Piece::Kind kind, std::string_view text) {
    if (text.empty()) return;
    add_piece(entity, kind, text_.size(), text.size());
    text_.append(text);
}

namespace {
enum : std::uint8_t { unmeasured, measuring, measured };
}

// Each entity's expanded length and status, from those of the entities it
// refers to, by a depth-first walk on an explicit stack: an entity reached
// again while its own references are being measured is in a cycle.
void Entities::measure() {
    std::vector<std::uint8_t> state(entities_.size(), unmeasured);
    for (std::size_t i = 0; i < entities_.size(); ++i)
        if (state[i] == unmeasured && entities_[i].kind == Kind::Internal) measure_from(i, state);
}

void Entities::measure_from(std::size_t root, std::vector<std::uint8_t>& state) {
    std::vector<std::pair<std::size_t, std::size_t>> stack;  // an entity, its next piece
    stack.emplace_back(root, 0);
    state[root] = measuring;
    while (!stack.empty()) {
        auto [index, next] = stack.back();
        const Entity& entity = entities_[index];
        if (next == entity.pieces) {
            finish(index, state);
            state[index] = measured;
            stack.pop_back();
            continue;
        }
        ++stack.back().second;
        const Piece& piece = pieces_[entity.first_piece + next];
        if (piece.kind == Piece::Kind::Entity && state[piece.at] == unmeasured) {
            state[piece.at] = measuring;
            stack.emplace_back(piece.at, 0);
        }
    }
}

// Once every entity `index` refers to is measured, or found in a cycle with it.
void Entities::finish(std::size_t index, const std::vector<std::uint8_t>& state) {
    Entity& entity = entities_[index];
    std::uint64_t length = 0;
    Status status = entity.status;
    for (std::size_t i = 0; i < entity.pieces; ++i) {
        const Piece& piece = pieces_[entity.first_piece + i];
        if (piece.kind != Piece::Kind::Entity) {
            length = add_saturating(length, piece.size);
        } else if (state[piece.at] == measuring) {
            status = Status::Cycle;
        } else {
            status = std::max(status, entities_[piece.at].status);
            length = add_saturating(length, entities_[piece.at].length);
        }
    }
    entity.length = length;
    entity.status = status;
}

// Whether an entity could be read in place of a reference with the whole
// budget to spend.
bool Entities::fits(const Entity& entity) const {
    return entity.status < Status::Markup && entity.length <= budget();
}

bool Entities::expand(std::string_view name, std::string& out, ReferenceIn in) const {
    auto found = by_name_.find(name);
    if (found == by_name_.end()) return false;
    std::size_t index = found->second;
    const Entity& entity = entities_[index];
    if (entity.kind == Kind::External) return false;
    // One too large for the budget when declared may fit the budget of a
    // document fed in pieces since: the budget alone decides.
    if (entity.status >= Status::Markup || !reserve(entity.length)) {
        refuse(index);
        return false;
    }
    write(index, out, in);
    return true;
}

const char* Entities::expand_reference(const char* p, const char* end, std::string& out,
                                       ReferenceIn in) const {
    const char* name_end = past_name(p, end);
    if (name_end == p || name_end == end || *name_end != ';') return nullptr;
    return expand({p, static_cast<std::size_t>(name_end - p)}, out, in) ? name_end + 1 : nullptr;
}

// Takes `length` bytes from the budget, all or none: an expansion is written
// whole or not at all, and what is spent never passes the budget.
void Entities::allow_for(std::uint64_t document_size) const {
    std::uint64_t grown = budget_for(document_size);
    std::uint64_t now = budget_.load(std::memory_order_relaxed);
    while (grown > now && !budget_.compare_exchange_weak(now, grown, std::memory_order_relaxed)) {
    }
}

bool Entities::reserve(std::uint64_t length) const {
    std::uint64_t spent = spent_.load(std::memory_order_relaxed);
    do {
        if (length > budget() - spent) return false;
    } while (!spent_.compare_exchange_weak(spent, spent + length, std::memory_order_relaxed));
    return true;
}

std::shared_ptr<const Entities> Entities::reading(const std::shared_ptr<const Entities>& of) {
    if (!of) return nullptr;
    std::shared_ptr<Entities> reading(new Entities(*of, of->budget()));
    reading->origin_ = of;
    return reading;
}

void Entities::refuse(std::size_t index) const {
    if (origin_) origin_->refuse(index);
    fell_short_.store(true, std::memory_order_relaxed);
    std::size_t first = none;
    first_refused_.compare_exchange_strong(first, index, std::memory_order_relaxed);
}

// The pieces of an expandable entity in order, entering the entities it
// refers to with the rest of the pieces around them kept on an explicit
// stack: never deeper than the chain of declarations, since none is in a
// cycle, and left unallocated for an entity that refers to none.
void Entities::write(std::size_t index, std::string& out, ReferenceIn in) const {
    std::vector<std::pair<std::size_t, std::size_t>> around;  // pieces left: next, last
    std::size_t next = entities_[index].first_piece;
    std::size_t last = next + entities_[index].pieces;
    for (;;) {
        if (next == last) {
            if (around.empty()) return;
            std::tie(next, last) = around.back();
            around.pop_back();
            continue;
        }
        const Piece& piece = pieces_[next++];
        if (piece.kind != Piece::Kind::Entity) {
            append_piece(piece, out, in);
            continue;
        }
        if (next != last) around.emplace_back(next, last);
        next = entities_[piece.at].first_piece;
        last = next + entities_[piece.at].pieces;
    }
}

void Entities::append_piece(const Piece& piece, std::string& out, ReferenceIn in) const {
    std::size_t from = out.size();
    out.append(text_, piece.at, piece.size);
    if (in == ReferenceIn::AttributeValue && piece.kind == Piece::Kind::Literal)
        std::replace_if(
            out.begin() + static_cast<std::ptrdiff_t>(from), out.end(),
            [](char c) { return is_space(c); }, ' ');
}

std::optional<std::string> Entities::problem() const {
    std::size_t first = first_refused_.load(std::memory_order_relaxed);
    if (first != none) return describe(first, fits(entities_[first]));
    for (std::size_t i = 0; i < entities_.size(); ++i)
        if (entities_[i].kind == Kind::Internal && !fits(entities_[i])) return describe(i, false);
    return std::nullopt;
}

std::string Entities::describe(std::size_t index, bool budget_spent) const {
    const Entity& entity = entities_[index];
    std::string said = "the entity \"" + entity.name + "\" declared at byte " +
                       std::to_string(entity.declared_at) + " of the DOCTYPE ";
    std::string bound = "the " + std::to_string(budget()) + " bytes ";
    if (budget_spent)
        return said + "was not expanded: the document's references would have passed " + bound +
               "they may expand to";
    switch (entity.status) {
        case Status::Cycle:
            return said + "expands without end: its references lead back to an entity they expand";
        case Status::Markup:
            return said + "holds markup ('<'), which is not read in place of a reference";
        default:
            return said + "alone expands past " + bound + "the document's references may expand to";
    }
}

}  // namespace quorbix::xml
