// The XMI reader: songs found in the chunk tree, the event stream with its
// delays and note durations, the tempo rewrite, cut-off and malformed data.

#include <gtest/gtest.h>

#include <string>

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

const Bytes end_of_stream{0xFF, 0x2F, 0x00};

Bytes song(const Bytes& events) { return iff_container("FORM", "XMID", iff_chunk("EVNT", events)); }
Bytes xmi(const Bytes& songs) {
    return concat({iff_container("FORM", "XDIR", iff_chunk("INFO", {1, 0})), iff_container("CAT ", "XMID", songs)});
}

struct Read {
    bool ok = false;
    MidiContainer song;
    Lines events;  // of the first track
};

Read read(const Bytes& file) {
    Read result;
    result.ok = read_xmi(test::range_of(file), result.song);
    if (result.song.track_count() != 0) result.events = describe(result.song.track(0));
    return result;
}
Read read_events(const Bytes& events) { return read(xmi(song(events))); }

TEST(ReadXmi, NoteDurationsBecomeNoteEndsAndTheTrackEndsAfterTheLast) {
    const Read r = read_events({0x90, 0x3C, 0x64, 0x20, 0x10, 0xFF, 0x2F, 0x00});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.song.form(), 0u);
    EXPECT_EQ(r.song.timebase(), 60u);
    EXPECT_EQ(r.events, (Lines{"@0 90 3C 64", "@0 FF 51 07 A1 20", "@32 90 3C 00", "@32 FF 2F"}));

    // Delay bytes add up; a note end goes before an event read later on its
    // tick, and a note of no duration ends right behind itself.
    const Read order = read_events({0x90, 0x3C, 0x64, 0x81, 0x7F, 0x7F, 0x7F, 0x01, 0x90, 0x3E, 0x50,
                                    0x00, 0xC1, 0x05, 0xB1, 0x07, 0x40, 0x00, 0xFF, 0x2F, 0x00});
    ASSERT_TRUE(order.ok);
    EXPECT_EQ(order.events, (Lines{"@0 90 3C 64", "@0 FF 51 07 A1 20", "@255 90 3C 00", "@255 90 3E 50",
                                   "@255 90 3E 00", "@255 C1 05", "@255 B1 07 40", "@255 FF 2F"}));
}

TEST(ReadXmi, TempoIsRewrittenAndTheDefaultAddedWhenNoneStandsAtZero) {
    const struct {
        std::uint32_t tempo;
        std::uint32_t rewritten;
    } cases[] = {{250000, 500000}, {450000, 500000},  {500000, 500000}, {600000, 500000}, {1000000, 500000},
                 {123456, 529097}, {1605632, 501760}, {8334, 500040},   {8333, 500000},   {0, 500000}};
    for (const auto& c : cases) {
        const Bytes tempo = test::be32(c.tempo);
        const Read r = read_events({0xFF, 0x51, 0x03, tempo[1], tempo[2], tempo[3]});
        const Bytes out = test::be32(c.rewritten);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.events, Lines{describe(test::extended(0, {0xFF, 0x51, out[1], out[2], out[3]}))}) << c.tempo;
    }

    // At a later time, or with another length, the default is still added.
    EXPECT_EQ(read_events({0x05, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}).events,
              (Lines{"@0 FF 51 07 A1 20", "@5 FF 51 07 A1 20"}));
    EXPECT_EQ(read_events({0xFF, 0x51, 0x04, 0x0F, 0x42, 0x40, 0x00}).events,
              (Lines{"@0 FF 51 0F 42 40 00", "@0 FF 51 07 A1 20"}));
    EXPECT_EQ(read_events({}).events, Lines{"@0 FF 51 07 A1 20"});
}

TEST(ReadXmi, EachSongIsATrackAndSeveralMakeForm2) {
    const Read two = read(xmi(concat({song({0xC0, 0x01}), iff_chunk("LIST", {}), song({0xC1, 0x02, 0xFF, 0x2F})})));
    ASSERT_TRUE(two.ok);
    EXPECT_EQ(two.song.form(), 2u);
    ASSERT_EQ(two.song.track_count(), 2u);
    EXPECT_EQ(two.events, (Lines{"@0 C0 01", "@0 FF 51 07 A1 20"}));  // no FF 2F: no end of track
    EXPECT_EQ(describe(two.song.track(1)), (Lines{"@0 C1 02", "@0 FF 51 07 A1 20", "@0 FF 2F"}));

    const Read none = read(xmi({}));
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.song.form(), 0u);
    EXPECT_EQ(none.song.track_count(), 0u);

    // A song without EVNT, or of another type, fails; the songs before stay.
    for (const Bytes& bad : {iff_container("FORM", "XMID", iff_chunk("TIMB", {0, 0})),
                             iff_container("FORM", "XMIX", iff_chunk("EVNT", {0xC0, 0x01}))}) {
        const Read r = read(xmi(concat({song({0xC0, 0x01}), bad})));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.song.form(), 2u);
        EXPECT_EQ(r.song.track_count(), 1u);
    }
}

TEST(ReadXmi, FileWithoutItsDirectoryOrSongsIsRefusedUntouched) {
    const Bytes songs = iff_container("CAT ", "XMID", song({}));
    for (const Bytes& file : {songs, concat({iff_container("FORM", "XDIX", {}), songs}),
                              concat({iff_container("FORM", "XDIR", {}), iff_container("CAT ", "XMIX", song({}))}),
                              iff_container("FORM", "XDIR", {})}) {
        const Read r = read(file);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.song.timebase(), 0u);  // never initialised
    }
}

TEST(ReadXmi, MalformedStreamFailsButBytesAfterTheEndAreNeverRead) {
    for (const Bytes& events :
         {Bytes{0xF7, 0x00}, Bytes{0xF8}, Bytes{0xC0, 0x01, 0x10}, Bytes{0xFF, 0x01, 0x88, 0x80, 0x80, 0x80, 0x00},
          Bytes{0xF0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, Bytes{0x90, 0x3C, 0x64, 0x88, 0x80, 0x80, 0x80, 0x00}}) {
        const Read r = read_events(events);
        EXPECT_FALSE(r.ok) << describe(test::extended(0, events));
        EXPECT_EQ(r.song.track_count(), 0u);
    }
    const Read r = read_events({0x00, 0xFF, 0x2F, 0xF7, 0xF8, 0x10});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.events, (Lines{"@0 FF 51 07 A1 20", "@0 FF 2F"}));
}

TEST(ReadXmi, EventCutOffByTheEndOfTheDataEndsTheStream) {
    // Each cut event is left out; the track keeps what came before it and
    // gets the default tempo but no end of track.
    const Bytes before = {0xC0, 0x01, 0x10};
    for (const Bytes& cut :
         {Bytes{0x90, 0x3C, 0x64}, Bytes{0x90, 0x3C, 0x64, 0x81}, Bytes{0x90, 0x3C}, Bytes{0xD0}, Bytes{0xFF},
          Bytes{0xFF, 0x51, 0x03, 0x07, 0xA1}, Bytes{0xF0, 0x81}, Bytes{0xF0, 0x02, 0x7E}}) {
        const Read r = read_events(concat({before, cut}));
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.events, (Lines{"@0 C0 01", "@0 FF 51 07 A1 20"})) << describe(test::extended(0, cut));
    }
}

TEST(ReadXmi, TimeAndNoteEndsStopAtTheLastTick) {
    // Delays of 127 to about 2^31, then a note lasting 2^31 - 1.
    const Read r =
        read_events(concat({Bytes(16909321, 0x7F), {0x90, 0x3C, 0x64, 0x87, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F}}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.events,
              (Lines{"@0 FF 51 07 A1 20", "@2147483767 90 3C 64", "@4294967295 90 3C 00", "@4294967295 FF 2F"}));
}

}  // namespace
}  // namespace seqconv
