// The RIFF MIDS reader: fmt fields, event sizes and kinds, blocks, and files
// cut off by the end.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using test::le32;

Bytes head(const Bytes& fmt) { return concat({test::bytes_of("RIFF"), le32(0), test::riff_chunk("MIDSfmt ", fmt)}); }
Bytes mids(const Bytes& fmt, const Bytes& data) { return concat({head(fmt), test::riff_chunk("data", data)}); }
Bytes block(const Bytes& events) { return concat({le32(1000), le32(std::uint32_t(events.size())), events}); }
Bytes event(std::uint32_t delta, std::uint32_t word) { return concat({le32(delta), le32(word)}); }
Bytes with_id(std::uint32_t delta, std::uint32_t word) { return concat({le32(delta), le32(7), le32(word)}); }
const Bytes ids = concat({le32(96), le32(0)}), no_ids = concat({ids, le32(1)});
const Bytes one_note = concat({le32(1), block(event(5, 0x00403C93))});
const Bytes notes = concat({event(1, 0x00403C90), event(2, 0x00403E90)});
const std::string no_tempo = "@0 FF 2F | ";

TEST(ReadMids, FieldsBlocksAndEvents) {
    const Bytes cut = mids(no_ids, concat({le32(1), block(notes)}));
    const struct {
        Bytes file;
        std::string song;
    } cases[] = {
        {mids({}, concat({le32(1), block(with_id(5, 0x00403C93))})), "0/1: " + no_tempo + "@5 93 3C 40, @5 FF 2F"},
        {mids(concat({le32(120), {0, 0}}), concat({le32(1), block(with_id(5, 0x00403C93))})),
         "0/120: " + no_tempo + "@5 93 3C 40, @5 FF 2F"},
        {mids(ids, concat({le32(1), block(with_id(5, 0x00403C93))})), "0/96: " + no_tempo + "@5 93 3C 40, @5 FF 2F"},
        {mids(concat({no_ids, {0x55}}), one_note), "0/96: " + no_tempo + "@5 93 3C 40, @5 FF 2F"},
        // Deltas run on across blocks; kinds other than 0 and 1 and
        // statuses outside 80 to EF are dropped.
        {mids(no_ids,
              concat({le32(2), block(concat({event(10, 0x00403C93), event(0, 0x0107A120), event(0, 0x000007C5)})),
                      block(concat({event(10, 0x80FFFFFF), event(0, 0x00403CF0), event(0, 0x0000407F),
                                    event(5, 0x02403C90)}))})),
         "0/96: @10 FF 51 07 A1 20, @10 FF 2F | @10 93 3C 40, @10 C5 07, @25 FF 2F"},
        // A block too short for its event: the next header follows the event.
        {mids(no_ids, concat({le32(2), le32(0), le32(4), event(1, 0x00403C90), block(event(2, 0x00403E90))})),
         "0/96: " + no_tempo + "@1 90 3C 40, @3 90 3E 40, @3 FF 2F"},
        // The data end cuts a block; the blocks after it add nothing.
        {concat({head(no_ids), test::bytes_of("data"), le32(4 + 8 + 8), le32(2), block(notes), block(notes)}),
         "0/96: " + no_tempo + "@1 90 3C 40, @1 FF 2F"},
        {mids(no_ids, concat({le32(1), block(concat({event(0xFFFFFFF0, 0x00403C90), event(0x20, 0x00403C90)}))})),
         "0/96: " + no_tempo + "@4294967280 90 3C 40, @4294967295 90 3C 40, @4294967295 FF 2F"},
        // Cut off by the end of the file: an event, the block count, the data size.
        {Bytes(cut.begin(), cut.end() - 1), "0/96: " + no_tempo + "@1 90 3C 40, @1 FF 2F"},
        {concat({head(no_ids), test::bytes_of("data"), le32(100), {1, 0}}), "0/96: " + no_tempo + "@0 FF 2F"},
        {concat({head(no_ids), test::bytes_of("data")}), "0/96: " + no_tempo + "@0 FF 2F"},
    };
    for (const auto& c : cases) {
        MidiContainer song;
        EXPECT_TRUE(read_mids(test::range_of(c.file), song));
        EXPECT_EQ(test::summary(song), c.song);
    }
    // "data" must follow the fmt chunk directly.
    MidiContainer song;
    EXPECT_FALSE(
        read_mids(test::range_of(concat({head(no_ids), test::riff_chunk("LIST", {}), mids({}, one_note)})), song));
    EXPECT_EQ(test::summary(song), "0/96:");
}

}  // namespace
}  // namespace seqconv
