#pragma once

// Helpers shared by the tests: byte lists, events and songs written plainly.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "formats/byte_cursor.h"
#include "midi/midi_container.h"
#include "midi/smf_writer.h"

namespace seqconv::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline ByteRange range_of(const Bytes& bytes) { return ByteRange(bytes.data(), bytes.size()); }

inline Bytes be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
inline Bytes le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
inline Bytes le16(std::uint16_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }

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

inline Bytes data_of(const MidiEvent& event) {
    Bytes out(event.get_data_size());
    event.get_data(0, out.size(), out.data());
    return out;
}

// A Standard MIDI File built from its parts.
inline Bytes smf_header(std::uint16_t form, std::uint16_t tracks, std::uint16_t division) {
    return concat({bytes_of("MThd"), be32(6),
                   {std::uint8_t(form >> 8), std::uint8_t(form), std::uint8_t(tracks >> 8), std::uint8_t(tracks),
                    std::uint8_t(division >> 8), std::uint8_t(division)}});
}
inline Bytes mtrk(const Bytes& body) { return concat({bytes_of("MTrk"), be32(std::uint32_t(body.size())), body}); }

inline Bytes written(const MidiContainer& song) {
    Bytes out;
    write_smf(song, out);
    return out;
}

}  // namespace seqconv::test
