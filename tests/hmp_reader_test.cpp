// The HMP reader: both variants, the record bounds and the event syntax.

#include <gtest/gtest.h>

#include "formats/hmi_family.h"
#include "formats/readers.h"
#include "song_text.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::hex;

std::string read(const Bytes& file) {
    MidiContainer song;
    const bool ok = read_hmp(test::range_of(file), song);
    return test::song_text(ok, song);
}

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
    file = test::concat({file, hex(variant == 'R' ? "FF 2F 00 00 00" : "FF 2F 00")});
    for (const Bytes& e : events)
        file = test::concat({file, variant == 'R' ? test::le16(std::uint16_t(4 + e.size())) : Bytes{0, 0, 0, 0},
                             variant == 'R' ? Bytes{} : test::le32(std::uint32_t(12 + e.size())),
                             Bytes(variant == 'R' ? 2 : 4, 0), e});
    file.resize(file.size() + slack, 0);
    return file;
}

const Bytes voice = hex("80 90 3C 64 85 C5 07 80 FF 01 02 68 69 80 FF 2F 00");
const std::string played = "@0 90 3C 64, @5 C5 07, @5 FF 01 68 69, @5 FF 2F";
const std::string conductor = "true: @0 FF 51 18 80 00, @0 FF 2F";

TEST(ReadHmpDelta, LeastSignificantGroupFirstUntilTheHighBit) {
    // Groups beyond 32 bits add nothing; the last input is cut off.
    for (const auto& [input, value] : std::vector<std::pair<std::string, std::uint32_t>>{
             {"85", 5}, {"00 81", 128}, {"7F 7F 81", 32767}, {"00 00 00 00 7F FF", 0xF0000000}, {"00 7F", 0}}) {
        const Bytes bytes = hex(input);
        ByteCursor cursor(test::range_of(bytes));
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
        EXPECT_EQ(read(Bytes(file.begin(), file.begin() + (variant == 'R' ? 77 : 48))), "false");
    }
}

TEST(ReadHmp, RecordsAndEvents) {
    Bytes short_r = hmp('R', 2, {voice}, 0), header_pair = hmp('P', 2, {voice}), no_pair = header_pair;
    short_r.pop_back();
    header_pair[60] = 0xFF;  // the records would start at 63
    header_pair[61] = 0x2F;
    no_pair[91] = 0x2E;
    // A length below the field's width stops; up to the header's size it
    // gives a track without events, and the next record starts L bytes on:
    // here its 4 unread bytes are this one's length field.
    Bytes short_length = hmp('P', 3, {{}, voice});
    short_length[97] = 3;
    Bytes no_events = test::concat({Bytes(short_length.begin(), short_length.begin() + 101),
                                    Bytes(short_length.begin() + 109, short_length.end())});
    no_events[97] = 4;
    const auto p4 = [](const std::string& events) { return hmp('P', 4, {voice, hex(events), voice}); };
    const std::pair<Bytes, std::string> cases[] = {
        // N - 1 records; one without FF 2F gets no end of track.
        {hmp('P', 3, {voice, hex("80 E1 00 40"), voice}), conductor + " | " + played + " | @0 E1 00 40"},
        {hmp('R', 3, {voice, hex("80 E1 00 40"), voice}), conductor + " | " + played + " | @0 E1 00 40"},
        {hmp('P', 1, {voice}), conductor},
        {hmp('R', 0, {voice}), conductor},
        // P needs 4 bytes behind a record, R none.
        {hmp('P', 2, {voice}, 3), conductor},
        {hmp('R', 2, {voice}, 0), conductor + " | " + played},
        {short_r, conductor},
        {short_length, conductor},
        {no_events, conductor + " | " + " | " + played},
        // The search for FF 2F starts at the count byte: here 0xFF.
        {hmp('P', 0xFF, {voice}, 4, 48), conductor + " | " + played},
        {header_pair, conductor},
        {no_pair, conductor},
        // Malformed: no system exclusive, no running status, no negative length.
        {p4("80 F0 01 00"), "false" + conductor.substr(4) + " | " + played},
        {p4("80 90 3C 64 80 3C 64"), "false" + conductor.substr(4) + " | " + played},
        {p4("80 FF 01 88 80 80 80 00"), "false" + conductor.substr(4) + " | " + played},
        // Cut off by the record's end: the track as it stands, the last one.
        {p4("80 90 3C 64 80 B0 07"), conductor + " | " + played + " | @0 90 3C 64"},
        {p4("80 FF 01 05 61"), conductor + " | " + played + " | "},
        {p4("00 00"), conductor + " | " + played + " | "},
    };
    for (const auto& [file, song] : cases) EXPECT_EQ(read(file), song);
}

// A record's track is reserved for an event every three bytes; a record of
// three-byte events and a four-byte end fills it exactly.
TEST(ReadHmp, RecordOfThreeByteEventsFillsItsReservation) {
    MidiContainer song;
    ASSERT_TRUE(read_hmp(test::range_of(hmp('P', 2, {hex("80 C0 05 80 C1 06 80 C2 07 80 FF 2F 00")})), song));
    EXPECT_EQ(song.track(1).size(), 4u);
    EXPECT_EQ(song.track(1).capacity(), 4u);
}

}  // namespace
}  // namespace seqconv
