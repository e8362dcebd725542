#pragma once

#include <cstddef>

#include "formats/byte_cursor.h"
#include "formats/event_syntax.h"
#include "formats/fault.h"
#include "midi/midi_container.h"

namespace seqconv {

// Decodes one track body in Standard MIDI File syntax from the cursor on and
// adds the finished track to `song`. In SMF mode (`smf_mode` true) only an
// FF 2F meta event ends the track; in GMF mode the track also ends when the
// cursor reaches `limit` (an offset in the cursor's range), and pitch-wheel
// events are dropped. An event cut off by the end of the range ends the
// track before that event's delta time, and is reported as a fault. Returns
// false, adding nothing, on a malformed event. The cursor stays after the
// last whole event read. Fault offsets count from the start of the cursor's
// range; reasons name the track by the index it has, or would have, in
// `song`.
bool read_smf_track(ByteCursor& cursor, std::size_t limit, MidiContainer& song, bool smf_mode, Fault* fault = nullptr);

class Workers;

// read_smf on a Standard MIDI File that lies at the end of `file` within a
// larger input, which holds `room_after` more bytes behind it (an RMID
// form's data chunk and the chunks after it). A track whose declared length
// runs past the end of that input, and not only past `file`, cuts the input
// off; fault offsets count from the start of `file`.
bool read_smf_within(ByteRange file, std::size_t room_after, MidiContainer& song, Fault* fault, const Workers* workers);

}  // namespace seqconv
