#pragma once

// Music described apart from any file format: a track is a list of events
// at absolute times in ticks. The format writers (formats.h) turn tracks
// into each format's own event syntax; a note on may carry its duration,
// which formats without durations write as a note off.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <vector>

#include "testkit/bytes.h"

namespace testkit {

struct Event {
    enum class Kind : std::uint8_t { channel, meta, sysex, raw };
    std::uint32_t time = 0;
    Kind kind = Kind::channel;
    std::uint8_t status = 0;   // channel: 8n to En; meta: its type
    Bytes data;                // channel: the data bytes; meta, sysex: the
                               // payload; raw: bytes written as they stand
    std::uint32_t length = 0;  // a note on's duration in ticks, 0 for none

    bool is(std::uint8_t kind_bits) const { return kind == Kind::channel && (status & 0xF0) == kind_bits; }
    std::uint8_t channel() const { return status & 0x0F; }
    bool is_meta(std::uint8_t type) const { return kind == Kind::meta && status == type; }
};
using Track = std::vector<Event>;

inline Event message(std::uint32_t time, std::uint8_t status, Bytes data) {
    return {time, Event::Kind::channel, status, std::move(data)};
}
inline Event note(std::uint32_t time, std::uint8_t channel, std::uint8_t key, std::uint8_t velocity,
                  std::uint32_t length) {
    return {time, Event::Kind::channel, std::uint8_t(0x90 | channel), {key, velocity}, length};
}
inline Event program(std::uint32_t time, std::uint8_t channel, std::uint8_t number) {
    return message(time, std::uint8_t(0xC0 | channel), {number});
}
inline Event controller(std::uint32_t time, std::uint8_t channel, std::uint8_t number, std::uint8_t value) {
    return message(time, std::uint8_t(0xB0 | channel), {number, value});
}
inline Event meta(std::uint32_t time, std::uint8_t type, Bytes payload = {}) {
    return {time, Event::Kind::meta, type, std::move(payload)};
}
inline Event text_event(std::uint32_t time, std::uint8_t type, std::string_view words) {
    return meta(time, type, text(words));
}
// Microseconds a quarter note.
inline Event tempo(std::uint32_t time, std::uint32_t microseconds) {
    return meta(time, 0x51, {std::uint8_t(microseconds >> 16), std::uint8_t(microseconds >> 8), std::uint8_t(microseconds)});
}
inline Event end_of_track(std::uint32_t time) { return meta(time, 0x2F); }
// The message after F0, its closing F7 included.
inline Event sysex(std::uint32_t time, Bytes payload) { return {time, Event::Kind::sysex, 0xF0, std::move(payload)}; }
inline Event raw(std::uint32_t time, Bytes bytes) { return {time, Event::Kind::raw, 0, std::move(bytes)}; }

inline void sort_by_time(Track& track) {
    std::stable_sort(track.begin(), track.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
}

// Each note with a duration as a note on and, when it ends, a note off of
// velocity 40, in time order (events at one time keep their order).
inline Track with_note_offs(const Track& track) {
    Track out;
    for (const Event& e : track) {
        out.push_back(e);
        out.back().length = 0;
        if (e.is(0x90) && e.length != 0)
            out.push_back(message(e.time + e.length, std::uint8_t(0x80 | e.channel()), {e.data[0], 0x40}));
    }
    sort_by_time(out);
    return out;
}

// The tracks as one, in time order; at one time the first track's events
// come first.
inline Track merged(std::initializer_list<Track> tracks) {
    Track out;
    for (const Track& track : tracks) out.insert(out.end(), track.begin(), track.end());
    sort_by_time(out);
    return out;
}

inline Track on_channel(const Track& track, std::uint8_t channel) {
    Track out;
    std::copy_if(track.begin(), track.end(), std::back_inserter(out),
                 [channel](const Event& e) { return e.kind == Event::Kind::channel && e.channel() == channel; });
    return out;
}

}  // namespace testkit
