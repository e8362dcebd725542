// LDS modules: loading, playing tick by tick and the MIDI recorded from it.
// Modules are put together from their parts with testkit/lds.h.

#include <gtest/gtest.h>

#include <string>

#include "formats/lds/lds_module.h"
#include "formats/readers.h"
#include "test_support.h"
#include "testkit/lds.h"

namespace seqconv {
namespace {

using namespace testkit::lds;
using testkit::Bytes;
using test::describe;
using test::Lines;
using test::range_of;

struct Converted {
    bool ok = false;
    MidiContainer song;
    Lines track(std::size_t i) const { return i < song.track_count() ? describe(song.track(i)) : Lines{"none"}; }
};

Converted convert(const Module& module) {
    Converted out;
    const Bytes file = module.bytes();
    out.ok = read_lds(range_of(file), out.song);
    return out;
}

// One position: voice 0 plays `first`, voice 1 `second`, each then waits;
// the others wait. Patch 0 is program 5, patch 1 program 6.
Module solo(std::initializer_list<std::uint16_t> first, std::initializer_list<std::uint16_t> second = {},
            int row_speed = 2) {
    Module m;
    m.row_speed = row_speed;
    m.patches = {{5}, {6}};
    const Voice idle{m.pattern({wait(255)})};
    const Voice one{m.pattern(first)};
    m.pattern({wait(255)});
    const Voice two{m.pattern(second)};
    m.pattern({wait(255)});
    m.positions = {voices({one, two}, idle)};
    return m;
}

// The lines holding `part`, e.g. " B0 07 " for voice 0's volume.
Lines with(const Lines& lines, const std::string& part) {
    Lines out;
    for (const std::string& line : lines)
        if ((line + " ").find(part) != std::string::npos) out.push_back(line);
    return out;
}

TEST(LoadLdsModule, ReadsFieldsByOffset) {
    Module m = solo({note(60, 0)});
    m.row_speed = 7;
    m.pattern_length = 9;
    m.channel_delay[8] = 4;
    m.patches = {{0x85, 90, 3, -2}};
    m.positions[0][1] = {0x92, 0x83};
    Bytes file = m.bytes();
    file[1] = file[2] = file[14] = 0x55;  // unused header bytes
    file.push_back(0xAB);                 // a last odd byte
    const auto module = load_lds_module(range_of(file));
    ASSERT_TRUE(module);
    EXPECT_EQ(module->row_speed, 7);
    EXPECT_EQ(module->pattern_length, 9);
    EXPECT_EQ(module->channel_delay[8], 4);
    ASSERT_EQ(module->patches.size(), 1u);
    EXPECT_EQ(module->patches[0].midi_program, 0x85);
    EXPECT_EQ(module->patches[0].velocity, 90);
    EXPECT_EQ(module->patches[0].key_off_ticks, 3);
    EXPECT_EQ(module->patches[0].transpose, -2);
    EXPECT_EQ(module->position(0, 1).pattern_start, 0x92);  // offset 0x0124
    EXPECT_EQ(module->position(0, 1).transpose, 0x83);
    EXPECT_EQ(module->pattern_words, m.words);
}

TEST(LoadLdsModule, RejectsModeOddOffsetNoPositionsAndShortInputs) {
    const Module m = solo({note(60, 0)});
    const Bytes good = m.bytes();
    ASSERT_TRUE(load_lds_module(range_of(good)));
    Bytes mode3 = good;
    mode3[0] = 3;
    Bytes odd = good;
    odd[17 + 2 * 46 + 2] = 0x25;  // voice 0's pattern offset
    Module empty = m;
    empty.positions.clear();
    // Cut inside the header, the patches, the positions, the two skipped bytes.
    const std::size_t cuts[] = {16, 17 + 46, 17 + 92 + 2 + 26, 17 + 92 + 2 + 27 + 1};
    for (const Bytes& bad : {mode3, odd, empty.bytes()}) EXPECT_FALSE(load_lds_module(range_of(bad)));
    for (std::size_t cut : cuts) EXPECT_FALSE(load_lds_module(ByteRange(good.data(), cut))) << cut;
    EXPECT_TRUE(load_lds_module(ByteRange(good.data(), cuts[3] + 1)));  // no pattern words
}

TEST(ReadLds, ConductorTrackSetsUpElevenChannels) {
    const Converted c = convert(solo({note(60, 0)}));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.song.form(), 1u);
    EXPECT_EQ(c.song.timebase(), 35u);
    Lines expected{"@0 FF 51 07 A1 20"};
    const char hex[] = "0123456789A";
    for (int ch = 0; ch <= 10; ++ch) {
        const std::string b = std::string("@0 B") + hex[ch] + " ";
        for (const char* data : {"78 00", "79 00", "65 00", "64 00", "06 0C", "26 00"}) expected.push_back(b + data);
        expected.push_back(std::string("@0 E") + hex[ch] + " 00 40");
    }
    expected.push_back("@0 FF 2F");
    EXPECT_EQ(c.track(0), expected);
}

TEST(ReadLds, RowsFromTick3EveryRowSpeedPlusOneTicks) {
    // A second note ends the first; FE changes the spacing after its row.
    EXPECT_EQ(convert(solo({note(60, 0), note(62, 0), note(64, 0), stop})).track(1),
              (Lines{"@3 C0 05", "@3 90 3C 64", "@6 80 3C 7F", "@6 90 3E 64", "@9 80 3E 7F", "@9 90 40 64",
                     "@12 80 40 7F", "@12 FF 2F"}));
    EXPECT_EQ(with(convert(solo({note(60, 0), note(62, 0), stop}, {command(0xFE, 5)})).track(1), " 90 "),
              (Lines{"@3 90 3C 64", "@9 90 3E 64"}));
    // A wait of two rows: the next word is read in the third row after it.
    EXPECT_EQ(with(convert(solo({wait(2), note(60, 0), stop})).track(1), " 90 "), Lines{"@12 90 3C 64"});
}

TEST(ReadLds, ChannelDelayAndPercussion) {
    Module m = solo({note(60, 0), rest, stop});
    m.channel_delay[4] = 2;
    m.patches.push_back({0xA4});
    m.positions[0][2].pattern = m.pattern({note(60, 2), wait(255)});
    m.positions[0][4].pattern = m.pattern({note(60, 0), wait(255)});
    m.positions[0][3].pattern = m.pattern({note(62, 0x3F), command(0xF0, 9), command(0xFF, 0x20)});
    const Converted c = convert(m);
    EXPECT_EQ(c.track(1), (Lines{"@3 C0 05", "@3 90 3C 64", "@9 80 3C 7F", "@9 FF 2F"}));
    EXPECT_EQ(c.track(2), (Lines{"@3 99 24 64", "@9 89 24 7F", "@9 FF 2F"}));  // percussion: its own note, no program
    // A note of a patch that does not exist sounds nothing; commands go to
    // channel 0 before the voice's first note.
    EXPECT_EQ(c.track(3), (Lines{"@6 C0 09", "@9 B0 07 40", "@9 FF 2F"}));
    EXPECT_EQ(c.track(4), (Lines{"@5 C4 05", "@5 94 3C 64", "@9 84 3C 7F", "@9 FF 2F"}));
}

TEST(ReadLds, ReleaseByFbAndByKeyOffTicks) {
    Module m = solo({note(60, 0), command(0xFB)}, {note(60, 1), rest, rest, rest, note(62, 2), stop});
    m.patches.push_back({7, 100, 1});
    m.patches[1].key_off_ticks = 3;
    m.positions[0][2].pattern = m.pattern({wait(4), note(64, 1), wait(255)});  // struck as the song stops at 18
    const Converted c = convert(m);
    EXPECT_EQ(with(c.track(1), " 80 "), Lines{"@6 80 3C 7F"});
    EXPECT_EQ(with(c.track(2), " 81 "), (Lines{"@5 81 3C 7F", "@15 81 3E 7F"}));
    EXPECT_EQ(with(c.track(3), " 82 "), Lines{"@20 82 40 7F"});
}

TEST(ReadLds, JumpsForwardAndLoopsBackWithMarkers) {
    Module m;
    m.row_speed = 196;
    m.patches = {{5}};
    const Voice idle{m.pattern({wait(255)})};
    // Position 0 moves on after its row at tick 3; position 1 is entered at
    // 200 and loops back to itself at 300, where row_speed has become 5.
    m.positions = {voices({{m.pattern({command(0xFA)})}}, idle),
                   voices({{m.pattern({command(0xFE, 4), wait(18), command(0xFE, 5)})},
                           {m.pattern({wait(19), command(0xF9, 1)})},
                           {m.pattern({note(60, 0), wait(255)})}},
                          idle)};
    const Converted loop = convert(m);
    EXPECT_TRUE(loop.ok);
    EXPECT_EQ(loop.track(0).back(), "@304 FF 2F");
    EXPECT_EQ(with(loop.track(0), " FF 06 "),
              (Lines{"@200 FF 06 6C 6F 6F 70 53 74 61 72 74", "@304 FF 06 6C 6F 6F 70 45 6E 64"}));
    EXPECT_EQ(loop.track(1),
              (Lines{"@200 C2 05", "@200 92 3C 64", "@300 82 3C 7F", "@300 FF 2F"}));  // stops after tick 300

    // 0 jumps to 2; 2 jumps back to 1, never entered: no markers, the song stops.
    m.row_speed = 2;
    m.positions = {voices({{m.pattern({command(0xF9, 2)})}}, idle), voices({{m.pattern({note(50, 0)})}}, idle),
                   voices({{m.pattern({note(60, 0), command(0xF9, 1)})}}, idle)};
    const Converted skip = convert(m);
    EXPECT_TRUE(skip.ok);
    EXPECT_EQ(skip.track(0).size(), 79u);
    EXPECT_EQ(skip.track(1), (Lines{"@6 C0 05", "@6 90 3C 64", "@9 80 3C 7F", "@9 FF 2F"}));
}

TEST(ReadLds, LastPositionEndsTheSongAndLengthZeroActsAsOne) {
    Module m;
    m.pattern_length = 0;
    m.patches = {{5}};
    const Voice idle{m.pattern({rest})};
    m.positions = {voices({{m.pattern({note(60, 0)})}}, idle), voices({{m.pattern({note(62, 0)})}}, idle)};
    const Converted c = convert(m);
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.track(0).size(), 79u);
    EXPECT_EQ(with(c.track(1), " 90 "), (Lines{"@3 90 3C 64", "@6 90 3E 64"}));
    EXPECT_EQ(c.track(1).end()[-2], "@6 80 3E 7F");  // the held note ends with the song
}

TEST(ReadLds, MoreThan256PositionsEndAfterPosition255) {
    for (std::uint16_t last_word : {rest, command(0xFA)}) {
        Module m;
        m.row_speed = 0;
        m.pattern_length = 1;
        m.patches = {{5}};
        m.positions.assign(300, voices({{m.pattern({note(60, 0)})}}, {m.pattern({last_word})}));
        const Converted c = convert(m);
        EXPECT_TRUE(c.ok);
        EXPECT_EQ(with(c.track(1), " 90 ").size(), 256u);
        EXPECT_EQ(c.track(1).end()[-2], "@258 80 3C 7F");
    }
}

TEST(ReadLds, FailingPlayerKeepsTheConductorTrackOnly) {
    Module jump = solo({note(60, 0), command(0xF9, 1)});
    Module advance = solo({note(60, 0), command(0xFA)});
    Module past_words = solo({note(60, 0)});
    past_words.positions[0][1].pattern = std::uint16_t(past_words.words.size());  // read in the first row
    for (const Module& m : {jump, advance, past_words}) {
        const Converted c = convert(m);
        EXPECT_FALSE(c.ok);
        EXPECT_EQ(c.song.track_count(), 1u);
    }
}

TEST(ReadLds, FadesScaleTheVolumeOfNewNotes) {
    const struct {
        int row_speed;
        std::initializer_list<std::uint16_t> fade_words;
        Lines volumes;  // of notes in every row
    } cases[] = {
        // From full volume down by 64 a tick: 192, 128, 64, then 1 and stop.
        {0, {command(0xF3, 0x40)}, {"@4 B0 07 5F", "@5 B0 07 3F", "@6 B0 07 1F", "@7 B0 07 00"}},
        {3, {command(0xF3, 0x40)}, {"@7 B0 07 00"}},
        // From 128: 64, 1; then up by 64: 65, then back at 128 and stop.
        {0,
         {command(0xF4, 0x80), command(0xF3, 0x40), rest, command(0xF3, 0xC0)},
         {"@4 B0 07 3F", "@5 B0 07 1F", "@6 B0 07 00", "@7 B0 07 20", "@8 B0 07 3F"}},
    };
    for (const auto& c : cases) {
        const std::uint16_t n = note(60, 0);
        const Module m = solo({n, n, n, n, n, n, n, n, stop}, c.fade_words, c.row_speed);
        EXPECT_EQ(with(convert(m).track(1), " B0 07 "), c.volumes);
    }
}

TEST(ReadLds, ProgramVolumeAndPanCaches) {
    const std::uint16_t n = note(60, 0);
    const Converted c = convert(solo({n, command(0xF0, 0x90), n, note(60, 1), command(0xFD, 0x20), n, n,
                                      command(0xFF, 0x20), command(0xFF, 0x20), command(0xF1, 0x20),
                                      command(0xF1, 0x20), command(0xF4, 0x80), command(0xFD, 0x20), n, stop}));
    EXPECT_EQ(with(c.track(1), " C0 "), (Lines{"@3 C0 05", "@6 C0 10", "@12 C0 06", "@18 C0 05"}));
    EXPECT_EQ(with(c.track(1), " B0 "),
              (Lines{"@18 B0 07 40", "@21 B0 07 7F", "@24 B0 07 40", "@30 B0 0A 40", "@33 B0 0A 40", "@42 B0 07 20"}));
}

TEST(ReadLds, GlideBendsTheSoundingNote) {
    // Up two semitones at 4 a tick; then down to 1/16 under 59 at 16 a tick;
    // then the song stops with the note bent.
    const Converted c =
        convert(solo({note(60, 0), command(0xF6, 4), note(62, 0), rest, rest, glide(16), note(59, 0), stop}));
    EXPECT_EQ(c.track(1),
              (Lines{"@3 C0 05", "@3 90 3C 64", "@9 E0 2A 41", "@10 E0 55 42", "@11 E0 00 44", "@12 E0 2A 45",
                     "@13 E0 55 46", "@14 E0 00 48", "@15 E0 2A 49", "@16 E0 55 4A", "@21 E0 2A 45", "@22 E0 00 40",
                     "@23 E0 56 3A", "@24 80 3C 7F", "@24 E0 00 40", "@24 FF 2F"}));
}

TEST(ReadLds, NotesKeyedByTransposeAndVelocity) {
    Module m = solo({note(62, 0), note(60, 62), note(120, 1), note(1, 0), note(64, 2), note(65, 3), stop});
    m.patches = {{5, 0}, {6, 200, 0, 10}, {7, 100}, {8, 127}};
    m.positions[0][0].transpose = 0x7E;  // notes down 2
    const Converted c = convert(m);
    // Velocities 0 and 200 sound as 127. Patch 62 does not exist; 120 - 2 + 10
    // and 1 - 2 are outside MIDI: their programs are sent, no note.
    EXPECT_EQ(with(c.track(1), " 90 "), (Lines{"@3 90 3C 7F", "@15 90 3E 64", "@18 90 3F 7F"}));
    EXPECT_EQ(with(c.track(1), " C0 "), (Lines{"@3 C0 05", "@9 C0 06", "@12 C0 05", "@15 C0 07", "@18 C0 08"}));
    EXPECT_EQ(with(c.track(1), " 80 "), (Lines{"@9 80 3C 7F", "@18 80 3E 7F", "@21 80 3F 7F"}));

    // With bit 7 the transpose moves the patch number, modulo 64, not the note.
    m.positions[0][0].transpose = 0x83;
    const Lines patched = convert(m).track(1);
    EXPECT_EQ(with(patched, " 90 ").front(), "@3 90 3E 7F");
    EXPECT_EQ(with(patched, " C0 "), (Lines{"@3 C0 08", "@6 C0 06", "@12 C0 08"}));
}

}  // namespace
}  // namespace seqconv
