// The machine behind the evaluator. The path's components are matched level
// by level, one level per open element being searched; the levels live on an
// explicit stack, never on the call stack, so neither a deep document nor a
// long path can exhaust it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_match.hpp"
#include "path/compiled_path.hpp"
#include "xml/text_encoding.hpp"
#include "xml/xml_reader.hpp"

namespace quorbix::engine {

struct EvalFlags {
    bool range_mode = false;             // elements become ranges instead of copies
    bool stop_after_first_item = false;  // end the scan once anything matched (|@first)
    bool top_level_stop = false;         // a single selection that produced output ends the scan
};

class Scan {
  public:
    // `steps` must outlive the scan; matches are appended to `out`. The bytes
    // are in `encoding`, and so is every element read out of them.
    Scan(std::string_view bytes, xml::Encoding encoding, const std::vector<path::PathStep>& steps,
         Matches& out);

    // The components from the first, at document level.
    std::optional<AmbiguousPath> run_document(EvalFlags flags);

    // The components from the first, relative to the first element in the
    // bytes (its children are tested against the first component); with no
    // components, the element itself.
    std::optional<AmbiguousPath> run_relative(EvalFlags flags);

  private:
    // What a level does when the match it handed down comes back.
    enum class Pending : std::uint8_t {
        None,      // a recursive search below a non-matching element
        Counted,   // a match; count it
        Index,     // a single selection: ends the level if the output grew
        Selected,  // a single selection that already counts as output
    };

    struct Frame {
        bool bytes_root = false;  // the start of a scan of captured element bytes
        bool has_context = false;
        bool started = false;  // bytes roots: the element was entered
        Pending pending = Pending::None;
        std::uint32_t source = 0;
        std::size_t component = 0;
        EvalFlags flags;
        std::uint64_t counter = 0;  // children that passed the name test
        bool seen_match = false;
        std::size_t size_before = 0;
    };

    // The bytes a reader runs over: the document, or an element captured for
    // the rest of the path after a filter.
    struct Source {
        std::unique_ptr<std::string> owned;  // a rebuilt self-closing element
        xml::XmlReader reader;
    };

    std::optional<AmbiguousPath> run();
    void step_level();
    void step_bytes_root();
    void on_start(const xml::XmlEvent& event, std::uint64_t start);
    void on_empty(const xml::XmlEvent& event);
    bool second_match_is_ambiguous();
    void on_filtered_start(const xml::XmlEvent& event, std::uint64_t start);
    void stream_filter(const xml::XmlEvent& event, std::uint64_t start);

    void descend(const xml::XmlEvent& event, std::uint64_t start, EvalFlags flags, Pending pending);
    void enter_level(const xml::XmlEvent& context, std::size_t component, EvalFlags flags);
    bool handle_empty(const xml::XmlEvent& event, std::size_t next_component);
    void capture(const xml::XmlEvent& event, std::uint64_t start);
    void rest_on_bytes(std::string_view bytes, std::unique_ptr<std::string> owned, Pending pending);
    bool filter_holds(std::string_view element, const path::FilterExpr& filter);

    void after_descend();
    void end_single_selection();
    void finish_level();
    void stop();
    void finish_context(xml::XmlReader& reader, bool has_context);

    Frame& top() { return frames_.back(); }
    xml::XmlReader& reader() { return sources_[top().source]->reader; }
    const path::PathStep& component() { return steps_[top().component]; }
    bool is_last(std::size_t component) const { return component + 1 == steps_.size(); }
    std::string_view input_of(std::uint32_t source, std::uint64_t start, std::uint64_t end);
    // An element's name as the name test reads it: UTF-8.
    std::string_view tested_name(std::string_view raw) {
        if (encoding_ == xml::Encoding::Utf8) return raw;
        return xml::decode_or_raw(raw, encoding_, name_scratch_);
    }

    const std::vector<path::PathStep>& steps_;
    xml::Encoding encoding_;
    Matches& out_;
    std::vector<std::unique_ptr<Source>> sources_;
    std::vector<Frame> frames_;
    std::optional<AmbiguousPath> error_;
    std::string scratch_;
    std::string name_scratch_;
};

}  // namespace quorbix::engine
