// The path compiler over any text: a compiled path or an error message that
// quotes the path, never a crash; compiling the same text twice gives the
// same path, and its quoted form reads back as the text.
#include <string>

#include "fuzz/fuzz_input.hpp"
#include "path/parser.hpp"
#include "text/quote_literal.hpp"
#include "text/utf8.hpp"

using namespace quorbix;

namespace {

std::string render(const std::vector<path::PathStep>& steps) {
    std::string out;
    for (const path::PathStep& s : steps) {
        out += std::to_string(static_cast<int>(s.kind)) + s.name + '/' +
               std::to_string(static_cast<int>(s.selector)) + '/' + std::to_string(s.index) +
               (s.recursive ? "r" : "") + (s.qualified ? "q" : "");
        if (s.filter) {
            out += "(" + render(s.filter->lhs) + std::to_string(static_cast<int>(s.filter->op));
            out += std::to_string(s.filter->value.index()) + ")";
        }
        out += '.';
    }
    return out;
}

// The path text back from its quoted form, undoing quote_literal's escapes.
std::string unquote(std::string_view quoted) {
    std::string out;
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] != '\\') {
            out += quoted[i];
            continue;
        }
        char c = quoted[++i];
        if (c == 'u') {  // \u{hex}
            std::size_t close = quoted.find('}', i);
            std::uint32_t cp =
                std::stoul(std::string(quoted.substr(i + 2, close - i - 2)), nullptr, 16);
            if (cp < 0x80) {
                out += static_cast<char>(cp);
            } else if (cp < 0x800) {
                out += static_cast<char>(0xC0 | (cp >> 6));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                out += static_cast<char>(0xF0 | (cp >> 18));
                out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            }
            i = close;
            continue;
        }
        out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::as_text(data, size);
    auto first = path::compile_path(text);
    auto second = path::compile_path(text);
    if (first.index() != second.index()) __builtin_trap();
    if (auto* message = std::get_if<std::string>(&first)) {
        if (message->find("\n  in path: ") == std::string::npos) __builtin_trap();
        if (*message != std::get<std::string>(second)) __builtin_trap();
        return 0;
    }
    const auto& a = *std::get<path::CompiledPathRef>(first);
    const auto& b = *std::get<path::CompiledPathRef>(second);
    if (render(a.steps) != render(b.steps) || a.modifiers != b.modifiers) __builtin_trap();
    if (text::is_valid_utf8(text) && unquote(text::quote_literal(text)) != text) __builtin_trap();
    return 0;
}
