#include "path/parser.hpp"

#include "path/filter.hpp"
#include "path/modifier_names.hpp"
#include "path/tokenizer.hpp"
#include "text/white_space.hpp"

namespace quorbix::path {
namespace {

using Kind = PathToken::Kind;

bool is_selector(Kind kind) {
    return kind == Kind::Index || kind == Kind::Each || kind == Kind::Filter;
}

PathStep element_step(PathToken& name) {
    PathStep step;
    step.kind = name.glob ? StepKind::ElementGlob : StepKind::ElementExact;
    step.name = std::move(name.name);
    step.qualified = step.name.find(':') != std::string::npos;
    return step;
}

using Filters = std::vector<std::shared_ptr<const FilterExpr>>;  // one per token

void apply_selector(PathStep& step, const PathToken& token,
                    std::shared_ptr<const FilterExpr> filter, bool last) {
    switch (token.kind) {
        case Kind::Index:
            step.selector = Selector::Index;
            step.index = token.index;
            break;
        case Kind::Each:
            step.selector = last ? Selector::EachCount : Selector::EachAll;
            break;
        default:
            step.selector = token.all_matches ? Selector::FilterAll : Selector::FilterFirst;
            step.filter = std::move(filter);
            break;
    }
}

// Joins tokens into steps, left to right; the first offending token decides.
std::variant<std::vector<PathStep>, PathError> join(std::vector<PathToken>& tokens,
                                                    Filters& filters) {
    std::vector<PathStep> steps;
    std::size_t n = tokens.size();
    for (std::size_t i = 0; i < n; ++i) {
        PathToken& token = tokens[i];
        bool has_next = i + 1 < n;
        switch (token.kind) {
            case Kind::Name: {
                PathStep step = element_step(token);
                if (has_next && is_selector(tokens[i + 1].kind)) {
                    ++i;
                    apply_selector(step, tokens[i], std::move(filters[i]), i + 1 == n);
                }
                steps.push_back(std::move(step));
                break;
            }
            case Kind::Recursive: {
                if (!has_next || tokens[i + 1].kind != Kind::Name)
                    return PathError{PathErrorKind::RecursiveWithoutName, {}};
                if (i + 2 < n && is_selector(tokens[i + 2].kind))
                    return PathError{PathErrorKind::RecursiveWithSelector, {}};
                PathStep step = element_step(tokens[++i]);
                step.recursive = true;
                steps.push_back(std::move(step));
                break;
            }
            case Kind::Attribute:
            case Kind::Text: {
                bool attribute = token.kind == Kind::Attribute;
                if (has_next)
                    return PathError{
                        attribute ? PathErrorKind::AttributeNotLast : PathErrorKind::TextNotLast,
                        {}};
                PathStep step;
                step.kind = attribute ? StepKind::Attribute : StepKind::Text;
                step.name = std::move(token.name);
                steps.push_back(std::move(step));
                break;
            }
            case Kind::Index:
                return PathError{PathErrorKind::IndexWithoutName, {}};
            case Kind::Each:
            case Kind::Filter:
                return PathError{PathErrorKind::EachWithoutName, {}};
        }
    }
    return steps;
}

std::variant<Modifier, PathError> read_modifier(std::string_view piece) {
    std::string_view trimmed = text::trim_white_space(piece);
    if (trimmed.size() < 2 || trimmed.front() != '@')
        return PathError{PathErrorKind::EmptyModifierName, {}};
    std::string_view name = trimmed.substr(1);
    if (auto modifier = modifier_named(name)) return *modifier;
    return PathError{PathErrorKind::UnknownModifier, std::string(name)};
}

FinalCapture final_capture_of(const CompiledPath& path) {
    const PathStep& last = path.steps.back();
    if (!last.is_element()) return FinalCapture::Span;
    const auto& mods = path.modifiers;
    if (mods.size() == 1 && mods[0] == Modifier::Count) return FinalCapture::CountOnly;
    bool has_count = false;
    for (Modifier m : mods) has_count = has_count || m == Modifier::Count;
    if (!mods.empty() && !has_count && last.selector != Selector::Index &&
        last.selector != Selector::EachCount)
        return FinalCapture::OwnedText;
    return FinalCapture::Span;
}

// The body's shape (a fan-out anywhere makes a list, of counts too when the
// last step counts; a count alone one number), then each modifier's effect
// on it, in the order written: the aggregates make one number, first and
// last keep one of a list's entries, the others reorder or thin out a list.
AnswerShape answer_shape_of(const CompiledPath& path) {
    bool counts = path.steps.back().selector == Selector::EachCount;
    AnswerShape one = counts ? AnswerShape::Number : AnswerShape::Single;
    AnswerShape shape = one;
    for (const PathStep& step : path.steps)
        if (step.selector == Selector::EachAll || step.selector == Selector::FilterAll)
            shape = AnswerShape::List;
    for (Modifier m : path.modifiers) {
        switch (m) {
            case Modifier::First:
            case Modifier::Last:
                if (shape == AnswerShape::List) shape = one;
                break;
            case Modifier::Count:
            case Modifier::Sum:
            case Modifier::Mean:
            case Modifier::Min:
            case Modifier::Max:
                shape = AnswerShape::Number;
                break;
            default:
                break;
        }
    }
    return shape;
}

// A body's steps, in the stages' order: tokens up to the body's first
// error, its filters compiled in text order (each inside `depth` others),
// then that error, then the tokens joined into steps. Errors thus come out
// in text order. A whole path's body may not be empty.
std::variant<std::vector<PathStep>, PathError> compile_body(std::string_view body, int depth,
                                                            bool whole_path) {
    Tokens read = tokenize(body);
    Filters filters(read.tokens.size());
    for (std::size_t i = 0; i < read.tokens.size(); ++i) {
        if (read.tokens[i].kind != Kind::Filter) continue;
        auto filter = compile_filter(read.tokens[i].filter_text, depth + 1);
        if (auto* e = std::get_if<PathError>(&filter)) return std::move(*e);
        filters[i] = std::move(std::get<std::shared_ptr<const FilterExpr>>(filter));
    }
    if (read.error) return std::move(*read.error);
    if (whole_path && read.tokens.empty()) return PathError{PathErrorKind::EmptyPath, {}};
    return join(read.tokens, filters);
}

std::variant<CompiledPathRef, PathError> compile(std::string_view text,
                                                 const NamespaceMap* namespaces) {
    auto cut = cut_top_level(text);
    if (auto* e = std::get_if<PathError>(&cut)) return std::move(*e);
    auto& pieces = std::get<std::vector<std::string_view>>(cut);

    auto steps = compile_body(pieces[0], 0, true);
    if (auto* e = std::get_if<PathError>(&steps)) return std::move(*e);

    auto path = std::make_shared<CompiledPath>();
    path->steps = std::move(std::get<std::vector<PathStep>>(steps));
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        auto modifier = read_modifier(pieces[i]);
        if (auto* e = std::get_if<PathError>(&modifier)) return std::move(*e);
        path->modifiers.push_back(std::get<Modifier>(modifier));
    }
    path->final_capture = final_capture_of(*path);
    path->answer_shape = answer_shape_of(*path);
    if (namespaces != nullptr)
        if (auto error = bind_namespaces(*path, *namespaces)) return std::move(*error);
    return CompiledPathRef(std::move(path));
}

}  // namespace

std::variant<std::vector<PathStep>, PathError> parse_steps(std::string_view text,
                                                           int filter_depth) {
    return compile_body(text, filter_depth, false);
}

std::variant<CompiledPathRef, std::string> compile_path(std::string_view text,
                                                        const NamespaceMap* namespaces) {
    auto compiled = compile(text, namespaces);
    if (auto* e = std::get_if<PathError>(&compiled)) return error_message(*e, text);
    return std::move(std::get<CompiledPathRef>(compiled));
}

}  // namespace quorbix::path
