#pragma once

// Puts LDS modules together from readable parts (header fields, patches,
// positions, pattern words). A module is no event stream: its patterns are
// rows of words played by nine voices, so it has a builder of its own
// rather than a writer of tracks.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "testkit/bytes.h"

namespace testkit::lds {

// Pattern words.
constexpr std::uint16_t note(int number, int patch) { return std::uint16_t(number << 8 | patch); }
constexpr std::uint16_t wait(int rows) { return std::uint16_t(0x8000 | rows); }
constexpr std::uint16_t glide(int speed) { return std::uint16_t((0x80 | speed) << 8); }
constexpr std::uint16_t command(int code, int parameter = 0) { return std::uint16_t(code << 8 | parameter); }
constexpr std::uint16_t rest = 0;
constexpr std::uint16_t stop = 0xFC00;

struct Patch {
    int midi_program = 0;  // bit 7: percussion, bits 0-6 its note
    int velocity = 100;
    int key_off_ticks = 0;
    int transpose = 0;
};

// One voice's entry of a position: the word index of its pattern and the
// position's transpose byte.
struct Voice {
    std::uint16_t pattern = 0;
    std::uint8_t transpose = 0;
};
using Position = std::array<Voice, 9>;

// Voices 0, 1, ... as listed, the others `others`.
inline Position voices(std::initializer_list<Voice> listed, Voice others) {
    Position out;
    out.fill(others);
    std::size_t v = 0;
    for (const Voice& voice : listed) out[v++] = voice;
    return out;
}

struct Module {
    int mode = 0;
    int row_speed = 2;
    int pattern_length = 64;
    std::array<std::uint8_t, 9> channel_delay{};
    std::vector<Patch> patches;
    std::vector<Position> positions;
    std::vector<std::uint16_t> words;

    // Appends a pattern to the pattern words; returns where it starts.
    std::uint16_t pattern(std::initializer_list<std::uint16_t> pattern_words) {
        return pattern(std::vector<std::uint16_t>(pattern_words));
    }
    std::uint16_t pattern(const std::vector<std::uint16_t>& pattern_words) {
        const auto start = std::uint16_t(words.size());
        words.insert(words.end(), pattern_words.begin(), pattern_words.end());
        return start;
    }

    Bytes bytes() const {
        Bytes out{std::uint8_t(mode), 0, 0, std::uint8_t(row_speed), std::uint8_t(pattern_length)};
        for (std::uint8_t delay : channel_delay) out.push_back(delay);
        out.push_back(0);
        append(out, le16(std::uint32_t(patches.size())));
        for (const Patch& patch : patches) {
            Bytes record(46, 0);
            record[11] = std::uint8_t(patch.key_off_ticks);
            record[40] = std::uint8_t(patch.midi_program);
            record[41] = std::uint8_t(patch.velocity);
            record[43] = std::uint8_t(patch.transpose);
            append(out, record);
        }
        append(out, le16(std::uint32_t(positions.size())));
        for (const Position& position : positions)
            for (const Voice& voice : position) append(out, cat({le16(2u * voice.pattern), {voice.transpose}}));
        append(out, le16(0));
        for (std::uint16_t word : words) append(out, le16(word));
        return out;
    }
};

}  // namespace testkit::lds
