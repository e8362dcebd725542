#pragma once

// Helpers shared by the tests: byte lists, events and songs written plainly.

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "formats/byte_cursor.h"
#include "midi/midi_container.h"
#include "midi/smf_writer.h"
#include "testkit/formats.h"

namespace seqconv::test {

// Files are written with the test-file kit; these are its names as the
// tests know them.
using testkit::be32;
using testkit::Bytes;
using testkit::le16;
using testkit::le32;
using testkit::riff_chunk;
using testkit::smf;
using testkit::smf_header;

inline Bytes bytes_of(const std::string& text) { return testkit::text(text); }
inline Bytes concat(std::initializer_list<Bytes> parts) { return testkit::cat(parts); }
inline ByteRange range_of(const Bytes& bytes) { return ByteRange(bytes.data(), bytes.size()); }
inline Bytes mtrk(const Bytes& body) { return testkit::be_chunk("MTrk", body); }
// A RIFF RMID form holding `chunks`, its size counting exactly them.
inline Bytes rmid(const Bytes& chunks) { return testkit::riff("RMID", chunks); }

inline MidiEvent channel_event(std::uint32_t time, MidiEventType type, std::uint32_t channel, Bytes data) {
    return MidiEvent(time, type, channel, data.data(), data.size());
}
inline MidiEvent note_on(std::uint32_t time, std::uint8_t key, std::uint8_t velocity = 0x64,
                         std::uint32_t channel = 0) {
    return channel_event(time, MidiEventType::note_on, channel, {key, velocity});
}
inline MidiEvent extended(std::uint32_t time, Bytes data) {
    return MidiEvent(time, MidiEventType::extended, 0, data.data(), data.size());
}

// Songs built event by event, for the tests of what the library works out
// from a song.
using Events = std::vector<MidiEvent>;
inline MidiEvent cc(std::uint32_t time, std::uint8_t number, std::uint8_t value, std::uint8_t channel = 0) {
    return channel_event(time, MidiEventType::control_change, channel, {number, value});
}
inline MidiEvent end_of_track_at(std::uint32_t time) { return extended(time, {0xFF, 0x2F}); }
inline MidiEvent tempo_at(std::uint32_t time, std::uint32_t micro) {
    return extended(time, {0xFF, 0x51, std::uint8_t(micro >> 16), std::uint8_t(micro >> 8), std::uint8_t(micro)});
}
inline MidiEvent marker_at(std::uint32_t time, const std::string& text) {
    Bytes data{0xFF, 0x06};
    data.insert(data.end(), text.begin(), text.end());
    return extended(time, data);
}
inline MidiContainer song_of(std::uint32_t form, std::uint32_t timebase, const std::vector<Events>& tracks) {
    MidiContainer song;
    song.initialize(form, timebase);
    for (const Events& events : tracks) {
        MidiTrack track;
        for (const MidiEvent& event : events) track.add_event(event);
        song.add_track(track);
    }
    return song;
}

inline Bytes data_of(const MidiEvent& event) {
    Bytes out(event.get_data_size());
    event.get_data(0, out.size(), out.data());
    return out;
}

// One event as text: "@time" then the status byte (rebuilt for channel
// events) and the data bytes, in hex. An end of track reads "@96 FF 2F".
inline std::string describe(const MidiEvent& event) {
    std::string out = "@";
    out += std::to_string(event.timestamp);
    char hex[4];
    if (event.is_channel_event()) {
        std::snprintf(hex, sizeof hex, " %02X", unsigned(0x80 + 16 * unsigned(event.type) + event.channel) & 0xFFu);
        out += hex;
    }
    for (std::uint8_t byte : data_of(event)) {
        std::snprintf(hex, sizeof hex, " %02X", unsigned(byte));
        out += hex;
    }
    return out;
}
inline std::vector<std::string> describe(const MidiTrack& track) {
    std::vector<std::string> out;
    for (const MidiEvent& event : track) out.push_back(describe(event));
    return out;
}
using Lines = std::vector<std::string>;

// A track on one line, its events joined by ", "; a song as
// "form/timebase: track | track".
inline std::string joined(const MidiTrack& track) {
    std::string out;
    for (const std::string& event : describe(track)) out += (out.empty() ? "" : ", ") + event;
    return out;
}
inline std::string summary(const MidiContainer& song) {
    std::string out = std::to_string(song.form()) + "/" + std::to_string(song.timebase()) + ":";
    for (std::size_t i = 0; i < song.track_count(); ++i) out += (i == 0 ? " " : " | ") + joined(song.track(i));
    return out;
}

inline Bytes written(const MidiContainer& song) {
    Bytes out;
    write_smf(song, out);
    return out;
}

}  // namespace seqconv::test
