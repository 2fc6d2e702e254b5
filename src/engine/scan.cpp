#include "engine/scan.hpp"

#include "engine/element_text.hpp"
#include "engine/name_test.hpp"
#include "path/filter.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::engine {

using path::PathStep;
using path::Selector;
using path::StepKind;
using xml::EventKind;
using xml::XmlEvent;

namespace {

std::string rebuild_empty(const XmlEvent& event) {
    std::string bytes = "<";
    bytes += event.content;
    bytes += "/>";
    return bytes;
}

// The streaming filter strategy decides in the scan's own pass: the filter
// reads one plain child's text, and what follows is at most one simple step.
bool streams(const std::vector<PathStep>& steps, std::size_t component) {
    const path::FilterExpr& filter = *steps[component].filter;
    if (filter.lhs.size() != 1) return false;
    const PathStep& left = filter.lhs[0];
    if (!left.is_element() || left.selector != Selector::None || left.recursive) return false;
    if (component + 1 == steps.size()) return true;
    if (component + 2 != steps.size()) return false;
    const PathStep& next = steps[component + 1];
    if (next.kind == StepKind::Attribute) return true;
    return next.is_element() && !next.recursive &&
           (next.selector == Selector::None || next.selector == Selector::Index);
}

}  // namespace

Scan::Scan(std::string_view bytes, xml::Encoding encoding, const std::vector<PathStep>& steps,
           Matches& out)
    : steps_(steps), encoding_(encoding), out_(out) {
    sources_.push_back(
        std::make_unique<Source>(Source{nullptr, {bytes, xml::evaluation_profile(), encoding}}));
}

std::optional<AmbiguousPath> Scan::run_document(EvalFlags flags) {
    const PathStep& first = steps_.front();
    if (first.kind == StepKind::Text) {  // no element to read the text of
        out_.push_back(EngineMatch::scalar({}));
        return std::nullopt;
    }
    if (first.kind == StepKind::Attribute) {  // no element to carry it
        finish_context(sources_[0]->reader, false);
        return std::nullopt;
    }
    Frame root;
    root.flags = flags;
    frames_.push_back(root);
    return run();
}

std::optional<AmbiguousPath> Scan::run_relative(EvalFlags flags) {
    Frame root;
    root.bytes_root = true;
    root.flags = flags;
    frames_.push_back(root);
    return run();
}

std::optional<AmbiguousPath> Scan::run() {
    while (!frames_.empty() && !error_) {
        if (top().bytes_root)
            step_bytes_root();
        else
            step_level();
    }
    return std::move(error_);
}

std::string_view Scan::input_of(std::uint32_t source, std::uint64_t start, std::uint64_t end) {
    return sources_[source]->reader.input().substr(start, end - start);
}

// One event of a level: the children of its context element, or of the
// document, tested against its component.
void Scan::step_level() {
    if (top().flags.stop_after_first_item && !out_.empty()) return stop();
    reader().skip_text();  // a level looks only at tags
    xml::XmlReader& r = reader();
    std::uint64_t start = r.position();
    if (r.read_next() !=
        xml::ReaderError::None) {  // malformed XML ends the level with what it found
        frames_.pop_back();
        if (!frames_.empty()) after_descend();
        return;
    }
    XmlEvent event = r.event();  // a copy: handlers read on and overwrite the reader's
    switch (event.kind) {
        case EventKind::Start:
            return on_start(event, start);
        case EventKind::Empty:
            return on_empty(event);
        case EventKind::End:
        case EventKind::Eof:
            return finish_level();
        default:
            return;
    }
}

void Scan::finish_level() {
    if (component().selector == Selector::EachCount)
        out_.push_back(EngineMatch::scalar(std::to_string(top().counter)));
    frames_.pop_back();
    if (!frames_.empty()) after_descend();
}

// A component with no selector that the path continues from must match once
// per level: a second match is the error.
bool Scan::second_match_is_ambiguous() {
    Frame& frame = top();
    if (is_last(frame.component)) return false;
    if (frame.seen_match) {
        error_ = AmbiguousPath{component().name};
        return true;
    }
    frame.seen_match = true;
    return false;
}

void Scan::on_start(const XmlEvent& event, std::uint64_t start) {
    const PathStep& step = component();
    if (!name_matches(step, tested_name(event.name()))) {
        if (!step.recursive) {
            (void)reader().skip_element(event.name());
            return;
        }
        // A leaf holds nothing to find; anything else is searched on, as a
        // level of its own.
        if (reader().skip_leaf(event.name())) return;
        top().pending = Pending::None;
        Frame child = top();
        child.has_context = true;
        child.flags.top_level_stop = false;
        child.counter = 0;
        child.seen_match = false;
        frames_.push_back(child);
        return;
    }
    Frame& frame = top();
    switch (step.selector) {
        case Selector::None:
            if (second_match_is_ambiguous()) return;
            return descend(event, start, frame.flags, Pending::Counted);
        case Selector::Index:
            if (frame.counter == step.index)
                return descend(event, start, frame.flags, Pending::Index);
            ++frame.counter;
            (void)reader().skip_element(event.name());
            return;
        case Selector::EachCount:
            ++frame.counter;
            (void)reader().skip_element(event.name());
            return;
        case Selector::EachAll: {
            EvalFlags flags = frame.flags;
            flags.top_level_stop = false;
            return descend(event, start, flags, Pending::Counted);
        }
        case Selector::FilterFirst:
        case Selector::FilterAll:
            return on_filtered_start(event, start);
    }
}

void Scan::on_empty(const XmlEvent& event) {
    const PathStep& step = component();
    if (!name_matches(step, tested_name(event.name()))) return;
    Frame& frame = top();
    switch (step.selector) {
        case Selector::None:
            if (second_match_is_ambiguous()) return;
            [[fallthrough]];
        case Selector::EachAll:
            ++frame.counter;
            handle_empty(event, frame.component + 1);
            return;
        case Selector::Index: {
            bool selected = frame.counter++ == step.index;
            if (selected && handle_empty(event, frame.component + 1)) end_single_selection();
            return;
        }
        case Selector::EachCount:
            ++frame.counter;
            return;
        case Selector::FilterFirst:
        case Selector::FilterAll: {
            auto rebuilt = std::make_unique<std::string>(rebuild_empty(event));
            if (!filter_holds(*rebuilt, *step.filter)) {
                ++frame.counter;
                return;
            }
            std::string_view bytes = *rebuilt;
            bool first = step.selector == Selector::FilterFirst;
            return rest_on_bytes(bytes, std::move(rebuilt),
                                 first ? Pending::Selected : Pending::Counted);
        }
    }
}

void Scan::on_filtered_start(const XmlEvent& event, std::uint64_t start) {
    const PathStep& step = component();
    const path::FilterExpr& filter = *step.filter;
    bool first = step.selector == Selector::FilterFirst;

    if (filter.attribute_name) {  // decided on the start tag, in the live stream
        bool holds = attribute_value(event, *filter.attribute_name, encoding_, scratch_) &&
                     xml::is_valid_utf8(scratch_) &&
                     path::filter_compare(scratch_, filter.op, filter.value);
        if (!holds) {
            ++top().counter;
            (void)reader().skip_element(event.name());
            return;
        }
        EvalFlags flags = top().flags;
        if (!first) flags.top_level_stop = false;
        return descend(event, start, flags, first ? Pending::Index : Pending::Counted);
    }
    if (streams(steps_, top().component)) return stream_filter(event, start);

    // Buffered: capture the element, test the filter on its bytes, and run the
    // rest of the path over them.
    (void)reader().skip_element(event.name());
    std::string_view element = input_of(top().source, start, reader().position());
    if (!filter_holds(element, filter)) {
        if (!error_) ++top().counter;
        return;
    }
    rest_on_bytes(element, nullptr, first ? Pending::Selected : Pending::Counted);
}

void Scan::stream_filter(const XmlEvent& event, std::uint64_t start) {
    Frame& frame = top();
    const PathStep& step = steps_[frame.component];
    const path::FilterExpr& filter = *step.filter;
    const PathStep& left = filter.lhs[0];
    const PathStep* next = is_last(frame.component) ? nullptr : &steps_[frame.component + 1];
    bool next_is_element = next != nullptr && next->is_element();
    bool range_mode = frame.flags.range_mode;
    xml::XmlReader& r = reader();

    std::string value;
    bool have_value = false;
    Matches gathered;
    std::uint64_t next_counter = 0;
    for (;;) {
        std::uint64_t child_start = r.position();
        xml::ReadResult e = r.next_event();
        if (!e.ok()) break;
        EventKind kind = e.event.kind;
        if (kind == EventKind::End || kind == EventKind::Eof) break;
        if (kind != EventKind::Start && kind != EventKind::Empty) continue;
        std::string_view name = e.event.name();
        std::string_view tested = tested_name(name);
        bool filter_child = !have_value && name_matches(left, tested);
        bool candidate = next_is_element && name_matches(*next, tested) &&
                         (next->selector != Selector::Index || next_counter++ == next->index);
        if (kind == EventKind::Start) {
            if (filter_child)
                collect_text(r, value);
            else
                (void)r.skip_element(name);
        }
        have_value = have_value || filter_child;
        if (candidate) {
            std::uint64_t child_end = r.position();
            gathered.push_back(range_mode ? EngineMatch::range(child_start, child_end)
                                          : EngineMatch::owned(r.input().substr(
                                                child_start, child_end - child_start)));
        }
    }
    std::uint64_t end = r.position();

    if (!xml::is_valid_utf8(value)) value.clear();
    bool holds = have_value && path::filter_compare(value, filter.op, filter.value);
    if (holds) {
        if (next == nullptr) {
            out_.push_back(range_mode ? EngineMatch::range(start, end)
                                      : EngineMatch::owned(r.input().substr(start, end - start)));
        } else if (next->kind == StepKind::Attribute) {
            if (attribute_value(event, next->name, encoding_, scratch_))
                out_.push_back(EngineMatch::scalar(scratch_));
        } else {
            for (EngineMatch& m : gathered) out_.push_back(std::move(m));
        }
    }
    ++top().counter;
    if (holds && step.selector == Selector::FilterFirst) end_single_selection();
}

// A matched element with a start tag: the rest of the path runs inside it, or
// it is the answer itself.
void Scan::descend(const XmlEvent& event, std::uint64_t start, EvalFlags flags, Pending pending) {
    Frame& frame = top();
    frame.pending = pending;
    frame.size_before = out_.size();
    if (is_last(frame.component)) {
        capture(event, start);
        return after_descend();
    }
    enter_level(event, frame.component + 1, flags);
}

// Runs `component` with `context` (just read) as its context element: a
// terminal is answered at once, an element step becomes a level.
void Scan::enter_level(const XmlEvent& context, std::size_t component, EvalFlags flags) {
    const PathStep& step = steps_[component];
    if (step.kind == StepKind::Attribute) {
        if (attribute_value(context, step.name, encoding_, scratch_))
            out_.push_back(EngineMatch::scalar(scratch_));
        finish_context(reader(), true);
        return after_descend();
    }
    if (step.kind == StepKind::Text) {
        std::string text;
        collect_text(reader(), text);
        out_.push_back(EngineMatch::scalar(std::move(text)));
        return after_descend();
    }
    Frame level;
    level.has_context = true;
    level.source = top().source;
    level.component = component;
    level.flags = flags;
    frames_.push_back(level);
}

// A self-closing match and what the component after it asks of it; true when
// something was appended.
bool Scan::handle_empty(const XmlEvent& event, std::size_t next_component) {
    if (next_component == steps_.size()) {
        out_.push_back(EngineMatch::owned(rebuild_empty(event)));
        return true;
    }
    const PathStep& next = steps_[next_component];
    if (next.kind == StepKind::Attribute) {
        if (!attribute_value(event, next.name, encoding_, scratch_)) return false;
        out_.push_back(EngineMatch::scalar(scratch_));
        return true;
    }
    if (next.kind == StepKind::Text) {
        out_.push_back(EngineMatch::scalar({}));
        return true;
    }
    return false;  // an element step: a self-closing element has no children
}

void Scan::capture(const XmlEvent& event, std::uint64_t start) {
    xml::XmlReader& r = reader();
    (void)r.skip_element(event.name());  // a missing end tag ends the range at the input's end
    std::uint64_t end = r.position();
    if (top().flags.range_mode)
        out_.push_back(EngineMatch::range(start, end));
    else
        out_.push_back(EngineMatch::owned(r.input().substr(start, end - start)));
}

void Scan::rest_on_bytes(std::string_view bytes, std::unique_ptr<std::string> owned,
                         Pending pending) {
    Frame& frame = top();
    frame.pending = pending;
    frame.size_before = out_.size();
    Frame root;
    root.bytes_root = true;
    root.component = frame.component + 1;
    root.source = static_cast<std::uint32_t>(sources_.size());
    root.flags.top_level_stop = true;
    sources_.push_back(std::make_unique<Source>(
        Source{std::move(owned), xml::XmlReader(bytes, xml::evaluation_profile(), encoding_)}));
    frames_.push_back(root);
}

// The start of a scan over captured element bytes: finds the element, then
// runs the remaining components inside it as one level.
void Scan::step_bytes_root() {
    Frame& root = top();
    auto end_root = [this] {
        bool owns_source = top().source != 0;
        frames_.pop_back();
        if (owns_source) sources_.pop_back();
        if (!frames_.empty()) after_descend();
    };
    if (root.started) return end_root();
    if (root.component == steps_.size()) {
        out_.push_back(EngineMatch::owned(reader().input()));
        return end_root();
    }
    for (;;) {
        xml::ReadResult r = reader().next_event();
        if (!r.ok()) continue;
        if (r.event.kind == EventKind::Eof) return end_root();
        if (r.event.kind == EventKind::Empty) {
            handle_empty(r.event, root.component);
            return end_root();
        }
        if (r.event.kind == EventKind::Start) {
            root.started = true;
            root.pending = Pending::None;
            EvalFlags flags = root.flags;
            return enter_level(r.event, root.component, flags);
        }
    }
}

bool Scan::filter_holds(std::string_view element, const path::FilterExpr& filter) {
    std::string text;
    if (filter.lhs.empty()) {
        text = item_text(element, encoding_);
    } else {
        Matches found;
        Scan left(element, encoding_, filter.lhs, found);
        EvalFlags flags;
        flags.range_mode = true;
        flags.top_level_stop = true;
        if (auto ambiguous = left.run_relative(flags)) {
            error_ = std::move(ambiguous);
            return false;
        }
        if (found.empty()) return false;
        EngineMatch& first = found.front();
        switch (first.kind) {
            case EngineMatch::Kind::ScalarText:
                text = std::move(first.bytes);
                break;
            case EngineMatch::Kind::OwnedElement:
                text = item_text(first.bytes, encoding_);
                break;
            case EngineMatch::Kind::ElementRange:
                text = item_text(element.substr(first.start, first.end - first.start), encoding_);
                break;
        }
    }
    if (!xml::is_valid_utf8(text)) text.clear();
    return path::filter_compare(text, filter.op, filter.value);
}

// The match a level handed down has been dealt with; the level goes on, or
// ends if it made a single selection that produced output.
void Scan::after_descend() {
    Frame& frame = top();
    if (frame.bytes_root) return;  // the root ends at its next step
    Pending pending = frame.pending;
    frame.pending = Pending::None;
    if (pending == Pending::None) return;
    ++frame.counter;
    bool selected = pending == Pending::Selected ||
                    (pending == Pending::Index && out_.size() > frame.size_before);
    if (selected) end_single_selection();
}

void Scan::end_single_selection() {
    if (top().flags.top_level_stop) return stop();
    finish_context(reader(), top().has_context);
    frames_.pop_back();
    if (!frames_.empty()) after_descend();
}

// Ends the scan, or only the scan of captured bytes it runs in.
void Scan::stop() {
    while (!frames_.empty() && !top().bytes_root) frames_.pop_back();
    if (frames_.empty()) return;
    top().started = true;  // the root then ends at its next step
}

void Scan::finish_context(xml::XmlReader& r, bool has_context) {
    std::size_t depth = 1;
    for (;;) {
        xml::ReadResult e = r.next_event();
        if (!e.ok()) continue;
        if (e.event.kind == EventKind::Eof) return;
        if (e.event.kind == EventKind::Start) ++depth;
        if (e.event.kind == EventKind::End && has_context && --depth == 0) return;
    }
}

}  // namespace quorbix::engine
