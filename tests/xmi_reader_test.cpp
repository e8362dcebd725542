// The XMI reader: songs found in the chunk tree, delays and note durations,
// the tempo rewrite, cut-off and malformed streams.

#include <gtest/gtest.h>

#include <utility>

#include "formats/readers.h"
#include "iff_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using test::describe;
using test::iff_chunk;
using test::iff_container;
using test::Lines;

Bytes song(const Bytes& events) { return iff_container("FORM", "XMID", iff_chunk("EVNT", events)); }
Bytes xmi(const Bytes& songs) {
    return concat({iff_container("FORM", "XDIR", iff_chunk("INFO", {1, 0})), iff_container("CAT ", "XMID", songs)});
}
bool read(const Bytes& file, MidiContainer& song) { return read_xmi(test::range_of(file), song); }

// The track one song's events make, or "failed".
Lines decode(const Bytes& events) {
    MidiContainer out;
    if (!read(xmi(song(events)), out)) return {"failed"};
    return describe(out.track(0));
}

TEST(ReadXmi, NoteDurationsBecomeNoteEndsAndTheTrackEndsAfterTheLast) {
    EXPECT_EQ(decode({0x90, 0x3C, 0x64, 0x20, 0x10, 0xFF, 0x2F, 0x00}),
              (Lines{"@0 90 3C 64", "@0 FF 51 07 A1 20", "@32 90 3C 00", "@32 FF 2F"}));
    // Delay bytes add up; a note end goes before the events read later on
    // its tick, and a note of no duration ends right behind itself.
    EXPECT_EQ(decode({0x90, 0x3C, 0x64, 0x81, 0x7F, 0x7F, 0x7F, 0x01, 0x90, 0x3E, 0x50, 0x00, 0xC1, 0x05, 0xFF, 0x2F}),
              (Lines{"@0 90 3C 64", "@0 FF 51 07 A1 20", "@255 90 3C 00", "@255 90 3E 50", "@255 90 3E 00",
                     "@255 C1 05", "@255 FF 2F"}));
}

TEST(ReadXmi, TempoIsRewrittenAndTheDefaultAddedWhenNoneStandsAtZero) {
    const std::uint32_t cases[][2] = {{250000, 500000}, {450000, 500000},  {600000, 500000}, {1000000, 500000},
                                      {123456, 529097}, {1605632, 501760}, {8334, 500040},   {8333, 500000}};
    for (const auto& [tempo, rewritten] : cases) {
        const Bytes in = test::be32(tempo), out = test::be32(rewritten);
        EXPECT_EQ(decode({0xFF, 0x51, 0x03, in[1], in[2], in[3]}),
                  Lines{describe(test::extended(0, {0xFF, 0x51, out[1], out[2], out[3]}))})
            << tempo;
    }
    EXPECT_EQ(decode({0x05, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}), (Lines{"@0 FF 51 07 A1 20", "@5 FF 51 07 A1 20"}));
    EXPECT_EQ(decode({0xFF, 0x51, 0x04, 1, 2, 3, 4}), (Lines{"@0 FF 51 01 02 03 04", "@0 FF 51 07 A1 20"}));
}

TEST(ReadXmi, EachSongIsATrackAndSeveralMakeForm2) {
    MidiContainer two;
    ASSERT_TRUE(read(xmi(concat({song({0xC0, 0x01}), iff_chunk("LIST", {}), song({0xC1, 0x02, 0xFF, 0x2F})})), two));
    EXPECT_EQ(two.form(), 2u);
    EXPECT_EQ(two.timebase(), 60u);
    ASSERT_EQ(two.track_count(), 2u);
    EXPECT_EQ(describe(two.track(0)), (Lines{"@0 C0 01", "@0 FF 51 07 A1 20"}));
    EXPECT_EQ(describe(two.track(1)), (Lines{"@0 C1 02", "@0 FF 51 07 A1 20", "@0 FF 2F"}));

    MidiContainer none;
    EXPECT_TRUE(read(xmi({}), none));
    EXPECT_EQ(none.form(), 0u);
    EXPECT_EQ(none.track_count(), 0u);

    // A song without EVNT fails; the songs before it stay.
    MidiContainer bad;
    EXPECT_FALSE(read(xmi(concat({song({}), iff_container("FORM", "XMID", iff_chunk("TIMB", {}))})), bad));
    EXPECT_EQ(bad.track_count(), 1u);
    // Without its directory or songs the file is refused before anything.
    for (const Bytes& file : {iff_container("CAT ", "XMID", song({})),
                              concat({iff_container("FORM", "XDIR", {}), iff_container("CAT ", "XMIX", song({}))})}) {
        MidiContainer refused;
        EXPECT_FALSE(read(file, refused));
        EXPECT_EQ(refused.timebase(), 0u);
    }
}

TEST(ReadXmi, CutOffEventEndsTheStreamAndMalformedOneFails) {
    const Lines cut{"@0 C0 01", "@0 FF 51 07 A1 20"};  // the event before, the default tempo, no end
    const std::pair<Bytes, Lines> cases[] = {
        {{0x90, 0x3C, 0x64}, cut},
        {{0x90, 0x3C, 0x64, 0x81}, cut},
        {{0xD0}, cut},
        {{0xFF}, cut},
        {{0xFF, 0x51, 0x03, 0x07, 0xA1}, cut},
        {{0xF0, 0x02, 0x7E}, cut},
        {{0xF7, 0x00}, {"failed"}},
        {{0xF8}, {"failed"}},
        {{0x10}, {"failed"}},
        {{0xF0, 0x88, 0x80, 0x80, 0x80, 0x00}, {"failed"}},  // a negative length
        {{0xFF, 0x2F, 0xF7, 0xF8, 0x10}, {"@0 C0 01", "@0 FF 51 07 A1 20", "@0 FF 2F"}},
    };
    for (const auto& [events, lines] : cases)
        EXPECT_EQ(decode(concat({{0xC0, 0x01}, events})), lines) << describe(test::extended(0, events));
}

TEST(ReadXmi, TimeAndNoteEndsStopAtTheLastTick) {
    // Delays up to about 2^31, then a note lasting 2^31 - 1.
    const Bytes events = concat({Bytes(16909321, 0x7F), {0x90, 0x3C, 0x64, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F}});
    EXPECT_EQ(decode(events),
              (Lines{"@0 FF 51 07 A1 20", "@2147483767 90 3C 64", "@4294967295 90 3C 00", "@4294967295 FF 2F"}));
}

// A song's track is reserved for an event every two bytes and the tempo
// added at its start; two-byte events fill that exactly.
TEST(ReadXmi, SongOfTwoByteEventsFillsItsReservation) {
    MidiContainer out;
    ASSERT_TRUE(read(xmi(song({0xC0, 0x05, 0xC1, 0x06, 0xC2, 0x07, 0xFF, 0x2F})), out));
    EXPECT_EQ(out.track(0).size(), 5u);
    EXPECT_EQ(out.track(0).capacity(), 5u);
}

}  // namespace
}  // namespace seqconv
