#include "xml/encoding/decoders.hpp"
#include "xml/encoding/tables.hpp"
#include "xml/encoding/utf8_writer.hpp"

namespace quorbix::xml::decoders {
namespace {

enum class State { Ascii, Roman, Katakana, LeadByte, TrailByte, EscStart, Esc };

// The decoder as a state machine. Each error appends one U+FFFD; the bytes an
// error puts back are always the last ones read, so `take` and `finish` say
// how many of them to read again.
class Iso2022JpDecoder {
  public:
    explicit Iso2022JpDecoder(std::string& out) : out_(out) {}

    // Takes one byte; returns how many of the bytes read, this one last, are
    // to be read again (0, 1 or 2).
    int take(unsigned char b) {
        switch (state_) {
            case State::Ascii:
                if (b == 0x1B) return escape();
                if (b > 0x7F || b == 0x0E || b == 0x0F) return error();
                return emit(b);
            case State::Roman:
                if (b == 0x1B) return escape();
                if (b > 0x7F || b == 0x0E || b == 0x0F) return error();
                if (b == 0x5C) return emit(0x00A5);
                if (b == 0x7E) return emit(0x203E);
                return emit(b);
            case State::Katakana:
                if (b == 0x1B) return escape();
                if (!in(b, 0x21, 0x5F)) return error();
                return emit(0xFF61 + (b - 0x21));
            case State::LeadByte:
                if (b == 0x1B) return escape();
                if (!in(b, 0x21, 0x7E)) return error();
                output_ = false;
                lead_ = b;
                state_ = State::TrailByte;
                return 0;
            case State::TrailByte: {
                // An escape drops the lead; any other wrong byte is taken.
                state_ = b == 0x1B ? State::EscStart : State::LeadByte;
                std::uint32_t cp = 0;
                if (in(b, 0x21, 0x7E)) cp = tables::jis0208[(lead_ - 0x21) * 94 + (b - 0x21)];
                if (cp == 0)
                    append_replacement(out_);
                else
                    append_utf8(out_, cp);
                return 0;
            }
            case State::EscStart:
                if (b == 0x24 || b == 0x28) {
                    lead_ = b;
                    state_ = State::Esc;
                    return 0;
                }
                return abandon_escape(1);
            case State::Esc:
                return finish_escape(b);
        }
        return 0;
    }

    // The end of the input; returns how many of the last bytes are to be
    // read again (0 or 1) before it.
    int finish() {
        switch (state_) {
            case State::TrailByte:
                state_ = State::LeadByte;
                append_replacement(out_);
                return 0;
            case State::EscStart:
                return abandon_escape(0);
            case State::Esc:
                return abandon_escape(1);
            default:
                return 0;
        }
    }

  private:
    int escape() {
        state_ = State::EscStart;
        return 0;
    }

    int emit(std::uint32_t cp) {
        output_ = false;
        append_utf8(out_, cp);
        return 0;
    }

    int error() {
        output_ = false;
        append_replacement(out_);
        return 0;
    }

    // An escape sequence that names no state: its 0x1B is dropped, and the
    // `back` bytes after it are read again in the state it interrupted.
    int abandon_escape(int back) {
        error();
        state_ = out_state_;
        return back;
    }

    int finish_escape(unsigned char b) {
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
            return abandon_escape(2);
        state_ = out_state_ = next;
        // Two escape sequences with nothing decoded between them are an
        // error, but the second still switches the state.
        if (output_) append_replacement(out_);
        output_ = true;
        return 0;
    }

    std::string& out_;
    State state_ = State::Ascii;
    State out_state_ = State::Ascii;
    unsigned char lead_ = 0;
    bool output_ = false;
};

}  // namespace

void iso_2022_jp(std::string_view text, std::string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size();
    out.reserve(out.size() + n);
    Iso2022JpDecoder decoder(out);
    for (std::size_t i = 0;;) {
        if (i < n)
            i = i + 1 - decoder.take(p[i]);
        else if (int back = decoder.finish())
            i -= back;
        else
            return;
    }
}

}  // namespace quorbix::xml::decoders
