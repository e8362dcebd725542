#pragma once

// Puts LDS modules together from readable parts (header fields, patches,
// positions, pattern words), for the tests, the fuzz seeds and the examples.
// Standard library only: make_examples builds without the project.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace lds_builder {

using Bytes = std::vector<std::uint8_t>;

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
        le16(out, patches.size());
        for (const Patch& patch : patches) {
            Bytes record(46, 0);
            record[11] = std::uint8_t(patch.key_off_ticks);
            record[40] = std::uint8_t(patch.midi_program);
            record[41] = std::uint8_t(patch.velocity);
            record[43] = std::uint8_t(patch.transpose);
            for (std::uint8_t byte : record) out.push_back(byte);
        }
        le16(out, positions.size());
        for (const Position& position : positions)
            for (const Voice& voice : position) {
                le16(out, 2u * voice.pattern);
                out.push_back(voice.transpose);
            }
        le16(out, 0);
        for (std::uint16_t word : words) le16(out, word);
        return out;
    }

private:
    static void le16(Bytes& out, std::size_t value) {
        out.push_back(std::uint8_t(value));
        out.push_back(std::uint8_t(value >> 8));
    }
};

}  // namespace lds_builder
