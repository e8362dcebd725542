#pragma once

// Files of every input format, made from random music to about a chosen
// size: the batch of small files (make_inputs) and the inputs of the
// per-reader benchmarks. The same kind of music (programs, notes and chords,
// controllers, pitch bends) goes into each format's own shape through the
// test-file kit. Standard library only.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/large_inputs.h"
#include "testkit/formats.h"
#include "testkit/lds.h"

namespace seqconv::bench {

// The formats of the batch, HMP in both of its variants.
enum class Kind { smf, rmid, hmp_p, hmp_r, hmi, xmi, mus, mids, lds, gmf };
inline constexpr std::array<Kind, 10> all_kinds = {Kind::smf, Kind::rmid, Kind::hmp_p, Kind::hmp_r, Kind::hmi,
                                                   Kind::xmi, Kind::mus,  Kind::mids,  Kind::lds,   Kind::gmf};

// Each kind's name, and the extension its files are named with (LDS modules
// are known by it).
struct KindNames {
    std::string_view name, extension;
};
inline constexpr KindNames kind_names[] = {{"SMF", "mid"}, {"RMID", "rmi"}, {"HMP-P", "hmp"}, {"HMP-R", "hmp"},
                                           {"HMI", "hmi"}, {"XMI", "xmi"},  {"MUS", "mus"},   {"MIDS", "mids"},
                                           {"LDS", "lds"}, {"GMF", "gmf"}};
inline std::string_view kind_name(Kind kind) { return kind_names[static_cast<int>(kind)].name; }
inline std::string_view extension_of(Kind kind) { return kind_names[static_cast<int>(kind)].extension; }

// A pseudo-random sequence (xorshift), the same on every machine.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
        if (state_ == 0) state_ = 1;
    }
    std::uint32_t below(std::uint32_t bound) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ % bound;
    }
    std::uint8_t byte_below(std::uint32_t bound) { return std::uint8_t(below(bound)); }

private:
    std::uint32_t state_;
};

using testkit::Event;
using testkit::Track;

// `count` events on channels 0 to `channels` - 1, in time order: each
// channel's program at the start, then notes with their durations, two in
// three struck together with the one before (chords), and a controller or a
// pitch bend (where `bends`) one time in ten.
inline Track random_music(Random& random, std::size_t count, std::uint8_t channels, bool bends = true) {
    Track out;
    for (std::uint8_t c = 0; c < channels; ++c) out.push_back(testkit::program(0, c, random.byte_below(128)));
    std::uint32_t now = 0;
    constexpr std::uint8_t controllers[] = {1, 7, 10, 11, 64, 91};
    while (out.size() < count) {
        if (random.below(3) == 0) now += 1 + random.below(120);
        const std::uint8_t channel = random.byte_below(channels);
        const std::uint32_t roll = random.below(10);
        // One draw after the other: the order of a call's arguments is the
        // compiler's choice.
        if (roll < 9) {
            const auto key = std::uint8_t(36 + random.below(60));
            const auto velocity = std::uint8_t(40 + random.below(88));
            out.push_back(testkit::note(now, channel, key, velocity, 20 + random.below(400)));
        } else if (bends && random.below(2) == 0) {
            const std::uint8_t low = random.byte_below(128);
            out.push_back(testkit::message(now, std::uint8_t(0xE0 | channel), {low, random.byte_below(128)}));
        } else {
            const std::uint8_t number = controllers[random.below(6)];
            out.push_back(testkit::controller(now, channel, number, random.byte_below(128)));
        }
    }
    return out;
}

// A song's opening: its name, a tempo of 120 quarter notes a minute, 4/4.
inline Track song_setup() {
    return {testkit::text_event(0, 0x03, "Song"), testkit::tempo(0, 500000), testkit::meta(0, 0x58, {4, 2, 0x18, 8})};
}

// Game music loops: from a quarter of the way in to the music's last event,
// marked in each format's own way where the format has one.
struct LoopSpan {
    std::uint32_t start = 0, end = 0;
};
inline LoopSpan loop_span(const Track& music) {
    return music.empty() ? LoopSpan{} : LoopSpan{music[music.size() / 4].time, music.back().time};
}
inline Track with(Track track, std::initializer_list<Event> more) {
    track.insert(track.end(), more.begin(), more.end());
    testkit::sort_by_time(track);
    return track;
}

// Form 0, or form 1: a conductor track, then a track a channel; the loop
// markers with the song's opening.
inline Bytes smf_file(Random& random, const Track& music, std::uint8_t channels, bool form1) {
    const bool running = random.below(4) != 0;
    const std::uint16_t division = random.below(2) ? 480 : 96;
    const LoopSpan loop = loop_span(music);
    const Track setup = with(song_setup(), {testkit::text_event(loop.start, 0x06, "loopStart"),
                                            testkit::text_event(loop.end, 0x06, "loopEnd")});
    if (!form1)
        return testkit::smf(0, division, {testkit::smf_events(testkit::merged({setup, music}), running)});
    std::vector<Bytes> tracks = {testkit::smf_events(setup)};
    for (std::uint8_t c = 0; c < channels; ++c)
        tracks.push_back(testkit::smf_events(testkit::on_channel(music, c), running));
    return testkit::smf(1, division, tracks);
}

// RIFF RMID: a form 0 file, then a title.
inline Bytes rmid_file(Random& random, const Track& music, std::uint8_t channels) {
    return testkit::rmid(smf_file(random, music, channels, false),
                         testkit::info_list({{"INAM", {'S', 'o', 'n', 'g', 0}}}));
}

// GMF: its pitch-wheel messages carry no data bytes, so the music has none.
inline Bytes gmf_file(Random& random, std::size_t count, std::uint8_t channels) {
    const auto tempo = std::uint16_t(3 + random.below(5));
    const bool running = random.below(2) != 0;
    return testkit::gmf(tempo, testkit::smf_events(random_music(random, count, channels, false), running));
}

// RIFF MIDS, 64 events a block, with stream ids or (flags 1) without.
inline Bytes mids_file(Random& random, const Track& music) {
    const std::uint32_t flags = random.below(2);
    constexpr std::size_t per_block = 64;
    return testkit::mids(
        {96, per_block * 12, flags, {}},
        testkit::mids_blocks(testkit::merged({{testkit::tempo(0, 500000)}, music}), per_block, flags == 0));
}

// MUS: one instrument a channel.
inline Bytes mus_file(Random& random, const Track& music, std::uint8_t channels) {
    const Bytes score = testkit::mus_score(music);
    testkit::MusHeader header{channels, 0, {}};
    for (std::uint8_t c = 0; c < channels; ++c) header.instruments.push_back(std::uint16_t(random.below(128)));
    return testkit::mus(header, score);
}

// HMP: a track a channel after the file's own first track, which holds
// only its end; the loop in every track.
inline Bytes hmp_file(Random& random, const Track& music, std::uint8_t channels, bool variant_r) {
    std::vector<Bytes> tracks = {testkit::hmp_events({})};
    const LoopSpan loop = loop_span(music);
    for (std::uint8_t c = 0; c < channels; ++c)
        tracks.push_back(testkit::hmp_events(with(testkit::on_channel(music, c), {testkit::controller(loop.start, c, 110, 0),
                                                                                  testkit::controller(loop.end, c, 111, 0)})));
    if (!variant_r) return testkit::hmp(tracks);
    return testkit::hmp(tracks, {true, std::uint8_t(random.below(2) ? 192 : 120)});
}

// HMI: a named track a channel, notes with their durations; the loop in
// the first.
inline Bytes hmi_file(const Track& music, std::uint8_t channels) {
    std::vector<Bytes> tracks;
    const LoopSpan loop = loop_span(music);
    for (std::uint8_t c = 0; c < channels; ++c) {
        Track track = testkit::on_channel(music, c);
        if (c == 0)
            track = with(track, {testkit::raw(loop.start, {0xFE, 0x14, 0x00, 0x00}),
                                 testkit::raw(loop.end, {0xFE, 0x15, 0, 0, 0, 0, 0, 0})});
        tracks.push_back(testkit::hmi_track("Channel ", testkit::hmi_events(track)));
    }
    return testkit::hmi(tracks);
}

// XMI: one song, a tempo first, notes with their durations, a FOR/NEXT
// loop for ever.
inline Bytes xmi_file(const Track& music) {
    const LoopSpan loop = loop_span(music);
    return testkit::xmi({{testkit::xmi_events(testkit::merged(
        {{testkit::tempo(0, 500000), testkit::controller(loop.start, 0, 116, 0), testkit::controller(loop.end, 0, 117, 127)},
         music}))}});
}

// LDS: patches, then positions naming a pattern for each of the nine
// voices, then the patterns: a note or nothing in each row. Small files get
// a pattern of their own per voice and position; larger ones draw their
// positions, up to 256 (the most that play), from as many patterns as the
// 16-bit pattern offsets reach (64 KiB of them).
inline Bytes lds_file(Random& random, std::size_t size) {
    namespace lds = testkit::lds;
    lds::Module module;
    module.row_speed = 1 + int(random.below(4));
    module.pattern_length = size > (64u << 10) ? 64 : 16;
    const int patches = 4 + int(random.below(5));
    for (int p = 0; p < patches; ++p)
        module.patches.push_back(
            {int(random.below(128)), 60 + int(random.below(68)), random.below(2) ? 0 : 4 + int(random.below(30))});
    const std::size_t rows = std::size_t(module.pattern_length);
    const std::size_t fixed = 17 + 46 * std::size_t(patches) + 4;
    const std::size_t budget = size > fixed ? size - fixed : 0;
    // A 16-bit byte offset reaches 32767 pattern words.
    const std::size_t most_patterns = 32767 / rows;
    const std::size_t per_position = 27 + 18 * rows;
    std::size_t positions = std::max<std::size_t>(1, (budget + per_position - 1) / per_position);
    std::size_t patterns = 9 * positions;
    if (patterns > most_patterns) {
        patterns = most_patterns;
        positions = std::min<std::size_t>(256, (budget - 2 * rows * patterns) / 27);
    }
    std::vector<std::uint16_t> starts;
    for (std::size_t p = 0; p < patterns; ++p) {
        std::vector<std::uint16_t> words;
        for (std::size_t row = 0; row < rows; ++row)
            words.push_back(random.below(2) ? lds::note(36 + int(random.below(48)), int(random.below(patches)))
                                            : lds::rest);
        starts.push_back(module.pattern(words));
    }
    for (std::size_t p = 0; p < positions; ++p) {
        lds::Position position;
        for (std::size_t v = 0; v < 9; ++v)
            position[v] = {patterns == 9 * positions ? starts[9 * p + v]
                                                     : starts[random.below(std::uint32_t(patterns))]};
        module.positions.push_back(position);
    }
    return module.bytes();
}

// A file of `kind` of about `size` bytes, the same for the same seed. The
// number of messages is found by proportion from a first try.
// MUS scores are held to 60 KiB: the header counts their length in 16 bits.
inline Bytes format_file(Kind kind, std::uint32_t seed, std::size_t size) {
    if (kind == Kind::mus) size = std::min<std::size_t>(size, 60u << 10);
    if (kind == Kind::lds) {
        Random random(seed);
        return lds_file(random, size);
    }
    const auto make = [kind, seed, size](std::size_t count) {
        Random random(seed);
        const std::uint8_t channels = size > (64u << 10) ? std::uint8_t(kind == Kind::gmf || kind == Kind::mus ? 9 : 16)
                                                         : random.byte_below(8) + 1;
        // GMF draws its own music, without pitch bends; the others share
        // this, an SMF file's form drawn before it.
        if (kind == Kind::gmf) return gmf_file(random, count, channels);
        const bool form1 = kind == Kind::smf && random.below(2) != 0;
        const Track music = random_music(random, count, channels);
        switch (kind) {
            case Kind::smf:
                return smf_file(random, music, channels, form1);
            case Kind::rmid:
                return rmid_file(random, music, channels);
            case Kind::hmp_p:
            case Kind::hmp_r:
                return hmp_file(random, music, channels, kind == Kind::hmp_r);
            case Kind::hmi:
                return hmi_file(music, channels);
            case Kind::xmi:
                return xmi_file(music);
            case Kind::mus:
                return mus_file(random, music, channels);
            default:
                return mids_file(random, music);
        }
    };
    std::size_t count = std::max<std::size_t>(16, size / 6);
    Bytes out = make(count);
    for (int tries = 0; tries < 4 && (out.size() > size + size / 32 || out.size() < size - size / 32); ++tries) {
        count = std::max<std::size_t>(16, std::size_t(double(count) * double(size) / double(out.size())));
        out = make(count);
    }
    return out;
}

}  // namespace seqconv::bench
