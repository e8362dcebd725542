#pragma once

// What the fuzz targets check on the file they write. The Standard MIDI File
// that the writer makes of a song reads back, with read_smf, as a song that
// the writer turns into the very same bytes: written output is a fixed point
// of reading and writing. And for formats that only re-encode their events,
// the output grows with the input no faster than linearly.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "formats/byte_cursor.h"
#include "formats/readers.h"
#include "midi/midi_container.h"
#include "midi/smf_writer.h"

namespace seqconv::fuzz {

// Whether the written image of `song` must read back to itself.
//
// The writer puts down every song faithfully, but for some songs in a shape
// that the reader, lenient as it is with old files, takes another way. These
// come out of readers legitimately, so they are left out of the check:
//
//  - A header form above 2 (only the low byte is written): read_smf refuses it.
//  - A track whose last written event is not an end-of-track event, or that
//    holds one before its end. The reader ends a track at its first FF 2F and
//    skips the rest of the chunk, and without one reads on to the next chunk.
//    The song model allows both (an FF 2F added behind later events is an
//    ordinary event).
//  - A gap of more than 2^31 ticks between neighbouring written events (or
//    before the first). The writer puts the full 32-bit delta down, and the
//    reader takes a delta with the top bit set as its magnitude. Long
//    stretches of dropped events (clock start and stop, GMF pitch wheel)
//    make such gaps from deltas that are each below 2^31.
//  - A channel event whose data count is not the one its kind has: the
//    reader takes a fixed count per kind. (A channel above 15 changes the
//    written status to another kind's, but that reads back to the same
//    bytes.)
//
// Extended events that are neither meta nor system exclusive are not
// written at all and so cannot spoil the round trip; they are skipped here
// as the writer skips them.
inline bool must_round_trip(const MidiContainer& song) {
    if ((song.form() & 0xFF) > 2) return false;
    for (const MidiTrack& track : song.tracks()) {
        std::uint32_t previous = 0;
        bool ended = false;
        for (const MidiEvent& event : track) {
            const std::size_t size = event.get_data_size();
            if (event.is_channel_event()) {
                const bool one_byte =
                    event.type == MidiEventType::program_change || event.type == MidiEventType::channel_aftertouch;
                if (size != (one_byte ? 1u : 2u)) return false;
            } else {
                const bool sysex = size >= 1 && event.data_byte(0) == 0xF0;
                const bool meta = size >= 2 && event.data_byte(0) == 0xFF;
                if (!sysex && !meta) continue;  // not written
            }
            if (ended) return false;  // an event after an end of track
            if (event.timestamp - previous > 0x80000000u) return false;
            previous = event.timestamp;
            ended = event.is_end_of_track();
        }
        if (!ended) return false;
    }
    return true;
}

// Whether `image` reads back as a song that is written as `image` again.
inline bool is_fixed_point(const std::vector<std::uint8_t>& image) {
    MidiContainer song;
    if (!read_smf(ByteRange(image.data(), image.size()), song)) return false;
    std::vector<std::uint8_t> again;
    write_smf(song, again);
    return again == image;
}

// Writes `song` as the program does and checks the written file; aborts the
// process, which the fuzzer reports with the input, when a check fails.
// Returns the size of the file.
inline std::size_t write_and_check(const MidiContainer& song) {
    std::vector<std::uint8_t> image;
    try {
        write_smf(song, image);
    } catch (const std::length_error&) {
        return 0;  // a song the format cannot hold is refused, as documented
    }
    if (image.empty() != (song.track_count() == 0)) {
        std::fputs("written file is empty exactly when the song has no tracks: violated\n", stderr);
        std::abort();
    }
    if (!image.empty() && must_round_trip(song) && !is_fixed_point(image)) {
        std::fputs("written file does not read back to the same bytes\n", stderr);
        std::abort();
    }
    return image.size();
}

// The output of a Standard MIDI File or RMID input, or of a GMF track, is at
// most a few times the input. An event takes at least two input bytes (a
// delta and one data byte under running status) and is written in at most
// eight (a five-byte delta, status and two data bytes); a track chunk of at
// least eight bytes may gain a four-byte end of track; promotion adds at most
// seventeen chunks of twelve bytes, and the header is fourteen. The bound
// below leaves a wide margin over 4 * input + 218, and catches a reader that
// copies input bytes more than once.
inline void require_linear_output(std::size_t input_size, std::size_t output_size) {
    if (output_size <= 8 * input_size + 1024) return;
    std::fprintf(stderr, "%zu bytes written from %zu bytes read\n", output_size, input_size);
    std::abort();
}

}  // namespace seqconv::fuzz
