// The IFF chunk reader: shapes accepted and refused, clamping, padding and
// lookups.

#include "formats/iff/iff.h"

#include <gtest/gtest.h>

#include "iff_support.h"

namespace seqconv {
namespace {

using test::be32;
using test::Bytes;
using test::bytes_of;
using test::concat;

Bytes chunk(const std::string& id, const Bytes& body) { return test::iff_chunk(id, body); }
Bytes container(const std::string& id, const std::string& type, const Bytes& children) {
    return test::iff_container(id, type, children);
}

// A chunk's data, which views the parsed input, as bytes of its own.
Bytes data_of(const IffChunk& chunk) { return Bytes(chunk.data.begin, chunk.data.end); }

bool parse(const Bytes& input, IffTree& tree) { return parse_iff(test::range_of(input), tree); }

TEST(Iff, EmptyInputIsAnEmptyTree) {
    IffTree tree;
    EXPECT_TRUE(parse({}, tree));
    EXPECT_TRUE(tree.chunks.empty());
}

TEST(Iff, OddSizedChunkIsFollowedByAPadByte) {
    const Bytes input = concat({chunk("ABCD", {1, 2, 3, 4, 5}), chunk("EFGH", {9})});
    ASSERT_EQ(input[13], 0);  // the pad byte
    IffTree tree;
    ASSERT_TRUE(parse(input, tree));
    ASSERT_EQ(tree.chunks.size(), 2u);
    EXPECT_EQ(data_of(tree.chunks[0]), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(tree.chunks[1].id, iff_id("EFGH"));
    EXPECT_EQ(data_of(tree.chunks[1]), Bytes{9});

    // The same chunk at the very end, its pad byte missing.
    IffTree last;
    const Bytes unpadded = concat({bytes_of("ABCD"), be32(5), {1, 2, 3, 4, 5}});
    ASSERT_TRUE(parse(unpadded, last));
    EXPECT_EQ(last.chunks.size(), 1u);
}

TEST(Iff, SizesAreClampedToTheEnclosingRange) {
    // A FORM declaring 1000 bytes in a 100-byte file holds what there is.
    Bytes input = concat({bytes_of("FORM"), be32(1000), bytes_of("XDIR"), chunk("INFO", Bytes(80, 7))});
    input.resize(100, 0);
    IffTree tree;
    ASSERT_TRUE(parse(input, tree));
    ASSERT_EQ(tree.chunks.size(), 1u);
    ASSERT_EQ(tree.chunks[0].children.size(), 1u);
    EXPECT_EQ(tree.chunks[0].children[0].data.size(), 80u);

    // A child declaring more than its container holds ends the container;
    // the parse goes on behind it.
    const Bytes inner = concat({bytes_of("ABCD"), be32(50), Bytes(4, 1)});
    const Bytes two = concat({container("FORM", "XDIR", inner), container("CAT ", "XMID", {})});
    IffTree clamped;
    ASSERT_TRUE(parse(two, clamped));
    ASSERT_EQ(clamped.chunks.size(), 2u);
    EXPECT_EQ(data_of(clamped.chunks[0].children[0]), Bytes(4, 1));
    EXPECT_EQ(clamped.chunks[1].form_type, iff_id("XMID"));
    EXPECT_TRUE(clamped.chunks[1].children.empty());  // a CAT of size 4 holds only its type
}

TEST(Iff, OnlyTheNestingXmiUsesIsAccepted) {
    IffTree tree;
    EXPECT_FALSE(parse(container("CAT ", "XMID", {}), tree));
    EXPECT_FALSE(parse(concat({container("FORM", "XDIR", {}), container("FORM", "XMID", {})}), tree));
    EXPECT_FALSE(parse(container("FORM", "XDIR", container("FORM", "XMID", {})), tree));
    EXPECT_FALSE(parse(container("FORM", "XDIR", container("CAT ", "XMID", container("CAT ", "XMID", {}))), tree));

    const Bytes xmi = concat({container("FORM", "XDIR", chunk("INFO", {1, 0})),
                              container("CAT ", "XMID", container("FORM", "XMID", chunk("EVNT", {0x90})))});
    IffTree good;
    ASSERT_TRUE(parse(xmi, good));
    const IffChunk& cat = good.find(iff_id("CAT "));
    ASSERT_EQ(cat.form_type, iff_id("XMID"));
    const IffChunk& form = cat.find_child(iff_id("FORM"));
    EXPECT_EQ(data_of(form.find_child(iff_id("EVNT"))), Bytes{0x90});
}

TEST(Iff, LookupsCountMatchesAndFallBack) {
    const Bytes forms =
        concat({container("FORM", "XMID", chunk("AAAA", {1})), chunk("LIST", {}),
                container("FORM", "XMID", chunk("AAAA", {2})), container("FORM", "XMID", chunk("AAAA", {3}))});
    // The chunks' data view the input: it outlives the tree.
    const Bytes input = concat({container("FORM", "XDIR", {}), container("CAT ", "XMID", forms)});
    IffTree tree;
    ASSERT_TRUE(parse(input, tree));
    const IffChunk& cat = tree.find(iff_id("CAT "));
    EXPECT_EQ(cat.count_children(iff_id("FORM")), 3u);
    for (std::uint8_t n = 0; n < 3; ++n)
        EXPECT_EQ(data_of(cat.find_child(iff_id("FORM"), n).children[0]), Bytes{std::uint8_t(n + 1)});
    EXPECT_EQ(&cat.find_child(iff_id("FORM"), 3), &cat);

    const IffChunk& missing = tree.find(iff_id("NONE"));
    EXPECT_EQ(&missing, &tree.null_chunk);
    EXPECT_EQ(missing.id, IffId{});
    EXPECT_EQ(missing.form_type, IffId{});
}

TEST(Iff, HeaderCutOffByTheEndEndsTheList) {
    IffTree tree;
    ASSERT_TRUE(parse(concat({chunk("ABCD", {1, 2}), bytes_of("EFG")}), tree));
    EXPECT_EQ(tree.chunks.size(), 1u);
    // A FORM whose type would lie past the end of the file.
    IffTree cut;
    EXPECT_TRUE(parse(concat({bytes_of("FORM"), be32(2), {'X', 'D'}}), cut));
    EXPECT_TRUE(cut.chunks.empty());
    // Inside a container, a header that does not fit ends the container's
    // list only: the parse goes on behind it.
    IffTree inner;
    ASSERT_TRUE(parse(concat({container("FORM", "XDIR", concat({chunk("ABCD", {1, 2}), bytes_of("EFGHIJ")})),
                              container("CAT ", "XMID", {})}),
                      inner));
    ASSERT_EQ(inner.chunks.size(), 2u);
    EXPECT_EQ(inner.chunks[0].children.size(), 1u);
    EXPECT_EQ(inner.chunks[1].id, iff_id("CAT "));
}

TEST(Iff, ContainerTooSmallForItsTypeTakesItFromTheBytesBehind) {
    // A CAT of size 1: its type is read from the four bytes after the size,
    // then the next chunk starts behind the one byte and its pad.
    const Bytes cat = concat({bytes_of("CAT "), be32(1), {'Q', 0}, chunk("ABCD", {7})});
    const Bytes input = container("FORM", "XDIR", cat);
    IffTree tree;
    ASSERT_TRUE(parse(input, tree));
    const IffChunk& form = tree.chunks.at(0);
    ASSERT_EQ(form.children.size(), 2u);
    EXPECT_EQ(form.children[0].form_type, (IffId{'Q', 0, 'A', 'B'}));
    EXPECT_TRUE(form.children[0].children.empty());
    EXPECT_EQ(form.children[1].id, iff_id("ABCD"));
    EXPECT_EQ(data_of(form.children[1]), Bytes{7});
}

// FORM, CAT, FORM, ... nested `levels` deep, each holding the next.
Bytes nested(std::size_t levels) {
    Bytes out;
    for (std::size_t level = 0; level < levels; ++level) {
        const std::uint32_t size = std::uint32_t(4 + 12 * (levels - 1 - level));
        for (const Bytes& part : {bytes_of(level % 2 == 0 ? "FORM" : "CAT "), be32(size), bytes_of("XMID")})
            out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

TEST(Iff, DeepNestingIsRefusedWithoutExhaustingTheStack) {
    IffTree shallow;
    EXPECT_TRUE(parse(nested(iff_max_depth), shallow));
    IffTree deep;
    EXPECT_FALSE(parse(nested(iff_max_depth + 1), deep));
    IffTree very_deep;
    EXPECT_FALSE(parse(nested(100000), very_deep));
}

}  // namespace
}  // namespace seqconv
