// What every harness shares: the input cut into its parts, and matches shown
// as text so that two ways of answering can be compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_match.hpp"
#include "path/parser.hpp"
#include "xml/encoding/encoding.hpp"

namespace quorbix::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input's lines before the first empty line are paths; the rest is the
// document. Without an empty line the first line is the one path.
struct PathsAndDocument {
    std::vector<std::string_view> paths;
    std::string_view document;
};

inline PathsAndDocument split(std::string_view input) {
    PathsAndDocument out;
    std::size_t blank = input.find("\n\n");
    std::string_view head = input.substr(0, blank == std::string_view::npos ? 0 : blank);
    if (blank == std::string_view::npos) {
        std::size_t line = input.find('\n');
        out.paths.push_back(input.substr(0, line));
        out.document = line == std::string_view::npos ? std::string_view{} : input.substr(line + 1);
        return out;
    }
    out.document = input.substr(blank + 2);
    do {  // at least one path, empty when the input starts with the blank line
        std::size_t line = head.find('\n');
        out.paths.push_back(head.substr(0, line));
        head = line == std::string_view::npos ? std::string_view{} : head.substr(line + 1);
    } while (!head.empty());
    return out;
}

// The texts that compile, compiled; the rest are passed over.
struct CompiledPaths {
    std::vector<path::CompiledPathRef> held;
    std::vector<const path::CompiledPath*> paths;
};

inline CompiledPaths compiled(const std::vector<std::string_view>& texts) {
    CompiledPaths out;
    for (std::string_view text : texts) {
        auto compiled = path::compile_path(text);
        if (auto* p = std::get_if<path::CompiledPathRef>(&compiled)) {
            out.held.push_back(*p);
            out.paths.push_back(p->get());
        }
    }
    return out;
}

// The encoding a byte selects: every one of them, in turn.
inline xml::Encoding encoding_of(std::uint8_t byte) {
    return static_cast<xml::Encoding>(byte % xml::encoding_count);
}

// Matches as text: elements by their bytes, whether copied or ranges of
// `document`, so that range and copy mode compare equal.
inline std::string shown(const engine::Matches& matches, std::string_view document) {
    std::string out;
    for (const engine::EngineMatch& m : matches) {
        switch (m.kind) {
            case engine::EngineMatch::Kind::ScalarText:
                out += "S:" + m.bytes;
                break;
            case engine::EngineMatch::Kind::OwnedElement:
                out += "E:" + m.bytes;
                break;
            case engine::EngineMatch::Kind::ElementRange:
                if (m.start > m.end || m.end > document.size()) __builtin_trap();
                out += "E:" + std::string(document.substr(m.start, m.end - m.start));
                break;
        }
        out += '\x1f';
    }
    return out;
}

}  // namespace quorbix::fuzz
