#pragma once

// An LDS module as loaded from its file: a tracker-style song for a
// nine-voice synthesiser. The layout is described in lds_module.cpp.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "formats/byte_cursor.h"
#include "formats/fault.h"

namespace seqconv {

inline constexpr std::size_t lds_voice_count = 9;

// The four bytes of a 46-byte patch record that a MIDI rendering uses; the
// rest are synthesiser settings.
struct LdsPatch {
    std::uint8_t key_off_ticks = 0;  // ticks from note start to its release; 0 = held
    std::uint8_t midi_program = 0;   // bit 7: percussion on channel 9, bits 0-6 its note
    std::uint8_t velocity = 0;
    std::int8_t transpose = 0;  // semitones, melodic patches only
};

// One voice's entry of a position record.
struct LdsPosition {
    std::uint16_t pattern_start = 0;  // word index into pattern_words
    // Bits 0-6 a signed 7-bit number added to the note (bit 7 clear) or, modulo
    // 64, to the patch number (bit 7 set).
    std::uint8_t transpose = 0;
};

struct LdsModule {
    std::uint8_t row_speed = 0;
    std::uint8_t pattern_length = 0;
    std::array<std::uint8_t, lds_voice_count> channel_delay{};
    std::vector<LdsPatch> patches;
    std::vector<LdsPosition> positions;  // position p, voice v at 9 * p + v
    std::uint16_t position_count = 0;    // at least 1
    std::vector<std::uint16_t> pattern_words;
    std::size_t pattern_words_at = 0;  // offset of the first pattern word in the file

    const LdsPosition& position(std::size_t p, std::size_t voice) const {
        return positions[lds_voice_count * p + voice];
    }
};

// Loads a module, or nothing when the input is not one: a mode byte above
// 2, an odd pattern offset, no positions, or a file too short for its
// header, patch records, position records and the two bytes after them.
// Then says in `fault`, where given, which.
std::optional<LdsModule> load_lds_module(ByteRange input, Fault* fault = nullptr);

}  // namespace seqconv
