// The general entities a document declares in its DOCTYPE's internal subset,
// read in place of their references (&name;) in its text and attribute values.
//
// Everything a reference can cost is known when the DOCTYPE is read: each
// entity's replacement text is split once into text and references to other
// entities, and its full expanded length and whether it can be expanded at
// all are worked out for every entity without recursion. A reference then
// either reserves its whole length from one budget for the document and
// writes it, or stays as written. So a declaration that would expand to
// gigabytes (ten entities of ten references each) costs nothing, and many
// references to one large entity stop when the budget is spent.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {

// Where a reference stands. In an attribute value XML reads each white space
// character of a replacement text as a space (characters its references name
// are kept), as it reads the value's own.
enum class ReferenceIn { Text, AttributeValue };

class Entities {
  public:
    // The general entities the DOCTYPE `doctype` declares (its bytes from
    // "<!DOCTYPE" through its closing '>', already UTF-8), for a document of
    // `document_size` bytes: all its references together may expand to
    // max(8 MiB, 100 times the document). Null when it declares no general
    // entity with a literal value.
    static std::shared_ptr<const Entities> declared(std::string_view doctype,
                                                    std::uint64_t document_size);
    // The same, for a DOCTYPE as written in a document in `encoding`, `at`
    // bytes into it.
    static std::shared_ptr<const Entities> declared(std::string_view doctype, Encoding encoding,
                                                    std::uint64_t at, std::uint64_t document_size);

    // Appends the full replacement text of `&name;` (`name` without '&' and
    // ';') to `out` and says true; false, appending nothing, when the
    // reference stays as written: not declared here, declared external or
    // unparsed (never fetched or read), its replacement holds markup ('<'),
    // it leads back to itself, or the budget would be passed. Safe to call
    // from several threads at once.
    bool expand(std::string_view name, std::string& out, ReferenceIn in = ReferenceIn::Text) const;

    // A reference at `p`, just past its '&': expanded as `expand` does, then
    // the byte past its ';'; nullptr, appending nothing, when it is no
    // reference to an entity that expands.
    const char* expand_reference(const char* p, const char* end, std::string& out,
                                 ReferenceIn in) const;

    // The same entities for one later read of a document's matches (a call
    // that reads their texts): a budget of its own, as large as `of`'s, so
    // that reading a match again reads it the same way, while one read is
    // bounded as the scan was. What it leaves unread `of` hears of too.
    static std::shared_ptr<const Entities> reading(const std::shared_ptr<const Entities>& of);

    // Whether some reference stayed as written for markup, a cycle or the
    // budget: the document was not read fully, which callers report as they
    // report malformed input.
    bool fell_short() const { return fell_short_.load(std::memory_order_relaxed); }

    // Why, for a report: the entity whose reference first fell short and why,
    // else the first declaration no reference can expand, else nothing.
    std::optional<std::string> problem() const;

    // What all references may expand to together, in bytes.
    std::uint64_t budget() const { return budget_.load(std::memory_order_relaxed); }
    // A document fed in pieces: its references may expand to as much as
    // those of a document of `document_size` bytes, the bytes read so far.
    // An entity refused for its own size when declared stays refused.
    void allow_for(std::uint64_t document_size) const;
    // Where the DOCTYPE that declares them begins in its document.
    std::uint64_t doctype_at() const { return doctype_at_; }

    Entities(const Entities&) = delete;
    Entities& operator=(const Entities&) = delete;

  private:
    // Whether an entity can be read in place of its references, worst last:
    // when several hold for one, the worst is kept. Its size is weighed
    // against the budget at each reference (`fits`), as the budget may grow.
    enum class Status : std::uint8_t { Expandable, Markup, Cycle };
    enum class Kind : std::uint8_t { Internal, External };

    // One stretch of a replacement text: text written in the literal, the
    // characters a reference names (kept as they are in attribute values),
    // or another entity's whole expansion.
    struct Piece {
        enum class Kind : std::uint8_t { Literal, Named, Entity } kind;
        std::size_t at;  // into text_, or the entity's index
        std::size_t size;
    };

    struct Entity {
        std::string name;
        Kind kind = Kind::Internal;
        std::size_t declared_at = 0;  // the byte of its "<!ENTITY" in the DOCTYPE
        std::string replacement;      // as declared; cleared once split into pieces
        std::size_t first_piece = 0, pieces = 0;
        std::uint64_t length = 0;  // expanded, saturating
        Status status = Status::Expandable;
    };

    // What the declarations are, shared by a document's Entities and those
    // that read it again (`reading`).
    struct Tables {
        std::vector<Entity> entities;
        // Names as views: into the DOCTYPE while it is read, then into entities.
        std::unordered_map<std::string_view, std::size_t> by_name;
        std::vector<Piece> pieces;
        std::string text;  // the text pieces hold
    };

    explicit Entities(std::uint64_t budget)
        : tables_(std::make_shared<Tables>()), budget_(budget) {}
    Entities(const Entities& of, std::uint64_t budget)
        : tables_(of.tables_), budget_(budget), doctype_at_(of.doctype_at_) {}
    static std::shared_ptr<const Entities> declared_at(std::string_view doctype, std::uint64_t at,
                                                       std::uint64_t document_size);

    void read_subset(std::string_view doctype);
    void read_declaration(std::string_view body, std::size_t declared_at);
    void split_replacements();
    void split(Entity& entity);
    void split_text(Entity& entity, std::string_view replacement);
    const char* split_reference(Entity& entity, const char* amp, const char* end);
    void add_piece(Entity& entity, Piece::Kind kind, std::size_t at, std::size_t size);
    void add_text(Entity& entity, Piece::Kind kind, std::string_view text);
    void measure();
    void measure_from(std::size_t root, std::vector<std::uint8_t>& state);
    void finish(std::size_t index, const std::vector<std::uint8_t>& state);
    bool fits(const Entity& entity) const;
    bool reserve(std::uint64_t length) const;
    void refuse(std::size_t index) const;
    void write(std::size_t index, std::string& out, ReferenceIn in) const;
    void append_piece(const Piece& piece, std::string& out, ReferenceIn in) const;
    std::string describe(std::size_t index, bool budget_spent) const;

    // Written only while the DOCTYPE is read; the names below are its parts.
    std::shared_ptr<Tables> tables_;
    std::vector<Entity>& entities_ = tables_->entities;
    std::unordered_map<std::string_view, std::size_t>& by_name_ = tables_->by_name;
    std::vector<Piece>& pieces_ = tables_->pieces;
    std::string& text_ = tables_->text;
    std::shared_ptr<const Entities> origin_;  // for a reading: the document's
    mutable std::atomic<std::uint64_t> budget_;
    std::uint64_t doctype_at_ = 0;
    mutable std::atomic<std::uint64_t> spent_{0};
    mutable std::atomic<bool> fell_short_{false};
    static constexpr std::size_t none = static_cast<std::size_t>(-1);
    mutable std::atomic<std::size_t> first_refused_{none};
};

}  // namespace quorbix::xml
