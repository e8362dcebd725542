// Where a track of a Standard MIDI File ends when its end-of-track event is
// missing or lies beyond the chunk's declared length.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using test::data_of;
using test::mtrk;
using test::smf_header;

// Keys and times of the note-on events of a track, and where it ends.
struct Shape {
    std::vector<std::pair<std::uint32_t, std::uint8_t>> notes;
    std::uint32_t end = 0;
    bool ends_with_end_of_track = false;
};

Shape shape_of(const MidiTrack& track) {
    Shape s;
    for (const MidiEvent& e : track)
        if (e.type == MidiEventType::note_on) s.notes.emplace_back(e.timestamp, e.data_byte(0));
    if (track.size() != 0) {
        s.end = track[track.size() - 1].timestamp;
        s.ends_with_end_of_track = track[track.size() - 1].is_end_of_track();
    }
    return s;
}

TEST(SmfTrackBounds, TrackWithoutEndOfTrackEndsAtTheNextChunk) {
    // Without the bound, the first track would read "MTrk" and the length as
    // a note and running-status data, and swallow the second track's notes.
    const Bytes file = concat({smf_header(1, 2, 96), mtrk({0x00, 0x90, 0x3C, 0x64, 0x10, 0x3E, 0x64}),
                               mtrk({0x00, 0x91, 0x40, 0x64, 0x20, 0xFF, 0x2F, 0x00})});
    MidiContainer song;
    ASSERT_TRUE(read_smf(test::range_of(file), song));
    ASSERT_EQ(song.track_count(), 2u);
    const Shape first = shape_of(song.track(0));
    EXPECT_EQ(first.notes, (decltype(first.notes){{0, 0x3C}, {0x10, 0x3E}}));
    EXPECT_TRUE(first.ends_with_end_of_track);
    EXPECT_EQ(first.end, 0x10u);
    EXPECT_EQ(song.track(0).size(), 3u);
    EXPECT_EQ(shape_of(song.track(1)).notes, (decltype(first.notes){{0, 0x40}}));
    EXPECT_EQ(shape_of(song.track(1)).end, 0x20u);
}

TEST(SmfTrackBounds, EventCrossingTheDeclaredEndIsCutBeforeItsDelta) {
    // The second note's delta (0x30) and status lie inside the chunk, its
    // data bytes behind the declared end where the next chunk begins.
    Bytes first_body = {0x00, 0x90, 0x3C, 0x64, 0x30, 0x90};
    const Bytes file = concat(
        {smf_header(1, 2, 96), test::bytes_of("MTrk"), test::be32(6), first_body, mtrk({0x00, 0xFF, 0x2F, 0x00})});
    MidiContainer song;
    ASSERT_TRUE(read_smf(test::range_of(file), song));
    ASSERT_EQ(song.track_count(), 2u);
    const Shape first = shape_of(song.track(0));
    EXPECT_EQ(first.notes.size(), 1u);
    EXPECT_EQ(first.end, 0u);
    EXPECT_TRUE(first.ends_with_end_of_track);
    EXPECT_EQ(song.track(1).size(), 1u);
}

TEST(SmfTrackBounds, LastTrackWithTooShortLengthIsReadOnToItsEnd) {
    // A declared length of 4 where the track holds 11 bytes: nothing follows
    // the chunk, so the track is read on to its end-of-track event.
    const Bytes body = {0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00};
    const Bytes file = concat({smf_header(0, 1, 96), test::bytes_of("MTrk"), test::be32(4), body});
    MidiContainer song;
    ASSERT_TRUE(read_smf(test::range_of(file), song));
    ASSERT_EQ(song.track_count(), 1u);
    EXPECT_EQ(shape_of(song.track(0)).notes, (decltype(Shape::notes){{0, 0x3C}, {0x60, 0x3E}}));
    EXPECT_EQ(test::written(song), concat({smf_header(0, 1, 96), test::mtrk(body)}));
}

TEST(SmfTrackBounds, TooShortLengthBeforeAnotherTrackKeepsTheTrackAndStops) {
    // The declared end falls inside the first track's events, where no chunk
    // header stands: the track is read whole, and the reading stops there.
    const Bytes body = {0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00};
    const Bytes file =
        concat({smf_header(1, 2, 96), test::bytes_of("MTrk"), test::be32(4), body, mtrk({0x00, 0xFF, 0x2F, 0x00})});
    MidiContainer song;
    EXPECT_FALSE(read_smf(test::range_of(file), song));
    ASSERT_EQ(song.track_count(), 1u);
    EXPECT_EQ(shape_of(song.track(0)).notes.size(), 2u);
}

TEST(SmfTrackBounds, ManyTracksWithoutEndOfTrackEachKeepOnlyTheirOwnEvents) {
    // Every chunk lacks its end-of-track event; each track must hold its own
    // note and nothing of the chunks after it.
    constexpr std::uint16_t count = 2000;
    Bytes file = smf_header(1, count, 96);
    for (std::uint16_t i = 0; i < count; ++i)
        file = concat({file, mtrk({0x00, 0x90, std::uint8_t(i & 0x7F), 0x64, 0x00, std::uint8_t(i >> 7), 0x64})});
    MidiContainer song;
    ASSERT_TRUE(read_smf(test::range_of(file), song));
    ASSERT_EQ(song.track_count(), count);
    for (std::uint16_t i = 0; i < count; ++i) {
        ASSERT_EQ(song.track(i).size(), 3u) << "track " << i;
        EXPECT_EQ(data_of(song.track(i)[0])[0], i & 0x7F);
        EXPECT_EQ(data_of(song.track(i)[1])[0], i >> 7);
    }
}

}  // namespace
}  // namespace seqconv
