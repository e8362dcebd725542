#pragma once

// One writer for each format the program reads: each turns tracks of
// music.h, or event bytes written by hand, into that format's file. The
// options carry what odd and damaged files need: running status, tracks
// without an end, HMI directory entries in any order, MIDS without stream
// ids, a last SMF track that claims more bytes than it holds.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testkit/bytes.h"
#include "testkit/music.h"

namespace testkit {

// Event streams. -------------------------------------------------------------

// How a format times and writes its events:
//  - vlq: Standard MIDI File deltas (also HMI, GMF); hmp: HMP's deltas,
//    least significant group first; xmi_delays: bytes below 80 that add up,
//    and nothing between events at one time;
//  - durations: a note on carries its length as a variable-length quantity
//    after its data bytes (HMI, XMI); otherwise it is ended by a note off;
//  - running_status: a status byte is left out where it repeats the last;
//  - end_of_track: FF 2F after the last event when the track has none.
enum class Timing : std::uint8_t { vlq, hmp, xmi_delays };
struct StreamStyle {
    Timing timing = Timing::vlq;
    bool durations = false;
    bool running_status = false;
    bool end_of_track = true;
};
Bytes event_stream(const Track& track, StreamStyle style);

inline Bytes smf_events(const Track& track, bool running_status = false, bool end = true) {
    return event_stream(track, {Timing::vlq, false, running_status, end});
}
inline Bytes hmp_events(const Track& track, bool end = true) {
    return event_stream(track, {Timing::hmp, false, false, end});
}
inline Bytes hmi_events(const Track& track, bool running_status = false, bool end = true) {
    return event_stream(track, {Timing::vlq, true, running_status, end});
}
inline Bytes xmi_events(const Track& track, bool end = true) {
    return event_stream(track, {Timing::xmi_delays, true, false, end});
}

// A meta event's bytes, without a delta: FF, type, length, payload.
inline Bytes meta_bytes(std::uint8_t type, const Bytes& payload = {}) {
    return cat({{0xFF, type}, vlq(std::uint32_t(payload.size())), payload});
}

// Standard MIDI Files and RIFF RMID. -----------------------------------------

Bytes smf_header(std::uint16_t form, std::uint16_t tracks, std::uint16_t division);
// The header, counting the bodies, then a track chunk for each. The last
// chunk may declare `last_length_extra` bytes more than it holds.
Bytes smf(std::uint16_t form, std::uint16_t division, const std::vector<Bytes>& bodies,
          std::uint32_t last_length_extra = 0);

// RIFF "RMID": the file in a "data" chunk, then `more` chunks.
Bytes rmid(const Bytes& smf_file, const Bytes& more = {});
// A "LIST" "INFO" chunk of texts ("INAM", "ICOP", ...).
Bytes info_list(const std::vector<std::pair<std::string, Bytes>>& texts);

// GMF: "GMF" 01, the tempo (big-endian, tenths of a second a quarter
// note), a byte not read, then a bare event stream.
Bytes gmf(std::uint16_t tempo, const Bytes& stream);

// HMP and HMI. ----------------------------------------------------------------

// "HMIMIDIP": the track count at 48; from 0x80 records of the track
// number, the record's length and the channel (32 bits each) and the
// events; 4 bytes after the last record. "HMIMIDIR": the count at 26,
// ticks per quarter note at 77; from 0x60 records of the length and the
// track number (16 bits each) and the events; 2 bytes after the first.
struct HmpOptions {
    bool variant_r = false;
    std::uint8_t ticks_per_quarter = 192;  // the second variant's
};
Bytes hmp(const std::vector<Bytes>& tracks, HmpOptions options = {});

// "HMI-MIDITRACK", the offsets of its name record and of its events at 75
// and 87, the name record (a zero, the length, the name), the events. A
// track without a name has no record and a name offset of 0.
Bytes hmi_track(const std::optional<std::string>& name, const Bytes& events);
// "HMI-MIDISONG061595", the directory's entry count at 228 and its offset
// (236) at 232, the directory of track offsets, the tracks. Entry i points
// at track order[i]; by default each track has its entry, in order.
Bytes hmi(const std::vector<Bytes>& tracks, std::vector<std::size_t> order = {});

// XMI. -------------------------------------------------------------------------

// A song: its events and, when not empty, the body of its "TIMB" chunk.
struct XmiSong {
    Bytes events{};
    Bytes timbres{};
};
// A "TIMB" body: the count, then a program and a bank for each timbre.
Bytes xmi_timbres(const std::vector<std::pair<std::uint8_t, std::uint8_t>>& programs_and_banks);
// FORM "XDIR" (INFO: the song count, then `directory_extra`), then
// CAT "XMID" holding each song as FORM "XMID" ("TIMB", "EVNT").
Bytes xmi(const std::vector<XmiSong>& songs, const Bytes& directory_extra = {});

// MUS. -------------------------------------------------------------------------

// The 16-byte header (score length and start, primary and secondary channel
// counts, instrument count, a zero), the instrument list, the score.
struct MusHeader {
    std::uint16_t primary_channels = 0;
    std::uint16_t secondary_channels = 0;
    std::vector<std::uint16_t> instruments{};
    std::optional<std::uint16_t> score_length{};  // the score's own by default
};
Bytes mus(const MusHeader& header, const Bytes& score);
// A score from a track: each event a descriptor (bit 7: a delay follows;
// kind; channel) and its data, the last at a time followed
// by the delay to the next; then the score end (60) at the track's end.
// Programs are written as controller 0, velocities only where they change;
// tempo and the controllers MUS lacks are left out.
Bytes mus_score(const Track& track);

// RIFF MIDS. --------------------------------------------------------------------

// "fmt ": ticks per quarter note, the largest block, flags (bit 0: the
// events carry no stream id), `extra` bytes; "data": the block count, then
// blocks of their start time, size and events.
struct MidsFormat {
    std::uint32_t ticks_per_quarter = 96;
    std::uint32_t max_block = 0;
    std::uint32_t flags = 0;
    Bytes extra{};
};
struct MidsBlock {
    std::uint32_t start = 0;
    Bytes events{};
};
Bytes mids(const MidsFormat& format, const std::vector<MidsBlock>& blocks);
// One event: a 32-bit delta, a stream id of 0 where `stream_id`, the word
// (top byte 1: a tempo; 0: a short message from the low byte up).
Bytes mids_event(std::uint32_t delta, std::uint32_t word, bool stream_id = true);
// The track's tempo changes and channel messages, `per_block` to a block.
std::vector<MidsBlock> mids_blocks(const Track& track, std::size_t per_block, bool stream_ids = true);

}  // namespace testkit
