#pragma once

// What the readers of the two song formats of one sound system, HMP and HMI,
// share.

#include <cstdint>

#include "formats/byte_cursor.h"
#include "midi/midi_track.h"

namespace seqconv {

// Reads an HMP delta time: 7 bits a byte, least significant group first,
// until the first byte with its high bit set, which is the last. Groups at
// shift 32 and above add nothing. Returns false, with the cursor where it
// was, when the range ends first.
bool read_hmp_delta(ByteCursor& cursor, std::uint32_t& value);

// The track both readers put in front of the tracks they read, in place of
// the file's own first track: the fixed tempo the sound system plays these
// songs at (1605632 microseconds per quarter note) and an end of track, both
// at time 0.
inline MidiTrack hmi_conductor_track() {
    static constexpr std::uint8_t tempo[5] = {0xFF, 0x51, 0x18, 0x80, 0x00};
    MidiTrack track;
    track.add_event(MidiEvent(0, MidiEventType::extended, 0, tempo, sizeof tempo));
    track.add_event(make_end_of_track(0));
    return track;
}

}  // namespace seqconv
