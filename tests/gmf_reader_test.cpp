// The GMF reader: the conductor track made from the header, and the event
// stream read to the end of the file.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;

TEST(ReadGmf, ConductorTrackThenTheStreamToTheEndOfTheFile) {
    const Bytes note{0x00, 0x90, 0x3C, 0x64};
    const struct {
        std::uint16_t tenths;
        Bytes stream;
        std::string tempo, events;
    } cases[] = {
        {5, {}, "07 A1 20", "@0 FF 2F"},
        {0, {}, "00 00 00", "@0 FF 2F"},
        {168, {}, "FF FF FF", "@0 FF 2F"},    // too slow for 24 bits: the slowest there is
        {42950, {}, "FF FF FF", "@0 FF 2F"},  // not 00 7F C0, as in 32 bits
        {5, {0x10, 0x80, 0x3C, 0x40}, "07 A1 20", "@0 90 3C 64, @16 80 3C 40, @16 FF 2F"},
        {5, {0x83, 0x00}, "07 A1 20", "@0 90 3C 64, @0 FF 2F"},        // a delta without its event
        {5, {0x10, 0x90, 0x3E}, "07 A1 20", "@0 90 3C 64, @0 FF 2F"},  // an event cut off
        {5, {0x05, 0xFF, 0x2F, 0x00, 0x00, 0x90, 0x3E, 0x64}, "07 A1 20", "@0 90 3C 64, @5 FF 2F"},
        // Pitch-wheel status bytes carry no data: E0, delta 40, then 00
        // under running status E0, dropped as well.
        {5, {0x00, 0xE0, 0x40, 0x00, 0x10, 0x90, 0x3E, 0x64}, "07 A1 20", "@0 90 3C 64, @80 90 3E 64, @80 FF 2F"},
    };
    for (const auto& c : cases) {
        MidiContainer song;
        const Bytes file = testkit::gmf(c.tenths, test::concat({c.stream.empty() ? Bytes{} : note, c.stream}));
        EXPECT_TRUE(read_gmf(test::range_of(file), song));
        EXPECT_EQ(test::summary(song),
                  "0/192: @0 FF 51 " + c.tempo + ", @0 F0 41 10 16 12 7F 00 00 01 F7, @0 FF 2F | " + c.events);
    }
    MidiContainer song;
    const Bytes malformed = testkit::gmf(5, {0x00, 0x3C, 0x64});
    EXPECT_FALSE(read_gmf(test::range_of(malformed), song));
    EXPECT_EQ(song.track_count(), 1u);
}

// The stream's track is reserved for an event every two bytes and its end;
// a stream of two-byte events under running status fills it exactly.
TEST(ReadGmf, StreamOfTwoByteEventsFillsItsReservation) {
    MidiContainer song;
    const Bytes file = testkit::gmf(5, {0x00, 0xC0, 0x05, 0x01, 0x06, 0x01, 0x07, 0x01, 0x08});
    ASSERT_TRUE(read_gmf(test::range_of(file), song));
    EXPECT_EQ(song.track(1).size(), 5u);
    EXPECT_EQ(song.track(1).capacity(), 5u);
}

}  // namespace
}  // namespace seqconv
