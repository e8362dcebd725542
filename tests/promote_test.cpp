// Promotion of form 0 songs to form 1: a conductor track and one track per channel.

#include "midi/promote.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::describe;
using test::extended;
using test::Lines;
using test::note_on;

const Bytes tempo{0xFF, 0x51, 0x07, 0xA1, 0x20};

MidiContainer song_of(std::uint32_t form, std::initializer_list<std::vector<MidiEvent>> tracks) {
    MidiContainer song;
    song.initialize(form, 960);
    for (const auto& events : tracks) {
        MidiTrack track;
        for (const MidiEvent& event : events) track.add_event(event);
        song.add_track(track);
    }
    return song;
}

std::vector<Lines> tracks_of(const MidiContainer& song) {
    std::vector<Lines> out;
    for (const MidiTrack& track : song.tracks()) out.push_back(describe(track));
    return out;
}

TEST(PromoteToType1, LeavesOtherSongsAsTheyAre) {
    const std::vector<MidiEvent> one{extended(0, tempo), note_on(0, 0x3C, 0x64, 3), make_end_of_track(10)};
    const MidiContainer songs[] = {
        song_of(1, {one}),
        song_of(2, {one, one}),
        song_of(0, {one, one, one}),
        song_of(0, {}),
    };
    for (const MidiContainer& original : songs) {
        MidiContainer song = original;
        promote_to_type1(song);
        EXPECT_EQ(song.form(), original.form());
        EXPECT_EQ(tracks_of(song), tracks_of(original));
    }
}

TEST(PromoteToType1, SplitsOneTrackIntoConductorAndChannelTracks) {
    MidiContainer song = song_of(
        0, {{extended(0, tempo), note_on(0, 0x3C, 0x64, 9), note_on(0, 0x3C, 0x64, 0), note_on(480, 0x40, 0x00, 0),
             note_on(480, 0x3C, 0x00, 9), extended(480, {0xF0, 0x7E, 0xF7}), make_end_of_track(960)}});
    promote_to_type1(song);
    EXPECT_EQ(song.form(), 1u);
    EXPECT_EQ(song.timebase(), 960u);
    EXPECT_EQ(tracks_of(song), (std::vector<Lines>{
                                   {"@0 FF 51 07 A1 20", "@480 F0 7E F7", "@960 FF 2F"},
                                   {"@0 90 3C 64", "@480 90 40 00", "@960 FF 2F"},
                                   {"@0 99 3C 64", "@480 99 3C 00", "@960 FF 2F"},
                               }));
}

TEST(PromoteToType1, TracksOnlyForWhatIsUsed) {
    MidiContainer channels_only =
        song_of(0, {{note_on(0, 1, 0x64, 15), note_on(5, 2, 0x64, 4), note_on(5, 3, 0x64, 4), make_end_of_track(20)}});
    promote_to_type1(channels_only);
    EXPECT_EQ(tracks_of(channels_only), (std::vector<Lines>{
                                            {"@5 94 02 64", "@5 94 03 64", "@20 FF 2F"},
                                            {"@0 9F 01 64", "@20 FF 2F"},
                                        }));

    MidiContainer nothing = song_of(0, {{make_end_of_track(0)}});
    promote_to_type1(nothing);
    EXPECT_EQ(nothing.form(), 1u);
    EXPECT_EQ(nothing.track_count(), 0u);
    EXPECT_TRUE(test::written(nothing).empty());
}

TEST(PromoteToType1, SecondTrackIsSplitBehindTheFirst) {
    MidiContainer song = song_of(0, {{extended(0, tempo), make_end_of_track(0)},
                                     {note_on(0, 0x3C), extended(0, {0xFF, 0x01, 'a'}), extended(300, {0xF0, 0xF7}),
                                      note_on(500, 0x3C, 0), make_end_of_track(500)}});
    promote_to_type1(song);
    // The conductor keeps its own end of track, last and raised to the latest
    // event added to it; the second track's end does not go there.
    EXPECT_EQ(tracks_of(song), (std::vector<Lines>{
                                   {"@0 FF 51 07 A1 20", "@0 FF 01 61", "@300 F0 F7", "@300 FF 2F"},
                                   {"@0 90 3C 64", "@500 90 3C 00", "@500 FF 2F"},
                               }));
}

TEST(PromoteToType1, EmptyFirstTrackTakesTheSourcesEndOfTrack) {
    // Its one meta event is kept, and the conductor ends with the source.
    MidiContainer song = song_of(0, {{}, {extended(0, tempo), note_on(0, 0x3C), make_end_of_track(10)}});
    promote_to_type1(song);
    EXPECT_EQ(tracks_of(song), (std::vector<Lines>{
                                   {"@0 FF 51 07 A1 20", "@10 FF 2F"},
                                   {"@0 90 3C 64", "@10 FF 2F"},
                               }));
}

TEST(PromoteToType1, EqualTimesKeepTheSourceOrder) {
    MidiContainer song = song_of(
        0, {{extended(0, {0xFF, 0x01, 'x'}), note_on(0, 0x30, 0x64, 2), extended(0, tempo), note_on(0, 0x20, 0x64, 2),
             extended(0, {0xF0, 0x01}), note_on(0, 0x10, 0x64, 2), make_end_of_track(0)}});
    promote_to_type1(song);
    EXPECT_EQ(tracks_of(song), (std::vector<Lines>{
                                   {"@0 FF 01 78", "@0 FF 51 07 A1 20", "@0 F0 01", "@0 FF 2F"},
                                   {"@0 92 30 64", "@0 92 20 64", "@0 92 10 64", "@0 FF 2F"},
                               }));
}

}  // namespace
}  // namespace seqconv
