#include "midi/smf_writer.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace seqconv {

namespace {

void put_be16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void put_be32_at(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 24);
    out[at + 1] = static_cast<std::uint8_t>(value >> 16);
    out[at + 2] = static_cast<std::uint8_t>(value >> 8);
    out[at + 3] = static_cast<std::uint8_t>(value);
}

void put_tag(std::vector<std::uint8_t>& out, const char (&tag)[5]) { out.insert(out.end(), tag, tag + 4); }

// Appends data bytes [from, size) of an event.
void put_data_from(std::vector<std::uint8_t>& out, const MidiEvent& event, std::size_t from) {
    const std::size_t size = event.get_data_size();
    if (from >= size) return;
    const std::size_t at = out.size();
    out.resize(at + (size - from));
    event.get_data(from, size - from, out.data() + at);
}

void write_track(const MidiTrack& track, std::vector<std::uint8_t>& out) {
    put_tag(out, "MTrk");
    const std::size_t length_at = out.size();
    out.insert(out.end(), 4, 0);

    constexpr int no_status = -1;
    int running_status = no_status;
    std::uint32_t previous_time = 0;
    for (const MidiEvent& event : track) {
        const std::size_t size = event.get_data_size();
        const std::uint8_t first = size != 0 ? event.data_byte(0) : 0;
        const bool sysex = !event.is_channel_event() && size >= 1 && first == 0xF0;
        const bool meta = !event.is_channel_event() && size >= 2 && first == 0xFF;
        // Readers only make the two extended forms; anything else would leave
        // a delta time without its event, so it is not written at all.
        if (!event.is_channel_event() && !sysex && !meta) continue;

        write_vlq(out, event.timestamp - previous_time);
        previous_time = event.timestamp;

        if (event.is_channel_event()) {
            const int status = (0x80 + 16 * static_cast<int>(event.type) + static_cast<int>(event.channel)) & 0xFF;
            // A first data byte with its high bit set would be read back as
            // a status byte, so such an event always carries its status.
            if (status != running_status || (size != 0 && event.data_byte(0) >= 0x80)) {
                out.push_back(static_cast<std::uint8_t>(status));
                running_status = status;
            }
            put_data_from(out, event, 0);
            continue;
        }

        // Meta and system-exclusive events carry their length, which the song
        // does not store, and cancel running status.
        if (sysex) {
            out.push_back(0xF0);
            write_vlq(out, static_cast<std::uint32_t>(size - 1));
            put_data_from(out, event, 1);
        } else {
            out.push_back(0xFF);
            out.push_back(event.data_byte(1));
            write_vlq(out, static_cast<std::uint32_t>(size - 2));
            put_data_from(out, event, 2);
        }
        running_status = no_status;
    }

    const std::size_t body_length = out.size() - length_at - 4;
    if (body_length > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("track too long for a Standard MIDI File (" + std::to_string(body_length) +
                                " bytes, at most 4294967295)");
    put_be32_at(out, length_at, static_cast<std::uint32_t>(body_length));
}

}  // namespace

void write_vlq(std::vector<std::uint8_t>& out, std::uint32_t value) {
    int shift = 28;
    while (shift > 0 && (value >> shift) == 0) shift -= 7;
    for (; shift > 0; shift -= 7) out.push_back(static_cast<std::uint8_t>(((value >> shift) & 0x7F) | 0x80));
    out.push_back(static_cast<std::uint8_t>(value & 0x7F));
}

void write_smf(const MidiContainer& song, std::vector<std::uint8_t>& out) {
    const std::size_t tracks = song.track_count();
    if (tracks == 0) return;
    // The header's track count is 16 bits: a larger song cannot be written
    // without a header that lies about it.
    if (tracks > 0xFFFF)
        throw std::length_error("too many tracks for a Standard MIDI File (" + std::to_string(tracks) +
                                ", at most 65535)");

    put_tag(out, "MThd");
    out.insert(out.end(), {0, 0, 0, 6, 0, static_cast<std::uint8_t>(song.form())});
    put_be16(out, static_cast<std::uint32_t>(tracks));
    put_be16(out, song.timebase() & 0xFFFF);
    for (const MidiTrack& track : song.tracks()) write_track(track, out);
}

}  // namespace seqconv
