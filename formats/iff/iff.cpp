// IFF chunk reader.
//
//   offset  size  meaning
//   0       4     id ("FORM", "CAT ", "EVNT", ...)
//   4       4     size S, big-endian: the bytes after this field
//   8       S     plain chunk: data; container: a four-byte type, then chunks
//   8 + S   0/1   a pad byte after an odd S
//
// A size that runs past the enclosing range is clamped to it. A chunk
// header, or a container's type, that does not fit before the enclosing end
// is not a chunk: the list of chunks at that level ends there, and the
// enclosing container ends as usual.

#include "formats/iff/iff.h"

#include <utility>

namespace seqconv {

namespace {

constexpr IffId form_id = iff_id("FORM");
constexpr IffId cat_id = iff_id("CAT ");

enum class Parse { chunk, none, refused };

Parse parse_chunk(ByteCursor& cursor, std::size_t end, IffChunk& chunk, bool expect_form, std::size_t depth) {
    if (cursor.offset() >= end || end - cursor.offset() < 8) return Parse::none;
    ByteRange id;
    std::uint32_t declared = 0;
    cursor.take(4, id);
    cursor.be32(declared);
    std::copy(id.begin, id.end, chunk.id.begin());
    const std::size_t data_start = cursor.offset();
    const std::size_t size = std::min<std::size_t>(declared, end - data_start);

    const bool form = chunk.id == form_id;
    const bool cat = chunk.id == cat_id;
    if ((form && !expect_form) || (cat && expect_form)) return Parse::refused;

    if (form || cat) {
        if (depth >= iff_max_depth) return Parse::refused;
        // A container too small for its type takes the type from the bytes
        // behind it, while they lie inside the enclosing range.
        ByteRange type;
        if (end - data_start < 4) return Parse::none;
        cursor.take(4, type);
        std::copy(type.begin, type.end, chunk.form_type.begin());
        const std::size_t container_end = data_start + size;
        while (cursor.offset() < container_end) {
            IffChunk child;
            const Parse result = parse_chunk(cursor, container_end, child, cat, depth + 1);
            if (result == Parse::refused) return Parse::refused;
            if (result == Parse::none) break;
            chunk.children.push_back(std::move(child));
        }
        cursor.seek(container_end);
    } else {
        const ByteRange data = cursor.take_at_most(size);
        chunk.data.assign(data.begin, data.end);
    }
    if ((size & 1) && cursor.offset() < end) cursor.skip(1);
    return Parse::chunk;
}

}  // namespace

bool parse_iff_chunk(ByteCursor& cursor, std::size_t end, IffChunk& chunk, bool expect_form) {
    return parse_chunk(cursor, end, chunk, expect_form, 0) == Parse::chunk;
}

bool parse_iff(ByteRange input, IffTree& tree) {
    ByteCursor cursor(input);
    while (!cursor.at_end()) {
        IffChunk chunk;
        const Parse result = parse_chunk(cursor, input.size(), chunk, tree.chunks.empty(), 0);
        if (result == Parse::refused) return false;
        if (result == Parse::none) break;
        tree.chunks.push_back(std::move(chunk));
    }
    return true;
}

const IffChunk& IffChunk::find_child(const IffId& child_id, std::size_t n) const {
    for (const IffChunk& child : children)
        if (child.id == child_id && n-- == 0) return child;
    return *this;
}

std::size_t IffChunk::count_children(const IffId& child_id) const {
    std::size_t count = 0;
    for (const IffChunk& child : children) count += child.id == child_id;
    return count;
}

const IffChunk& IffTree::find(const IffId& chunk_id) const {
    for (const IffChunk& chunk : chunks)
        if (chunk.id == chunk_id) return chunk;
    return null_chunk;
}

}  // namespace seqconv
