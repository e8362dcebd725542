#pragma once

// IFF chunk trees, as XMI files store them: a four-byte id, a big-endian
// size, and either plain data or, for the containers "FORM" and "CAT ", a
// four-byte type followed by further chunks.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "formats/byte_cursor.h"
#include "formats/fault.h"
#include "formats/iff/chunks.h"

namespace seqconv {

struct IffChunk {
    IffId id{};
    IffId form_type{};               // a container's type; zero for a plain chunk
    ByteRange data;                  // a plain chunk's bytes, a view into the input
    std::vector<IffChunk> children;  // a container's chunks in file order
    std::size_t offset = 0;          // of its header, from the start of the input
    bool cut = false;                // its declared size runs past the end of the input

    // The n-th child (counting from 0) with that id, or this chunk itself
    // when there are n or fewer.
    const IffChunk& find_child(const IffId& child_id, std::size_t n = 0) const;
    std::size_t count_children(const IffId& child_id) const;
};

// A chunk whose declared size runs past the end of the input: the parse
// clamps it as it clamps any size, but the input was cut off inside it.
struct IffCut {
    IffId id{};
    std::size_t offset = 0;      // of its header, from the start of the input
    std::uint32_t declared = 0;  // the size its header gives
    std::size_t remain = 0;      // the bytes of its body the input holds
};

// The chunks' data are views into the parsed input, which must outlive it.
struct IffTree {
    std::vector<IffChunk> chunks;  // the top-level chunks in file order
    IffChunk null_chunk;           // what find returns when nothing matches
    // The first chunk in file order (a container before its chunks) that
    // the end of the input cut off; none when every chunk is whole or ends
    // only past its container.
    std::optional<IffCut> cut;

    const IffChunk& find(const IffId& chunk_id) const;
};

// Containers may nest deeper than any real file does; past this many levels
// the parse is refused rather than followed.
inline constexpr std::size_t iff_max_depth = 256;

// Parses one chunk at the cursor, and for a container all of its chunks,
// within the enclosing range that ends at offset `end` of the cursor's range.
// Which container may stand here depends on `expect_form`: a "FORM" where it
// is set, a "CAT " where it is not; the other one refuses the parse.
// Returns false when the parse is refused, and also when no chunk fits
// before `end` (then nothing is refused: a list of chunks ends there).
bool parse_iff_chunk(ByteCursor& cursor, std::size_t end, IffChunk& chunk, bool expect_form);

// Parses the whole input into `tree`: a FORM may open it, "CAT " containers
// may follow. Returns false when the parse is refused, and then says in
// `fault` which chunk refused it.
bool parse_iff(ByteRange input, IffTree& tree, Fault* fault = nullptr);

}  // namespace seqconv
