// The HMI reader: directory, track headers and names, note durations, the
// time jumps and the format's own FE events.

#include <gtest/gtest.h>

#include <optional>

#include "formats/readers.h"
#include "song_text.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using test::hex;

void put_le32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    const Bytes le = test::le32(value);
    std::copy(le.begin(), le.end(), bytes.begin() + std::ptrdiff_t(at));
}

// A track with the name record behind its header when it has a name.
Bytes track(const std::string& events, const std::string& name = "") {
    return testkit::hmi_track(name.empty() ? std::nullopt : std::optional(name), hex(events));
}
using testkit::hmi;

std::string read(const Bytes& file, MidiContainer&& song = {}) {
    const bool ok = read_hmi(test::range_of(file), song);
    return test::song_text(ok, song);
}

const std::string conductor = ": @0 FF 51 18 80 00, @0 FF 2F";

TEST(ReadHmi, EventStreams) {
    // Each stream is a track followed by an empty one; a malformed event
    // drops its track and the ones after it.
    const std::pair<std::string, std::string> cases[] = {
        // Durations: each note's end is a note on of velocity 0, put in place.
        {"00 90 3C 64 60 00 3E 64 10", "@0 90 3C 64, @0 90 3E 64, @16 90 3E 00, @96 90 3C 00"},
        // A delta above 0xFFFF moves to the latest time, note ends included.
        {"00 90 3C 64 60 84 80 00 C0 05", "@0 90 3C 64, @96 90 3C 00, @96 C0 05"},
        {"00 90 3C 64 60 83 FF 7F D0 05", "@0 90 3C 64, @96 90 3C 00, @65535 D0 05"},
        // The end of track waits for the last note end; what follows is not read.
        {"00 90 3C 64 81 48 64 FF 2F 00 00 C0", "@0 90 3C 64, @200 90 3C 00, @200 FF 2F"},
        // FE events skip their bytes; F0 and meta events are kept whole.
        {"00 FE 10 1 2 3 4 5 6 7 8 9 A 00 FE 12 1 2 00 FE 13 1 2 3 4 5 6 7 8 9 A 05 F0 02 7E F7 00 B1 07 64",
         "@5 F0 7E F7, @5 B1 07 64"},
        {"00 FE 11", ""},
        {"00 3C 64", ""},
        {"00 90 3C 64 10 00 F0 00 00 3C 64", ""},        // F0 clears the running status
        {"00 90 3C 64 10 00 FE 12 00 00 00 3C 64", ""},  // and so does FE
        {"00 F1", ""},
        {"00 90 3C 64 88 80 80 80 00", ""},  // negative duration
        {"00 FF 01 8F FF FF FF 7F", ""},
    };
    for (const auto& [events, played] : cases)
        EXPECT_EQ(read(hmi({track(events), track("")})),
                  played.empty() ? "false" + conductor : "true" + conductor + " | " + played + " | ");
}

TEST(ReadHmi, Files) {
    // The header of 91 bytes must be whole; the name may lie inside it.
    Bytes header = track(""), no_name = track("00 C0 05", "Flute"), overlong = track("", "Flute"),
          unfit = hmi({track("")});
    header[21] = 5;
    std::copy_n("Flute", 5, header.begin() + 22);
    put_le32(header, 75, 20);
    put_le32(no_name, 75, 0xFFFFFFFF);  // o + 1 is beyond any track
    overlong[92] = 6;                   // one byte past its track, within the input
    put_le32(unfit, 228, 0x40000000);
    const std::string flute = "@0 FF 01 46 6C 75 74 65", ok = "true" + conductor;
    const std::pair<Bytes, std::string> cases[] = {
        {hmi({}), ok},
        {hmi({track("", "Flute   "), track("", "   "), track("", std::string("\0 \0 ", 4))}),
         ok + " | " + flute + " |  | @0 FF 01 00 20 00"},
        {hmi({no_name}), ok + " | @0 C0 05"},
        {hmi({track(""), overlong, track("")}), "false" + conductor + " | "},
        {hmi({header}), ok + " | " + flute},
        {hmi({Bytes(header.begin(), header.begin() + 90)}), "false" + conductor},
        // Entries that do not ascend: the track is read to the end of the input.
        {hmi({track("00 C0 01 00 FF 2F 00"), track("00 C0 02")}, {1, 0}), ok + " | @0 C0 02 | @0 C0 01, @0 FF 2F"},
        // An event may run past its track, within the input; one cut off by
        // the end of the input ends its track.
        {hmi({track("00 FF 01 05"), track("00 E0 00 40 60 90 3C 64")}),
         ok + " | @0 FF 01 48 4D 49 2D 4D | @0 E0 00 40"},
        // A directory that does not fit is refused before anything is made.
        {unfit, "false"},
        // Loop markers go into the conductor track, moving its end.
        {hmi({track("83 60 FE 14 00 00"), track("83 74 FE 15 1 2 3 4 5 6"), track("00 FE")}),
         "true: @0 FF 51 18 80 00, @480 FF 06 6C 6F 6F 70 53 74 61 72 74, @500 FF 06 6C 6F 6F 70 45 6E 64, @500 FF 2F "
         "|  |  | "},
    };
    for (const auto& [file, song] : cases) EXPECT_EQ(read(file), song);
}

TEST(ReadHmi, EntriesPointingBackDoNotMultiplyTheSong) {
    // 400 entries alternate between a long track without end of track and
    // one before it: the long one's size wraps, so each entry for it reads
    // it to the end of the file again. The reading stops after four times
    // the file (and 64 KiB); an event takes at least 2 bytes.
    std::string notes = "00 90 3C 64 10";
    for (int i = 0; i < 8000; ++i) notes += " 00 3C 64 10";
    std::vector<std::size_t> order;
    for (int i = 0; i < 400; ++i) order.push_back(1 - i % 2);
    const Bytes file = hmi({track("00 FF 2F 00"), track(notes)}, order);
    MidiContainer song;
    EXPECT_FALSE(read_hmi(test::range_of(file), song));
    std::size_t events = 0;
    for (const MidiTrack& t : song.tracks()) events += t.size();
    EXPECT_GT(events, 2 * 16002u);
    EXPECT_LE(events, (5 * file.size() + 65536) / 2);
}

}  // namespace
}  // namespace seqconv
