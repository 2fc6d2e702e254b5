// The encoding the reader decodes text from, and how it was learnt.
#pragma once

#include "xml/encoding/encoding.hpp"

namespace quorbix::xml {

enum class EncodingSource {
    Implicit,      // nothing said: UTF-8
    BomDetected,   // from a byte-order mark or the first bytes
    DeclDetected,  // from the declaration's encoding label
};

struct TextEncoding {
    EncodingSource source = EncodingSource::Implicit;
    Encoding encoding = Encoding::Utf8;
};

}  // namespace quorbix::xml
