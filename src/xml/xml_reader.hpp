// A pull reader of XML events over one borrowed byte slice. It builds no tree
// and copies nothing: events point into the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/byte_search.hpp"
#include "xml/reader_settings.hpp"
#include "xml/scan_progress.hpp"
#include "xml/text_encoding.hpp"
#include "xml/xml_event.hpp"

namespace quorbix::xml {

class StructureCheck;

class XmlReader {
  public:
    // A document: its start says how it is encoded.
    XmlReader(std::string_view input, ReaderSettings settings)
        : XmlReader(input, settings, read_document_start(input)) {}

    // Bytes in a known encoding: a str's text, a transcoded copy, or an
    // element of a document whose start was read already.
    XmlReader(std::string_view input, ReaderSettings settings, Encoding encoding)
        : XmlReader(input, settings, given_document_start(input, encoding)) {}

    XmlReader(std::string_view input, ReaderSettings settings, DocumentStart start)
        : begin_(input.data()),
          cur_(input.data() + start.mark_length),
          end_(input.data() + input.size()),
          check_at_(next_progress_check(cur_, end_)),
          settings_(settings),
          encoding_(start.encoding),
          track_names_(settings.match_end_names) {}

    // The next event, or an error. After Eof or a Syntax error every further
    // call gives Eof; after an IllFormed error reading goes on past the
    // offending markup.
    ReadResult next_event() {
        ReaderError error = advance();
        return ReadResult{event_, error};
    }

    // The same, for hot loops: the event stays in the reader (see `event`)
    // until the next call.
    ReaderError read_next() { return advance(); }
    const XmlEvent& event() const { return event_; }

    // Steps over text up to the next markup without reporting it, for callers
    // that look only at tags; `position` then stands at that markup's '<'.
    void skip_text() {
        if (state_ != State::InsideText) return;
        const char* lt = find_lt();
        if (lt == nullptr) {
            cur_ = end_;
            state_ = State::Done;
        } else {
            cur_ = lt + 1;
            state_ = State::InsideMarkup;
        }
    }

    // Where the next event's markup or text begins: before a tag event is read,
    // the offset of its '<'; after it, the offset just past its '>'.
    std::uint64_t position() const {
        return static_cast<std::uint64_t>(cur_ - begin_) - (state_ == State::InsideMarkup ? 1 : 0);
    }

    // Called right after a Start named `name`: when nothing but text stands
    // before the element's end tag, reads through that end tag and returns
    // that text (raw); otherwise leaves the reader at the first markup inside
    // and returns nothing.
    std::optional<std::string_view> skip_leaf(std::string_view name) {
        const char* text_begin = cur_;
        skip_text();
        const char* text_end = state_ == State::InsideMarkup ? cur_ - 1 : cur_;
        if (!closes_here(name)) return std::nullopt;
        return std::string_view(text_begin, static_cast<std::size_t>(text_end - text_begin));
    }

    // Called right after a Start named `name`: reads up to and including the
    // End that closes it, counting nesting by that name only.
    ReaderError skip_element(std::string_view name);

    // Has `check` see every tag this reader reads from now on, and the markup
    // it cannot read (null: none). The check outlives the reading.
    void check_structure(StructureCheck* check) {
        check_ = check;
        track_names_ = settings_.match_end_names || check != nullptr;
    }

    TextEncoding encoding() const { return encoding_; }
    // The whole input, from its first byte.
    std::string_view input() const { return {begin_, static_cast<std::size_t>(end_ - begin_)}; }
    std::size_t depth() const { return depth_; }

  private:
    enum class State { InsideText, InsideMarkup, InsideEmpty, Done };

    // Each reads one event into `event_` and returns its error.
    ReaderError advance();
    ReaderError read_text();
    ReaderError read_markup();
    ReaderError read_start_tag();
    ReaderError read_end_tag();
    ReaderError read_bang();
    ReaderError read_comment();
    ReaderError read_cdata();
    ReaderError read_doctype();
    ReaderError read_processing_instruction();
    ReaderError end_of_empty_element();
    ReaderError syntax_error();
    ReaderError set_event(EventKind kind, std::string_view content, std::size_t name_length = 0) {
        event_.kind = kind;
        event_.content = content;
        event_.name_length = name_length;
        return ReaderError::None;
    }
    bool closes_here(std::string_view name);
    ReaderError tracked_end(std::string_view name, std::size_t lt);
    void tracked_start(std::string_view name, std::size_t lt, bool empty);
    // The offset of the '<' before `after_lt`: the markup being read.
    std::size_t markup_offset(const char* after_lt) const {
        return static_cast<std::size_t>(after_lt - 1 - begin_);
    }

    // The next '<' at or after `cur_`, or nullptr when the input ends first.
    // Searches stop at the next progress check (scan_progress.hpp), where the
    // reader asks whether to go on before it searches further.
    const char* find_lt() {
        const char* lt = find_byte(cur_, check_at_, '<');
        if (lt == nullptr && check_at_ != end_) [[unlikely]]
            return find_lt_past_check();
        return lt;
    }
    const char* find_lt_past_check();

    const char* begin_;
    const char* cur_;  // the unread rest is [cur_, end_)
    const char* end_;
    const char* check_at_;  // the next progress check, or `end_`
    State state_ = State::InsideText;
    ReaderSettings settings_;
    TextEncoding encoding_;
    std::size_t depth_ = 0;  // open elements
    StructureCheck* check_ = nullptr;
    // End names are matched, or a check sees the tags: start and end tags are
    // tracked, and every end tag is read whole (never recognised in place).
    bool track_names_;
    // Names of the open elements, innermost last; kept only when end names are
    // checked. They point into the input, which outlives the reader.
    std::vector<std::string_view> open_names_;
    std::string_view empty_name_;  // the element an InsideEmpty End closes
    XmlEvent event_;
};

}  // namespace quorbix::xml
