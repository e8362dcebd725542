// The fuzz targets' check that a written file reads back to the same bytes:
// it holds for what readers make of ordinary files, and each kind of song
// that it leaves out really does not read back.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "fuzz/write_checks.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::channel_event;
using test::extended;
using test::note_on;

MidiContainer song_of(std::initializer_list<MidiEvent> events, std::uint32_t form = 0) {
    MidiContainer song;
    song.initialize(form, 96);
    MidiTrack track;
    for (const MidiEvent& event : events) track.add_event(event);
    song.add_track(std::move(track));
    return song;
}

TEST(FixedPointCheck, HoldsForWhatTheReaderMakesOfOrdinaryFiles) {
    Bytes text(40, 'x');
    const Bytes file = test::concat(
        {test::smf_header(1, 2, 480),
         test::mtrk(test::concat(
             {{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x01, 40}, text, {0x00, 0xFF, 0x2F, 0x00}})),
         test::mtrk({0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64, 0x60, 0x3C, 0x00, 0x00, 0xF0,
                     0x03, 0x7E, 0x09, 0xF7, 0x10, 0xE0, 0x00, 0x40, 0x00, 0x90, 0x3E, 0x64,
                     0x20, 0xFB, 0x81, 0x00, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00})});
    MidiContainer song;
    ASSERT_TRUE(read_smf(test::range_of(file), song));
    EXPECT_TRUE(fuzz::must_round_trip(song));
    EXPECT_TRUE(fuzz::is_fixed_point(test::written(song)));

    // Extended events of neither form are not written, and spoil nothing.
    const MidiContainer odd = song_of({make_end_of_track(0), note_on(0, 1), extended(5, {0xFF}), note_on(9, 2)});
    EXPECT_TRUE(fuzz::must_round_trip(odd));
    EXPECT_TRUE(fuzz::is_fixed_point(test::written(odd)));

    // A gap of exactly 2^31 ticks still reads back.
    const MidiContainer far = song_of({make_end_of_track(0), note_on(0, 1), note_on(0x80000000u, 2)});
    EXPECT_TRUE(fuzz::must_round_trip(far));
    EXPECT_TRUE(fuzz::is_fixed_point(test::written(far)));

    // A channel above 15 is written as another kind's status, and a first
    // data byte with its top bit set keeps its status byte: both read back
    // to the same bytes.
    for (const MidiContainer& song : {song_of({make_end_of_track(0), note_on(0, 0x3C, 0x40, 16)}),
                                      song_of({make_end_of_track(0), note_on(0, 0x3C),
                                               channel_event(0, MidiEventType::note_on, 0, {0xA0, 0x10})})}) {
        EXPECT_TRUE(fuzz::must_round_trip(song));
        EXPECT_TRUE(fuzz::is_fixed_point(test::written(song)));
    }
}

TEST(FixedPointCheck, LeavesOutExactlyWhatCannotReadBack) {
    struct Case {
        const char* what;
        MidiContainer song;
    };
    const Case cases[] = {
        {"end of track before the last event", song_of({note_on(100, 1), make_end_of_track(50)})},
        {"no end of track", song_of({note_on(0, 1), note_on(10, 2)})},
        {"gap above 2^31 ticks", song_of({make_end_of_track(0), note_on(0, 1), note_on(0x80000001u, 2)})},
        {"first gap above 2^31 ticks", song_of({make_end_of_track(0), note_on(0x90000000u, 1)})},
        {"program change with two data bytes",
         song_of({make_end_of_track(0), channel_event(0, MidiEventType::program_change, 0, {5, 6})})},
        {"form 3", song_of({make_end_of_track(0), note_on(0, 1)}, 3)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(fuzz::must_round_trip(c.song)) << c.what;
        EXPECT_FALSE(fuzz::is_fixed_point(test::written(c.song))) << c.what;
    }
}

}  // namespace
}  // namespace seqconv
