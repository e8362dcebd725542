// The facts of a song: playing time, notes, synthesiser and loops in every
// dialect, each rule on songs whose answers are known.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "seqconv/seqconv.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::cc;
using test::Events;
using test::song_of;
MidiEvent on(std::uint32_t time, std::uint8_t key = 60, std::uint8_t velocity = 100) {
    return test::note_on(time, key, velocity);
}
const auto end = test::end_of_track_at;
const auto tempo = test::tempo_at;
const auto marker = test::marker_at;
MidiEvent sysex(std::uint32_t time, Bytes after_f0) {
    after_f0.insert(after_f0.begin(), 0xF0);
    return test::extended(time, after_f0);
}

// The loops as "dialect start-end xCOUNT song|tN", the main loop marked "*".
std::string loops_text(const SongFacts& facts) {
    std::string out;
    for (std::size_t i = 0; i < facts.loops.size(); ++i) {
        const SongLoop& loop = facts.loops[i];
        if (!out.empty()) out += ", ";
        if (i == 0 && facts.main_loop) out += "*";
        out += std::string(loop_dialect_name(loop.dialect)) + " " + std::to_string(loop.start) + "-" +
               std::to_string(loop.end) + " x" + std::to_string(loop.count) + " " +
               (loop.track ? "t" + std::to_string(*loop.track) : "song");
    }
    return out;
}

const Events conductor{tempo(0, 500000), end(0)};

TEST(SongFacts, LoopsOfEveryDialectAreFoundByTheirOwnRules) {
    struct Case {
        const char* what;
        InputFormat origin;
        std::uint32_t form;
        std::vector<Events> tracks;
        std::string loops;
    };
    const Case cases[] = {
        {"markers",
         InputFormat::smf,
         0,
         {{marker(96, "loopStart"), on(96), marker(288, "loopEnd"), end(480)}},
         "*markers 96-288 x0 song"},
        {"each track's copy of a marker counts once",
         InputFormat::hmi,
         1,
         {{marker(96, "loopStart"), marker(96, "loopStart"), marker(288, "loopEnd"), marker(288, "loopEnd"), end(288)},
          {on(0), end(480)}},
         "*markers 96-288 x0 song"},
        {"a loopStart without its end loops to the song's end",
         InputFormat::lds,
         1,
         {{marker(40, "loopStart"), end(40)}, {on(0), end(700)}},
         "*markers 40-700 x0 song"},
        {"a marker of another text is no loop", InputFormat::smf, 0, {{marker(10, "loop start"), on(0), end(90)}}, ""},
        {"FOR/NEXT nest: each NEXT closes the innermost FOR",
         InputFormat::xmi,
         0,
         {{cc(0, 116, 0), on(0), cc(100, 116, 2), cc(200, 117, 127), cc(400, 117, 127), end(480)}},
         "*for-next 0-400 x0 song, for-next 100-200 x2 song"},
        {"a FOR without NEXT loops to its track's end",
         InputFormat::xmi,
         0,
         {{on(0), cc(60, 116, 0), end(600)}},
         "*for-next 60-600 x0 song"},
        {"XMI's 110 and 111 are no loops", InputFormat::xmi, 0, {{cc(0, 110, 1), on(0), cc(50, 111, 1), end(90)}}, ""},
        {"HMP loops shared by every track that plays are the song's",
         InputFormat::hmp,
         1,
         {conductor,
          {cc(96, 110, 0), on(96), cc(480, 111, 0), end(500)},
          {cc(96, 110, 0), on(100), cc(480, 111, 0), end(480)}},
         "*descent 96-480 x0 song"},
        {"HMP loops at other ticks are each their track's",
         InputFormat::hmp,
         1,
         {conductor, {cc(96, 110, 0), on(96), cc(480, 111, 0)}, {cc(0, 110, 0), on(100), cc(240, 111, 0)}},
         "descent 0-240 x0 t2, descent 96-480 x0 t1"},
        {"a track that plays without looping keeps HMP loops to their track",
         InputFormat::hmp,
         1,
         {{on(0), end(500)}, {cc(96, 110, 0), on(96), cc(480, 111, 0)}},
         "descent 96-480 x0 t1"},
        {"controllers 110 and 111 in an SMF file are no HMP loop",
         InputFormat::smf,
         1,
         {{cc(96, 110, 0), on(96), cc(480, 111, 0), end(500)}},
         ""},
        {"EMIDI song loops in every track count once",
         InputFormat::smf,
         1,
         {{cc(0, 118, 0), on(0), cc(960, 119, 0), end(960)}, {cc(0, 118, 0), on(5), cc(960, 119, 0), end(970)}},
         "*emidi 0-960 x0 song"},
        {"an EMIDI song loop without its end loops to the song's end",
         InputFormat::rmid,
         1,
         {{cc(10, 118, 0), on(10), end(100)}, {on(0), end(300)}},
         "*emidi 10-300 x0 song"},
        {"EMIDI track loops of other lengths stay their tracks'",
         InputFormat::smf,
         1,
         {conductor, {cc(0, 116, 0), on(0), cc(480, 117, 0)}, {cc(0, 116, 0), on(0), cc(960, 117, 0)}},
         "emidi 0-960 x0 t2, emidi 0-480 x0 t1"},
        {"EMIDI track loops that share their ticks loop the song",
         InputFormat::smf,
         1,
         {conductor, {cc(0, 116, 0), on(0), cc(480, 117, 0)}, {cc(0, 116, 0, 1), on(0), cc(480, 117, 0, 1)}},
         "*emidi 0-480 x0 song"},
        {"a loop with a count is part of the music, not the main loop",
         InputFormat::smf,
         0,
         {{cc(0, 116, 3), on(0), cc(480, 117, 0), end(480)}},
         "emidi 0-480 x3 song"},
        {"a lone 111 loops to the song's end",
         InputFormat::smf,
         1,
         {{cc(240, 111, 0), cc(240, 111, 0, 1), end(240)}, {on(0), end(960)}},
         "*rpg 240-960 x0 song"},
        {"a 111 beside other loop controllers is no RPG loop",
         InputFormat::smf,
         0,
         {{cc(0, 116, 0), cc(100, 111, 0), on(0), cc(400, 117, 0), end(500)}},
         "*emidi 0-400 x0 song"},
        {"markers come before an RPG loop",
         InputFormat::smf,
         0,
         {{cc(50, 111, 0), marker(100, "loopStart"), on(0), marker(200, "loopEnd"), end(300)}},
         "*markers 100-200 x0 song, rpg 50-300 x0 song"},
        {"HMP songs hold no EMIDI or RPG loops",
         InputFormat::hmp,
         0,
         {{cc(0, 116, 0), on(0), cc(200, 117, 0), cc(300, 118, 0), end(400)}},
         ""},
        {"the songs of a form 2 file loop each on its own",
         InputFormat::xmi,
         2,
         {{on(0), end(200)}, {cc(0, 116, 0), on(0), cc(300, 117, 0), end(300)}},
         "*for-next 0-300 x0 t1"},
    };
    for (const Case& c : cases) {
        const SongFacts facts = song_facts(song_of(c.form, 96, c.tracks), c.origin);
        EXPECT_EQ(loops_text(facts), c.loops) << c.what;
    }
}

TEST(SongFacts, PlayingTimeAndLoopTimesFollowTheTempoMap) {
    struct Case {
        const char* what;
        std::uint32_t form, timebase;
        std::vector<Events> tracks;
        std::optional<std::uint64_t> milliseconds;
        std::vector<std::uint64_t> loop_milliseconds;  // start and end of each loop
    };
    const Case cases[] = {
        {"the default tempo: 480 ticks at 96", 0, 96, {{on(0), end(480)}}, 2500, {}},
        {"a tempo in another track holds for all",
         1,
         96,
         {{tempo(0, 1000000), tempo(192, 250000), end(192)}, {on(0), end(384)}},
         2500,
         {}},
        {"form 2: songs one after another, each with its own tempo",
         2,
         96,
         {{tempo(0, 1000000), on(0), end(192)}, {on(0), end(192)}},
         3000,
         {}},
        {"SMPTE: 25 frames of 40 ticks", 0, 0xE728, {{on(0), end(1500)}}, 1500, {}},
        {"29.97 frames of 100 ticks", 0, 0xE364, {{on(0), end(2997)}}, 1000, {}},
        {"no time in a timebase of 0", 0, 0, {{on(0), end(10)}}, std::nullopt, {}},
        {"a loop across a change of tempo",
         0,
         96,
         {{marker(96, "loopStart"), tempo(192, 1000000), marker(288, "loopEnd"), on(0), end(288)}},
         2000,
         {500, 2000}},
        {"a loop of a form 2 file's second song counts from the file's start",
         2,
         96,
         {{on(0), end(192)}, {marker(96, "loopStart"), on(0), marker(192, "loopEnd"), end(192)}},
         2000,
         {1500, 2000}},
        {"the half millisecond rounds up", 0, 1000, {{on(0), end(1)}}, 1, {}},
    };
    for (const Case& c : cases) {
        const SongFacts facts = song_facts(song_of(c.form, c.timebase, c.tracks), InputFormat::smf);
        EXPECT_EQ(facts.milliseconds, c.milliseconds) << c.what;
        std::vector<std::uint64_t> loops;
        for (const SongLoop& loop : facts.loops) {
            loops.push_back(loop.start_milliseconds.value_or(~0ull));
            loops.push_back(loop.end_milliseconds.value_or(~0ull));
        }
        EXPECT_EQ(loops, c.loop_milliseconds) << c.what;
    }
}

TEST(SongFacts, TheFirstResetMessageNamesTheSynthesiser) {
    const Bytes gm{0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const Bytes gs{0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
    const Bytes xg{0x43, 0x12, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    const Bytes mt32{0x41, 0x10, 0x16, 0x12, 0x7F, 0x00, 0x00, 0x01, 0xF7};
    struct Case {
        const char* what;
        std::uint32_t form;
        std::vector<Events> tracks;
        Synth synth;
    };
    const Case cases[] = {
        {"GM", 0, {{sysex(0, gm), end(0)}}, Synth::gm},
        {"GS from any device", 0, {{sysex(0, gs), end(0)}}, Synth::gs},
        {"XG", 0, {{sysex(0, xg), end(0)}}, Synth::xg},
        {"any message to model 16", 0, {{sysex(0, mt32), end(0)}}, Synth::mt32},
        {"GM 2 is not GM", 0, {{sysex(0, {0x7E, 0x7F, 0x09, 0x03, 0xF7}), end(0)}}, Synth::none},
        {"XG's second byte must be 1n",
         0,
         {{sysex(0, {0x43, 0x22, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}), end(0)}},
         Synth::none},
        {"a GS message longer than the reset",
         0,
         {{sysex(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0x00, 0xF7})}},
         Synth::none},
        {"the earliest in time, whatever its track",
         1,
         {{sysex(10, gs), end(10)}, {sysex(5, xg), sysex(20, gm)}},
         Synth::xg},
        {"at one time, the first track's", 1, {{sysex(0, mt32)}, {sysex(0, gm)}}, Synth::mt32},
        {"a form 2 file's first song that sends one", 2, {{on(0)}, {sysex(50, gs)}, {sysex(0, gm)}}, Synth::gs},
    };
    for (const Case& c : cases)
        EXPECT_EQ(song_facts(song_of(c.form, 96, c.tracks), InputFormat::smf).synth, c.synth) << c.what;
}

TEST(SongFacts, FormTracksSongsAndNotesAreThoseOfTheWrittenFile) {
    const MidiContainer song = song_of(0x102, 0x10060, {{on(0), on(5, 61, 0), on(9, 62, 1)}, {on(0)}});
    const SongFacts facts = song_facts(song, InputFormat::xmi);
    EXPECT_EQ(facts.form, 2u);  // the written header holds the low 8 bits
    EXPECT_EQ(facts.tracks, 2u);
    EXPECT_EQ(facts.songs, 1u);  // the form that counts songs is the song's own, 0x102
    EXPECT_EQ(facts.timebase, 0x60u);
    EXPECT_EQ(facts.notes, 3u);  // a note on of velocity 0 is a note's end
    EXPECT_EQ(song_facts(MidiContainer(), std::nullopt).songs, 0u);
}

// The events a player gets back from written bytes: timed by the file's
// tempo map, a form 2 file's songs one after another.
TEST(SongFacts, TimedEventsOfAWrittenFile) {
    const MidiContainer song =
        song_of(2, 96,
                {{tempo(0, 1000000), on(0), on(96, 60, 0), end(96)},
                 {test::channel_event(0, MidiEventType::program_change, 3, {5}), on(48, 64), end(96)}});
    const TimedSong timed = timed_events(test::written(song));
    EXPECT_EQ(timed.status, ReadStatus::complete);
    ASSERT_TRUE(timed.seconds);
    EXPECT_DOUBLE_EQ(*timed.seconds, 1.5);
    std::vector<std::string> events;
    for (const TimedEvent& e : timed.events)
        events.push_back(std::to_string(e.seconds).substr(0, 5) + " t" + std::to_string(e.track) + " " +
                         std::to_string(e.status) + " " + std::to_string(e.data1) + " " + std::to_string(e.data2));
    EXPECT_EQ(events, (std::vector<std::string>{"0.000 t0 144 60 100", "1.000 t0 144 60 0", "1.000 t1 195 5 0",
                                                "1.250 t1 144 64 100"}));
    EXPECT_EQ(timed_events(Bytes{'M', 'T'}).status, ReadStatus::unrecognised);
}

}  // namespace
}  // namespace seqconv
