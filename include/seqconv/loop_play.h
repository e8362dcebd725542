#pragma once

// Songs that play right in any player. A game jumps back from a loop's end
// to its start for as long as a level lasts, each game's driver reading its
// own marks; a media player, a sequencer or a keyboard reads none of them
// and plays the song once. These operations rewrite a song so that it plays
// the same everywhere: its loops played out and faded, or its main loop
// marked in the two forms players read; and its tracks merged into one for
// devices that read nothing else.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "formats/fault.h"
#include "formats/input_format.h"
#include "midi/midi_container.h"

namespace seqconv {

// A played-out song holds at most this many events, and its loops jump back
// at most this many times: counts multiply a song's length (four nested
// loops of count 127 would play their innermost part 260 million times).
constexpr std::size_t max_played_events = 4'000'000;
constexpr std::size_t max_loop_jumps = 4'000'000;

struct PlayOut {
    std::uint32_t passes = 2;                 // the main loop, played this many times in all
    std::uint32_t fade_milliseconds = 10000;  // then played on and faded out over this long; 0: none
    bool whole = false;  // a song without a loop loops whole, from tick 0 to its latest end of track
    // Lower bounds, for tests and fuzzing.
    std::size_t max_events = max_played_events;
    std::size_t max_jumps = max_loop_jumps;
};

enum class LoopChange : std::uint8_t {
    none,     // the song has no loop to play out or mark (and `whole` was not asked): left as it is
    done,     // rewritten
    refused,  // played out it would exceed the bounds above: left as it is, and the fault says so
};

// Plays the song's loops out. Every event before the main loop's end E
// plays as written; the loop [S, E) then plays again until it has played
// `passes` times, and on for the fade, over which every channel that sounds
// has its volume (controller 7) brought down to 0. Loops with a count play
// that many times; loops of single tracks loop on their own tracks. At
// every jump each sounding note ends. Every loop marker and loop controller
// of every dialect is left out, so that no player loops again. A form 2
// song's songs are played out each on its own. `origin` is the format the
// song was read from: it decides how its loop controllers are read.
LoopChange play_out_loops(MidiContainer& song, std::optional<InputFormat> origin, const PlayOut& how,
                          Fault* fault = nullptr);

// Ends the song at its main loop's end E, where every sounding note ends,
// and marks the loop for players: markers "loopStart" at S and "loopEnd"
// at E in the first track, and controller 111 (value 0) at S on the lowest
// channel that sounds. Loops with a count before E are played out; no other
// loop marker or loop controller stays. `whole` as for play_out_loops.
// `how` gives `whole` and the bounds; its passes and fade do not count.
LoopChange mark_loops(MidiContainer& song, std::optional<InputFormat> origin, const PlayOut& how = {},
                      Fault* fault = nullptr);

}  // namespace seqconv
