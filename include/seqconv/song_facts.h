#pragma once

// What a song is, as the Standard MIDI File written from it plays: its
// form, tracks, timebase, playing time, notes, the synthesiser it asks for
// and its loops in every dialect the games' drivers used. Worked out here
// once; the programs, the C interface and the web page all show this.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "formats/input_format.h"
#include "midi/midi_container.h"

namespace seqconv {

// How a game's driver marks a loop:
//  markers   meta event 6 (marker) "loopStart" … "loopEnd"; HMI and LDS
//            songs carry them, and many Standard MIDI Files
//  for_next  XMI: controller 116 (FOR, value = count) … 117 (NEXT)
//  emidi     controller 116 … 117 loops one track, 118 … 119 the song;
//            the value of 116 and 118 is the count
//  descent   HMP: controller 110 … 111
//  rpg       a lone controller 111: from there to the end of the song
enum class LoopDialect : std::uint8_t { markers, for_next, emidi, descent, rpg };

// "markers", "for-next", "emidi", "descent", "rpg".
std::string_view loop_dialect_name(LoopDialect dialect);

struct SongLoop {
    LoopDialect dialect = LoopDialect::markers;
    std::uint32_t start = 0;  // ticks
    std::uint32_t end = 0;    // ticks: the jump back is taken here
    // Milliseconds from the start of the file as it plays (a form 2 file's
    // songs one after another); none when the timebase gives no time.
    std::optional<std::uint64_t> start_milliseconds, end_milliseconds;
    std::uint32_t count = 0;           // how many times it plays in all; 0 for ever
    std::optional<std::size_t> track;  // the track it loops; none for the whole song
};

enum class Synth : std::uint8_t { none, gm, gs, xg, mt32 };

// "GM", "GS", "XG", "MT-32"; "" for none.
std::string_view synth_name(Synth synth);

struct SongFacts {
    std::uint32_t form = 0;  // as written: the low 8 bits
    std::size_t tracks = 0;
    std::size_t songs = 0;       // a form 2 song's tracks are songs of their own
    std::uint32_t timebase = 0;  // the division word as written: ticks a quarter note, or SMPTE
    // The playing time, the half millisecond rounded up; none when the
    // timebase gives no time (0 ticks a quarter note, or a song without tracks).
    std::optional<std::uint64_t> milliseconds;
    std::uint64_t notes = 0;    // note ons of velocity above 0
    Synth synth = Synth::none;  // the first reset message the song sends
    // Every loop found; when `main_loop` is true the first one is the song's
    // main loop, the one a game plays for ever.
    std::vector<SongLoop> loops;
    bool main_loop = false;
};

// The facts of `song`, read from a file of the format `origin` (none: a
// song of unknown origin). The format decides how the loop controllers are
// read: 110 and 111 are HMP loops, 116 and 117 XMI's FOR and NEXT, 116 to
// 119 loops of Standard MIDI and RMID files, and a lone 111 in those an RPG
// loop.
SongFacts song_facts(const MidiContainer& song, std::optional<InputFormat> origin);

// The loops alone, the main loop first, in ticks: what rewriting the loops
// needs, worked out without a look at times, notes or synthesisers.
SongFacts song_loops(const MidiContainer& song, std::optional<InputFormat> origin);

// Where the ticks of some tracks fall in time under those tracks' tempo
// events, from the default tempo (500,000 microseconds a quarter note) on,
// exactly: a tick is `parts(tick)` parts of a second of `parts_per_second()`.
class SongClock {
public:
    SongClock(const std::vector<const MidiTrack*>& tracks, std::uint32_t timebase);

    // Parts of a second in which the timebase counts; none when it gives no time.
    std::optional<std::uint64_t> parts_per_second() const { return per_second_; }
    std::uint64_t parts(std::uint32_t tick) const;
    // The time of `tick` in milliseconds, the half rounded up.
    std::optional<std::uint64_t> milliseconds(std::uint32_t tick) const;

private:
    struct Segment {
        std::uint32_t tick;
        std::uint64_t parts;  // at `tick`
        std::uint32_t tempo;  // from `tick` on
    };
    std::optional<std::uint64_t> per_second_;
    bool smpte_ = false;
    std::uint64_t smpte_factor_ = 1;  // parts a tick
    std::vector<Segment> segments_;
};

// Parts of a second to milliseconds, the half rounded up.
std::uint64_t to_milliseconds(std::uint64_t parts, std::uint64_t per_second);

}  // namespace seqconv
