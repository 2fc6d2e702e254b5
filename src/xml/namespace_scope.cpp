#include "xml/namespace_scope.hpp"

#include "xml/attributes.hpp"
#include "xml/character_data.hpp"

namespace quorbix::xml {

void NamespaceScope::declare_all(std::string_view attributes, std::size_t depth,
                                 Encoding encoding) {
    AttributeIter it(attributes);
    Attribute attribute;
    while (it.next(attribute)) {
        if (!attribute.ok) continue;
        std::string_view key = attribute.key;
        if (key == "xmlns" || key.starts_with("xmlns:"))
            declare(key, attribute.value, depth + 1, encoding);
    }
}

void NamespaceScope::declare(std::string_view key, std::string_view raw_value, std::size_t depth,
                             Encoding encoding) {
    ++changes_;
    Binding& b = bindings_.emplace_back();
    b.prefix = key.size() > 5 ? key.substr(6) : std::string_view{};
    b.depth = depth;
    append_attribute_value(raw_value, encoding, b.uri);
}

NameNamespace NamespaceScope::uri_of(std::string_view prefix) const {
    if (prefix == "xml") return {xml_namespace};
    for (auto b = bindings_.rbegin(); b != bindings_.rend(); ++b) {
        if (b->prefix != prefix) continue;
        // An undeclared default leaves names in no namespace; an undeclared
        // prefix is one nothing declares.
        return {b->uri, !b->uri.empty() || prefix.empty()};
    }
    return {{}, prefix.empty()};
}

NameNamespace NamespaceScope::element_namespace(std::string_view qualified) const {
    std::size_t colon = qualified.find(':');
    return uri_of(colon == std::string_view::npos ? std::string_view{}
                                                  : qualified.substr(0, colon));
}

NameNamespace NamespaceScope::attribute_namespace(std::string_view qualified) const {
    std::size_t colon = qualified.find(':');
    if (colon == std::string_view::npos) return {};
    return uri_of(qualified.substr(0, colon));
}

std::string NamespaceScope::declarations() const {
    std::string out;
    for (std::size_t i = 0; i < bindings_.size(); ++i) {
        const Binding& b = bindings_[i];
        bool shadowed = false;
        for (std::size_t j = i + 1; j < bindings_.size() && !shadowed; ++j)
            shadowed = bindings_[j].prefix == b.prefix;
        if (shadowed) continue;
        out += b.prefix.empty() ? " xmlns=\"" : " xmlns:" + b.prefix + "=\"";
        for (char c : b.uri) {
            if (c == '&')
                out += "&amp;";
            else if (c == '<')
                out += "&lt;";
            else if (c == '"')
                out += "&quot;";
            else
                out += c;
        }
        out += '"';
    }
    return out;
}

NamespaceScope NamespaceScope::declared(std::string_view declarations) {
    NamespaceScope scope;
    std::string tag(1, '_');
    tag.append(declarations);
    XmlEvent event{EventKind::Start, tag, 1};
    scope.enter(event, 0, Encoding::Utf8);
    for (Binding& b : scope.bindings_) b.depth = 0;
    return scope;
}

NamespaceScope NamespaceScope::inherited() const {
    NamespaceScope scope;
    scope.bindings_.reserve(bindings_.size());
    for (const Binding& b : bindings_) scope.bindings_.push_back({b.prefix, b.uri, 0});
    return scope;
}

}  // namespace quorbix::xml
