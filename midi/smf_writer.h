#pragma once

#include <cstdint>
#include <vector>

#include "midi/midi_container.h"

namespace seqconv {

class Workers;

// Appends the variable-length quantity of `value`: 7 bits a byte, most
// significant group first, the high bit set on every byte but the last.
// Values from 0x10000000 up take five bytes.
void write_vlq(std::vector<std::uint8_t>& out, std::uint32_t value);

// Appends the Standard MIDI File image of `song` to `out`: nothing at all for
// a song without tracks, otherwise "MThd" and one "MTrk" chunk per track,
// each written exactly as the song holds it.
//
// A large song has its tracks counted and written on `workers` when given.
//
// Throws std::length_error for a song that the format cannot hold: more than
// 65535 tracks, or a track body longer than 0xFFFFFFFF bytes.
void write_smf(const MidiContainer& song, std::vector<std::uint8_t>& out, const Workers* workers = nullptr);

}  // namespace seqconv
