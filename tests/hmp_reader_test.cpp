// The HMP reader: both variants, the record bounds and the event syntax.

#include <gtest/gtest.h>

#include "formats/hmi_family.h"
#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using Tracks = std::vector<test::Lines>;

const test::Lines conductor{"@0 FF 51 18 80 00", "@0 FF 2F"};
const Bytes voice{0x80, 0x90, 0x3C, 0x64, 0x85, 0xC5, 0x07, 0x80, 0xFF, 0x01, 0x02, 'h', 'i', 0x80, 0xFF, 0x2F, 0x00};
const test::Lines voice_lines{"@0 90 3C 64", "@5 C5 07", "@5 FF 01 68 69", "@5 FF 2F"};

// A file of `count` tracks: the header, the first track's FF 2F 00 at
// `first_end` (over the header's bytes from there on), the records, and
// `slack` bytes behind them.
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

std::pair<bool, Tracks> read(const Bytes& file, MidiContainer&& song = {}) {
    const bool ok = read_hmp(test::range_of(file), song);
    Tracks tracks;
    for (const MidiTrack& track : song.tracks()) tracks.push_back(test::describe(track));
    return {ok, tracks};
}

TEST(ReadHmpDelta, LeastSignificantGroupFirstUntilTheHighBit) {
    // Groups beyond 32 bits add nothing; the last input is cut off.
    for (const auto& [input, value] :
         std::vector<std::pair<Bytes, std::uint32_t>>{{{0x85}, 5},
                                                      {{0x00, 0x81}, 128},
                                                      {{0x7F, 0x7F, 0x81}, 32767},
                                                      {{0, 0, 0, 0, 0x7F, 0xFF}, 0xF0000000},
                                                      {{0x00, 0x7F}, 0}}) {
        ByteCursor cursor(test::range_of(input));
        std::uint32_t got = 0;
        EXPECT_EQ(read_hmp_delta(cursor, got), value != 0);
        EXPECT_EQ(got, value);
    }
}

TEST(ReadHmp, TimebaseAndTooShortInputs) {
    for (const char variant : {'P', 'R'}) {
        MidiContainer song;
        const Bytes file = hmp(variant, 2, {voice});
        EXPECT_TRUE(read_hmp(test::range_of(file), song));
        EXPECT_EQ(song.form(), 1u);
        EXPECT_EQ(song.timebase(), variant == 'R' ? 0x78u : 192u);
        // Too short for the count byte (P) or the timebase (R): refused.
        EXPECT_EQ(read(Bytes(file.begin(), file.begin() + (variant == 'R' ? 77 : 48))),
                  std::make_pair(false, Tracks{}));
    }
}

TEST(ReadHmp, RecordsAndEvents) {
    Bytes short_r = hmp('R', 2, {voice}, 0);
    short_r.pop_back();
    Bytes header_pair = hmp('P', 2, {voice}), no_pair = header_pair;
    header_pair[60] = 0xFF;  // the records would start at 63
    header_pair[61] = 0x2F;
    no_pair[91] = 0x2E;
    // A length below the field's width stops; up to the header's size it
    // gives a track without events, and the next record starts L bytes on:
    // here its 4 unread bytes are this one's length field.
    Bytes short_length = hmp('P', 3, {{}, voice});
    short_length[97] = 3;
    Bytes no_events = concat({Bytes(short_length.begin(), short_length.begin() + 101),
                              Bytes(short_length.begin() + 109, short_length.end())});
    no_events[97] = 4;
    const auto p4 = [](const Bytes& events) { return hmp('P', 4, {voice, events, voice}); };
    const struct {
        Bytes file;
        bool ok;
        Tracks tracks;
    } cases[] = {
        // N - 1 records; one without FF 2F gets no end of track.
        {hmp('P', 3, {voice, {0x80, 0xE1, 0x00, 0x40}, voice}), true, {conductor, voice_lines, {"@0 E1 00 40"}}},
        {hmp('R', 3, {voice, {0x80, 0xE1, 0x00, 0x40}, voice}), true, {conductor, voice_lines, {"@0 E1 00 40"}}},
        {hmp('P', 1, {voice}), true, {conductor}},
        {hmp('R', 0, {voice}), true, {conductor}},
        // P needs 4 bytes behind a record, R none.
        {hmp('P', 2, {voice}, 3), true, {conductor}},
        {hmp('R', 2, {voice}, 0), true, {conductor, voice_lines}},
        {short_r, true, {conductor}},
        {short_length, true, {conductor}},
        {no_events, true, {conductor, {}, voice_lines}},
        // The search for FF 2F starts at the count byte: here 0xFF.
        {hmp('P', 0xFF, {voice}, 4, 48), true, {conductor, voice_lines}},
        {header_pair, true, {conductor}},
        {no_pair, true, {conductor}},
        // Malformed: no system exclusive, no running status, no negative length.
        {p4({0x80, 0xF0, 0x01, 0x00}), false, {conductor, voice_lines}},
        {p4({0x80, 0x90, 0x3C, 0x64, 0x80, 0x3C, 0x64}), false, {conductor, voice_lines}},
        {p4({0x80, 0xFF, 0x01, 0x88, 0x80, 0x80, 0x80, 0x00}), false, {conductor, voice_lines}},
        // Cut off by the record's end: the track as it stands, the last one.
        {p4({0x80, 0x90, 0x3C, 0x64, 0x80, 0xB0, 0x07}), true, {conductor, voice_lines, {"@0 90 3C 64"}}},
        {p4({0x80, 0xFF, 0x01, 0x05, 'a'}), true, {conductor, voice_lines, {}}},
        {p4({0x00, 0x00}), true, {conductor, voice_lines, {}}},
    };
    for (const auto& c : cases) EXPECT_EQ(read(c.file), std::make_pair(c.ok, c.tracks)) << &c - cases;
}

}  // namespace
}  // namespace seqconv
