// MUS reader: a compact score for sixteen channels whose delays count in
// ticks of about 1/140 s.
//
//   offset  size  meaning (little-endian)
//   0       4     "MUS" 1A
//   4       2     L: score length in bytes
//   6       2     S: offset of the score
//   8       6     channel counts, a reserved word (not read)
//   12      2     instrument count (checked by the detector only)
//   14      ...   instrument list (not read: the score sets instruments)
//   S       L     the score
//
// A score event is a descriptor byte (bit 7: a delay follows the event;
// bits 4-6: kind; bits 0-3: channel), its data bytes, and then, with bit 7
// set, a delay in ticks as a variable-length quantity.
//
//   kind  event         data bytes
//   0     release note  note
//   1     play note     note, with bit 7 set when a velocity byte follows
//   2     pitch wheel   P: 0 to 255, 128 the centre
//   3     system event  a controller number 10-14, sent with the value 1
//   4     controller    number 0 (instrument) or 1-9, then the value
//   6     score end     only as the exact byte 60; nothing is read after it
//   5, 7  (measure end and unused kinds: refused)

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "formats/event_syntax.h"
#include "formats/readers.h"

namespace seqconv {

namespace {

constexpr std::uint8_t score_end = 0x60;
constexpr std::uint32_t ticks_per_quarter = 89;
// 631578 microseconds per quarter note: with 89 ticks to the quarter, the
// score's 140 ticks a second (140.9, as near as a whole tempo comes).
constexpr std::uint8_t tempo[] = {0xFF, 0x51, 0x09, 0xA3, 0x1A};

// MIDI controller by MUS controller number: 1-9 for controller events, 10-14
// for system events. Number 0 is the instrument change.
constexpr std::uint8_t controllers[15] = {0x00, 0x00, 0x01, 0x07, 0x0A, 0x0B, 0x5B, 0x5D,
                                          0x40, 0x43, 0x78, 0x7B, 0x7E, 0x7F, 0x79};

// Percussion is MUS channel 15 and MIDI channel 9; MUS channels 9 to 14 move
// up one to make room for it.
std::uint32_t midi_channel(std::uint8_t mus_channel) {
    if (mus_channel == 15) return 9;
    return mus_channel < 9 ? mus_channel : mus_channel + 1u;
}

// Scores carry volumes and velocities up to 255, but a MIDI data byte holds
// seven bits: a larger one would be read back as a status byte.
std::uint8_t clamped(std::uint8_t value) { return value > 0x7F ? 0x7F : value; }

struct Message {
    MidiEventType type = MidiEventType::note_on;
    std::uint8_t data[2] = {0, 0};
    std::size_t size = 2;
};

// Reads the data bytes of the event that `descriptor` begins. `velocity` is
// the velocity remembered for the event's channel. A malformed event leaves
// in `reason` what was wrong with it.
Step read_message(ByteCursor& cursor, std::uint8_t descriptor, std::uint8_t& velocity, Message& out,
                  const char*& reason) {
    std::uint8_t first = 0, second = 0;
    switch ((descriptor >> 4) & 7) {
        case 0:  // release note: a note on with velocity 0
            if (!cursor.u8(first)) return Step::cut_off;
            out = {MidiEventType::note_on, {std::uint8_t(first & 0x7F), 0}, 2};
            return Step::event;
        case 1:  // play note, with the channel's last velocity unless one follows
            if (!cursor.u8(first)) return Step::cut_off;
            if (first & 0x80) {
                if (!cursor.u8(second)) return Step::cut_off;
                velocity = clamped(second);
            }
            out = {MidiEventType::note_on, {std::uint8_t(first & 0x7F), velocity}, 2};
            return Step::event;
        case 2:  // pitch wheel: P is the top eight of the wheel's fourteen bits
            if (!cursor.u8(first)) return Step::cut_off;
            out = {MidiEventType::pitch_wheel, {std::uint8_t((first & 1) << 6), std::uint8_t(first >> 1)}, 2};
            return Step::event;
        case 3:  // system event
            if (!cursor.u8(first)) return Step::cut_off;
            if (first < 10 || first > 14) {
                reason = "system event number outside 10-14";
                return Step::malformed;
            }
            out = {MidiEventType::control_change, {controllers[first], 1}, 2};
            return Step::event;
        case 4:  // controller
            if (!cursor.u8(first)) return Step::cut_off;
            if (first >= 10) {
                reason = "controller number above 9";
                return Step::malformed;
            }
            if (!cursor.u8(second)) return Step::cut_off;
            if (first == 0)
                out = {MidiEventType::program_change, {clamped(second), 0}, 1};
            else
                out = {MidiEventType::control_change, {controllers[first], clamped(second)}, 2};
            return Step::event;
        default:
            reason = "event kind 5, 6 or 7";
            return Step::malformed;
    }
}

}  // namespace

bool read_mus(ByteRange input, MidiContainer& song, Fault* fault) {
    ByteCursor cursor(input);
    std::uint16_t score_length = 0, score_start = 0;
    if (!cursor.expect("MUS\x1A") || !cursor.le16(score_length) || !cursor.le16(score_start)) {
        report(fault, FaultKind::malformed, 0, "not a MUS header");
        return false;
    }

    song.initialize(0, ticks_per_quarter);
    MidiTrack conductor;
    conductor.add_event(MidiEvent(0, MidiEventType::extended, 0, tempo, sizeof tempo));
    conductor.add_event(make_end_of_track(0));
    song.add_track(std::move(conductor));

    MidiTrack score;
    std::array<std::uint8_t, 16> velocities{};  // by MIDI channel
    std::uint32_t time = 0;
    const std::size_t score_stop = std::size_t{score_start} + score_length;
    cursor.seek(score_start);
    // Every event takes at least 2 bytes; one more event ends the track.
    score.reserve_up_to(std::min<std::size_t>(cursor.remaining(), score_length) / 2 + 1);
    // An event cut off by the end of the file ends the score as its end
    // event would: the events before it stand.
    while (cursor.offset() < score_stop) {
        std::uint8_t descriptor = 0;
        const std::size_t event_at = cursor.offset();
        if (!cursor.u8(descriptor)) {
            report(fault, FaultKind::cut_off, event_at, "score cut off");
            break;
        }
        if (descriptor == score_end) break;
        const std::uint32_t channel = midi_channel(descriptor & 0x0F);
        Message message;
        const char* reason = "";
        const Step step = read_message(cursor, descriptor, velocities[channel], message, reason);
        if (step == Step::malformed) {
            report(fault, FaultKind::malformed, event_at, reason);
            return false;
        }
        if (step == Step::cut_off) {
            report(fault, FaultKind::cut_off, event_at, "event cut off");
            break;
        }
        score.add_event(MidiEvent(time, message.type, channel, message.data[0], message.data[1], message.size));

        if (descriptor & 0x80) {
            std::uint32_t delay = 0;
            const std::size_t delay_at = cursor.offset();
            if (!read_vlq(cursor, delay)) {  // only the delay is lost
                report(fault, FaultKind::cut_off, event_at, "delay cut off");
                break;
            }
            if (delay & 0x80000000u) {
                report(fault, FaultKind::malformed, delay_at, "negative delay");
                return false;
            }
            time = add_ticks(time, delay);
        }
    }
    score.add_event(make_end_of_track(time));
    song.add_track(std::move(score));
    return true;
}

}  // namespace seqconv
