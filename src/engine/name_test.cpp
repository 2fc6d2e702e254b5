#include "engine/name_test.hpp"

namespace quorbix::engine {

bool name_and_namespace_match(const path::PathStep& step, std::string_view qualified,
                              const xml::NamespaceScope& scope) {
    if (step.glob) {  // an exact local name was tested already
        std::string scratch;
        std::string_view local = xml::local_name(qualified);
        if (!path::glob_match(step.name, xml::utf8_text(local, xml::Encoding::Utf8, scratch)))
            return false;
    }
    xml::NameNamespace ns = scope.element_namespace(qualified);
    return ns.known && ns.uri == step.uri;
}

}  // namespace quorbix::engine
