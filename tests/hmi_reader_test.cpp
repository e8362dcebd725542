// The HMI reader: directory, track headers and names, note durations, the
// time jumps and the format's own FE events.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "formats/readers.h"
#include "test_support.h"

using namespace std::string_literals;

namespace seqconv {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;
using test::Lines;

const Lines conductor{"@0 FF 51 18 80 00", "@0 FF 2F"};

void put_le32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    const Bytes le = test::le32(value);
    std::copy(le.begin(), le.end(), bytes.begin() + std::ptrdiff_t(at));
}

// A track: its 91-byte header, the name record behind it when there is a
// name, then the events.
Bytes track(const Bytes& events, const std::string& name = "") {
    Bytes out = bytes_of("HMI-MIDITRACK");
    out.resize(91, 0);
    put_le32(out, 75, name.empty() ? 0 : 91);
    put_le32(out, 87, std::uint32_t(name.empty() ? 91 : 93 + name.size()));
    if (!name.empty()) out = concat({out, {0x00, std::uint8_t(name.size())}, bytes_of(name)});
    return concat({out, events});
}

// A song: header, directory, then the tracks; `order` lists the tracks
// the directory entries point at, when not each track once in turn.
Bytes hmi(const std::vector<Bytes>& tracks, std::vector<std::size_t> order = {}) {
    if (order.empty())
        for (std::size_t i = 0; i < tracks.size(); ++i) order.push_back(i);
    Bytes out = bytes_of("HMI-MIDISONG061595");
    out.resize(236, 0);
    put_le32(out, 228, std::uint32_t(order.size()));
    put_le32(out, 232, 236);
    std::vector<std::uint32_t> offsets;
    std::size_t at = 236 + 4 * order.size();
    for (const Bytes& t : tracks) offsets.push_back(std::uint32_t(std::exchange(at, at + t.size())));
    for (const std::size_t i : order) out = concat({out, test::le32(offsets[i])});
    for (const Bytes& t : tracks) out = concat({out, t});
    return out;
}

struct Read {
    bool ok = false;
    std::vector<Lines> tracks;
};
Read read(const Bytes& file) {
    Read r;
    MidiContainer song;
    r.ok = read_hmi(test::range_of(file), song);
    for (const MidiTrack& t : song.tracks()) r.tracks.push_back(test::describe(t));
    return r;
}
Read read_events(const Bytes& events) { return read(hmi({track(events)})); }

TEST(ReadHmi, EventStreams) {
    const struct {
        Bytes events;
        Lines lines;
    } cases[] = {
        // Durations: each note's end is a note on of velocity 0, put in place.
        {{0x00, 0x90, 0x3C, 0x64, 0x60, 0x00, 0x3E, 0x64, 0x10},
         {"@0 90 3C 64", "@0 90 3E 64", "@16 90 3E 00", "@96 90 3C 00"}},
        // A delta above 0xFFFF moves to the latest time, note ends included.
        {{0x00, 0x90, 0x3C, 0x64, 0x60, 0x84, 0x80, 0x00, 0xC0, 0x05}, {"@0 90 3C 64", "@96 90 3C 00", "@96 C0 05"}},
        {{0x00, 0x90, 0x3C, 0x64, 0x60, 0x83, 0xFF, 0x7F, 0xD0, 0x05}, {"@0 90 3C 64", "@96 90 3C 00", "@65535 D0 05"}},
        // The end of track waits for the last note end; what follows is not read.
        {{0x00, 0x90, 0x3C, 0x64, 0x81, 0x48, 0x64, 0xFF, 0x2F, 0x00, 0x00, 0xC0},
         {"@0 90 3C 64", "@200 90 3C 00", "@200 FF 2F"}},
        // FE events skip their bytes; F0 and meta events are kept whole.
        {concat({{0x00, 0xFE, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                 {0x00, 0xFE, 0x12, 1, 2},
                 {0x00, 0xFE, 0x13, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                 {0x05, 0xF0, 0x02, 0x7E, 0xF7, 0x00, 0xB1, 0x07, 0x64}}),
         {"@5 F0 7E F7", "@5 B1 07 64"}},
        // Cut off by the end of the input: the events before it stay, no end of track.
        {{0x00, 0xE0, 0x00, 0x40, 0x60, 0x90, 0x3C, 0x64}, {"@0 E0 00 40"}},
    };
    for (const auto& c : cases) {
        const Read r = read_events(c.events);
        EXPECT_TRUE(r.ok) << testing::PrintToString(c.events);
        EXPECT_EQ(r.tracks, (std::vector<Lines>{conductor, c.lines})) << testing::PrintToString(c.events);
    }
}

TEST(ReadHmi, MalformedTracksFailKeepingEarlierOnes) {
    for (const Bytes& events : std::vector<Bytes>{
             {0x00, 0xFE, 0x11},
             {0x00, 0x3C, 0x64},
             {0x00, 0x90, 0x3C, 0x64, 0x10, 0x00, 0xF0, 0x00, 0x00, 0x3C, 0x64},  // F0 clears running status
             {0x00, 0x90, 0x3C, 0x64, 0x10, 0x00, 0xFE, 0x12, 0x00, 0x00, 0x00, 0x3C, 0x64},  // and so does FE
             {0x00, 0xF1},
             {0x00, 0x90, 0x3C, 0x64, 0x88, 0x80, 0x80, 0x80, 0x00},  // negative duration
             {0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F},
         }) {
        const Read r = read(hmi({track({0x00, 0xC0, 0x05}), track(events), track({})}));
        EXPECT_FALSE(r.ok) << testing::PrintToString(events);
        EXPECT_EQ(r.tracks, (std::vector<Lines>{conductor, {"@0 C0 05"}})) << testing::PrintToString(events);
    }
}

TEST(ReadHmi, LoopMarkersGoIntoTheConductorTrack) {
    const Read r = read(hmi({track({0x83, 0x60, 0xFE, 0x14, 0x00, 0x00}),
                             track({0x83, 0x74, 0xFE, 0x15, 1, 2, 3, 4, 5, 6}), track({0x00, 0xFE})}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.tracks[0], (Lines{"@0 FF 51 18 80 00", "@480 FF 06 6C 6F 6F 70 53 74 61 72 74",
                                  "@500 FF 06 6C 6F 6F 70 45 6E 64", "@500 FF 2F"}));
    EXPECT_EQ(r.tracks.size(), 4u);
}

TEST(ReadHmi, NamesWithoutTrailingSpaces) {
    const Read r = read(hmi({track({}, "Flute   "), track({}, "   "), track({}, "\0 \0 "s)}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.tracks, (std::vector<Lines>{conductor, {"@0 FF 01 46 6C 75 74 65"}, {}, {"@0 FF 01 00 20 00"}}));

    Bytes no_name = track({0x00, 0xC0, 0x05}, "Flute");
    put_le32(no_name, 75, 0xFFFFFFFF);  // o + 1 is beyond any track
    EXPECT_EQ(read(hmi({no_name})).tracks, (std::vector<Lines>{conductor, {"@0 C0 05"}}));
    Bytes overlong = track({}, "Flute");
    overlong[92] = 6;
    EXPECT_FALSE(read(hmi({overlong, track({})})).ok);  // one byte past its track, within the input
}

TEST(ReadHmi, TrackSizesAndDirectory) {
    // The header of 91 bytes must be whole; the name may lie inside it.
    Bytes header = track({});
    header[20 + 1] = 5;
    std::copy_n("Flute", 5, header.begin() + 22);
    put_le32(header, 75, 20);
    EXPECT_EQ(read(hmi({header})).tracks, (std::vector<Lines>{conductor, {"@0 FF 01 46 6C 75 74 65"}}));
    EXPECT_FALSE(read(hmi({Bytes(header.begin(), header.begin() + 90)})).ok);

    // Entries that do not ascend: the track is read to the end of the input.
    const Read swapped =
        read(hmi({track({0x00, 0xC0, 0x01, 0x00, 0xFF, 0x2F, 0x00}), track({0x00, 0xC0, 0x02})}, {1, 0}));
    EXPECT_TRUE(swapped.ok);
    EXPECT_EQ(swapped.tracks, (std::vector<Lines>{conductor, {"@0 C0 02"}, {"@0 C0 01", "@0 FF 2F"}}));

    // An event may run past its track, within the input.
    const Read over = read(hmi({track({0x00, 0xFF, 0x01, 0x05}), track({})}));
    EXPECT_EQ(over.tracks, (std::vector<Lines>{conductor, {"@0 FF 01 48 4D 49 2D 4D"}, {}}));

    // A directory that does not fit is refused before anything is made.
    Bytes unfit = hmi({track({})});
    put_le32(unfit, 228, 0x40000000);
    const Read refused = read(unfit);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.tracks.empty());
    EXPECT_EQ(read(hmi({})).tracks, (std::vector<Lines>{conductor}));
}

TEST(ReadHmi, EntriesPointingBackDoNotMultiplyTheSong) {
    // 400 entries alternate between a long track without end of track and
    // one before it: the long one's size wraps, so each entry for it reads
    // it to the end of the file again. The reading stops after four times
    // the file (and 64 KiB); an event takes at least 2 bytes.
    Bytes notes{0x00, 0x90, 0x3C, 0x64, 0x10};
    for (int i = 0; i < 8000; ++i) notes.insert(notes.end(), {0x00, 0x3C, 0x64, 0x10});
    std::vector<std::size_t> order;
    for (int i = 0; i < 400; ++i) order.push_back(1 - i % 2);
    const Bytes file = hmi({track({0x00, 0xFF, 0x2F, 0x00}), track(notes)}, order);
    MidiContainer song;
    EXPECT_FALSE(read_hmi(test::range_of(file), song));
    std::size_t events = 0;
    for (const MidiTrack& t : song.tracks()) events += t.size();
    EXPECT_GT(events, 2 * 16002u);
    EXPECT_LE(events, (5 * file.size() + 65536) / 2);
}

}  // namespace
}  // namespace seqconv
