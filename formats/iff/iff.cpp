// IFF chunk reader.
//
//   offset  size  meaning
//   0       4     id ("FORM", "CAT ", "EVNT", ...)
//   4       4     size S, big-endian: the bytes after this field
//   8       S     plain chunk: data; container: a four-byte type, then chunks
//   8 + S   0/1   a pad byte after an odd S
//
// A size that runs past the enclosing range is clamped to it; one that runs
// past the end of the input also marks the input as cut off. A chunk
// header, or a container's type, that does not fit before the enclosing end
// is not a chunk: the list of chunks at that level ends there, and the
// enclosing container ends as usual.

#include "formats/iff/iff.h"

#include <string>
#include <utility>

namespace seqconv {

namespace {

constexpr IffId form_id = iff_id("FORM");
constexpr IffId cat_id = iff_id("CAT ");

enum class Parse { chunk, none, refused };

// Where and why a parse was refused.
struct Refusal {
    std::size_t offset = 0;  // of the refusing chunk's header in the input
    const char* reason = "";
    FaultKind kind = FaultKind::malformed;
};

// What a parse finds besides the chunks: a refusal, and the first chunk the
// end of the input cut off.
struct Findings {
    std::size_t input_size = 0;
    Refusal refusal;
    std::optional<IffCut> cut;
};

// Parses the next chunk of `walker`'s view, which begins `base` bytes into
// the input, into `chunk`: its data, or for a container its type and its
// chunks, walked over its body alone.
Parse parse_chunk(ChunkWalker& walker, std::size_t base, IffChunk& chunk, bool expect_form, std::size_t depth,
                  Findings& findings) {
    Chunk header;
    if (!walker.next(header)) return Parse::none;
    chunk.id = header.id;
    chunk.offset = base + header.offset;
    // The body starts at most at the end of the input, which the header
    // lies within.
    const std::size_t remain = findings.input_size - (chunk.offset + 8);
    chunk.cut = header.declared > remain;
    if (chunk.cut && !findings.cut) findings.cut = IffCut{chunk.id, chunk.offset, header.declared, remain};

    Refusal& refusal = findings.refusal;
    const bool form = chunk.id == form_id;
    const bool cat = chunk.id == cat_id;
    if ((form && !expect_form) || (cat && expect_form)) {
        refusal = {chunk.offset, form ? "FORM where a CAT is expected" : "CAT where a FORM is expected"};
        return Parse::refused;
    }
    if (!form && !cat) {
        chunk.data = header.body;
        return Parse::chunk;
    }
    if (depth >= iff_max_depth) {
        refusal = {chunk.offset, "containers nested too deep", FaultKind::limit};
        return Parse::refused;
    }
    // A container too small for its type takes the type from the bytes
    // behind it, while they lie inside the enclosing range.
    ByteCursor at_type = walker.at_body(header);
    ByteRange type;
    if (!at_type.take(4, type)) return Parse::none;
    std::copy(type.begin, type.end, chunk.form_type.begin());
    ChunkWalker children(header.body, SizeOrder::big_endian, 4);
    for (;;) {
        IffChunk child;
        const Parse result = parse_chunk(children, base + header.offset + 8, child, cat, depth + 1, findings);
        if (result == Parse::refused) return Parse::refused;
        if (result == Parse::none) break;
        chunk.children.push_back(std::move(child));
    }
    return Parse::chunk;
}

}  // namespace

bool parse_iff_chunk(ByteCursor& cursor, std::size_t end, IffChunk& chunk, bool expect_form) {
    ByteRange enclosing;
    if (!cursor.sub(0, end, enclosing)) return false;
    ChunkWalker walker(enclosing, SizeOrder::big_endian, cursor.offset());
    Findings findings{enclosing.size(), {}, {}};
    const Parse result = parse_chunk(walker, 0, chunk, expect_form, 0, findings);
    cursor.seek(walker.offset());
    return result == Parse::chunk;
}

bool parse_iff(ByteRange input, IffTree& tree, Fault* fault) {
    ChunkWalker walker(input, SizeOrder::big_endian);
    Findings findings{input.size(), {}, {}};
    for (;;) {
        IffChunk chunk;
        const Parse result = parse_chunk(walker, 0, chunk, tree.chunks.empty(), 0, findings);
        if (result == Parse::refused) {
            report(fault, findings.refusal.kind, findings.refusal.offset, findings.refusal.reason);
            return false;
        }
        if (result == Parse::none) break;
        tree.chunks.push_back(std::move(chunk));
    }
    tree.cut = findings.cut;
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
