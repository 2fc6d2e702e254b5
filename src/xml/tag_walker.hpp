// A walk over a document's tags that reads bit masks, not bytes. Each 64-byte
// block is classified once (`BlockMasks`); a tag is then its '<' bit and the
// first '>' bit after it, its name ends at the first white-space bit, and the
// next tag is the next '<' bit. Whatever the bits cannot settle goes to the
// reader's own code, so a walk reports exactly the tags a reader reports:
// a quote before a start tag's '>' (the '>' may be quoted), a tag that runs
// past its block, and every comment, CDATA section, processing instruction
// and DOCTYPE (an `XmlReader` reads each at its '<').
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
// end.
class BlockWindow {
  public:
    explicit BlockWindow(std::string_view input)
        : begin_(input.data()),
          size_(input.size()),
          search_end_(input.data() + input.size()),
          classify_(active_classify_function()) {}

    // Where the walk's searches for '<' end.
    const char* search_end() const { return search_end_; }

    const BlockMasks& at(std::size_t block) {
        std::size_t slot = block - first_;
        if (slot >= count_) [[unlikely]]
            return refill(block);
        return masks_[slot];
    }

  private:
    static constexpr std::size_t batch = 32;  // 2 KiB of input per refill

    const BlockMasks& refill(std::size_t block) {
        first_ = block;
        if (block >= check_block_) [[unlikely]] {
            if (!go_on_scanning()) search_end_ = begin_;
            check_block_ = block + progress_interval / 64;
        }
        if (search_end_ == begin_) {
            masks_[0] = BlockMasks{};
            count_ = 1;
            return masks_[0];
        }
        std::size_t whole = size_ / 64;
        if (block < whole) {
            count_ = whole - block < batch ? whole - block : batch;
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
        return masks_[0];
    }

    const char* begin_;
    std::size_t size_;
    const char* search_end_;  // the input's end, or its start once told to stop
    std::size_t check_block_ = progress_interval / 64;  // where to ask next
    ClassifyBlocks classify_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    BlockMasks masks_[batch];
};

namespace detail {

// The bits of a mask above bit `i` (0 <= i < 64).
inline std::uint64_t bits_above(unsigned i) {
    return i >= 63 ? 0 : ~std::uint64_t{0} << (i + 1);
}

// Where the text that runs past one block ends, from `next` (a block's
// start): the next block's own bits when it holds a '<', else a search as
// memchr searches, so that a document of long texts is read at the speed of
// that search rather than a block at a time.
inline std::size_t skip_text(BlockWindow& window, const char* b, const char* end,
                             std::size_t next) {
    const std::size_t n = static_cast<std::size_t>(end - b);
    if (next >= n || window.at(next / 64).lt != 0) return next;
    const char* lt = find_byte(b + next, window.search_end(), '<');
    return lt == nullptr ? n : static_cast<std::size_t>(lt - b);
}

}  // namespace detail

// Walks the tags of `input` from offset `from`, which stands in text (or at a
// tag's '<'). `settings` and `encoding` are what a reader of the same input
// would be given.
template <class Visitor>
WalkStop walk_tags(std::string_view input, std::size_t from, ReaderSettings settings,
                   TextEncoding encoding, Visitor& visitor) {
    const char* const b = input.data();
    const char* const end = b + input.size();
    const std::size_t n = input.size();
    BlockWindow window(input);
    XmlEvent event;
    std::size_t pos = from;
    while (pos < n) {
        const std::size_t base = pos & ~std::size_t{63};
        const BlockMasks m = window.at(base / 64);
        std::uint64_t lts = m.lt & (~std::uint64_t{0} << (pos - base));
        while (lts != 0) {
            const unsigned off = static_cast<unsigned>(__builtin_ctzll(lts));
            const std::size_t lt = base + off;
            if (lt + 1 >= n) return {WalkEnd::Syntax, lt};  // a '<' that ends the input
            const char c = b[lt + 1];
            if (c == '!' || c == '?') [[unlikely]] {
                XmlReader reader(input.substr(lt), settings, DocumentStart{encoding, 0, {}, 0});
                ReadResult read = reader.next_event();
                if (read.error == ReaderError::Syntax) return {WalkEnd::Syntax, lt};
                pos = lt + reader.position();
                if (!visitor.markup(read, lt, pos)) return {WalkEnd::Stopped, lt};
            } else {
                // The '>' bit after the '<' ends the tag unless a quote bit
                // comes first (an end tag ends at its first '>' regardless).
                const std::uint64_t after = detail::bits_above(off);
                const std::uint64_t gts = m.gt & after;
                const bool end_tag = c == '/';
                const char* gt;
                std::uint64_t inside = 0;  // the tag's bits, when they settle it
                if (gts != 0) {
                    inside = after & ((gts & (~gts + 1)) - 1);
                    if (end_tag || (m.quote & inside) == 0) {
                        gt = b + base + static_cast<unsigned>(__builtin_ctzll(gts));
                    } else {
                        gt = find_tag_end(b + lt + 1, end);
                        inside = 0;
                    }
                } else {
                    gt = end_tag ? find_byte(b + lt + 2, end, '>') : find_tag_end(b + lt + 1, end);
                }
                if (gt == nullptr) return {WalkEnd::Syntax, lt};
                if (end_tag) {
                    std::string_view name(b + lt + 2, static_cast<std::size_t>(gt - b - lt - 2));
                    if (settings.trim_end_tag_names)
                        while (!name.empty() && is_space(name.back())) name.remove_suffix(1);
                    event.kind = EventKind::End;
                    event.content = name;
                    event.name_length = 0;
                } else {
                    const char* content = b + lt + 1;
                    const char* name_end;
                    std::uint64_t spaces = m.space & after;
                    if (spaces != 0) {
                        name_end = b + base + __builtin_ctzll(spaces);
                        if (name_end > gt) name_end = gt;
                    } else {
                        name_end = inside != 0 ? gt : find_space(content, gt);
                    }
                    std::size_t length = static_cast<std::size_t>(gt - content);
                    std::size_t name_length = static_cast<std::size_t>(name_end - content);
                    event.kind = EventKind::Start;
                    if (length != 0 && gt[-1] == '/') {
                        --length;
                        if (name_length > length) name_length = length;
                        event.kind = EventKind::Empty;
                    }
                    event.content = std::string_view(content, length);
                    event.name_length = name_length;
                }
                pos = static_cast<std::size_t>(gt - b) + 1;
                if (!visitor.tag(event, lt, pos)) return {WalkEnd::Stopped, lt};
            }
            if (pos - base >= 64) break;
            lts = m.lt & (~std::uint64_t{0} << (pos - base));
        }
        if (lts == 0 && pos < base + 64) pos = detail::skip_text(window, b, end, base + 64);
    }
    return {WalkEnd::Eof, n};
}

}  // namespace quorbix::xml
