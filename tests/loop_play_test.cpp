// Loops played out and faded, marked for players, and tracks merged: each
// rule on songs whose play-out is worked out by hand.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "seqconv/seqconv.h"
#include "test_support.h"
#include "testkit/loops.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::cc;
using test::Events;
MidiEvent on(std::uint32_t time, std::uint8_t key, std::uint8_t channel = 0) {
    return test::note_on(time, key, 100, channel);
}
MidiEvent off(std::uint32_t time, std::uint8_t key, std::uint8_t channel = 0) {
    return test::channel_event(time, MidiEventType::note_off, channel, {key, 64});
}
const auto end = test::end_of_track_at;
const auto tempo = test::tempo_at;
const auto marker = test::marker_at;
MidiContainer song_of(std::uint32_t form, const std::vector<Events>& tracks) { return test::song_of(form, 96, tracks); }

// A track in words: "on60@0 off60@48 cc7=100@480 loopStart@96 end@480";
// volume events left out with `volumes` false.
std::string words(const MidiTrack& track, bool volumes = true) {
    std::string out;
    for (const MidiEvent& e : track) {
        std::string word;
        const std::string channel = e.channel != 0 ? "/" + std::to_string(e.channel) : "";
        if (e.type == MidiEventType::note_on && e.data_byte(1) != 0)
            word = "on" + std::to_string(e.data_byte(0)) + channel;
        else if (e.type == MidiEventType::note_on || e.type == MidiEventType::note_off)
            word = "off" + std::to_string(e.data_byte(0)) + channel;
        else if (e.type == MidiEventType::control_change && (volumes || e.data_byte(0) != 7))
            word = "cc" + std::to_string(e.data_byte(0)) + "=" + std::to_string(e.data_byte(1)) + channel;
        else if (e.is_end_of_track())
            word = "end";
        else if (e.type == MidiEventType::extended && e.data_byte(1) == 0x06)
            word = std::string(e.data_byte(2) == 'l' && e.get_data_size() == 11 ? "loopStart" : "loopEnd");
        else if (e.type == MidiEventType::extended && e.data_byte(1) == 0x51)
            word = "tempo";
        if (word.empty()) continue;
        out += (out.empty() ? "" : " ") + word + "@" + std::to_string(e.timestamp);
    }
    return out;
}
std::string words(const MidiContainer& song, bool volumes = true) {
    std::string out;
    for (const MidiTrack& track : song.tracks()) out += (out.empty() ? "" : " | ") + words(track, volumes);
    return out;
}

// Notes at 0-48, 96-192 (in the loop) and 240-400 (sounding across its end
// at 288); the loop [96, 288) is 192 ticks, a second at 500,000 µs and 96.
const Events marked{on(0, 60),    off(48, 60), marker(96, "loopStart"), on(96, 62),
                    off(192, 62), on(240, 64), marker(288, "loopEnd"),  off(400, 64),
                    end(480)};

TEST(LoopPlay, LoopsArePlayedOutAsTheGameWouldPlayThem) {
    struct Case {
        const char* what;
        InputFormat origin;
        std::uint32_t form;
        std::vector<Events> tracks;
        std::uint32_t passes, fade;
        std::string played;  // volumes left out
    };
    const Case cases[] = {
        {"a note sounding at the jump ends there; events after the loop's end are not written",
         InputFormat::smf,
         0,
         {marked},
         2,
         0,
         "on60@0 off60@48 on62@96 off62@192 on64@240 off64@288 on62@288 off62@384 on64@432 off64@480 end@480"},
        {"a fade longer than the loop repeats it",
         InputFormat::smf,
         0,
         {{marker(0, "loopStart"), on(0, 60), off(48, 60), marker(96, "loopEnd"), end(96)}},
         1,
         1000,
         "on60@0 off60@48 on60@96 off60@144 on60@192 off60@240 end@288"},
        {"FOR/NEXT loops nest, counted ones playing their count in every pass",
         InputFormat::xmi,
         0,
         {{cc(0, 116, 0), on(0, 60), cc(50, 116, 2), on(50, 62), cc(60, 117, 0), cc(100, 117, 0), end(100)}},
         2,
         0,
         "on60@0 on62@50 off60@60 off62@60 on62@60 off62@110 on60@110 on62@160 off60@170 off62@170 on62@170 off62@220 "
         "end@220"},
        {"a song whose only loop has a count plays it out and goes on, without a fade",
         InputFormat::smf,
         0,
         {{on(0, 60), cc(10, 116, 3), on(10, 62), off(20, 62), cc(30, 117, 0), off(40, 60), cc(50, 10, 64), end(50)}},
         2,
         1000,
         "on60@0 on62@10 off62@20 off60@30 on62@30 off62@40 on62@50 off62@60 off60@80 cc10=64@90 end@90"},
        {"track loops of other lengths loop on their own tracks until the longest's passes end",
         InputFormat::smf,
         1,
         {{on(0, 60), cc(0, 116, 0), cc(48, 117, 0), end(48)}, {on(0, 70), cc(0, 116, 0), cc(96, 117, 0), end(96)}},
         2,
         0,
         "on60@0 off60@48 on60@48 off60@96 on60@96 off60@144 on60@144 off60@192 end@192 | "
         "on70@0 off70@96 on70@96 off70@192 end@192"},
        {"the songs of a form 2 file each on its own",
         InputFormat::xmi,
         2,
         {{on(0, 60), end(96)}, {cc(0, 116, 0), on(0, 62), off(10, 62), cc(20, 117, 0), end(20)}},
         3,
         0,
         "on60@0 end@96 | on62@0 off62@10 on62@20 off62@30 on62@40 off62@50 end@60"},
    };
    for (const Case& c : cases) {
        MidiContainer song = song_of(c.form, c.tracks);
        PlayOut how;
        how.passes = c.passes;
        how.fade_milliseconds = c.fade;
        EXPECT_EQ(play_out_loops(song, c.origin, how), LoopChange::done) << c.what;
        EXPECT_EQ(words(song, false), c.played) << c.what;
        EXPECT_EQ(song_facts(song, c.origin).loops.size(), 0u) << c.what << ": no loop mark stays";
    }
}

// The fade: every channel that sounds from the volume last given (100 when
// none) to 0, at its start, at least every 100 ms, in place of the song's
// own volume changes, and 0 at its end; its length by the tempo in force.
TEST(LoopPlay, TheFadeBringsEveryChannelDownByTheTempoInForce) {
    struct Case {
        const char* what;
        Events events;
        std::uint32_t fade_start, fade_end;
        std::vector<std::uint8_t> starts;  // the volume at the fade's start, channel 0 and 1
    };
    const Case cases[] = {
        {"from 100 on a channel the song gave no volume",
         {marker(0, "loopStart"), on(0, 60), on(0, 61, 1), cc(5, 7, 80, 1), marker(192, "loopEnd"), end(192)},
         384,
         576,
         {100, 80}},
        {"a tempo changed in the loop holds into the fade",
         {marker(0, "loopStart"), on(0, 60), on(0, 61, 1), tempo(96, 1000000), marker(192, "loopEnd"), end(192)},
         384,
         480,
         {100, 100}},
    };
    for (const Case& c : cases) {
        MidiContainer song = song_of(0, {c.events});
        PlayOut how;
        how.fade_milliseconds = 1000;
        ASSERT_EQ(play_out_loops(song, InputFormat::smf, how), LoopChange::done) << c.what;
        const MidiTrack& track = song.track(0);
        EXPECT_EQ(track[track.size() - 1].timestamp, c.fade_end) << c.what;
        for (std::uint8_t channel : {0, 1}) {
            std::vector<std::pair<std::uint32_t, std::uint8_t>> volumes;
            for (const MidiEvent& e : track)
                if (e.type == MidiEventType::control_change && e.data_byte(0) == 7 && e.channel == channel &&
                    e.timestamp >= c.fade_start)
                    volumes.emplace_back(e.timestamp, e.data_byte(1));
            ASSERT_GE(volumes.size(), 2u) << c.what;
            EXPECT_EQ(volumes.front(), std::make_pair(c.fade_start, c.starts[channel])) << c.what;
            EXPECT_EQ(volumes.back(), std::make_pair(c.fade_end, std::uint8_t{0})) << c.what;
            // A tenth of a second is 19.2 ticks at 500,000 µs, 9.6 at 1,000,000.
            const std::uint32_t most = (c.fade_end - c.fade_start) / 10 + 1;
            for (std::size_t i = 1; i < volumes.size(); ++i) {
                EXPECT_LE(volumes[i].first - volumes[i - 1].first, most) << c.what;
                EXPECT_LE(volumes[i].second, volumes[i - 1].second) << c.what;
            }
        }
    }
}

TEST(LoopPlay, ASongWithoutALoopIsLeftUnlessItLoopsWhole) {
    const Events plain{on(0, 60), off(96, 60), end(100)};
    MidiContainer song = song_of(0, {plain});
    EXPECT_EQ(play_out_loops(song, InputFormat::mus, PlayOut{}), LoopChange::none);
    EXPECT_EQ(mark_loops(song, InputFormat::mus), LoopChange::none);
    EXPECT_EQ(words(song), "on60@0 off60@96 end@100");
    PlayOut whole;
    whole.fade_milliseconds = 0;
    whole.whole = true;
    EXPECT_EQ(play_out_loops(song, InputFormat::mus, whole), LoopChange::done);
    EXPECT_EQ(words(song), "on60@0 off60@96 on60@100 off60@196 end@200");
}

// Counts multiply a song's length: four nested loops of count 127, or a
// tick-long loop faded over an hour, are refused and leave the song as read.
TEST(LoopPlay, APlayOutPastTheBoundsIsRefused) {
    Events nested{on(0, 60)};
    for (std::uint32_t i = 0; i < 4; ++i) nested.push_back(cc(i, 116, 127));
    nested.push_back(on(4, 61));
    for (std::uint32_t i = 0; i < 4; ++i) nested.push_back(cc(5 + i, 117, 0));
    nested.push_back(end(10));
    MidiContainer song = song_of(0, {nested});
    const std::string before = words(song);
    Fault fault;
    EXPECT_EQ(play_out_loops(song, InputFormat::xmi, PlayOut{}, &fault), LoopChange::refused);
    EXPECT_EQ(fault.kind, FaultKind::limit);
    EXPECT_EQ(words(song), before);

    // Four passes of a billion ticks end past the last tick a file can hold.
    const MidiContainer vast =
        song_of(0, {{marker(0, "loopStart"), on(0, 60), marker(1000000000, "loopEnd"), end(1000000000)}});
    for (const std::uint32_t passes : {4u, 5u}) {
        MidiContainer played = vast;
        PlayOut how;
        how.passes = passes;
        how.fade_milliseconds = 0;
        EXPECT_EQ(play_out_loops(played, InputFormat::smf, how), passes == 4 ? LoopChange::done : LoopChange::refused);
    }

    // A loop of count 128 that would play on past the last tick.
    MidiContainer counted = song_of(0, {{cc(0, 116, 128), on(0, 60), cc(40000000, 117, 0), end(40000000)}});
    EXPECT_EQ(play_out_loops(counted, InputFormat::smf, PlayOut{}), LoopChange::refused);

    MidiContainer tiny =
        song_of(0, {{marker(0, "loopStart"), on(0, 60), on(0, 61), on(0, 62), marker(1, "loopEnd"), end(1)}});
    PlayOut long_fade;
    long_fade.fade_milliseconds = 3600 * 1000;
    EXPECT_EQ(play_out_loops(tiny, InputFormat::smf, long_fade), LoopChange::refused);
}

TEST(LoopPlay, MarkingEndsTheSongAtTheLoopsEndWithBothCommonMarks) {
    MidiContainer song = song_of(1, {{tempo(0, 500000), end(0)},
                                     {cc(20, 116, 0, 3), on(20, 60, 3), on(30, 62, 5), cc(90, 117, 0, 3), end(200)}});
    EXPECT_EQ(mark_loops(song, InputFormat::xmi), LoopChange::done);
    EXPECT_EQ(words(song),
              "tempo@0 loopStart@20 cc111=0/3@20 loopEnd@90 end@90 | on60/3@20 on62/5@30 off60/3@90 "
              "off62/5@90 end@90");
    const SongFacts facts = song_facts(song, InputFormat::smf);
    ASSERT_TRUE(facts.main_loop);
    EXPECT_EQ(facts.loops[0].start, 20u);
    EXPECT_EQ(facts.loops[0].end, 90u);
}

TEST(LoopPlay, MergingPutsEveryTrackInOneByTimeThenTrack) {
    MidiContainer song = song_of(1, {{tempo(0, 500000), marker(50, "loopStart"), end(50)},
                                     {on(0, 60), on(50, 62), off(60, 60), end(70)},
                                     {on(50, 64), end(300)}});
    merge_tracks(song);
    EXPECT_EQ(song.form(), 0u);
    EXPECT_EQ(words(song), "tempo@0 on60@0 loopStart@50 on62@50 on64@50 off60@60 end@300");
    MidiContainer songs = song_of(2, {{on(0, 60)}, {on(0, 61)}});
    merge_tracks(songs);
    EXPECT_EQ(songs.track_count(), 2u);  // songs of their own are split, not merged
}

// Files of every dialect, as games ship them, read and played out: the main
// loop is found where the file marks it, a second pass plays the first's
// notes again one pass later, and no loop mark of any dialect stays.
TEST(LoopPlay, FilesOfEveryDialectPlayTheirSecondPassOnePassLater) {
    for (const testkit::LoopingFile& file : testkit::looping_files()) {
        SCOPED_TRACE(file.name);
        const ReadResult read = read_song(file.bytes, file.name);
        ASSERT_EQ(read.status, ReadStatus::complete);
        const SongFacts facts = song_facts(read.song, read.format);
        ASSERT_EQ(facts.main_loop, !file.dialect.empty());
        if (file.dialect.empty()) continue;
        EXPECT_EQ(loop_dialect_name(facts.loops[0].dialect), file.dialect);
        EXPECT_EQ(facts.loops[0].start, file.start);
        EXPECT_EQ(facts.loops[0].end, file.end);

        // One pass, as marking writes it: the notes the second pass repeats.
        MidiContainer marked = read.song;
        ASSERT_EQ(mark_loops(marked, read.format), LoopChange::done);
        const std::uint32_t pass = file.end - file.start + file.repeats;
        MidiContainer played = read.song;
        PlayOut twice;
        twice.fade_milliseconds = 0;
        ASSERT_EQ(play_out_loops(played, read.format, twice), LoopChange::done);
        EXPECT_TRUE(song_facts(played, read.format).loops.empty());
        std::multiset<std::pair<std::uint32_t, int>> notes, again;  // time, channel and key
        for (const MidiTrack& track : played.tracks())
            for (const MidiEvent& e : track)
                if (e.type == MidiEventType::note_on && e.data_byte(1) != 0)
                    notes.insert({e.timestamp, e.channel * 128 + e.data_byte(0)});
        for (const MidiTrack& track : marked.tracks()) {
            EXPECT_EQ(track[track.size() - 1].timestamp, file.start + pass);
            for (const MidiEvent& e : track)
                if (e.type == MidiEventType::note_on && e.data_byte(1) != 0 && e.timestamp >= file.start)
                    again.insert({e.timestamp + pass, e.channel * 128 + e.data_byte(0)});
        }
        ASSERT_FALSE(again.empty());
        for (const auto& note : again) EXPECT_EQ(notes.count(note), again.count(note)) << note.first;
        for (const MidiTrack& track : played.tracks())
            EXPECT_EQ(track[track.size() - 1].timestamp, file.start + 2 * pass);
    }
}

}  // namespace
}  // namespace seqconv
