// The switches that tune the XML reader, and the two profiles the system uses.
#pragma once

namespace quorbix::xml {

struct ReaderSettings {
    bool allow_stray_end_tags = false;  // accept an end tag with no open element
    bool check_comment_dashes = false;  // "--" inside a comment is an error
    bool match_end_names = false;       // an end tag must name the innermost open element
    bool split_empty_elements = false;  // report <a/> as Start then End
    bool trim_end_tag_names = true;     // drop trailing white space in </a  >
    bool trim_text_front = false;       // skip leading white space of text
    bool trim_text_back = false;        // drop trailing white space of text
};

// Every query scan: end names are not checked, so the reader keeps only a
// depth count and never copies or compares names.
constexpr ReaderSettings evaluation_profile() {
    return ReaderSettings{};
}

// Document validation: end tags must match their start tags.
constexpr ReaderSettings validation_profile() {
    ReaderSettings settings;
    settings.match_end_names = true;
    return settings;
}

}  // namespace quorbix::xml
