#pragma once

// seqconv as a library: the music file of an old game or multimedia title in
// memory, a Standard MIDI File out, with the song in between for those who
// want its events. Nothing here touches the file system or prints.
//
// The song model (MidiContainer, MidiTrack, MidiEvent), write_smf,
// promote_to_type1 and the worker pool come with this header. Conversions
// report a malformed input through their status; they throw only what the
// standard containers throw: std::bad_alloc when memory runs out,
// std::length_error for a song no Standard MIDI File can hold (more than
// 65535 tracks, or a track over 4 GiB).
//
// The library starts no thread of its own. A caller that passes a pool
// (Workers) has a large Standard MIDI File's tracks decoded, and a large
// song's tracks written, on its threads; the result is the same bytes.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "formats/fault.h"
#include "formats/input_format.h"
#include "midi/midi_container.h"
#include "midi/promote.h"
#include "midi/smf_writer.h"
#include "base/workers.h"

namespace seqconv {

// How the reading of an input ended.
enum class ReadStatus : std::uint8_t {
    complete,      // a format accepted the input and its reader read it without fault
    damaged,       // a format accepted it, but its reader stopped at a fault (the
                   // input's data may also just end inside an event); the song
                   // holds what was read before it
    unrecognised,  // no format accepted the input; the song has no tracks
};

struct ReadResult {
    std::optional<InputFormat> format;  // the format that accepted the input
    ReadStatus status = ReadStatus::unrecognised;
    Fault fault;  // where and why a damaged input stopped the reader
    MidiContainer song;
};

// The text after the last "." of `name`, directory parts included; none
// when the name holds no ".". Only LDS modules are recognised by it.
std::optional<std::string_view> extension_of(std::string_view name);

// The format that accepts the input, recognised by its contents (and, for
// LDS, by the extension of `name`); none when no format does.
std::optional<InputFormat> detect_format(std::span<const std::uint8_t> input, std::string_view name);

// Recognises the input as detect_format does and reads it into a song.
ReadResult read_song(std::span<const std::uint8_t> input, std::string_view name, const Workers* workers = nullptr);

// A form 2 song (several independent songs, as an XMI file of several songs
// gives) as one form 0 song per track, in track order, each of one track and
// with the song's timebase. Any other song is returned as it is, alone.
std::vector<MidiContainer> split_songs(MidiContainer song);

struct Conversion {
    std::optional<InputFormat> format;
    ReadStatus status = ReadStatus::unrecognised;
    Fault fault;
    std::vector<std::uint8_t> smf;  // empty when the song has no tracks
};

// What the seqconv program writes for an input named `name`: read_song, then
// with `promote` (the program's "-1") promote_to_type1, then write_smf.
Conversion convert(std::span<const std::uint8_t> input, std::string_view name, bool promote = false,
                   const Workers* workers = nullptr);

struct SongsConversion {
    std::optional<InputFormat> format;
    ReadStatus status = ReadStatus::unrecognised;
    Fault fault;
    std::vector<std::vector<std::uint8_t>> songs;  // one Standard MIDI File per song
};

// As convert, with the song split by split_songs first; each song is promoted
// and written on its own.
SongsConversion convert_songs(std::span<const std::uint8_t> input, std::string_view name, bool promote = false,
                              const Workers* workers = nullptr);

// As convert, with the input's own buffer taking the output: the result's
// smf is `input`, emptied once the song was read and then filled with the
// Standard MIDI File, so a large file costs one buffer, not two. The song
// keeps copies of whatever it needs from the input. When it throws, `input`
// may hold anything.
Conversion convert(std::vector<std::uint8_t>&& input, std::string_view name, bool promote = false,
                   const Workers* workers = nullptr);

}  // namespace seqconv
