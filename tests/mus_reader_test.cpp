// The MUS reader: event kinds, channel and controller maps, velocities,
// delays, refused events and scores cut off by the end of the file.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;

// One instrument, so the score starts at 18; the score length field says
// `length`.
Bytes mus(const Bytes& score, std::size_t length) { return testkit::mus({1, 0, {0}, std::uint16_t(length)}, score); }
const std::string conductor = "@0 FF 51 09 A3 1A, @0 FF 2F";

TEST(ReadMus, ScoreEventsOnTheirMidiChannels) {
    const struct {
        Bytes score;
        std::string events;
        std::size_t length = 0xFFFF;
    } cases[] = {
        {{0x60, 0x10, 0x3C}, "@0 FF 2F"},
        {{0x90, 0xBC, 0x7F, 0x10, 0x00, 0x3C, 0x60}, "@0 90 3C 7F, @16 90 3C 00, @16 FF 2F"},
        // Percussion channel 15 plays on 9, 9 to 14 move up one; velocities
        // are remembered per channel, 0 before the first.
        {{0x9F, 0xA4, 0x64, 0x05, 0x19, 0x30, 0x1E, 0x30, 0x18, 0x30, 0x1F, 0x25},
         "@0 99 24 64, @5 9A 30 00, @5 9F 30 00, @5 98 30 00, @5 99 25 64, @5 FF 2F"},
        {{0x20, 0x80, 0x20, 0xFF, 0x20, 0x00, 0x20, 0x01},
         "@0 E0 00 40, @0 E0 40 7F, @0 E0 00 00, @0 E0 40 00, @0 FF 2F"},
        {{0x40, 0x00, 0x21, 0x40, 0x01, 0x01, 0x40, 0x02, 0x02, 0x40, 0x03, 0x64, 0x40, 0x04,
          0x04, 0x40, 0x05, 0x05, 0x40, 0x06, 0x06, 0x40, 0x07, 0x07, 0x40, 0x08, 0x08, 0x40,
          0x09, 0x09, 0x30, 0x0A, 0x30, 0x0B, 0x30, 0x0C, 0x30, 0x0D, 0x30, 0x0E},
         "@0 C0 21, @0 B0 00 01, @0 B0 01 02, @0 B0 07 64, @0 B0 0A 04, @0 B0 0B 05, @0 B0 5B 06, @0 B0 5D 07, "
         "@0 B0 40 08, @0 B0 43 09, @0 B0 78 01, @0 B0 7B 01, @0 B0 7E 01, @0 B0 7F 01, @0 B0 79 01, @0 FF 2F"},
        // Bytes above 127 would be read back as status bytes.
        {{0x00, 0xC0, 0x10, 0xBC, 0xFF, 0x10, 0x3D, 0x40, 0x03, 0xFF, 0x40, 0x00, 0x80},
         "@0 90 40 00, @0 90 3C 7F, @0 90 3D 7F, @0 B0 07 7F, @0 C0 7F, @0 FF 2F"},
        // No score end: the score ends at its length, but an event's data
        // bytes and delay are read on past it.
        {{0x90, 0x3C, 0x20, 0x60}, "@0 90 3C 00, @32 FF 2F", 3},
        {{0x10, 0x3C, 0x60}, "@0 90 3C 00, @0 FF 2F", 1},
        {{0x80, 0x3C, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0x3C, 0x87, 0xFF, 0xFF,
          0xFF, 0x7F, 0x80, 0x3C, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x3C},
         "@0 90 3C 00, @2147483647 90 3C 00, @4294967294 90 3C 00, @4294967295 90 3C 00, @4294967295 FF 2F"},
        // Cut off by the end of the file: an event short of its data bytes
        // is not made, one short of its delay is.
        {{0x80, 0x3C, 0x05, 0x90, 0xBC}, "@0 90 3C 00, @5 FF 2F"},
        {{0x80, 0x3C, 0x05, 0x90, 0x3C, 0x81}, "@0 90 3C 00, @5 90 3C 00, @5 FF 2F"},
    };
    for (const auto& c : cases) {
        MidiContainer song;
        const Bytes file = mus(c.score, std::min(c.length, c.score.size()));
        EXPECT_TRUE(read_mus(test::range_of(file), song));
        EXPECT_EQ(test::summary(song), "0/89: " + conductor + " | " + c.events);
    }
}

TEST(ReadMus, RefusedEventsKeepOnlyTheConductorTrack) {
    for (const Bytes& bad : {Bytes{0x50}, Bytes{0xE0}, Bytes{0x61}, Bytes{0x70}, Bytes{0x30, 0x09}, Bytes{0x30, 0x0F},
                             Bytes{0x40, 0x0A, 0x00}, Bytes{0x80, 0x3C, 0x88, 0x80, 0x80, 0x80, 0x00}}) {
        MidiContainer song;
        const Bytes score = test::concat({{0x10, 0x3C}, bad, {0x60}});
        EXPECT_FALSE(read_mus(test::range_of(mus(score, score.size())), song));
        EXPECT_EQ(test::summary(song), "0/89: " + conductor);
    }
}

// The score track is reserved for an event every two score bytes (within
// the score length) and its end: two-byte events fill it exactly.
TEST(ReadMus, ScoreOfTwoByteEventsFillsItsReservation) {
    MidiContainer song;
    ASSERT_TRUE(read_mus(test::range_of(mus({0x00, 0x3C, 0x01, 0x3C, 0x02, 0x3C, 0x00, 0x00}, 6)), song));
    EXPECT_EQ(song.track(1).size(), 4u);
    EXPECT_EQ(song.track(1).capacity(), 4u);
}

}  // namespace
}  // namespace seqconv
