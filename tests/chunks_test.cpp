// The chunk walker of IFF and RIFF files, and the cursor's bounded views:
// sizes in both byte orders, bodies cut at the end of the view, pad bytes
// skipped only before the walk's end, and no size that wraps around.

#include "formats/iff/chunks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;

struct Seen {
    std::string id;
    std::size_t offset;
    std::uint32_t declared;
    std::size_t body_size;
};

struct Walk {
    const char* name;
    Bytes input;
    SizeOrder order;
    std::size_t start;
    std::size_t walk_end;
    std::vector<Seen> chunks;
    bool cut_off;
    std::size_t end;  // where the walk stands after it
};

TEST(ChunkWalker, HandsOutEachChunkOnceWithinItsView) {
    const Walk walks[] = {
        {"big-endian sizes, an odd one padded", concat({bytes_of("AAAA"), test::be32(3), bytes_of("xyz"), {0},
                                                        bytes_of("BBBB"), test::be32(0)}),
         SizeOrder::big_endian, 0, SIZE_MAX, {{"AAAA", 0, 3, 3}, {"BBBB", 12, 0, 0}}, false, 20},
        {"little-endian sizes", concat({bytes_of("data"), test::le32(2), bytes_of("hi"), bytes_of("LIST"), test::le32(0)}),
         SizeOrder::little_endian, 0, SIZE_MAX, {{"data", 0, 2, 2}, {"LIST", 10, 0, 0}}, false, 18},
        {"a body past the view's end is cut there and ends the walk",
         concat({bytes_of("AAAA"), test::be32(100), bytes_of("abc")}), SizeOrder::big_endian, 0, SIZE_MAX,
         {{"AAAA", 0, 100, 3}}, false, 11},
        {"a size near 2^32 does not wrap around", concat({bytes_of("AAAA"), test::be32(0xFFFFFFFF), bytes_of("ab")}),
         SizeOrder::big_endian, 0, SIZE_MAX, {{"AAAA", 0, 0xFFFFFFFF, 2}}, false, 10},
        {"a header cut off by the view's end", concat({bytes_of("AAAA"), test::be32(0), bytes_of("BBBB")}),
         SizeOrder::big_endian, 0, SIZE_MAX, {{"AAAA", 0, 0, 0}}, true, 8},
        {"the pad byte is not skipped at the walk's end: the next chunk begins on it",
         concat({bytes_of("AAAA"), test::le32(1), bytes_of("x"), bytes_of("BBBB"), test::le32(0)}),
         SizeOrder::little_endian, 0, 9, {{"AAAA", 0, 1, 1}}, false, 9},
        {"the walk starts at an offset and ends before the view does",
         concat({bytes_of("RIFFsize"), bytes_of("AAAA"), test::le32(0), bytes_of("BBBB"), test::le32(0)}),
         SizeOrder::little_endian, 8, 16, {{"AAAA", 8, 0, 0}}, false, 16},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(walk.name);
        ChunkWalker walker(test::range_of(walk.input), walk.order, walk.start, walk.walk_end);
        std::vector<Seen> seen;
        Chunk chunk;
        while (walker.next(chunk))
            seen.push_back({std::string(chunk.id.begin(), chunk.id.end()), chunk.offset, chunk.declared,
                            chunk.body.size()});
        ASSERT_EQ(seen.size(), walk.chunks.size());
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].id, walk.chunks[i].id);
            EXPECT_EQ(seen[i].offset, walk.chunks[i].offset);
            EXPECT_EQ(seen[i].declared, walk.chunks[i].declared);
            EXPECT_EQ(seen[i].body_size, walk.chunks[i].body_size);
        }
        EXPECT_EQ(walker.cut_off(), walk.cut_off);
        EXPECT_EQ(walker.offset(), walk.end);
    }
}

TEST(ChunkWalker, BodiesViewTheInputWithoutCopying) {
    const Bytes input = concat({bytes_of("AAAA"), test::be32(2), bytes_of("hi")});
    ChunkWalker walker(test::range_of(input), SizeOrder::big_endian);
    Chunk chunk;
    ASSERT_TRUE(walker.next(chunk));
    EXPECT_EQ(chunk.body.begin, input.data() + 8);
    EXPECT_TRUE(chunk.whole());
}

TEST(ByteCursor, SubViewsOnlyWhatLiesInsideTheRange) {
    const Bytes input = bytes_of("0123456789");
    const ByteCursor cursor(test::range_of(input));
    struct Case {
        std::size_t offset, length;
        bool fits;
    };
    const Case cases[] = {{0, 10, true}, {3, 4, true}, {10, 0, true}, {11, 0, false},
                          {9, 2, false}, {1, SIZE_MAX, false}, {SIZE_MAX, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
        ByteRange view;
        ASSERT_EQ(cursor.sub(c.offset, c.length, view), c.fits);
        if (c.fits) {
            EXPECT_EQ(view.begin, input.data() + c.offset);
            EXPECT_EQ(view.size(), c.length);
        }
    }
}

}  // namespace
}  // namespace seqconv
