#pragma once

// The chunks of IFF and RIFF files: a four-byte id, a 32-bit size (big-endian
// in IFF, little-endian in RIFF), that many bytes, and one pad byte after an
// odd size. The walker goes through the chunks of one view, the whole input
// or a container's body, and hands out each chunk's body as a view of its
// own: nothing is copied.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/byte_cursor.h"

namespace seqconv {

using IffId = std::array<std::uint8_t, 4>;

constexpr IffId iff_id(const char (&text)[5]) {
    return {std::uint8_t(text[0]), std::uint8_t(text[1]), std::uint8_t(text[2]), std::uint8_t(text[3])};
}

// A chunk's id as text for a reason: trailing spaces dropped ("CAT "
// gives "CAT"), a byte that is not printable shown as "?".
inline std::string id_text(const IffId& id) {
    std::string text;
    for (const std::uint8_t byte : id) text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

enum class SizeOrder : std::uint8_t { big_endian, little_endian };

struct Chunk {
    IffId id{};
    std::uint32_t declared = 0;  // the size its header gives
    std::size_t offset = 0;      // of its header, from the start of the walked view
    ByteRange body;              // the declared bytes, cut at the end of the view

    bool whole() const { return body.size() == declared; }
};

class ChunkWalker {
public:
    // Walks the chunks of `view` that begin at `start` or later and before
    // `walk_end` (both offsets in the view, clamped to its end). A pad byte
    // is skipped only while it lies before `walk_end`.
    ChunkWalker(ByteRange view, SizeOrder order, std::size_t start = 0, std::size_t walk_end = SIZE_MAX)
        : cursor_(view), order_(order), walk_end_(walk_end < view.size() ? walk_end : view.size()) {
        cursor_.seek(start);
    }

    // The next chunk, and the walk moved past it and its pad byte. False when
    // the walk has ended, or when the chunk's 8-byte header does not fit in
    // the view (then cut_off() is true).
    bool next(Chunk& chunk) {
        if (cursor_.offset() >= walk_end_) return false;
        ByteRange id;
        chunk.offset = cursor_.offset();
        if (8 > cursor_.remaining()) {
            cut_off_ = true;
            return false;
        }
        cursor_.take(4, id);
        order_ == SizeOrder::big_endian ? cursor_.be32(chunk.declared) : cursor_.le32(chunk.declared);
        std::copy(id.begin, id.end, chunk.id.begin());
        // take_at_most stops at the end of the view: no size, however large,
        // moves the walk past it, and the pad test below cannot overflow.
        chunk.body = cursor_.take_at_most(chunk.declared);
        if ((chunk.body.size() & 1) && cursor_.offset() < walk_end_) cursor_.skip(1);
        return true;
    }

    // A cursor over the walked view at the first byte of `chunk`'s body, for
    // what is read there whether or not the chunk's size holds it (a
    // container's type, a list type).
    ByteCursor at_body(const Chunk& chunk) const {
        ByteCursor at(cursor_.range());
        at.seek(chunk.offset + 8);
        return at;
    }

    std::size_t offset() const { return cursor_.offset(); }
    bool cut_off() const { return cut_off_; }

private:
    ByteCursor cursor_;
    SizeOrder order_;
    std::size_t walk_end_;
    bool cut_off_ = false;
};

}  // namespace seqconv
