#pragma once

// Large inputs for the benchmarks and for measuring the program, built in
// memory with the test-file kit.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "testkit/formats.h"
#include "testkit/lds.h"

namespace seqconv::bench {

using testkit::Bytes;

// A form 1 Standard MIDI File of about `size` bytes: a conductor track with
// tempo changes and markers, then fifteen tracks, one a channel, of chords
// under running status with controllers, pitch bends and a system-exclusive
// message now and then, as sequencers write them. Its events are written
// here byte by byte: each chord states its status again, as those
// sequencers do.
inline Bytes large_smf(std::size_t size) {
    constexpr std::uint16_t tracks = 16;
    const std::size_t per_track = size / tracks;
    std::uint32_t seed = 12345;
    const auto random = [&seed](std::uint32_t below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % below;
    };
    std::vector<Bytes> bodies(tracks);
    for (std::uint16_t t = 0; t < tracks; ++t) {
        Bytes& out = bodies[t];
        const std::uint8_t channel = std::uint8_t(t == 0 ? 0 : t - 1);
        while (out.size() < per_track - 16) {
            if (t == 0) {  // tempo change and a marker
                testkit::put_vlq(out, 480 * (1 + random(8)));
                out.insert(out.end(), {0xFF, 0x51, 0x03, 0x07, std::uint8_t(random(256)), 0x20, 0x00, 0xFF, 0x06, 0x04,
                                       'b', 'a', 'r', std::uint8_t('0' + random(10))});
                continue;
            }
            // A chord of three notes, held, then released with note-on at
            // velocity 0, all under one running status.
            const std::uint8_t root = std::uint8_t(36 + random(48));
            testkit::put_vlq(out, random(4) == 0 ? 960 : 120);
            out.insert(out.end(), {std::uint8_t(0x90 | channel), root, 100, 0, std::uint8_t(root + 4), 90, 0,
                                   std::uint8_t(root + 7), 90});
            testkit::put_vlq(out, 100 + random(400));
            out.insert(out.end(), {root, 0, 0, std::uint8_t(root + 4), 0, 0, std::uint8_t(root + 7), 0});
            switch (random(16)) {
                case 0:
                    out.insert(out.end(), {0x10, std::uint8_t(0xB0 | channel), 0x0B, std::uint8_t(random(128))});
                    break;
                case 1:
                    out.insert(out.end(), {0x08, std::uint8_t(0xE0 | channel), 0x00, std::uint8_t(random(128))});
                    break;
                case 2:
                    out.insert(out.end(),
                               {0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
                    break;
                default:
                    break;
            }
        }
        out.insert(out.end(), {0x00, 0xFF, 0x2F, 0x00});
    }
    return testkit::smf(1, 480, bodies);
}

// The worst input the fuzzing turned up: every track declares seven bytes
// and holds a text event whose length runs to the end of the file, across
// the chunks after it. A reader that reads each track on past its declared
// end copies the rest of the file once a track, and its time and memory grow
// with the square of the input.
inline Bytes nested_tracks(std::uint16_t count) {
    const std::size_t size = 14 + 15 * std::size_t(count);
    Bytes out = testkit::smf_header(1, count, 96);
    for (std::uint16_t i = 0; i < count; ++i) {
        out.insert(out.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 7, 0x00, 0xFF, 0x01});
        const std::uint32_t rest = std::uint32_t(size - (out.size() + 4));
        out.insert(out.end(), {std::uint8_t(0x80 | ((rest >> 21) & 0x7F)), std::uint8_t(0x80 | ((rest >> 14) & 0x7F)),
                               std::uint8_t(0x80 | ((rest >> 7) & 0x7F)), std::uint8_t(rest & 0x7F)});
    }
    return out;
}

// An XMI file of one song: `notes` notes ten ticks apart, each sounding
// `length` ticks, so that every note's end lies beyond all the notes still
// to come. The reader puts each note's end into the track right after its
// start.
inline Bytes xmi_long_notes(std::uint32_t notes, std::uint32_t length) {
    testkit::Track track;
    for (std::uint32_t i = 0; i < notes; ++i)
        track.push_back(testkit::note(10 * i, std::uint8_t(i % 16), std::uint8_t(i & 0x7F), 0x64, length));
    track.push_back(testkit::end_of_track(10 * notes));
    return testkit::xmi({{testkit::xmi_events(track)}});
}

// An HMI file of one track of `notes` notes, 10 ticks apart under running
// status, each lasting `length` ticks: with a length far beyond the song's
// last note start every note's end lands behind all the notes still to come.
inline Bytes long_notes_hmi(std::uint32_t notes, std::uint32_t length) {
    testkit::Track track = {testkit::note(0, 0, 0x3C, 0x64, length)};
    for (std::uint32_t i = 1; i < notes; ++i) track.push_back(testkit::note(10 * i, 0, std::uint8_t(i & 0x7F), 0x64, length));
    return testkit::hmi({testkit::hmi_track(std::nullopt, testkit::hmi_events(track, true))});
}

// The longest an LDS module plays: 256 positions (the position number is 8
// bits wide) of 255 rows of 256 ticks, 16.7 million ticks or 66 hours. Eight
// voices strike a note in every row and release it 250 ticks later, one of
// them delayed by 100 ticks; the ninth runs a fade through every other row.
// 12 KiB, 1.5 million events.
inline Bytes longest_lds() {
    namespace lds = testkit::lds;
    lds::Module module;
    module.row_speed = 255;
    module.pattern_length = 255;
    module.channel_delay[8] = 100;
    lds::Position position;
    for (int v = 0; v < 9; ++v) {
        module.patches.push_back({v * 8, 100, 250});
        std::vector<std::uint16_t> words;
        for (int row = 0; row < 255; ++row) {
            const std::uint16_t fade = row % 2 != 0 ? lds::command(0xF3, 1) : lds::command(0xF4, 0);
            words.push_back(v == 7 ? fade : lds::note(40 + (row * 7 + v * 5) % 48, v));
        }
        position[std::size_t(v)] = {module.pattern(words)};
    }
    module.positions.assign(256, position);
    return module.bytes();
}

// An XMI file whose containers nest `levels` deep: the directory FORM
// "XDIR" holds, after its INFO chunk, "CAT " and FORM containers nested
// alternately, as the chunk reader accepts them, the innermost holding
// `payload` bytes of plain data; then the songs' "CAT " holds one short
// song. The directory's contents are not read, so the file converts to the
// song while the whole nest is parsed (and copied, level by level, where a
// parser copies subtrees). One level more than the reader accepts refuses
// the file.
inline Bytes deep_iff_xmi(std::size_t levels, std::size_t payload) {
    // The directory FORM is level 1; level 2, inside it, is a "CAT ".
    Bytes nest = testkit::iff_chunk("DATA", Bytes(payload, 0x55));
    for (std::size_t level = levels; level >= 2; --level)
        nest = testkit::iff_container(level % 2 == 0 ? "CAT " : "FORM", "XMID", nest);
    testkit::Track song;
    for (std::uint8_t key = 60; key < 72; ++key) song.push_back(testkit::note(30u * (key - 60u), 0, key, 0x64, 30));
    song.push_back(testkit::end_of_track(360));
    return testkit::xmi({{testkit::xmi_events(song)}}, nest);
}

}  // namespace seqconv::bench
