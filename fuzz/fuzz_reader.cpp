// The reader over any bytes, in both profiles and in every encoding: every
// event, attribute iteration, unescaping, decoding and element skipping.
#include "fuzz/fuzz_input.hpp"
#include "xml/attributes.hpp"
#include "xml/character_data.hpp"
#include "xml/unescape.hpp"
#include "xml/xml_reader.hpp"

using namespace quorbix;

namespace {

void drain(xml::XmlReader reader, bool skip) {
    std::string scratch, decoded;
    std::uint64_t last = 0;
    for (int steps = 0;; ++steps) {
        xml::ReadResult r = reader.next_event();
        std::uint64_t position = reader.position();
        if (position < last || position > reader.input().size()) __builtin_trap();
        last = position;
        if (!r.ok()) continue;
        if (r.event.kind == xml::EventKind::Eof) return;
        switch (r.event.kind) {
            case xml::EventKind::Start:
                if (skip && steps % 2 == 0) (void)reader.skip_element(r.event.name());
                [[fallthrough]];
            case xml::EventKind::Empty: {
                xml::AttributeIter it = xml::attributes(r.event);
                xml::Attribute a;
                while (it.next(a))
                    if (a.ok) (void)xml::unescape_text(a.value, scratch);
                break;
            }
            case xml::EventKind::Text:
                decoded.clear();
                xml::append_character_data(r.event.content, reader.encoding().encoding, decoded);
                break;
            case xml::EventKind::CData:
                decoded.clear();
                xml::append_cdata(r.event.content, reader.encoding().encoding, decoded);
                break;
            default:
                break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = fuzz::as_text(data, size);
    drain(xml::XmlReader(input, xml::evaluation_profile()), true);
    drain(xml::XmlReader(input, xml::validation_profile()), false);
    if (size > 0)
        drain(
            xml::XmlReader(input.substr(1), xml::evaluation_profile(), fuzz::encoding_of(data[0])),
            true);
    return 0;
}
