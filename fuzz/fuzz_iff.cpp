// The IFF chunk parser on its own. Besides the sanitizers' checks, a tree it
// accepts must be one the input can hold: no deeper than the parser's limit,
// and its plain chunks together no longer than the input, since each input
// byte belongs to one chunk at most.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/iff/iff.h"

namespace {

// The bytes of plain data in `chunks`, which stand `depth` levels deep;
// aborts past the depth limit (the plain chunks of the innermost container
// stand one level below it).
std::size_t data_bytes(const std::vector<seqconv::IffChunk>& chunks, std::size_t depth) {
    if (depth > seqconv::iff_max_depth + 1) {
        std::fputs("IFF: a tree deeper than the parser's limit\n", stderr);
        std::abort();
    }
    std::size_t total = 0;
    for (const seqconv::IffChunk& chunk : chunks) total += chunk.data.size() + data_bytes(chunk.children, depth + 1);
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    seqconv::IffTree tree;
    if (!seqconv::parse_iff(seqconv::ByteRange(data, size), tree)) return 0;
    if (data_bytes(tree.chunks, 1) > size) {
        std::fputs("IFF: the chunks hold more data than the input\n", stderr);
        std::abort();
    }
    return 0;
}
