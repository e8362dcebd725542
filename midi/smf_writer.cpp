#include "midi/smf_writer.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace seqconv {

namespace {

// The number of bytes of `value`'s variable-length quantity, 1 to 5.
std::size_t vlq_size(std::uint32_t value) {
    if (value < (1u << 7)) return 1;
    if (value < (1u << 14)) return 2;
    if (value < (1u << 21)) return 3;
    return value < (1u << 28) ? 4 : 5;
}

// Where a track's bytes go. The writer runs the same encoding twice: first
// into a `Counter` to learn the exact size of the file, then into a `Writer`
// over a buffer of exactly that size. So the output never grows by doubling
// (which would hold up to twice the file, and three times while it moves),
// and no byte is written by a rule that the count did not follow.
struct Counter {
    std::size_t size = 0;
    void byte(std::uint8_t) { ++size; }
    void vlq(std::uint32_t value) { size += vlq_size(value); }
    void channel_data(const MidiEvent& event) { size += event.get_data_size(); }
    void data(const MidiEvent& event, std::size_t from) { size += event.get_data_size() - from; }
};

struct Writer {
    std::uint8_t* at;
    void byte(std::uint8_t value) { *at++ = value; }
    void vlq(std::uint32_t value) {
        if (value < 0x80) {  // most deltas
            *at++ = static_cast<std::uint8_t>(value);
            return;
        }
        for (std::size_t shift = 7 * (vlq_size(value) - 1); shift > 0; shift -= 7)
            *at++ = static_cast<std::uint8_t>(((value >> shift) & 0x7F) | 0x80);
        *at++ = static_cast<std::uint8_t>(value & 0x7F);
    }
    // A channel event's data bytes: one or two, inline.
    void channel_data(const MidiEvent& event) {
        const std::size_t size = event.inline_size();
        if (size == 2) {
            at[0] = event.data_byte(0);
            at[1] = event.data_byte(1);
            at += 2;
        } else if (size == 1) {
            *at++ = event.data_byte(0);
        } else {
            data(event, 0);
        }
    }
    // Data bytes [from, size) of an extended event.
    void data(const MidiEvent& event, std::size_t from) {
        at += event.get_data(from, event.get_data_size() - from, at);
    }
};

// The body of a track chunk: each event's delta time and bytes.
template <typename Sink>
void encode_track(const MidiTrack& track, Sink& sink) {
    constexpr int no_status = -1;
    int running_status = no_status;
    std::uint32_t previous_time = 0;
    for (const MidiEvent& event : track) {
        if (event.is_channel_event()) {
            sink.vlq(event.timestamp - previous_time);
            previous_time = event.timestamp;
            const int status = (0x80 + 16 * static_cast<int>(event.type) + static_cast<int>(event.channel)) & 0xFF;
            // A first data byte with its high bit set would be read back as
            // a status byte, so such an event always carries its status.
            if (status != running_status || (event.inline_size() != 0 && event.data_byte(0) >= 0x80)) {
                sink.byte(static_cast<std::uint8_t>(status));
                running_status = status;
            }
            sink.channel_data(event);
            continue;
        }

        const std::size_t size = event.get_data_size();
        const std::uint8_t first = size != 0 ? event.data_byte(0) : 0;
        const bool sysex = size >= 1 && first == 0xF0;
        const bool meta = size >= 2 && first == 0xFF;
        // Readers only make the two extended forms; anything else would leave
        // a delta time without its event, so it is not written at all.
        if (!sysex && !meta) continue;
        sink.vlq(event.timestamp - previous_time);
        previous_time = event.timestamp;

        // Meta and system-exclusive events carry their length, which the song
        // does not store, and cancel running status.
        if (sysex) {
            sink.byte(0xF0);
            sink.vlq(static_cast<std::uint32_t>(size - 1));
            sink.data(event, 1);
        } else {
            sink.byte(0xFF);
            sink.byte(event.data_byte(1));
            sink.vlq(static_cast<std::uint32_t>(size - 2));
            sink.data(event, 2);
        }
        running_status = no_status;
    }
}

void put_be32(Writer& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.byte(static_cast<std::uint8_t>(value >> shift));
}

void put_tag(Writer& out, const char (&tag)[5]) {
    std::memcpy(out.at, tag, 4);
    out.at += 4;
}

}  // namespace

void write_vlq(std::vector<std::uint8_t>& out, std::uint32_t value) {
    const std::size_t at = out.size();
    out.resize(at + vlq_size(value));
    Writer writer{out.data() + at};
    writer.vlq(value);
}

void write_smf(const MidiContainer& song, std::vector<std::uint8_t>& out) {
    const std::size_t tracks = song.track_count();
    if (tracks == 0) return;
    // The header's track count is 16 bits: a larger song cannot be written
    // without a header that lies about it.
    if (tracks > 0xFFFF)
        throw std::length_error("too many tracks for a Standard MIDI File (" + std::to_string(tracks) +
                                ", at most 65535)");

    // The chunk lengths are 32 bits: a longer track cannot be written either.
    std::vector<std::uint32_t> body_lengths;
    body_lengths.reserve(tracks);
    std::size_t total = 14;
    for (const MidiTrack& track : song.tracks()) {
        Counter counter;
        encode_track(track, counter);
        if (counter.size > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("track too long for a Standard MIDI File (" + std::to_string(counter.size) +
                                    " bytes, at most 4294967295)");
        body_lengths.push_back(static_cast<std::uint32_t>(counter.size));
        total += 8 + counter.size;
    }

    const std::size_t start = out.size();
    out.resize(start + total);
    Writer writer{out.data() + start};
    put_tag(writer, "MThd");
    put_be32(writer, 6);
    writer.byte(0);
    writer.byte(static_cast<std::uint8_t>(song.form()));
    writer.byte(static_cast<std::uint8_t>(tracks >> 8));
    writer.byte(static_cast<std::uint8_t>(tracks));
    writer.byte(static_cast<std::uint8_t>(song.timebase() >> 8));
    writer.byte(static_cast<std::uint8_t>(song.timebase()));
    for (std::size_t i = 0; i < tracks; ++i) {
        put_tag(writer, "MTrk");
        put_be32(writer, body_lengths[i]);
        encode_track(song.track(i), writer);
    }
}

}  // namespace seqconv
