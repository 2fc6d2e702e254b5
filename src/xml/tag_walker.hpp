// A walk over a document's tags that reads bit masks, not bytes. Each 64-byte
// block is classified once (`BlockMasks`); a tag is then its '<' bit and the
// first '>' bit after it that no quoted value holds, its name ends at the
// first white-space bit, and the next tag is the next '<' bit. Where '<' and
// '>' bits alternate, as they mostly do, tags are simply pairs of bits. A tag
// may run on into later blocks, its quote state carried along. A value in
// '\'' quotes is read quote bit by quote bit, and every comment, CDATA
// section, processing instruction and DOCTYPE by an `XmlReader` at its '<',
// so that a walk reports exactly the tags, and the markup, a reader reports.
//
// The walk pushes events to a visitor, which makes no event objects of its
// own and keeps no state but what its visitor keeps:
//   bool tag(const XmlEvent& event, std::size_t lt, std::size_t end)
//       a Start, Empty or End event (as the reader makes it) whose markup is
//       [lt, end) of the input;
//   bool markup(const ReadResult& read, std::size_t lt, std::size_t end)
//       what a reader read at [lt, end): a comment, CDATA, PI, declaration
//       or DOCTYPE, with the reader's error.
// Either returns false to stop the walk. Text is stepped over unseen: it is
// what lies between one call's `end` and the next call's `lt`. The visitor
// keeps depth and names itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "xml/block_classes.hpp"
#include "xml/byte_search.hpp"
#include "xml/char_class.hpp"
#include "xml/scan_progress.hpp"
#include "xml/xml_reader.hpp"

namespace quorbix::xml {

enum class WalkEnd {
    Eof,      // the input ended outside markup
    Syntax,   // markup the reader cannot read (an unclosed tag); the walk stops
    Stopped,  // the visitor said to
};

// How a walk ended, and where: the offset of the '<' of the markup it
// stopped at, or the input's size at Eof.
struct WalkStop {
    WalkEnd end;
    std::size_t at;
};

// The masks of a document's blocks, classified a batch at a time as a walk
// reaches them. Blocks a walk jumps over are never classified. A walk reaches
// new blocks only through the window, which asks there whether to go on
// (scan_progress.hpp): if not, it shows no more '<' and bounds the walk's
// searches for one at the input's start, so the walk ends as at the input's
// end (a tag it stands in still ends where it ends).
class BlockWindow {
  public:
    explicit BlockWindow(std::string_view input)
        : begin_(input.data()),
          size_(input.size()),
          search_end_(input.data() + input.size()),
          classify_(active_classify_function()) {}

    // Where the walk's searches for '<' end.
    const char* search_end() const { return search_end_; }

    // Whether `block` is classified already.
    bool holds(std::size_t block) const { return block - first_ < count_; }

    // The walk jumped over text: the next refill classifies a few blocks
    // only, as the text may go on after the markup it stands at.
    void jumped() { next_count_ = after_jump; }

    const BlockMasks& at(std::size_t block) {
        std::size_t slot = block - first_;
        if (slot >= count_) [[unlikely]]
            return refill(block);
        return masks_[slot];
    }

  private:
    static constexpr std::size_t batch = 32;  // 2 KiB of input per refill
    static constexpr std::size_t after_jump = 4;

    const BlockMasks& refill(std::size_t block) {
        first_ = block;
        if (block >= check_block_) [[unlikely]] {
            if (!go_on_scanning()) search_end_ = begin_;
            check_block_ = block + progress_interval / 64;
        }
        std::size_t whole = size_ / 64;
        if (block < whole) {
            count_ = whole - block < next_count_ ? whole - block : next_count_;
            classify_(begin_ + block * 64, count_, masks_);
        } else {
            // The last, partial block is classified from a copy padded with
            // zero bytes, which belong to no class.
            char padded[64] = {};
            std::size_t rest = size_ - block * 64;
            for (std::size_t i = 0; i < rest; ++i) padded[i] = begin_[block * 64 + i];
            classify_(padded, 1, masks_);
            count_ = 1;
        }
        next_count_ = batch;
        // Told to stop, the window shows no '<', but a tag under way still
        // finds its end.
        if (search_end_ == begin_)
            for (std::size_t i = 0; i < count_; ++i) masks_[i].lt = 0;
        return masks_[0];
    }

    const char* begin_;
    std::size_t size_;
    const char* search_end_;  // the input's end, or its start once told to stop
    std::size_t check_block_ = progress_interval / 64;  // where to ask next
    ClassifyBlocks classify_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    std::size_t next_count_ = batch;
    // The classifier fills a mask before it is read; a window is made for
    // every walk, however short (an element's bytes, a filter's candidate),
    // so its masks are left uninitialized, as a variant member is.
    union {
        BlockMasks masks_[batch];
    };
};

namespace detail {

// The bits of a mask from bit `i` on, and above bit `i` (0 <= i < 64).
inline std::uint64_t bits_from(unsigned i) {
    return ~std::uint64_t{0} << i;
}
inline std::uint64_t bits_above(unsigned i) {
    return ~std::uint64_t{1} << i;
}
inline unsigned lowest(std::uint64_t bits) {
    return static_cast<unsigned>(__builtin_ctzll(bits));
}

// The bits up to and including the lowest set bit; all of them when none is.
inline std::uint64_t through_lowest(std::uint64_t bits) {
    return bits ^ (bits - 1);
}

// The bytes of the "..." values that the '"' after bit `off` open: the
// quotes' parity, flipped where it is odd at `off`.
inline std::uint64_t inside_quot(const BlockMasks& m, unsigned off) {
    return m.quot_parity ^ (0 - ((m.quot_parity >> off) & 1));
}

// One walk over `input`, a block at a time. Within a block most tags are
// settled by bits alone: an end tag ends at the first '>' bit after its
// '<'; a start tag at the first '>' bit outside the "..." values, unless a
// '\'' opens a value before it; a start tag's name ends at the first
// white-space bit or its '>'; the next tag is the next '<' bit after the
// '>'. A tag whose '>' lies in a later block stays open into the next block,
// its quote state carried as a parity bit. What bits do not settle (a '\''
// that opens a value, and every comment, CDATA section, processing
// instruction and DOCTYPE) is read one quote at a time, or by a reader.
template <class Visitor>
class TagWalk {
  public:
    TagWalk(std::string_view input, ReaderSettings settings, TextEncoding encoding,
            Visitor& visitor)
        : input_(input),
          b_(input.data()),
          n_(input.size()),
          window_(input),
          settings_(settings),
          encoding_(encoding),
          visitor_(visitor) {}

    [[gnu::always_inline]] WalkStop run(std::size_t pos) {
        while (pos < n_) {
            const std::size_t base = pos & ~std::size_t{63};
            const BlockMasks& m = window_.at(base / 64);
            pos = step(m, base, static_cast<unsigned>(pos - base));
            if (pos == none) return stop_;
        }
        if (open_.lt != none) return {WalkEnd::Syntax, open_.lt};  // a tag never closed
        return {WalkEnd::Eof, n_};
    }

  private:
    static constexpr std::size_t none = ~std::size_t{0};

    // A tag whose '>' was not in the block of its '<'.
    struct OpenTag {
        std::size_t lt = none;  // none: no tag is open
        bool end_tag = false;
        std::uint64_t quot_flip = 0;  // all bits when a "..." value is open
        std::size_t name_end = none;  // the first white space after the '<', if seen
    };

    // The tags of the block at `base` from bit `from` on, after the tag open
    // into it, if any. Returns where the walk goes on, or `none` when it
    // ends.
    [[gnu::always_inline]] std::size_t step(const BlockMasks& m, std::size_t base, unsigned from) {
        std::uint8_t paired = from == 0 ? m.paired & BlockMasks::paired_from_start : 0;
        if (open_.lt != none) {
            const std::size_t end = close_open_tag(m, base);
            if (end == none || end - base >= 64) return end;
            from = static_cast<unsigned>(end - base);
            paired = from == lowest(m.gt) + 1 ? m.paired & BlockMasks::paired_after_first_gt : 0;
        }
        const std::uint64_t lts = m.lt & bits_from(from);
        if (lts == 0) return skip_text(base + 64);
        if (paired != 0) return paired_tags(m, base, from);
        return each_tag(m, base, lts);
    }

    // The tags of a block from bit `from` on, where '<' and '>' bits pair
    // (BlockMasks::paired).
    [[gnu::always_inline]] std::size_t paired_tags(const BlockMasks& m, std::size_t base,
                                                   unsigned from) {
        const std::uint64_t name_ends = m.space | m.gt;
        std::uint64_t angles = (m.lt | m.gt) & bits_from(from);
        while (angles != 0) {
            const unsigned l = lowest(angles);
            angles &= angles - 1;
            const std::size_t lt = base + l;
            if (angles == 0) return open_past_block(m, base, l);
            const unsigned g = lowest(angles);
            angles &= angles - 1;
            const char c = b_[lt + 1];
            if (c == '/') {
                if (!end_tag(lt, base + g, (m.space >> (g - 1)) & 1)) return none;
            } else if (c == '!' || c == '?') [[unlikely]] {
                // Markup ends at a '>' bit, whose '<' bits then pair as before.
                const std::size_t end = read_markup(lt);
                if (end == none || end - base >= 64) return end;
                angles &= bits_from(static_cast<unsigned>(end - base));
            } else if (((m.quot_parity >> l) ^ (m.quot_parity >> g)) & 1) {
                // An odd number of '"' before the '>': it may be quoted.
                return each_tag(m, base, m.lt & bits_from(l));
            } else {
                if (!start_tag(lt, base + g, base + lowest(name_ends & bits_above(l)))) return none;
            }
        }
        return base + 64;
    }

    // The tag of the last '<' of a block where '<' and '>' bits pair: it
    // stays open into the next block.
    std::size_t open_past_block(const BlockMasks& m, std::size_t base, unsigned l) {
        const std::size_t lt = base + l;
        if (lt + 1 >= n_) return halt(WalkEnd::Syntax, lt);  // a '<' that ends the input
        const char c = b_[lt + 1];
        if (c == '!' || c == '?') return read_markup(lt);
        const std::uint64_t spaces = m.space & bits_above(l);
        return open(lt, c == '/', 0 - (inside_quot(m, l) >> 63),
                    c != '/' && spaces != 0 ? base + lowest(spaces) : none, base);
    }

    // The tags of the block at `base` whose '<' are `lts`, one by one.
    [[gnu::noinline]] std::size_t each_tag(const BlockMasks& m, std::size_t base,
                                           std::uint64_t lts) {
        while (lts != 0) {
            const unsigned off = lowest(lts);
            const std::size_t lt = base + off;
            if (lt + 1 >= n_) return halt(WalkEnd::Syntax, lt);  // a '<' that ends the input
            const char c = b_[lt + 1];
            const std::uint64_t after = bits_above(off);
            std::size_t end;
            if (c == '/') {
                const std::uint64_t gts = m.gt & after;
                if (gts == 0) return open(lt, true, 0, none, base);
                if (!end_tag(lt, base + lowest(gts))) return none;
                lts &= bits_above(lowest(gts));
                continue;
            }
            if (c == '!' || c == '?') [[unlikely]] {
                end = read_markup(lt);
            } else {
                const std::uint64_t inside = inside_quot(m, off);
                const std::uint64_t outside = after & ~inside;
                const std::uint64_t gts = m.gt & outside;
                const std::uint64_t spaces = m.space & after;
                if ((m.apos & outside & through_lowest(gts)) == 0) [[likely]] {
                    if (gts == 0) {
                        const std::size_t name_end = spaces != 0 ? base + lowest(spaces) : none;
                        return open(lt, false, 0 - (inside >> 63), name_end, base);
                    }
                    const unsigned g = lowest(gts);
                    if (!start_tag(lt, base + g, base + lowest(spaces | (gts & (0 - gts)))))
                        return none;
                    lts &= bits_above(g);
                    continue;
                }
                const std::size_t name_end = spaces != 0 ? base + lowest(spaces) : none;
                end = quoted_start_tag(&m, base, lowest(m.apos & outside), lt, name_end);
            }
            if (end == none || end - base >= 64) return end;
            lts &= bits_from(static_cast<unsigned>(end - base));
        }
        return base + 64;
    }

    // Keeps the tag at `lt` open into the next block.
    std::size_t open(std::size_t lt, bool end_tag, std::uint64_t quot_flip, std::size_t name_end,
                     std::size_t base) {
        open_ = {lt, end_tag, quot_flip, name_end};
        return base + 64;
    }

    // The open tag in the block at `base`: the offset past its '>', after
    // reporting it; `base + 64` when it stays open; `none` when the walk
    // ends.
    [[gnu::always_inline]] std::size_t close_open_tag(const BlockMasks& m, std::size_t base) {
        OpenTag& tag = open_;
        if (tag.name_end == none && m.space != 0) tag.name_end = base + lowest(m.space);
        std::uint64_t gts = m.gt;
        if (!tag.end_tag) {
            const std::uint64_t inside = m.quot_parity ^ tag.quot_flip;
            gts &= ~inside;
            const std::uint64_t aposes = m.apos & ~inside & through_lowest(gts);
            if (aposes != 0) {
                const std::size_t lt = tag.lt;
                tag.lt = none;
                return quoted_start_tag(&m, base, lowest(aposes), lt, tag.name_end);
            }
            tag.quot_flip = 0 - (inside >> 63);
        }
        if (gts == 0) return base + 64;
        const std::size_t lt = tag.lt;
        const std::size_t gt = base + lowest(gts);
        tag.lt = none;
        return tag.end_tag ? end_tag_at(lt, gt) : start_tag_at(lt, gt, std::min(tag.name_end, gt));
    }

    // An end tag from its '<' to its '>'; `space_before_gt` false when the
    // byte before the '>' is known not to be white space.
    [[gnu::always_inline]] bool end_tag(std::size_t lt, std::size_t gt,
                                        bool space_before_gt = true) {
        std::string_view name(b_ + lt + 2, gt - lt - 2);
        if (space_before_gt && settings_.trim_end_tag_names)
            while (!name.empty() && is_space(name.back())) name.remove_suffix(1);
        return report(XmlEvent{EventKind::End, name, 0}, lt, gt + 1);
    }

    // A start tag from its '<' to its '>', its name ending at `name_end`;
    // "/>" makes it empty.
    [[gnu::always_inline]] bool start_tag(std::size_t lt, std::size_t gt, std::size_t name_end) {
        std::size_t length = gt - lt - 1;
        std::size_t name_length = name_end - lt - 1;
        EventKind kind = EventKind::Start;
        if (b_[gt - 1] == '/') {  // never the '<' itself
            --length;
            if (name_length > length) name_length = length;
            kind = EventKind::Empty;
        }
        return report(XmlEvent{kind, std::string_view(b_ + lt + 1, length), name_length}, lt,
                      gt + 1);
    }

    // The same, away from the walk's loop, which keeps the visitor's code
    // inline only there; each returns the offset past the '>', or `none`.
    [[gnu::noinline]] std::size_t end_tag_at(std::size_t lt, std::size_t gt) {
        return end_tag(lt, gt) ? gt + 1 : none;
    }
    [[gnu::noinline]] std::size_t start_tag_at(std::size_t lt, std::size_t gt,
                                               std::size_t name_end) {
        return start_tag(lt, gt, name_end) ? gt + 1 : none;
    }

    // The start tag at `lt` from bit `open` of the block at `base`, a '\''
    // that opens a value: each quote bit before the next '>' bit opens a
    // value that the next bit of the same quote closes, in whatever block.
    // `name_end` is the first white space after the '<' before this block's
    // bits, if any. Returns where the tag ends, or `none`.
    [[gnu::noinline]] std::size_t quoted_start_tag(const BlockMasks* m, std::size_t base,
                                                   unsigned open, std::size_t lt,
                                                   std::size_t name_end) {
        char quote = '\'';  // the quote of the value being read, if any
        std::uint64_t after = bits_above(open);
        for (;;) {
            const std::uint64_t quot = m->quot_parity ^ (m->quot_parity << 1);
            const std::uint64_t apos = m->apos;
            if (quote == 0) {
                const std::uint64_t gts = m->gt & after;
                const std::uint64_t quotes = (quot | apos) & after & through_lowest(gts);
                if (quotes != 0) {
                    open = lowest(quotes);
                    quote = b_[base + open];
                    after = bits_above(open);
                    continue;
                }
                if (gts != 0) {
                    const std::size_t gt = base + lowest(gts);
                    return start_tag_at(lt, gt, std::min(name_end, gt));
                }
            } else {
                const std::uint64_t closes = (quote == '"' ? quot : apos) & after;
                if (closes != 0) {
                    quote = 0;
                    after = bits_above(lowest(closes));
                    continue;
                }
            }
            base += 64;
            if (base >= n_) return halt(WalkEnd::Syntax, lt);
            m = &window_.at(base / 64);
            after = ~std::uint64_t{0};
            if (name_end == none && m->space != 0) name_end = base + lowest(m->space);
        }
    }

    // Comments, CDATA, processing instructions, declarations and DOCTYPE are
    // read by a reader, whose error the visitor sees. Returns where the
    // markup ends, or `none`.
    [[gnu::noinline]] std::size_t read_markup(std::size_t lt) {
        XmlReader reader(input_.substr(lt), settings_, DocumentStart{encoding_, 0, {}, 0});
        ReadResult read = reader.next_event();
        if (read.error == ReaderError::Syntax) return halt(WalkEnd::Syntax, lt);
        const std::size_t end = lt + reader.position();
        if (!visitor_.markup(read, lt, end)) return halt(WalkEnd::Stopped, lt);
        return end;
    }

    bool report(const XmlEvent& event, std::size_t lt, std::size_t end) {
        if (visitor_.tag(event, lt, end)) return true;
        halt(WalkEnd::Stopped, lt);
        return false;
    }

    std::size_t halt(WalkEnd end, std::size_t at) {
        stop_ = {end, at};
        return none;
    }

    // Where the text that runs past a block without '<' ends, from `next`
    // (the next block's start): that block's own bits when it holds a '<',
    // else a search as memchr searches, so that a document of long texts is
    // read at the speed of that search rather than a block at a time.
    std::size_t skip_text(std::size_t next) {
        if (next >= n_ || (window_.holds(next / 64) && window_.at(next / 64).lt != 0)) return next;
        const char* lt = find_byte(b_ + next, window_.search_end(), '<');
        const std::size_t at = lt == nullptr ? n_ : static_cast<std::size_t>(lt - b_);
        if (at - next >= 64) window_.jumped();
        return at;
    }

    std::string_view input_;
    const char* b_;
    std::size_t n_;
    BlockWindow window_;
    ReaderSettings settings_;
    TextEncoding encoding_;
    Visitor& visitor_;
    OpenTag open_;
    WalkStop stop_{WalkEnd::Eof, 0};
};

#if defined(__x86_64__)
// The walk's loop once more, with the bit instructions (BMI) of the
// processors that classify with AVX2 or AVX-512, which all have them.
template <class Visitor>
[[gnu::target("bmi,bmi2")]] WalkStop run_with_bmi(TagWalk<Visitor>& walk, std::size_t from) {
    return walk.run(from);
}
#endif

}  // namespace detail

// Walks the tags of `input` from offset `from`, which stands in text (or at a
// tag's '<'). `settings` and `encoding` are what a reader of the same input
// would be given.
template <class Visitor>
WalkStop walk_tags(std::string_view input, std::size_t from, ReaderSettings settings,
                   TextEncoding encoding, Visitor& visitor) {
    detail::TagWalk<Visitor> walk(input, settings, encoding, visitor);
#if defined(__x86_64__)
    if (active_classifier() <= Classifier::Avx2) return detail::run_with_bmi(walk, from);
#endif
    return walk.run(from);
}

}  // namespace quorbix::xml
