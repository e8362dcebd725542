// The Standard MIDI File writer, byte for byte.

#include "midi/smf_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;
using test::extended;
using test::note_on;
using test::written;

Bytes vlq(std::uint32_t value) {
    Bytes out;
    write_vlq(out, value);
    return out;
}

TEST(WriteVlq, UsesAsManyGroupsAsTheValueNeedsUpToFive) {
    EXPECT_EQ(vlq(0), Bytes{0x00});
    EXPECT_EQ(vlq(0x7F), Bytes{0x7F});
    EXPECT_EQ(vlq(0x80), (Bytes{0x81, 0x00}));
    EXPECT_EQ(vlq(0x3FFF), (Bytes{0xFF, 0x7F}));
    EXPECT_EQ(vlq(0x4000), (Bytes{0x81, 0x80, 0x00}));
    EXPECT_EQ(vlq(0x0FFFFFFF), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(vlq(0x10000000), (Bytes{0x81, 0x80, 0x80, 0x80, 0x00}));
    EXPECT_EQ(vlq(0xFFFFFFFF), (Bytes{0x8F, 0xFF, 0xFF, 0xFF, 0x7F}));
}

// A song of one track holding `events`, written; returns the track body.
Bytes body_of(std::initializer_list<MidiEvent> events) {
    MidiContainer song;
    song.initialize(0, 96);
    MidiTrack track;
    for (const MidiEvent& e : events) track.add_event(e);
    song.add_track(track);
    const Bytes file = written(song);
    return Bytes(file.begin() + 22, file.end());
}

TEST(WriteSmf, SongWithoutTracksIsZeroBytes) {
    MidiContainer song;
    song.initialize(1, 480);
    EXPECT_TRUE(written(song).empty());
}

TEST(WriteSmf, HeaderCarriesFormTrackCountAndTimebase) {
    MidiContainer song;
    song.initialize(1, 480);
    for (int i = 0; i < 3; ++i) song.add_track(MidiTrack());
    const Bytes file = written(song);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 14),
              (Bytes{0x4D, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 1, 0, 3, 0x01, 0xE0}));
    // Empty tracks are still chunks.
    EXPECT_EQ(file.size(), 14u + 3 * 8);

    // Only the low 8 bits of the form and low 16 of the timebase fit.
    song.initialize(0x102, 0x1E728);
    const Bytes low = written(song);
    EXPECT_EQ(low[9], 0x02);
    EXPECT_EQ(low[12], 0xE7);
    EXPECT_EQ(low[13], 0x28);
}

TEST(WriteSmf, LoneEndOfTrack) {
    MidiContainer song;
    song.initialize(0, 96);
    MidiTrack track;
    track.add_event(make_end_of_track(0));
    song.add_track(track);
    const Bytes file = written(song);
    EXPECT_EQ(Bytes(file.begin() + 14, file.end()),
              (Bytes{0x4D, 0x54, 0x72, 0x6B, 0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(WriteSmf, RunningStatusWithinAChannelAndCancelledByMetaAndSysex) {
    EXPECT_EQ(body_of({note_on(0, 0x3C), note_on(96, 0x3E)}), (Bytes{0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64}));
    EXPECT_EQ(body_of({note_on(0, 0x3C), extended(0, {0xFF, 0x51, 0x07, 0xA1, 0x20}), note_on(0, 0x3E)}),
              (Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90, 0x3E, 0x64}));
    EXPECT_EQ(body_of({note_on(0, 0x3C), extended(0, {0xF0, 0x7F, 0xF7}), note_on(0, 0x3E)}),
              (Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x02, 0x7F, 0xF7, 0x00, 0x90, 0x3E, 0x64}));
    EXPECT_EQ(body_of({note_on(0, 0x3C), note_on(0, 0x3E, 0x64, 1)}),
              (Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x91, 0x3E, 0x64}));
    // One data byte for program change and channel aftertouch.
    EXPECT_EQ(body_of({test::channel_event(0, MidiEventType::program_change, 5, {7}),
                       test::channel_event(0, MidiEventType::channel_aftertouch, 2, {0x40}),
                       test::channel_event(0, MidiEventType::pitch_wheel, 15, {0x00, 0x40})}),
              (Bytes{0x00, 0xC5, 0x07, 0x00, 0xD2, 0x40, 0x00, 0xEF, 0x00, 0x40}));
}

TEST(WriteSmf, DataByteWithHighBitKeepsItsStatus) {
    // Under running status 85 would be read back as a note-off status.
    EXPECT_EQ(body_of({note_on(0, 0x3C), note_on(0, 0x85, 0x10), note_on(0, 0x3E)}),
              (Bytes{0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x85, 0x10, 0x00, 0x3E, 0x64}));
}

TEST(WriteSmf, SysexAndMetaGetTheirLengthBack) {
    EXPECT_EQ(body_of({extended(0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7})}),
              (Bytes{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    Bytes text(200, 'a');
    const Bytes body = body_of({extended(0, concat({{0xFF, 0x03}, text}))});
    EXPECT_EQ(body, concat({{0x00, 0xFF, 0x03, 0x81, 0x48}, text}));
}

TEST(WriteSmf, ChunkLengthAndDeltasPerTrack) {
    MidiContainer song;
    song.initialize(1, 96);
    MidiTrack first, second;
    first.add_event(note_on(1000, 1));
    second.add_event(note_on(10, 2));
    second.add_event(note_on(0x10000010u, 3));
    song.add_track(first);
    song.add_track(second);
    const Bytes file = written(song);
    const Bytes expected = concat({test::smf_header(1, 2, 96), test::mtrk({0x87, 0x68, 0x90, 1, 0x64}),
                                   test::mtrk({0x0A, 0x90, 2, 0x64, 0x81, 0x80, 0x80, 0x80, 0x06, 3, 0x64})});
    EXPECT_EQ(file, expected);
}

TEST(WriteSmf, MalformedExtendedEventsAreNotHalfWritten) {
    // An extended event of neither form would leave a delta time without an
    // event behind; it is left out, and the next delta spans it.
    EXPECT_EQ(body_of({note_on(0, 1), extended(10, {0xFF}), extended(20, {}), note_on(30, 2)}),
              (Bytes{0x00, 0x90, 1, 0x64, 0x1E, 2, 0x64}));
}

TEST(WriteSmf, RefusesMoreTracksThanTheHeaderCanCount) {
    MidiContainer song;
    song.initialize(1, 96);
    for (int i = 0; i < 65535; ++i) song.add_track(MidiTrack());
    EXPECT_EQ(written(song).size(), 14u + 65535u * 8);
    song.add_track(MidiTrack());
    Bytes out;
    try {
        write_smf(song, out);
        FAIL() << "65536 tracks were written";
    } catch (const std::length_error& error) {
        EXPECT_NE(std::string(error.what()).find("65536"), std::string::npos) << error.what();
    }
}

}  // namespace
}  // namespace seqconv
