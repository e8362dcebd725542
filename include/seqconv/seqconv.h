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
#include <string>
#include <string_view>
#include <vector>

#include "base/workers.h"
#include "formats/fault.h"
#include "formats/input_format.h"
#include "midi/merge.h"
#include "midi/midi_container.h"
#include "midi/promote.h"
#include "midi/smf_writer.h"
#include "seqconv/loop_play.h"
#include "seqconv/song_facts.h"

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
    Fault fault;  // where and why a damaged input stopped the reader, or a near miss was refused
    MidiContainer song;
    std::optional<InputFormat> resembles;  // for an unrecognised input: the format it begins like
};

// The text after the last "." of `name`, directory parts included; none
// when the name holds no ".". Only LDS modules are recognised by it.
std::optional<std::string_view> extension_of(std::string_view name);

// The format that accepts the input, recognised by its contents (and, for
// LDS, by the extension of `name`); none when no format does.
std::optional<InputFormat> detect_format(std::span<const std::uint8_t> input, std::string_view name);

// How a read ended, worded for people, the same in every front end:
//   complete:     ""
//   damaged:      "damaged at byte 40 (cut off): track 2: event cut off"
//   unrecognised: why a file that begins like a format's was refused ("a
//                 RIFF RMID file cut off: it declares 92,466 bytes and holds
//                 40,000"), or "not a known format"
std::string fault_words(ReadStatus status, const Fault& fault);

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

// What convert_report does to the loops of each song.
enum class LoopWriting : std::uint8_t {
    as_read,   // left as the file marks them
    play_out,  // played out and faded (play_out_loops)
    mark,      // the song ended at its main loop's end, the loop marked for players (mark_loops)
};

// How convert_report converts: all off is what the program does without
// "-1".
struct ConversionOptions {
    bool promote = false;  // form 0 songs promoted to form 1 (the program's "-1")
    bool split = false;    // a form 2 song as one song per track (split_songs)
    LoopWriting loops = LoopWriting::as_read;
    PlayOut play_out;    // passes and fade for play_out; `whole` for both
    bool merge = false;  // the tracks merged into one, form 0 (a form 2 song is split first); before promote
    bool write = true;   // the Standard MIDI Files made
    bool facts = true;   // the facts of the song and of each file worked out
};

// One input's whole account: how its reading ended, the facts of the song
// read and of each file written from it, and those files.
struct Report {
    std::optional<InputFormat> format;
    std::optional<InputFormat> resembles;
    ReadStatus status = ReadStatus::unrecognised;
    Fault fault;
    SongFacts facts;                               // with `facts`: of the song read
    std::vector<SongFacts> songs;                  // with `facts`: of each file, in order
    std::vector<std::vector<std::uint8_t>> files;  // with `write`: the files, empty ones included
    std::size_t looped = 0;                        // songs whose loops were played out or marked
    Fault loop_fault;                              // why a song's loops were left as read: a play-out past the bounds
};

// Reads the input; then with `split` (or `merge`, for a form 2 song)
// splits the song; rewrites each song's loops as `loops` says (a song whose
// play-out would pass the bounds is left as read, and `loop_fault` says
// so); merges or promotes each song; and tells the facts of each. With the
// options off the files are those convert and convert_songs write.
Report convert_report(std::span<const std::uint8_t> input, std::string_view name, const ConversionOptions& options,
                      const Workers* workers = nullptr);

// One channel message of a Standard MIDI File, timed as the file plays.
struct TimedEvent {
    double seconds = 0;  // from the start of the file: a form 2 file's songs one after another
    std::uint32_t tick = 0;
    std::uint16_t track = 0;
    std::uint8_t status = 0;  // 0x80 + 16 x kind + channel
    std::uint8_t data1 = 0, data2 = 0;
};

struct TimedSong {
    ReadStatus status = ReadStatus::unrecognised;
    std::vector<TimedEvent> events;  // in time order; at one time by track, then as in the track
    std::optional<double> seconds;   // the time it plays; none when the division gives no time
};

// The channel messages of a Standard MIDI File (one the library wrote, say),
// read back by the library's own reader, for a player or a piano roll.
TimedSong timed_events(std::span<const std::uint8_t> smf);

// As convert, with the input's own buffer taking the output: the result's
// smf is `input`, emptied once the song was read and then filled with the
// Standard MIDI File, so a large file costs one buffer, not two. The song
// keeps copies of whatever it needs from the input. When it throws, `input`
// may hold anything.
Conversion convert(std::vector<std::uint8_t>&& input, std::string_view name, bool promote = false,
                   const Workers* workers = nullptr);

}  // namespace seqconv
