// The filter strategies: how a component's filter decides on a candidate.
// On the start tag (one attribute); by a probe, when the candidate's children
// are read as a level anyway (one plain child's text); or on the candidate's
// bytes once it has ended. When the filter holds there, the rest of the path
// walks those bytes. The plan (plan.hpp) picks the strategy.
#include "engine/driver/drive.hpp"
#include "engine/element_text.hpp"
#include "engine/machine/machine.hpp"
#include "engine/machine/selection.hpp"
#include "engine/name_test.hpp"
#include "path/filter.hpp"
#include "xml/reader_settings.hpp"
#include "xml/tag_walker.hpp"

namespace quorbix::engine {

using path::PathStep;
using xml::EventKind;
using xml::XmlEvent;

namespace {

// The text of the first child of an element that passes a step's name test,
// found by walking the element's bytes to that child's end.
struct FirstChild {
    const PathStep& step;
    xml::Encoding encoding;
    const xml::Entities* entities;
    std::string_view bytes;
    std::string& text;
    std::size_t depth = 0;
    std::size_t child_start = 0;    // the child's '<', once found
    std::size_t content_start = 0;  // past its start tag
    std::size_t last_end = 0;
    bool found = false;
    bool in_child = false;
    std::string scratch;

    bool tag(const XmlEvent& event, std::size_t lt, std::size_t end) {
        bool go = on_tag(event, lt, end);
        last_end = end;
        return go;
    }
    bool on_tag(const XmlEvent& event, std::size_t lt, std::size_t end) {
        if (event.kind == EventKind::End) {
            if (depth == 0) return true;
            if (--depth == 1 && in_child) return take_child(lt, end);
            return depth > 0;
        }
        if (depth == 1 && !in_child &&
            name_matches(step, xml::utf8_name(event.name(), encoding, scratch))) {
            found = true;
            if (event.kind == EventKind::Empty) return false;  // its text is empty
            in_child = true;
            child_start = lt;
            content_start = end;
        }
        if (event.kind == EventKind::Start) ++depth;
        return depth > 0;  // a self-closing element has no children
    }
    bool take_child(std::size_t lt, std::size_t end) {
        in_child = false;
        if (last_end == content_start)
            xml::append_character_data(bytes.substr(content_start, lt - content_start), encoding,
                                       text, entities);
        else
            text = item_text(bytes.substr(child_start, end - child_start), encoding, entities);
        return false;
    }
    bool markup(const xml::ReadResult&, std::size_t, std::size_t end) {
        last_end = end;
        return true;
    }
    // The walk ended inside the child: it ends there.
    void finish(std::size_t at) {
        if (in_child)
            text = item_text(bytes.substr(child_start, at - child_start), encoding, entities);
    }
};

// Whether the first element of `element` has a child that passes `step`'s
// name test; `text` is then the first such child's text.
bool first_child_text(std::string_view element, xml::Encoding encoding,
                      const xml::Entities* entities, const PathStep& step, std::string& text) {
    FirstChild first{step, encoding, entities, element, text, 0, 0, 0, 0, false, false, {}};
    xml::DocumentStart start = xml::given_document_start(element, encoding);
    xml::WalkStop stop =
        xml::walk_tags(element, 0, xml::evaluation_profile(), start.encoding, first);
    if (stop.end != xml::WalkEnd::Stopped) first.finish(stop.at);
    return first.found;
}

}  // namespace

// A candidate with a start tag. `single` and `stop` are its selection's.
void Machine::filter(std::uint32_t state, const XmlEvent& event, bool single, StopScope stop) {
    const ComponentPlan& plan = *states_[state].plan;
    const path::FilterExpr& f = *plan.step->filter;
    if (plan.filter == FilterStrategy::StartTag) {  // decided on the live tag
        bool holds = attribute_value(event, f.lhs[0], answers_.encoding(), &scope_, scratch_,
                                     answers_.entities()) &&
                     path::filter_compare(scratch_, f.op, f.value);
        if (holds) select(state, event, single, stop);
        return;
    }
    filtered_ = true;
    if (plan.filter == FilterStrategy::Streamed) return stream_filter(state, single);
    actions_.push_back({ActionKind::FilterOnBytes, single, state, no_probe, 0});
}

// The streamed strategy: the candidate's children pass once, the first that
// the filter names giving its value (a probe) and those the next component
// selects being gathered; at the candidate's end the filter decides.
void Machine::stream_filter(std::uint32_t state, bool single) {
    const ComponentPlan& plan = *states_[state].plan;
    std::uint32_t path = states_[state].path;
    std::uint64_t gathered_begin = gathered_.size();
    if (plan.next_ask == NextAsk::Descend)
        push_state(path, &plan + 1, StopScope::Level).gathers = true;
    // An attribute of the candidate is read from its start tag at its end,
    // once the filter holds.
    actions_.push_back({ActionKind::FilterStreamed, single, state, no_probe, gathered_begin});
}

// The start tag of the element at [start, end) of the bytes, as the walk
// reported it.
XmlEvent Machine::start_tag_at(std::size_t start, std::size_t end) const {
    const char* content = bytes_.data() + start + 1;
    const char* gt = xml::find_tag_end(content, bytes_.data() + end);
    if (gt == nullptr) gt = bytes_.data() + end;
    XmlEvent tag;
    tag.kind = EventKind::Start;
    tag.content = std::string_view(content, static_cast<std::size_t>(gt - content));
    tag.name_length = static_cast<std::size_t>(xml::find_space(content, gt) - content);
    return tag;
}

// A streamed candidate has ended at [start, end): when its filter holds, it
// or what was gathered in it are the path's matches.
void Machine::decide_streamed(const Action& action, std::uint64_t start, std::uint64_t end,
                              std::string_view leaf_text, bool leaf) {
    const State& s = states_[action.state];
    const path::FilterExpr& f = *s.step->filter;
    const ProbeValue& value = probes_[action.probe];
    bool holds = value.found && path::filter_compare(value.text, f.op, f.value);
    if (holds && s.plan->next_ask == NextAsk::Capture) {
        std::string_view bytes = bytes_.substr(start, end - start);
        answers_.capture(
            s.path, [&] { return leaf ? this->leaf(start, end, leaf_text) : element(start, end); },
            [&] { return text_of(bytes, leaf_text, leaf); });
    } else if (holds && s.plan->next_ask == NextAsk::Attribute) {
        if (attribute_value(start_tag_at(start, end), *s.plan->next, answers_.encoding(), &scope_,
                            scratch_, answers_.entities()))
            answers_.emit(s.path, EngineMatch::scalar(scratch_));
    }
    // Other paths' candidates may gather in the same element, and their
    // actions know where their matches begin: this path's are taken out
    // where they stand, and only the spent ones at the end are dropped.
    constexpr std::uint32_t spent = ~std::uint32_t{0};
    for (std::size_t g = action.size_before; g < gathered_.size(); ++g) {
        if (gathered_[g].path != s.path) continue;
        if (holds && !answers_.finished(s.path))
            answers_.emit(s.path, std::move(gathered_[g].match));
        gathered_[g].path = spent;
    }
    while (!gathered_.empty() && gathered_.back().path == spent) gathered_.pop_back();
    if (holds && action.single) selection_done(action.state);
}

// A self-closing candidate at [lt, end): decided on its bytes.
void Machine::filter_self_closing(std::uint32_t state, std::size_t lt, std::size_t end,
                                  bool single) {
    bool holds = filter_holds(bytes_.substr(lt, end - lt), *states_[state].step->filter);
    if (answers_.over() || !holds) return;
    rest_on_bytes(state, lt, end, single);
}

// A streamed filter reads its value, one plain child's text, as a probe of
// the candidate's level; so does a filter on the bytes when the element's
// children pass for other states anyway (`reads_children`), rather than
// walking the element's bytes again at its end.
void Machine::add_probes(std::uint32_t actions_begin, bool reads_children) {
    for (std::uint32_t i = actions_begin; i < actions_.size(); ++i) {
        Action& a = actions_[i];
        if (a.kind == ActionKind::FilterOnBytes && reads_children && states_[a.state].plan->probes)
            a.kind = ActionKind::FilterByProbe;
        else if (a.kind != ActionKind::FilterStreamed)
            continue;
        const State& filtered = states_[a.state];
        a.probe = new_probe();
        std::uint32_t path = filtered.path;
        const PathStep* left = &filtered.step->filter->lhs[0];
        State& probe = states_.emplace_back();  // `filtered` is not used past this point
        probe.step = left;
        probe.path = path;
        probe.stop = StopScope::Level;
        probe.probe = a.probe;
    }
}

// Whether the filter of an action on an element that has ended holds: on
// its probe's value, or on the element's bytes.
bool Machine::filter_decides(const Action& action, std::string_view bytes) {
    const path::FilterExpr& f = *states_[action.state].step->filter;
    if (action.kind != ActionKind::FilterByProbe) return filter_holds(bytes, f);
    const ProbeValue& value = probes_[action.probe];
    return value.found && path::filter_compare(value.text, f.op, f.value);
}

// The filter decided on a candidate's bytes.
bool Machine::filter_holds(std::string_view element, const path::FilterExpr& filter) {
    xml::Encoding encoding = answers_.encoding();
    const xml::Entities* entities = answers_.entities();
    std::string text;
    if (filter.shape == path::FilterShape::OwnText) {
        text = item_text(element, encoding, entities);
    } else if (filter.shape == path::FilterShape::OneChild && !scoped_) {
        // One plain child: the first of that name is read, nothing is built.
        if (!first_child_text(element, encoding, entities, filter.lhs[0], text)) return false;
    } else {  // an attribute of a self-closing element, or a path
        // The left side runs relative to the element, as an evaluation of
        // its own; filters nest at most a fixed depth, so this recursion is
        // bounded.
        Matches found;
        Answers left(element, encoding, {ScanPath{&filter.lhs, &found}}, true);
        left.use_entities(answers_.shared_entities());
        Machine machine(left, element, 0, depth_of_walks_ + 1);
        if (scoped_) machine.inherit(scope_.inherited());
        machine.start_relative(0, left.first_plan(0), StopScope::Path);
        drive(machine, element, encoding);
        if (auto ambiguous = left.conclude()) {
            answers_.fail(std::move(*ambiguous));
            return false;
        }
        if (found.empty()) return false;
        EngineMatch& first = found.front();
        switch (first.kind) {
            case EngineMatch::Kind::ScalarText:
                text = std::move(first.bytes);
                break;
            case EngineMatch::Kind::OwnedElement:
                text = item_text(first.bytes, encoding, entities);
                break;
            case EngineMatch::Kind::ElementRange:
                text = item_text(element.substr(first.start, first.end - first.start), encoding,
                                 entities);
                break;
        }
    }
    return path::filter_compare(text, filter.op, filter.value);
}

// Walks over matched elements' bytes nest on the call stack to this depth;
// past it (a path of many filters, over elements nested as deep), they run
// one after the other from a list, in the same order, so that no path, however
// long, exhausts the stack.
constexpr std::uint32_t max_nested_walks = 16;

// Runs the components after `state`'s over the element at [start, end) of
// the bytes, with a machine of its own; `selects` marks the state's single
// selection done.
void Machine::rest_on_bytes(std::uint32_t state, std::size_t start, std::size_t end, bool selects) {
    const State& s = states_[state];
    RestWalk walk{
        s.path, s.plan + 1, base_ + start, base_ + end, selects && s.stop == StopScope::Path,
        nullptr};
    if (depth_of_walks_ + 1 >= max_nested_walks) {
        // The selection is done now, for the candidates still to come; its
        // path, if it ends with it, ends once the walk has run.
        if (selects && s.stop != StopScope::Path) selection_done(state);
        if (selects && s.stop == StopScope::Path) {
            states_[state].done = true;
            answers_.changed();
        }
        if (scoped_) walk.scope = std::make_shared<xml::NamespaceScope>(scope_.inherited());
        return deferred_.push_back(walk);
    }
    std::string_view element = bytes_.substr(start, end - start);
    Machine rest(answers_, element, walk.start, depth_of_walks_ + 1);
    if (scoped_) rest.inherit(scope_.inherited());
    rest.start_relative(walk.path, walk.plan, StopScope::Bytes);
    drive(rest, element, answers_.encoding());
    if (!rest.deferred_.empty()) run_deferred(std::move(rest.deferred_));
    if (selects) selection_done(state);
}

// Runs walks a machine deferred, and those they defer in turn, each right
// after the walk that found it: the order a walk within a walk would give.
// Every match of a path past a filter comes from such walks, so its matches
// keep their order.
void Machine::run_deferred(std::vector<RestWalk> walks) {
    std::vector<RestWalk> stack(walks.rbegin(), walks.rend());
    while (!stack.empty() && !answers_.over()) {
        RestWalk walk = stack.back();
        stack.pop_back();
        if (walk.plan == nullptr) {  // a walk and those it deferred have run
            answers_.finish_path(walk.path);
            continue;
        }
        if (answers_.finished(walk.path)) continue;
        std::string_view element = answers_.bytes_at(walk.start, walk.end);
        Machine rest(answers_, element, walk.start, max_nested_walks);
        if (walk.scope) rest.inherit(*walk.scope);
        rest.start_relative(walk.path, walk.plan, StopScope::Bytes);
        drive(rest, element, answers_.encoding());
        if (walk.finishes_path) stack.push_back({walk.path, nullptr, 0, 0, false, nullptr});
        stack.insert(stack.end(), rest.deferred_.rbegin(), rest.deferred_.rend());
    }
}

}  // namespace quorbix::engine
