#include "xml/xml_reader.hpp"

#include <cstring>

#include "xml/byte_search.hpp"
#include "xml/char_class.hpp"
#include "xml/doctype.hpp"
#include "xml/encoding/encoding.hpp"
#include "xml/structure_check.hpp"

namespace quorbix::xml {
namespace {

bool starts_with_ignoring_case(const char* p, const char* end, std::string_view upper) {
    if (static_cast<std::size_t>(end - p) < upper.size()) return false;
    for (std::size_t i = 0; i < upper.size(); ++i) {
        char c = p[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i]) return false;
    }
    return true;
}

std::string_view trim_space_back(std::string_view s) {
    while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view trim_space_front(std::string_view s) {
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
    return s;
}

}  // namespace

ReaderError XmlReader::syntax_error() {
    if (check_ != nullptr) [[unlikely]]
        check_->unreadable(markup_offset(cur_));
    state_ = State::Done;
    cur_ = end_;
    set_event(EventKind::Eof, {});
    return ReaderError::Syntax;
}

ReaderError XmlReader::advance() {
    switch (state_) {
        case State::InsideText:
            return read_text();
        case State::InsideMarkup:
            return read_markup();
        case State::InsideEmpty:
            return end_of_empty_element();
        case State::Done:
            break;
    }
    return set_event(EventKind::Eof, {});
}

// A search for '<' met a progress check: on, if the scan goes on, to the
// next check; if not, the input ends where the reader stands. What lies
// before the check holds no '<', so each stretch is searched once: a text of
// gigabytes costs one pass, not one pass per check.
const char* XmlReader::find_lt_past_check() {
    for (;;) {
        if (!go_on_scanning()) {
            end_ = cur_;
            check_at_ = end_;
            return nullptr;
        }
        // A tag may have carried `cur_` past the check.
        const char* from = cur_ > check_at_ ? cur_ : check_at_;
        check_at_ = next_progress_check(from, end_);
        const char* lt = find_byte(from, check_at_, '<');
        if (lt != nullptr || check_at_ == end_) return lt;
    }
}

ReaderError XmlReader::read_text() {
    const char* start = cur_;
    const char* lt = find_lt();
    const char* text_end = lt != nullptr ? lt : end_;
    std::string_view text(start, text_end - start);
    if (lt != nullptr) {
        cur_ = lt + 1;
        state_ = State::InsideMarkup;
    } else {
        cur_ = end_;
        state_ = State::Done;
    }
    if (settings_.trim_text_front) text = trim_space_front(text);
    if (settings_.trim_text_back) text = trim_space_back(text);
    if (!text.empty()) return set_event(EventKind::Text, text);
    if (lt == nullptr) return set_event(EventKind::Eof, {});
    return read_markup();
}

ReaderError XmlReader::read_markup() {
    if (cur_ == end_) return syntax_error();
    ReaderError result;
    switch (*cur_) {
        case '!':
            result = read_bang();
            break;
        case '/':
            result = read_end_tag();
            break;
        case '?':
            result = read_processing_instruction();
            break;
        default:
            result = read_start_tag();
            break;
    }
    if (state_ == State::InsideMarkup) state_ = State::InsideText;
    return result;
}

ReaderError XmlReader::read_start_tag() {
    const char* gt;
    const char* name_end;
    if (!short_tag(cur_, end_, gt, name_end)) {
        gt = find_tag_end(cur_, end_);
        if (gt == nullptr) return syntax_error();
        name_end = find_space(cur_, gt);
    }

    std::string_view content(cur_, gt - cur_);
    std::size_t name_length = name_end - cur_;
    cur_ = gt + 1;
    bool empty = !content.empty() && content.back() == '/';
    if (empty) {
        content.remove_suffix(1);
        if (name_length > content.size()) name_length = content.size();
        if (check_ != nullptr) [[unlikely]]
            check_->empty(content.substr(0, name_length), markup_offset(content.data()));
        if (!settings_.split_empty_elements)
            return set_event(EventKind::Empty, content, name_length);
        empty_name_ = content.substr(0, name_length);
        state_ = State::InsideEmpty;
    }
    ++depth_;
    if (track_names_) [[unlikely]]
        tracked_start(content.substr(0, name_length), markup_offset(content.data()), empty);
    return set_event(EventKind::Start, content, name_length);
}

ReaderError XmlReader::end_of_empty_element() {
    state_ = State::InsideText;
    --depth_;
    if (settings_.match_end_names) open_names_.pop_back();
    return set_event(EventKind::End, empty_name_);
}

ReaderError XmlReader::read_end_tag() {
    const char* name_start = cur_ + 1;
    const char* gt = find_byte(name_start, end_, '>');
    if (gt == nullptr) return syntax_error();
    std::string_view name(name_start, gt - name_start);
    if (settings_.trim_end_tag_names) name = trim_space_back(name);
    cur_ = gt + 1;

    set_event(EventKind::End, name);
    if (depth_ == 0) {
        if (check_ != nullptr) check_->end(name, markup_offset(name_start - 1));
        return settings_.allow_stray_end_tags ? ReaderError::None : ReaderError::IllFormed;
    }
    --depth_;
    if (track_names_) [[unlikely]]
        return tracked_end(name, markup_offset(name_start - 1));
    return ReaderError::None;
}

ReaderError XmlReader::tracked_end(std::string_view name, std::size_t lt) {
    if (check_ != nullptr) check_->end(name, lt);
    if (!settings_.match_end_names) return ReaderError::None;
    std::string_view open = open_names_.back();
    open_names_.pop_back();
    return same_bytes(open, name) ? ReaderError::None : ReaderError::IllFormed;
}

void XmlReader::tracked_start(std::string_view name, std::size_t lt, bool empty) {
    if (settings_.match_end_names) open_names_.push_back(name);
    if (check_ != nullptr && !empty) check_->start(name, lt);
}

ReaderError XmlReader::read_bang() {
    if (starts_with(cur_, end_, "!--")) return read_comment();
    if (starts_with(cur_, end_, "![CDATA[")) return read_cdata();
    if (starts_with_ignoring_case(cur_, end_, "!DOCTYPE")) return read_doctype();
    return syntax_error();
}

ReaderError XmlReader::read_comment() {
    const char* body = cur_ + 3;
    const char* close = find_terminator(body, end_, "-->");
    if (close == nullptr) return syntax_error();
    std::string_view text(body, close - body);
    cur_ = close + 3;
    set_event(EventKind::Comment, text);
    if (settings_.check_comment_dashes && text.find("--") != std::string_view::npos)
        return ReaderError::IllFormed;
    return ReaderError::None;
}

ReaderError XmlReader::read_cdata() {
    const char* body = cur_ + 8;
    const char* close = find_terminator(body, end_, "]]>");
    if (close == nullptr) return syntax_error();
    cur_ = close + 3;
    return set_event(EventKind::CData, std::string_view(body, close - body));
}

ReaderError XmlReader::read_doctype() {
    const char* body = cur_ + 8;
    while (body < end_ && is_space(*body)) ++body;
    const char* gt = find_doctype_end(body, end_);
    if (gt == nullptr) return syntax_error();
    std::string_view content(body, gt - body);
    bool named = !doctype_names_no_root(content);
    if (!named && check_ != nullptr) check_->malformed(EventKind::DocType, markup_offset(cur_));
    cur_ = gt + 1;
    set_event(EventKind::DocType, content);
    return named ? ReaderError::None : ReaderError::IllFormed;
}

ReaderError XmlReader::read_processing_instruction() {
    const char* body = cur_ + 1;
    const char* close = find_terminator(body, end_, "?>");
    if (close == nullptr) return syntax_error();
    std::string_view content(body, close - body);
    cur_ = close + 2;
    bool declaration = content.size() >= 3 && content.substr(0, 3) == "xml" &&
                       (content.size() == 3 || is_space(content[3]));
    // The encoding was settled by the document's start; a declaration read
    // here changes nothing.
    return set_event(declaration ? EventKind::Decl : EventKind::PI, content);
}

// Most skipped elements are leaves whose end tag follows their text at once:
// "</name>" is recognised in place, with the bookkeeping read_end_tag does.
bool XmlReader::closes_here(std::string_view name) {
    if (state_ != State::InsideMarkup || track_names_ || depth_ == 0) return false;
    const char* p = cur_;
    std::size_t n = name.size();
    if (static_cast<std::size_t>(end_ - p) < n + 2 || p[0] != '/' || p[n + 1] != '>') return false;
    if (!same_bytes(std::string_view(p + 1, n), name)) return false;
    cur_ = p + n + 2;
    state_ = State::InsideText;
    --depth_;
    set_event(EventKind::End, std::string_view(p + 1, n));
    return true;
}

ReaderError XmlReader::skip_element(std::string_view name) {
    // Text inside the element is never looked at: the scan jumps from one '<'
    // to the next, so no text event is made and trimming never applies.
    std::size_t level = 0;
    for (;;) {
        skip_text();
        if (level == 0 && closes_here(name)) return ReaderError::None;
        ReaderError error = advance();
        if (error != ReaderError::None) return error;
        EventKind kind = event_.kind;
        if (kind == EventKind::Eof) return ReaderError::IllFormed;  // the end tag is missing
        if (kind == EventKind::Start && same_bytes(event_.name(), name)) {
            ++level;
        } else if (kind == EventKind::End && same_bytes(event_.content, name)) {
            if (level == 0) return ReaderError::None;
            --level;
        }
    }
}

}  // namespace quorbix::xml
