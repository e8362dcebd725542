// The memory paths that keep large songs lean: tracks sized before they are
// built, output written into a buffer of its exact size, events that share
// nothing when copied.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;

// Each body exercises one way the quick count could go wrong: running
// status (one and two data bytes), sysex and metas, FB/FC (no event), a body
// cut off inside an event, one without FF 2F, and one ending in a bad status.
TEST(TrackSizing, ReadTracksAreSizedToTheirEventsExactly) {
    const Bytes bodies[] = {
        {0x00, 0x90, 0x3C, 0x64, 0x10, 0x3E, 0x64, 0x00, 0xC1, 0x05, 0x00, 0x06, 0x00, 0xFF, 0x2F, 0x00},
        {0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, 0x00, 0xFF, 0x01, 0x02, 'h',  'i',  0x00,
         0xFB, 0x00, 0xFC, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00, 0x00, 0x90},
        {0x00, 0x90, 0x3C, 0x64, 0x81},
        {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x05, 'a'},
    };
    for (const Bytes& body : bodies) {
        const Bytes file = test::smf(0, 96, {body});
        MidiContainer song;
        read_smf(test::range_of(file), song);
        ASSERT_EQ(song.track_count(), 1u);
        EXPECT_EQ(song.track(0).capacity(), song.track(0).size()) << ::testing::PrintToString(body);
    }
}

TEST(TrackSizing, AMalformedTrackIsStillReadAsBefore) {
    const Bytes file = test::smf(0, 96, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF7, 0x00}});
    MidiContainer song;
    EXPECT_FALSE(read_smf(test::range_of(file), song));
    EXPECT_EQ(song.track_count(), 0u);
}

TEST(ExactOutput, WriteSmfAppendsBehindWhatTheBufferHolds) {
    MidiContainer song;
    song.initialize(0, 96);
    MidiTrack track;
    track.add_event(test::note_on(0, 0x3C));
    track.add_event(test::extended(200, Bytes(300, 0x41)));
    track.add_event(test::note_on(0x10000000, 0x3C, 0));
    track.add_event(make_end_of_track(0x10000000));
    song.add_track(track);

    Bytes out = {1, 2, 3};
    write_smf(song, out);
    const Bytes image = test::written(song);
    ASSERT_EQ(out.size(), 3 + image.size());
    EXPECT_EQ(Bytes(out.begin() + 3, out.end()), image);
    // The one chunk length is the whole body written.
    EXPECT_EQ(Bytes(image.begin() + 18, image.begin() + 22), test::be32(image.size() - 22));
}

TEST(EventCopies, LongMessagesAreCopiedNotShared) {
    Bytes payload(40);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = std::uint8_t(i);
    MidiEvent copy;
    {
        const MidiEvent original = test::extended(7, payload);
        copy = original;
        MidiEvent second(original);
        EXPECT_EQ(test::data_of(second), payload);
    }
    EXPECT_EQ(test::data_of(copy), payload);  // the original is gone
    MidiEvent moved(std::move(copy));
    EXPECT_EQ(test::data_of(moved), payload);
}

}  // namespace
}  // namespace seqconv
