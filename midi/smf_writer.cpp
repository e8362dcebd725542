#include "midi/smf_writer.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include "base/workers.h"

namespace seqconv {

namespace {

// The number of bytes of `value`'s variable-length quantity, 1 to 5.
std::size_t vlq_size(std::uint32_t value) {
    if (value < (1u << 7)) return 1;
    if (value < (1u << 14)) return 2;
    if (value < (1u << 21)) return 3;
    return value < (1u << 28) ? 4 : 5;
}

// Where a track's bytes go. For a large song the writer runs the same
// encoding twice: first into a `Counter` to learn the exact size of the file,
// then into a `Writer` over a buffer of exactly that size. So the output never
// grows by doubling (which would hold up to twice the file, and three times
// while it moves), and no byte is written by a rule that the count did not
// follow. A small song is written in one pass by a `GrowingWriter`: its
// output is small beside what the process holds anyway, and one pass over
// the events costs less than two. `room(n)` comes before each event with the
// most bytes the event can take.
struct Counter {
    std::size_t size = 0;
    void room(std::size_t) {}
    void byte(std::uint8_t) { ++size; }
    void vlq(std::uint32_t value) { size += vlq_size(value); }
    void status(std::uint8_t, bool put) { size += put; }
    void channel_data(const MidiEvent& event) { size += event.get_data_size(); }
    void data(const MidiEvent& event, std::size_t from) { size += event.get_data_size() - from; }
};

struct Writer {
    std::uint8_t* at;
    void room(std::size_t) {}
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
    // A status byte where `put`: stored in any case, kept only then.
    void status(std::uint8_t value, bool put) {
        *at = value;
        at += put;
    }
    // A channel event's data bytes, nearly always one or two, inline: both
    // are stored, and as many kept. So two bytes must be free past the
    // event's end.
    void channel_data(const MidiEvent& event) {
        const std::size_t size = event.inline_size();
        if (size <= 2) {
            at[0] = event.short_byte(0);
            at[1] = event.short_byte(1);
            at += size;
        } else {
            data(event, 0);
        }
    }
    // Data bytes [from, size) of an extended event.
    void data(const MidiEvent& event, std::size_t from) {
        at += event.get_data(from, event.get_data_size() - from, at);
    }
};

// A `Writer` that makes room in `out` as it goes.
struct GrowingWriter : Writer {
    std::vector<std::uint8_t>& out;
    std::uint8_t* end;

    GrowingWriter(std::vector<std::uint8_t>& buffer, std::size_t from)
        : Writer{buffer.data() + from}, out(buffer), end(buffer.data() + buffer.size()) {}
    std::size_t offset() const { return static_cast<std::size_t>(at - out.data()); }
    void room(std::size_t bytes) {
        if (static_cast<std::size_t>(end - at) < bytes) grow(bytes);
    }
    void grow(std::size_t bytes) {
        const std::size_t used = offset();
        out.resize(std::max(2 * out.size(), used + bytes));
        at = out.data() + used;
        end = out.data() + out.size();
    }
};

// The body of a track chunk: each event's delta time and bytes. A channel
// event takes at most a 5-byte delta, its status and its data; an extended
// one a 5-byte delta, FF and the type or F0, a 5-byte length and its data.
template <typename Sink>
void encode_track(const MidiTrack& track, Sink& sink) {
    constexpr int no_status = -1;
    int running_status = no_status;
    std::uint32_t previous_time = 0;
    for (const MidiEvent& event : track) {
        if (event.is_channel_event()) {
            sink.room(8 + event.get_data_size());
            sink.vlq(event.timestamp - previous_time);
            previous_time = event.timestamp;
            const int status = (0x80 + 16 * static_cast<int>(event.type) + static_cast<int>(event.channel)) & 0xFF;
            // A first data byte with its high bit set would be read back as
            // a status byte, so such an event always carries its status.
            // Status and data are stored without branches where the data
            // are one or two bytes, as nearly all are.
            const std::size_t size = event.inline_size();
            const bool high_first =
                size <= 2 ? (size != 0) & (event.short_byte(0) >= 0x80) : event.data_byte(0) >= 0x80;
            sink.status(static_cast<std::uint8_t>(status), (status != running_status) | high_first);
            running_status = status;
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
        sink.room(12 + size);
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

void put_tag(Writer& out, const char (&tag)[5]) {
    std::memcpy(out.at, tag, 4);
    out.at += 4;
}

void put_be32(Writer& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.byte(static_cast<std::uint8_t>(value >> shift));
}

void put_header(Writer& out, const MidiContainer& song) {
    put_tag(out, "MThd");
    put_be32(out, 6);
    out.byte(0);
    out.byte(static_cast<std::uint8_t>(song.form()));
    out.byte(static_cast<std::uint8_t>(song.track_count() >> 8));
    out.byte(static_cast<std::uint8_t>(song.track_count()));
    out.byte(static_cast<std::uint8_t>(song.timebase() >> 8));
    out.byte(static_cast<std::uint8_t>(song.timebase()));
}

// The chunk lengths are 32 bits: a longer track cannot be written.
void check_track_length(std::size_t length) {
    if (length > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("track too long for a Standard MIDI File (" + std::to_string(length) +
                                " bytes, at most 4294967295)");
}

// A small song in one pass: each chunk's length is filled in once its body
// is written. On an exception `out` is left as it was.
void write_small(const MidiContainer& song, std::size_t events, std::vector<std::uint8_t>& out) {
    const std::size_t start = out.size();
    try {
        // Channel events mostly take three or four bytes.
        out.resize(start + 14 + 8 * song.track_count() + 4 * events);
        GrowingWriter writer(out, start);
        put_header(writer, song);
        for (const MidiTrack& track : song.tracks()) {
            writer.room(8);
            const std::size_t chunk = writer.offset();
            put_tag(writer, "MTrk");
            put_be32(writer, 0);
            encode_track(track, writer);
            const std::size_t length = writer.offset() - chunk - 8;
            check_track_length(length);
            Writer length_field{out.data() + chunk + 4};
            put_be32(length_field, static_cast<std::uint32_t>(length));
        }
        out.resize(writer.offset());
    } catch (...) {
        out.resize(start);
        throw;
    }
}

// Songs of this many events on are sized exactly before they are written, and
// have their tracks counted and written on the workers given; below it a
// second pass and handing out the tracks would cost more than they save.
constexpr std::size_t parallel_event_count = std::size_t{1} << 16;

}  // namespace

void write_vlq(std::vector<std::uint8_t>& out, std::uint32_t value) {
    const std::size_t at = out.size();
    out.resize(at + vlq_size(value));
    Writer writer{out.data() + at};
    writer.vlq(value);
}

void write_smf(const MidiContainer& song, std::vector<std::uint8_t>& out, const Workers* workers) {
    const std::size_t tracks = song.track_count();
    if (tracks == 0) return;
    // The header's track count is 16 bits: a larger song cannot be written
    // without a header that lies about it.
    if (tracks > 0xFFFF)
        throw std::length_error("too many tracks for a Standard MIDI File (" + std::to_string(tracks) +
                                ", at most 65535)");

    std::size_t events = 0;
    for (const MidiTrack& track : song.tracks()) events += track.size();
    if (events < parallel_event_count) {
        write_small(song, events, out);
        return;
    }

    // Tracks are counted and written independently of each other, so a large
    // song has them done at once on the workers, the largest first.
    std::vector<std::size_t> order(tracks);
    for (std::size_t i = 0; i < tracks; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return song.track(a).size() > song.track(b).size(); });
    const auto each_track = [&](const std::function<void(std::size_t)>& work) {
        for_each_index(workers, tracks, [&](std::size_t k) { work(order[k]); });
    };

    std::vector<std::size_t> body_lengths(tracks);
    each_track([&](std::size_t i) {
        Counter counter;
        encode_track(song.track(i), counter);
        body_lengths[i] = counter.size;
    });
    std::size_t total = 14;
    std::vector<std::size_t> offsets(tracks);
    for (std::size_t i = 0; i < tracks; ++i) {
        check_track_length(body_lengths[i]);
        offsets[i] = total;
        total += 8 + body_lengths[i];
    }

    // A writer may store two bytes past a track's last event: into the next
    // chunk's header, which is written only once every body is, and past the
    // last track into two bytes given back at the end.
    const std::size_t start = out.size();
    out.resize(start + total + 2);
    std::uint8_t* const file = out.data() + start;
    each_track([&](std::size_t i) {
        Writer body{file + offsets[i] + 8};
        encode_track(song.track(i), body);
    });
    Writer writer{file};
    put_header(writer, song);
    for (std::size_t i = 0; i < tracks; ++i) {
        Writer chunk{file + offsets[i]};
        put_tag(chunk, "MTrk");
        put_be32(chunk, static_cast<std::uint32_t>(body_lengths[i]));
    }
    out.resize(start + total);
}

}  // namespace seqconv
