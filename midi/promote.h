#pragma once

#include "midi/midi_container.h"

namespace seqconv {

// Rewrites a form 0 song of one track (or of a conductor track and one more)
// as form 1: a conductor track holding everything that is not a channel
// event, then one track per used MIDI channel in channel order. Songs of
// another form, without tracks or with more than two tracks are left as they
// are.
void promote_to_type1(MidiContainer& song);

}  // namespace seqconv
