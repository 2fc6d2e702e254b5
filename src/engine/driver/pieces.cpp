#include "engine/driver/pieces.hpp"

#include <algorithm>

#include "engine/driver/checked.hpp"
#include "xml/reader_settings.hpp"
#include "xml/tag_walker.hpp"

namespace quorbix::engine {

bool PieceDriver::feed(std::string_view piece) {
    if (!done_ && machine_.stopped()) {  // it looks for nothing: nothing need be read
        done_ = stopped_early_ = true;
    }
    if (done_) return false;
    held_.append(piece);
    if (held_.size() >= walk_at_) walk(false);
    return !done_;
}

void PieceDriver::end() {
    if (!done_ && machine_.stopped()) done_ = stopped_early_ = true;
    if (!done_) walk(true);
}

// Walks the bytes held from `resume_`. Unless this is the `last` walk, a
// walk that ends in the middle of markup (the reader calls it unreadable)
// is waiting for the rest of it: the next walk begins at its '<'. The text
// after the last tag is stepped over unseen either way.
void PieceDriver::walk(bool last) {
    // Places are followed only while a check is: they serve its reports.
    const bool placed = check_ != nullptr && check_->ok();
    machine_.slide(held_, origin_, placed ? origin_place_ : TextPlace{origin_, 0, 0});
    const xml::ReaderSettings profile = xml::evaluation_profile();
    xml::WalkStop stop;
    if (check_ != nullptr) {
        Checked<Machine> checked{machine_, *check_, origin_, stop_at_problem_};
        stop = xml::walk_tags(held_, resume_, profile, start_.encoding, checked);
    } else {
        stop = xml::walk_tags(held_, resume_, profile, start_.encoding, machine_);
    }
    if (last && check_ != nullptr && stop.end != xml::WalkEnd::Stopped) {
        if (stop.end == xml::WalkEnd::Syntax) check_->unreadable(origin_ + stop.at);
        check_->at_end(origin_ + held_.size());
    }
    const bool problem = check_ != nullptr && !check_->ok();
    if (problem && !report_) report_ = place_problem();
    if (last || stop.end == xml::WalkEnd::Stopped) {
        stopped_early_ = stop.end == xml::WalkEnd::Stopped;
        if (!(problem && stop_at_problem_)) machine_.finish(stop.at);
        done_ = true;
        return;
    }
    const bool stalled = stop.at == resume_ && stop.end == xml::WalkEnd::Syntax;
    resume_ = stop.at;
    walk_at_ = stalled ? 2 * held_.size() : 0;
    if (check_ != nullptr) check_->keep_names();  // they point into `held_`
    drop_walked();
}

// Drops the bytes before both the next walk's start and the first element
// the machine still needs; only once they are half of what is held, so that
// an element that spans many pieces is not moved for each. The cut is made
// where no character spans it, so that the characters counted on either
// side of it are those of the whole line; a text with no such place for a
// long way (a megabyte of hexadecimal digits in Shift_JIS, say) is held on.
void PieceDriver::drop_walked() {
    if (held_.empty()) return;
    std::size_t keep = std::min({resume_, machine_.first_needed(), held_.size() - 1});
    const std::size_t floor = keep > max_cut_search ? keep - max_cut_search : 0;
    while (keep > floor && !cuttable(keep)) --keep;
    if (keep == floor || keep < held_.size() / 2) return;
    if (check_ != nullptr && check_->ok()) place_dropped(keep);
    held_.erase(0, keep);
    origin_ += keep;
    resume_ -= keep;
    if (walk_at_ != 0) walk_at_ -= keep;
}

// Whether the bytes held may be cut before `at` (0 < at < their size): a
// '<' begins a character in every encoding read a byte at a time; in UTF-8
// so does every byte that does not continue one, in a single-byte encoding
// every byte, and in the legacy multi-byte ones (Shift_JIS, GBK, GB18030,
// Big5, EUC) every byte after one below '0', which is never part of a
// character of more bytes.
bool PieceDriver::cuttable(std::size_t at) const {
    const auto here = static_cast<unsigned char>(held_[at]);
    const auto before = static_cast<unsigned char>(held_[at - 1]);
    if (here == '<') return true;
    switch (start_.encoding.encoding) {
        case xml::Encoding::Utf8:
            return (here & 0xC0) != 0x80;
        case xml::Encoding::Gbk:
        case xml::Encoding::Gb18030:
        case xml::Encoding::Big5:
        case xml::Encoding::EucJp:
        case xml::Encoding::Iso2022Jp:
        case xml::Encoding::ShiftJis:
        case xml::Encoding::EucKr:
            return before < '0';
        default:
            return true;
    }
}

// Moves the place of the bytes held past the first `dropped` of them, and
// places the open elements that begin there.
void PieceDriver::place_dropped(std::size_t dropped) {
    const xml::Encoding encoding = start_.encoding.encoding;
    std::vector<TextPlace> places;
    std::size_t known = 0;  // in open_places_
    TextPlace at = origin_place_;
    std::size_t done = 0;  // bytes of `held_` that `at` is past
    for (std::size_t i = 0; i < check_->open_elements(); ++i) {
        const std::size_t lt = check_->open_element_at(i);
        if (lt >= origin_ + dropped) break;
        if (lt < origin_) {  // placed by an earlier drop
            while (known < open_places_.size() && open_places_[known].offset < lt) ++known;
            if (known < open_places_.size()) places.push_back(open_places_[known]);
            continue;
        }
        at = place_after(at, std::string_view(held_).substr(done, lt - origin_ - done), encoding);
        done = lt - origin_;
        places.push_back(at);
    }
    origin_place_ = place_after(at, std::string_view(held_).substr(done, dropped - done), encoding);
    open_places_ = std::move(places);
}

ValidationReport PieceDriver::place_problem() const {
    const xml::Encoding encoding = start_.encoding.encoding;
    const std::size_t offset = check_->offset();
    if (offset >= origin_) return report_of(*check_, held_, encoding, origin_place_);
    // An element left open, whose bytes were dropped.
    for (const TextPlace& place : open_places_)
        if (place.offset == offset) return report_at(*check_, place, encoding);
    return report_at(*check_, {offset, 0, 0}, encoding);
}

}  // namespace quorbix::engine
