// GMF reader: a short header, then one stream of events in Standard MIDI
// File track syntax without chunk framing.
//
//   offset  size  meaning
//   0       4     "GMF" 01
//   4       2     V: tempo in tenths of a second per quarter note, big-endian
//   6       1     not read
//   7       ...   delta times and events up to the end of the file
//
// The stream's pitch-wheel status bytes carry no data bytes, and the stream
// need not end with an end-of-track event: the end of the file ends it.

#include <algorithm>
#include <cstdint>

#include "formats/readers.h"
#include "formats/smf_reader.h"

namespace seqconv {

namespace {

constexpr std::uint32_t ticks_per_quarter = 192;
constexpr std::uint64_t slowest_tempo = 0xFFFFFF;  // the most a tempo's 24 bits hold
// The reset message for the sound module the music was written for, sent
// before the stream plays.
constexpr std::uint8_t module_reset[] = {0xF0, 0x41, 0x10, 0x16, 0x12, 0x7F, 0x00, 0x00, 0x01, 0xF7};

}  // namespace

bool read_gmf(ByteRange input, MidiContainer& song, Fault* fault) {
    ByteCursor cursor(input);
    std::uint16_t tenths = 0;
    if (!cursor.expect("GMF\x01") || !cursor.be16(tenths) || !cursor.skip(1)) {
        report(fault, FaultKind::malformed, 0, "not a GMF header");
        return false;
    }

    song.initialize(0, ticks_per_quarter);
    // Above 167 tenths the tempo no longer fits 24 bits; it is held at the
    // slowest there is rather than cut to its low bits, which would make
    // a slow song fast.
    const std::uint64_t microseconds = std::min(std::uint64_t{tenths} * 100000, slowest_tempo);
    const std::uint8_t tempo[] = {0xFF, 0x51, std::uint8_t(microseconds >> 16), std::uint8_t(microseconds >> 8),
                                  std::uint8_t(microseconds)};
    MidiTrack conductor;
    conductor.add_event(MidiEvent(0, MidiEventType::extended, 0, tempo, sizeof tempo));
    conductor.add_event(MidiEvent(0, MidiEventType::extended, 0, module_reset, sizeof module_reset));
    conductor.add_event(make_end_of_track(0));
    song.add_track(std::move(conductor));

    return read_smf_track(cursor, input.size(), song, false, fault);
}

}  // namespace seqconv
