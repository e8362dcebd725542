#pragma once

// What the readers of formats built on MIDI's event syntax share: the
// variable-length quantity, the payload of system-exclusive and meta events,
// the data bytes each channel status takes, and the step of time.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/byte_cursor.h"
#include "formats/fault.h"
#include "midi/midi_event.h"

namespace seqconv {

// How reading one event ended: the reading goes on, the track is complete,
// or it stops at a fault of the kind named.
enum class Step : std::uint8_t { event, end_of_track, cut_off, malformed, unsupported };

// Where and why the reading of a track stopped short; `step` stays `event`
// when it did not. Readers fill it on the way out only.
struct Stop {
    Step step = Step::event;
    std::size_t offset = 0;
    const char* reason = "";
};

// The kind of fault a step that stops short is.
constexpr FaultKind fault_kind(Step step) {
    if (step == Step::cut_off) return FaultKind::cut_off;
    return step == Step::unsupported ? FaultKind::unsupported : FaultKind::malformed;
}

// Reads a variable-length quantity: 7 bits a byte, most significant group
// first, while the high bit is set. Groups beyond 32 bits fall off the top.
// Returns false, with the cursor where it was, when the range ends first.
// Inline: it is read once or more for every event of every format.
inline bool read_vlq(ByteCursor& cursor, std::uint32_t& value) {
    ByteCursor ahead = cursor;
    std::uint32_t result = 0;
    std::uint8_t byte = 0;
    do {
        if (!ahead.u8(byte)) return false;
        result = (result << 7) | (byte & 0x7F);
    } while (byte & 0x80);
    cursor = ahead;
    value = result;
    return true;
}

// A time moved on by `delta` ticks. It stops at the largest tick rather than
// wrap around to the start of the song, which would put later events before
// earlier ones.
inline std::uint32_t add_ticks(std::uint32_t time, std::uint32_t delta) {
    return delta > 0xFFFFFFFFu - time ? 0xFFFFFFFFu : time + delta;
}

// Reads the length of a system-exclusive or meta event (a variable-length
// quantity) and takes that many bytes into `data` behind what it already
// holds: `event`. `malformed`, taking nothing, for a length with its top bit
// set (a negative signed length); `cut_off` when the range ends first.
Step read_payload(ByteCursor& cursor, std::vector<std::uint8_t>& data);

// The data bytes after a channel status byte 80-EF: one for program change
// (Cn) and channel aftertouch (Dn), two for the others.
constexpr std::size_t channel_data_bytes(std::uint8_t status) { return (status & 0xE0) == 0xC0 ? 1 : 2; }

// The event type of a channel status byte 80-EF.
constexpr MidiEventType channel_event_type(std::uint8_t status) {
    return static_cast<MidiEventType>((status >> 4) - 8);
}

}  // namespace seqconv
