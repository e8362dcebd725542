#pragma once

#include "midi/midi_container.h"

namespace seqconv {

// Rewrites a form 0 or form 1 song as form 0, its tracks merged into one,
// for hardware and programs that read nothing else: the events by time, at
// one tick by track and then in their order within the track, with one end
// of track at the latest time any track reached. A form 2 song (its tracks
// are songs of their own, to be split first) and a song without tracks are
// left as they are.
void merge_tracks(MidiContainer& song);

}  // namespace seqconv
