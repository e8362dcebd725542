// A track built the way readers of formats with note durations build one:
// every note's end is inserted right after its start, far beyond all the
// notes still to come. The result must be the time order; the time it takes
// is measured by the benchmarks (seqconv_benchmarks), and the timeout set in
// CMakeLists.txt, far above it, stops an insertion that went quadratic.

#include <gtest/gtest.h>

#include "midi/midi_track.h"
#include "test_support.h"

namespace seqconv {
namespace {

TEST(MidiTrackScale, TwoHundredThousandNotesWithFarEndsComeOutInTimeOrder) {
    constexpr std::uint32_t notes = 200000;
    constexpr std::uint32_t length = 10000000;
    MidiTrack track;
    track.add_event(make_end_of_track(0));
    for (std::uint32_t i = 0; i < notes; ++i) {
        const std::uint8_t key = std::uint8_t(i & 0x7F);
        track.add_event(test::note_on(i * 10, key));
        track.add_event(test::channel_event(i * 10 + length, MidiEventType::note_off, i % 16, {key, 0x40}));
    }
    ASSERT_EQ(track.size(), 2 * notes + 1);

    // Timestamps are all distinct: every starts in order, then every end.
    std::size_t mismatches = 0;
    for (std::uint32_t i = 0; i < notes; ++i) {
        const MidiEvent& on = track[i];
        const MidiEvent& off = track[notes + i];
        if (on.type != MidiEventType::note_on || on.timestamp != i * 10 || off.type != MidiEventType::note_off ||
            off.timestamp != i * 10 + length || off.channel != i % 16 || off.data_byte(0) != (i & 0x7F))
            ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u);
    const MidiEvent& last = track[2 * notes];
    EXPECT_TRUE(last.is_end_of_track());
    EXPECT_EQ(last.timestamp, (notes - 1) * 10 + length);
}

}  // namespace
}  // namespace seqconv
