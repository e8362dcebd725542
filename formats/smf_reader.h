#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/byte_cursor.h"
#include "midi/midi_container.h"

namespace seqconv {

// Reads a variable-length quantity: 7 bits a byte, most significant group
// first, while the high bit is set. Groups beyond 32 bits fall off the top.
// Returns false, with the cursor where it was, when the range ends first.
bool read_vlq(ByteCursor& cursor, std::uint32_t& value);

// A time moved on by `delta` ticks. It stops at the largest tick rather than
// wrap around to the start of the song, which would put later events before
// earlier ones.
inline std::uint32_t add_ticks(std::uint32_t time, std::uint32_t delta) {
    return delta > 0xFFFFFFFFu - time ? 0xFFFFFFFFu : time + delta;
}

// What reading the payload of a system-exclusive or meta event came to.
enum class Payload { taken, cut_off, negative };

// Reads the length of a system-exclusive or meta event (a variable-length
// quantity) and takes that many bytes into `data` behind what it already
// holds. `negative`, taking nothing, for a length with its top bit set (a
// negative signed length, which the formats treat as malformed); `cut_off`
// when the range ends first.
Payload read_payload(ByteCursor& cursor, std::vector<std::uint8_t>& data);

// Decodes one track body in Standard MIDI File syntax from the cursor on and
// adds the finished track to `song`. In SMF mode (`smf_mode` true) only an
// FF 2F meta event ends the track; in GMF mode the track also ends when the
// cursor reaches `limit` (an offset in the cursor's range), and pitch-wheel
// events are dropped. An event cut off by the end of the range ends the
// track before that event's delta time. Returns false, adding nothing, on a
// malformed event. The cursor stays after the last whole event read.
bool read_smf_track(ByteCursor& cursor, std::size_t limit, MidiContainer& song, bool smf_mode);

}  // namespace seqconv
