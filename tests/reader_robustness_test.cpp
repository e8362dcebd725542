// Inputs that once made a reader misbehave, each test named for the fault.
// The inputs themselves are also kept in fuzz/regressions/.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using test::mtrk;
using test::smf_header;

// Every track declares seven bytes: a text event whose length, written in a
// four-byte quantity, runs to the end of the file, across all later chunks.
Bytes nested_tracks(std::uint16_t count) {
    const std::size_t size = 14 + 15 * std::size_t(count);
    Bytes file = smf_header(1, count, 96);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint32_t rest = std::uint32_t(size - (file.size() + 8 + 7));
        file = concat({file, mtrk({0x00, 0xFF, 0x01, std::uint8_t(0x80 | ((rest >> 21) & 0x7F)),
                                   std::uint8_t(0x80 | ((rest >> 14) & 0x7F)),
                                   std::uint8_t(0x80 | ((rest >> 7) & 0x7F)), std::uint8_t(rest & 0x7F)})});
    }
    EXPECT_EQ(file.size(), size);
    return file;
}

TEST(ReaderRobustness, NestedTracksEachRereadingTheRestOfTheFile) {
    // Read on past their declared ends, the tracks each copied the rest of
    // the file: memory and output grew with the square of the input (60 KB
    // took 475 MB, 1 MiB would take over 30 GB).
    const Bytes file = nested_tracks(1000);
    MidiContainer song;
    ASSERT_TRUE(read_smf(test::range_of(file), song));
    ASSERT_EQ(song.track_count(), 1000u);
    std::size_t data = 0;
    for (const MidiTrack& track : song.tracks())
        for (const MidiEvent& event : track) data += event.get_data_size();
    EXPECT_LE(data, file.size());
    EXPECT_LE(test::written(song).size(), 2 * file.size());
}

}  // namespace
}  // namespace seqconv
