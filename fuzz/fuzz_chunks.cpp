// The chunk walker on its own, in both byte orders, walked into every chunk
// that may be a container as IFF and RIFF files nest them; then the IFF
// tree built on it. Every chunk handed out must lie within the view it was
// walked from, behind the one before it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/iff/chunks.h"
#include "formats/iff/iff.h"

namespace {

using seqconv::ByteRange;

void require(bool condition) {
    if (!condition) std::abort();
}

bool inside(ByteRange part, ByteRange whole) { return part.begin >= whole.begin && part.end <= whole.end; }

void walk(ByteRange view, seqconv::SizeOrder order, std::size_t depth) {
    seqconv::ChunkWalker walker(view, order);
    seqconv::Chunk chunk;
    std::size_t next_at = 0;
    while (walker.next(chunk)) {
        require(chunk.offset == next_at);
        require(inside(chunk.body, view) && chunk.body.size() <= chunk.declared);
        require(seqconv::offset_within(view, chunk.body) == chunk.offset + 8);
        next_at = walker.offset();
        require(next_at >= chunk.offset + 8 + chunk.body.size() && next_at <= view.size());
        // Any chunk may hold a type and chunks: RIFF's RIFF and LIST, IFF's
        // FORM and CAT, and whatever a crafted file claims.
        ByteRange children;
        if (depth < 16 && seqconv::ByteCursor(chunk.body).sub(4, chunk.body.size() - 4, children))
            walk(children, order, depth + 1);
    }
    require(!walker.cut_off() || view.size() - walker.offset() < 8);
}

void check_tree(const seqconv::IffChunk& chunk, ByteRange input) {
    require(chunk.data.empty() || inside(chunk.data, input));
    require(chunk.offset < input.size());
    for (const seqconv::IffChunk& child : chunk.children) check_tree(child, input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteRange input(data, size);
    walk(input, seqconv::SizeOrder::big_endian, 0);
    walk(input, seqconv::SizeOrder::little_endian, 0);

    seqconv::IffTree tree;
    seqconv::Fault fault;
    if (seqconv::parse_iff(input, tree, &fault)) {
        require(!fault);
    } else {
        require(fault && fault.offset < size);
    }
    for (const seqconv::IffChunk& chunk : tree.chunks) check_tree(chunk, input);
    return 0;
}
