// The HMP reader: both variants, the record bounds and the event syntax.

#include <gtest/gtest.h>

#include "formats/hmi_family.h"
#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using test::Lines;

const Lines conductor{"@0 FF 51 18 80 00", "@0 FF 2F"};

// A file of `count` tracks: the header, the first track ended by FF 2F 00
// at `first_end` (over the header's bytes from there on), and the records
// behind it. Variant P keeps the 4 bytes it
// needs behind the last record unless `slack` says otherwise.
Bytes hmp(char variant, std::uint8_t count, std::vector<Bytes> events, std::size_t slack = 4,
          std::size_t first_end = 90) {
    Bytes file = test::bytes_of(std::string("HMIMIDI") + variant);
    file.resize(78, 0);
    file[variant == 'R' ? 26 : 48] = count;
    file[77] = 0x78;
    file.resize(first_end, 0);
    file = concat({file, {0xFF, 0x2F, 0x00}, variant == 'R' ? Bytes{0, 0} : Bytes{}});
    for (const Bytes& e : events)
        file = variant == 'R' ? concat({file, test::le16(std::uint16_t(4 + e.size())), {0, 0}, e})
                              : concat({file, {0, 0, 0, 0}, test::le32(std::uint32_t(12 + e.size())), {0, 0, 0, 0}, e});
    file.resize(file.size() + slack, 0);
    return file;
}

struct Read {
    bool ok = false;
    MidiContainer song;
    std::vector<Lines> tracks;
};
Read read(const Bytes& file) {
    Read r;
    r.ok = read_hmp(test::range_of(file), r.song);
    for (const MidiTrack& track : r.song.tracks()) r.tracks.push_back(test::describe(track));
    return r;
}

TEST(ReadHmpDelta, LeastSignificantGroupFirstUntilTheHighBit) {
    const struct {
        Bytes input;
        std::uint32_t value;
    } cases[] = {{{0x85}, 5},
                 {{0x00, 0x81}, 128},
                 {{0x7F, 0x7F, 0x81}, 32767},
                 {{0x00, 0x00, 0x00, 0x00, 0x7F, 0xFF}, 0xF0000000}};  // groups beyond 32 bits add nothing
    for (const auto& c : cases) {
        ByteCursor cursor(test::range_of(c.input));
        std::uint32_t value = 0;
        ASSERT_TRUE(read_hmp_delta(cursor, value));
        EXPECT_EQ(value, c.value);
        EXPECT_TRUE(cursor.at_end());
    }
    const Bytes unended{0x00, 0x7F};
    ByteCursor cut(test::range_of(unended));
    std::uint32_t value = 0;
    EXPECT_FALSE(read_hmp_delta(cut, value));
}

const Bytes song{0x80, 0x90, 0x3C, 0x64, 0x85, 0xC5, 0x07, 0x80, 0xFF, 0x01, 0x02, 'h', 'i', 0x80, 0xFF, 0x2F, 0x00};
const Lines song_lines{"@0 90 3C 64", "@5 C5 07", "@5 FF 01 68 69", "@5 FF 2F"};

TEST(ReadHmp, VariantsCountAndTimebase) {
    for (const char variant : {'P', 'R'}) {
        // N - 1 records; one without FF 2F gets no end of track.
        const Read r = read(hmp(variant, 3, {song, {0x80, 0xE1, 0x00, 0x40}, song}));
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.song.form(), 1u);
        EXPECT_EQ(r.song.timebase(), variant == 'R' ? 120u : 192u);
        EXPECT_EQ(r.tracks, (std::vector<Lines>{conductor, song_lines, {"@0 E1 00 40"}}));
        for (const std::uint8_t count : {0, 1}) EXPECT_EQ(read(hmp(variant, count, {song})).tracks.size(), 1u);

        // Too short for the count byte (P) or the timebase (R): refused.
        const Bytes whole = hmp(variant, 2, {song});
        const Read cut = read(Bytes(whole.begin(), whole.begin() + (variant == 'R' ? 77 : 48)));
        EXPECT_FALSE(cut.ok);
        EXPECT_TRUE(cut.tracks.empty());
    }
}

TEST(ReadHmp, MalformedEventsFailCutOffOnesEndTheReading) {
    const struct {
        Bytes events;
        bool ok;
        std::vector<Lines> tracks;
    } cases[] = {
        {{0x80, 0xF0, 0x01, 0x00}, false, {conductor, song_lines}},                    // no system exclusive
        {{0x80, 0x90, 0x3C, 0x64, 0x80, 0x3C, 0x64}, false, {conductor, song_lines}},  // no running status
        {{0x80, 0xFF, 0x01, 0x88, 0x80, 0x80, 0x80, 0x00}, false, {conductor, song_lines}},
        {{0x80, 0x90, 0x3C, 0x64, 0x80, 0xB0, 0x07}, true, {conductor, song_lines, {"@0 90 3C 64"}}},
        {{0x80, 0xFF, 0x01, 0x05, 'a'}, true, {conductor, song_lines, {}}},
        {{0x00, 0x00}, true, {conductor, song_lines, {}}},
    };
    for (const auto& c : cases) {
        const Read r = read(hmp('P', 4, {song, c.events, song}));
        EXPECT_EQ(r.ok, c.ok) << testing::PrintToString(c.events);
        EXPECT_EQ(r.tracks, c.tracks) << testing::PrintToString(c.events);
    }
}

TEST(ReadHmp, RecordBoundsAtTheEndOfTheInput) {
    // P needs 4 bytes behind a record, R none; a record that does not fit
    // ends the reading with true.
    EXPECT_EQ(read(hmp('P', 2, {song}, 4)).tracks.size(), 2u);
    EXPECT_EQ(read(hmp('P', 2, {song}, 3)).tracks.size(), 1u);
    EXPECT_EQ(read(hmp('R', 2, {song}, 0)).tracks.size(), 2u);
    Bytes short_r = hmp('R', 2, {song}, 0);
    short_r.pop_back();
    const Read r = read(short_r);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.tracks.size(), 1u);

    // Lengths below the field's width stop; up to the header's size they
    // give a track without events, and the next record starts L bytes on:
    // here its 4 unread bytes are this one's length field.
    Bytes tiny = hmp('P', 3, {{}, song});
    tiny[93 + 4] = 3;
    EXPECT_EQ(read(tiny).tracks.size(), 1u);
    tiny[93 + 4] = 4;
    const Bytes after = concat({Bytes(tiny.begin(), tiny.begin() + 101), Bytes(tiny.begin() + 109, tiny.end())});
    EXPECT_EQ(read(after).tracks, (std::vector<Lines>{conductor, {}, song_lines}));
}

TEST(ReadHmp, RecordsFollowTheFirstEndOfTrackPairFromTheCountByteOn) {
    // The count byte itself may begin the pair: FF 2F at 48, so 255 tracks
    // of which the file holds one.
    Bytes file = hmp('P', 0xFF, {song}, 4, 48);
    EXPECT_EQ(read(file).tracks, (std::vector<Lines>{conductor, song_lines}));
    file = hmp('P', 2, {song});
    file[60] = 0xFF;
    file[61] = 0x2F;  // now in the header: the records would start at 63
    EXPECT_EQ(read(file).tracks.size(), 1u);
    file = hmp('P', 2, {song});
    file[91] = 0x2E;  // no pair at all
    const Read none = read(file);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.tracks, (std::vector<Lines>{conductor}));
}

}  // namespace
}  // namespace seqconv
