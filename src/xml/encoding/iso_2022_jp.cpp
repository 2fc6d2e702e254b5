#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

enum class State { Ascii, Roman, Katakana, LeadByte, TrailByte, EscStart, Esc };

// The decoder as a state machine; in fatal mode the first error ends it, so
// bytes that an error would put back are never re-read.
class Iso2022JpDecoder {
  public:
    explicit Iso2022JpDecoder(std::string& out) : out_(out) {}

    // Takes one byte; false on malformed input.
    bool take(unsigned char b) {
        switch (state_) {
            case State::Ascii:
                if (b == 0x1B) return escape();
                if (b > 0x7F || b == 0x0E || b == 0x0F) return false;
                return emit(b);
            case State::Roman:
                if (b == 0x1B) return escape();
                if (b > 0x7F || b == 0x0E || b == 0x0F) return false;
                if (b == 0x5C) return emit(0x00A5);
                if (b == 0x7E) return emit(0x203E);
                return emit(b);
            case State::Katakana:
                if (b == 0x1B) return escape();
                if (!in(b, 0x21, 0x5F)) return false;
                return emit(0xFF61 + (b - 0x21));
            case State::LeadByte:
                if (b == 0x1B) return escape();
                if (!in(b, 0x21, 0x7E)) return false;
                output_ = false;
                lead_ = b;
                state_ = State::TrailByte;
                return true;
            case State::TrailByte: {
                if (!in(b, 0x21, 0x7E)) return false;
                state_ = State::LeadByte;
                std::uint32_t cp = tables::jis0208[(lead_ - 0x21) * 94 + (b - 0x21)];
                if (cp == 0) return false;
                append_utf8(out_, cp);
                return true;
            }
            case State::EscStart:
                if (b != 0x24 && b != 0x28) return false;
                lead_ = b;
                state_ = State::Esc;
                return true;
            case State::Esc:
                return finish_escape(b);
        }
        return false;
    }

    // The end of the input: fine only between characters.
    bool finish() const {
        return state_ != State::TrailByte && state_ != State::EscStart && state_ != State::Esc;
    }

  private:
    bool escape() {
        state_ = State::EscStart;
        return true;
    }

    bool emit(std::uint32_t cp) {
        output_ = false;
        append_utf8(out_, cp);
        return true;
    }

    bool finish_escape(unsigned char b) {
        State next;
        if (lead_ == 0x28 && b == 0x42)
            next = State::Ascii;
        else if (lead_ == 0x28 && b == 0x4A)
            next = State::Roman;
        else if (lead_ == 0x28 && b == 0x49)
            next = State::Katakana;
        else if (lead_ == 0x24 && (b == 0x40 || b == 0x42))
            next = State::LeadByte;
        else
            return false;
        state_ = out_state_ = next;
        // Two escape sequences with nothing decoded between them are an error.
        bool previous = output_;
        output_ = true;
        return !previous;
    }

    std::string& out_;
    State state_ = State::Ascii;
    State out_state_ = State::Ascii;
    unsigned char lead_ = 0;
    bool output_ = false;
};

}  // namespace

bool iso_2022_jp(std::string_view text, std::string& out) {
    out.reserve(text.size());
    Iso2022JpDecoder decoder(out);
    for (unsigned char b : text)
        if (!decoder.take(b)) return false;
    return decoder.finish();
}

}  // namespace quorbix::xml::decoders
