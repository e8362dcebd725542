// Standard MIDI File reader.
//
//   offset  size  meaning (big-endian)
//   0       4     "MThd"
//   4       4     header length, 6
//   8       2     form: 0 one track, 1 simultaneous tracks, 2 independent ones
//   10      2     number of track chunks
//   12      2     division: ticks per quarter note, or SMPTE frames and ticks
//   14      ...   track chunks: "MTrk", body length L (4), L bytes of events
//
// Each event is a delta time (variable-length quantity) and a MIDI message,
// with running status for channel messages.

#include "formats/smf_reader.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "base/workers.h"
#include "formats/readers.h"

namespace seqconv {

namespace {

// A channel message with a delta time of one or two bytes: most of the
// events of a dense track.
struct ShortEvent {
    std::uint32_t delta = 0;
    std::uint8_t status = 0;
    std::uint8_t data[2] = {0, 0};
    std::size_t count = 0;  // data bytes
};

// The most bytes such an event takes: two of delta time, a status byte and
// two data bytes. Every index below stays inside the view of this many bytes
// that the cursor gives: at most 2 for the delta, then at most 1 for the
// status, then at[0] and at[1].
constexpr std::size_t short_event_bytes = 5;

// Takes such an event when it stands whole at the cursor (under the running
// status, or with a status byte of its own); otherwise takes nothing and
// leaves the event to the general decoding.
inline bool next_short_event(ByteCursor& cursor, std::uint8_t running_status, ShortEvent& event) {
    ByteRange next;
    if (!cursor.peek(short_event_bytes, next)) return false;
    const std::uint8_t* at = next.begin;
    if (at[0] < 0x80) {
        event.delta = *at++;
    } else if (at[1] < 0x80) {
        event.delta = std::uint32_t(at[0] & 0x7F) << 7 | at[1];
        at += 2;
    } else {
        return false;
    }
    event.status = *at < 0x80 ? running_status : *at++;
    if (event.status < 0x80 || event.status >= 0xF0) return false;
    event.count = channel_data_bytes(event.status);
    event.data[0] = at[0];
    event.data[1] = event.count == 2 ? at[1] : 0;
    cursor.skip(std::size_t(at - next.begin) + event.count);
    return true;
}

// How many events decoding a track body from `cursor` on in SMF mode will
// add, the end of track included: one quick pass over the bytes, so that the
// track is sized once rather than grown by doubling, which would touch twice
// the memory it ends up holding and move every event as it goes. The count
// only sizes the track; where it stops early the track still grows as usual.
std::size_t count_smf_events(ByteCursor cursor) {
    std::size_t count = 0;
    std::uint8_t running_status = 0;
    std::uint8_t byte = 0;
    for (;;) {
        ShortEvent event;
        if (next_short_event(cursor, running_status, event)) {
            running_status = event.status;
            ++count;
            continue;
        }
        do {
            if (!cursor.u8(byte)) return count + 1;
        } while (byte & 0x80);
        std::uint8_t status = 0;
        if (!cursor.u8(status)) return count + 1;
        std::size_t data_bytes = 0;
        if (status < 0x80) {
            if (running_status == 0) return count;
            data_bytes = channel_data_bytes(running_status) - 1;
        } else if (status == 0xF0 || status == 0xFF) {
            std::uint8_t type = 0;
            std::uint32_t length = 0;
            if ((status == 0xFF && !cursor.u8(type)) || !read_vlq(cursor, length) || !cursor.skip(length))
                return count + 1;
            ++count;
            if (status == 0xFF && type == 0x2F) return count;
            continue;
        } else if (status == 0xFB || status == 0xFC) {
            continue;
        } else if (status > 0xF0) {
            return count;
        } else {
            running_status = status;
            data_bytes = channel_data_bytes(status);
        }
        if (!cursor.skip(data_bytes)) return count + 1;
        ++count;
    }
}

void report_track(Fault* fault, const Stop& stop, std::size_t track) {
    report(fault, fault_kind(stop.step), stop.offset, "track " + std::to_string(track) + ": " + stop.reason);
}

// The body of read_smf_track: the finished track goes into `track`, which
// starts empty. A fault leaves `stop` telling where and why: on a false
// result the fault that made the track fail, on a true one the event cut off
// by the end of the range that ended it.
bool decode_track(ByteCursor& cursor, std::size_t limit, MidiTrack& track, bool smf_mode, Stop& stop) {
    std::vector<std::uint8_t> data;
    std::uint8_t running_status = 0;  // 0: none yet
    std::uint32_t time = 0;
    // A GMF stream has no end-of-track event to count up to; each of its
    // events takes at least a delta and a data byte.
    if (smf_mode)
        track.reserve(count_smf_events(cursor));
    else
        track.reserve_up_to((limit > cursor.offset() ? limit - cursor.offset() : 0) / 2 + 1);

    for (;;) {
        // The bulk of a dense track, taken in one step: a delta time of one
        // or two bytes and a channel message with all its data bytes, under
        // running status or with its status byte.
        ShortEvent event;
        if (smf_mode && next_short_event(cursor, running_status, event)) {
            time = add_ticks(time, event.delta);
            running_status = event.status;
            track.add_event(MidiEvent(time, channel_event_type(event.status), event.status & 0x0F, event.data[0],
                                      event.data[1], event.count));
            continue;
        }

        if (!smf_mode && cursor.offset() >= limit) break;
        const ByteCursor event_start = cursor;
        const std::uint32_t time_before = time;
        // A GMF stream may end with a delta time that no event follows.
        bool stream_end = false;

        // Reads one delta time and event; `cut_off` when the range ends
        // inside it, in which case neither the delta nor the event counts.
        const auto step = [&]() -> Step {
            std::uint32_t delta = 0;
            if (!read_vlq(cursor, delta)) return Step::cut_off;
            if (!smf_mode && cursor.offset() >= limit) {
                stream_end = true;
                return Step::cut_off;
            }
            // A delta with the top bit set counts as its magnitude.
            if (delta & 0x80000000u) delta = 0u - delta;
            time = add_ticks(time, delta);

            std::uint8_t status = 0;
            if (!cursor.u8(status)) return Step::cut_off;
            std::uint8_t first_data = 0;
            bool have_first = false;
            if (status < 0x80) {
                if (running_status == 0) {
                    stop = {Step::malformed, cursor.offset() - 1, "data byte without running status"};
                    return Step::malformed;
                }
                first_data = status;
                have_first = true;
                status = running_status;
            }

            if (status == 0xF0 || status == 0xFF) {
                data.assign(1, status);
                if (status == 0xFF) {
                    std::uint8_t type = 0;
                    if (!cursor.u8(type)) return Step::cut_off;
                    data.push_back(type);
                }
                const std::size_t length_at = cursor.offset();
                if (const Step p = read_payload(cursor, data); p != Step::event) {
                    if (p == Step::malformed) stop = {p, length_at, "negative length"};
                    return p;
                }
                track.add_event(MidiEvent(time, MidiEventType::extended, 0, data.data(), data.size()));
                return status == 0xFF && data[1] == 0x2F ? Step::end_of_track : Step::event;
            }
            if (status == 0xFB || status == 0xFC) return Step::event;  // clock start/stop: no event
            if (status > 0xF0) {
                // F7 continues a system-exclusive message in packets, or
                // escapes arbitrary bytes; the others have no place in a track.
                if (status == 0xF7)
                    stop = {Step::unsupported, cursor.offset() - 1, "F7 packet"};
                else
                    stop = {Step::malformed, cursor.offset() - 1, "system message in a track"};
                return stop.step;
            }

            running_status = status;
            // GMF streams carry pitch-wheel status bytes without data bytes.
            if (!smf_mode && (status >> 4) == 0xE) return Step::event;
            std::uint8_t second = 0;
            if (!have_first && !cursor.u8(first_data)) return Step::cut_off;
            const std::size_t count = channel_data_bytes(status);
            if (count == 2 && !cursor.u8(second)) return Step::cut_off;
            track.add_event(MidiEvent(time, channel_event_type(status), status & 0x0F, first_data, second, count));
            return Step::event;
        };

        const Step result = step();
        if (result == Step::end_of_track) return true;
        if (result == Step::cut_off) {
            // The range ended inside this delta time or event: the track ends
            // where the last whole event left it.
            if (!stream_end) stop = {Step::cut_off, event_start.offset(), "event cut off"};
            cursor = event_start;
            time = time_before;
            break;
        }
        if (result != Step::event) return false;
    }
    track.add_event(make_end_of_track(time));
    return true;
}

// A track chunk's body, found from the chunk headers: where it starts, and
// where decoding must stop at the latest.
struct TrackBody {
    std::size_t start = 0;
    std::size_t read_end = 0;
    std::size_t declared_end = 0;
};

// Inputs from this size on have their tracks decoded side by side on the
// workers given; below it handing out the tracks would cost more than it
// saves.
constexpr std::size_t parallel_input_size = std::size_t{1} << 20;

}  // namespace

bool read_smf_track(ByteCursor& cursor, std::size_t limit, MidiContainer& song, bool smf_mode, Fault* fault) {
    MidiTrack track;
    Stop stop;
    const bool read = decode_track(cursor, limit, track, smf_mode, stop);
    if (stop.step != Step::event) report_track(fault, stop, song.track_count());
    if (!read) return false;
    song.add_track(std::move(track));
    return true;
}

bool read_smf(ByteRange input, MidiContainer& song, Fault* fault, const Workers* workers) {
    return read_smf_within(input, 0, song, fault, workers);
}

bool read_smf_within(ByteRange input, std::size_t room_after, MidiContainer& song, Fault* fault,
                     const Workers* workers) {
    ByteCursor cursor(input);
    std::uint16_t form = 0, track_count = 0, timebase = 0;
    if (!cursor.expect(std::string_view("MThd\0\0\0\6", 8)) || !cursor.be16(form) || !cursor.be16(track_count) ||
        !cursor.be16(timebase)) {
        if (input.size() < 14)
            report(fault, FaultKind::cut_off, 0, "header cut off");
        else
            report(fault, FaultKind::malformed, 0, "not a Standard MIDI File header");
        return false;
    }
    if (form > 2) {
        report(fault, FaultKind::malformed, 8, "form " + std::to_string(form));
        return false;
    }
    song.initialize(form, timebase);

    // Each chunk stands at its predecessor's declared end, wherever that
    // one's decoding stops, so every body is found before any is decoded.
    // `complete` is false when the file holds fewer chunks than it announces.
    std::vector<TrackBody> bodies;
    bool complete = true;
    // A last track whose declared length runs past the end of the input
    // (reading it stops there, at an event's end or inside one).
    struct PastEnd {
        std::uint32_t track = 0;
        std::uint32_t declared = 0;
        std::size_t remain = 0;
    };
    std::optional<PastEnd> past_end;
    Fault walk_fault;  // why the walk stopped before the announced tracks
    const auto stop_walk = [&](FaultKind kind, std::size_t offset, std::uint32_t track, const char* reason) {
        complete = false;
        report(&walk_fault, kind, offset, "track " + std::to_string(track) + ": " + reason);
    };
    for (std::uint32_t i = 0; i < track_count; ++i) {
        std::uint32_t length = 0;
        if (!cursor.looking_at("MTrk")) {  // also a header cut off by the end
            if (cursor.remaining() >= 4)
                stop_walk(FaultKind::malformed, cursor.offset(), i, "not a track chunk");
            else
                stop_walk(FaultKind::cut_off, cursor.offset(), i, "chunk missing at the end of the file");
            break;
        }
        cursor.skip(4);
        if (!cursor.be32(length)) {
            stop_walk(FaultKind::cut_off, cursor.offset() - 4, i, "chunk header cut off");
            break;
        }
        const std::size_t body_start = cursor.offset();
        const bool ends_inside = length <= input.size() - body_start;
        const std::size_t declared_end = ends_inside ? body_start + length : input.size();

        // A track normally ends with its end-of-track event, and one whose
        // declared length is too short is read on to that event. But where
        // the next track chunk stands at the declared end, reading on would
        // take its header for events (and let every track of a crafted file
        // read the rest of the file again), so the track ends there.
        ByteCursor next(input);
        next.seek(declared_end);
        const bool next_follows = ends_inside && i + 1 < track_count && next.looking_at("MTrk");
        bodies.push_back({body_start, next_follows ? declared_end : input.size(), declared_end});

        // A declared end beyond the input leaves nothing more to read.
        if (!ends_inside) {
            const std::size_t remain = input.size() + room_after - body_start;
            if (length > remain) past_end = PastEnd{i, length, remain};
            if (i + 1 < track_count)
                stop_walk(FaultKind::cut_off, body_start - 4, i, "track length past the end of the file");
            break;
        }
        cursor = next;
    }

    // The tracks are independent of each other, so a large file has them
    // decoded at once, the largest first. The song gets them in file order
    // up to the first that fails or throws, as decoding them one by one
    // would leave it.
    std::vector<MidiTrack> tracks(bodies.size());
    std::vector<char> decoded(bodies.size(), 0);
    std::vector<Stop> stops(bodies.size());
    std::vector<std::exception_ptr> errors(bodies.size());
    const auto decode = [&](std::size_t i) {
        // Offsets in the body count from the start of the input.
        ByteRange upto;
        ByteCursor(input).sub(0, bodies[i].read_end, upto);
        ByteCursor body(upto);
        body.seek(bodies[i].start);
        try {
            decoded[i] = decode_track(body, bodies[i].declared_end, tracks[i], true, stops[i]);
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    if (workers && workers->size() > 1 && input.size() >= parallel_input_size && bodies.size() > 1) {
        std::vector<std::size_t> order(bodies.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return bodies[a].declared_end - bodies[a].start > bodies[b].declared_end - bodies[b].start;
        });
        workers->for_each_index(order.size(), [&](std::size_t k) { decode(order[k]); });
    } else {
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            decode(i);
            if (!decoded[i]) break;  // failed or threw: no later track counts
        }
    }
    // A false result tells the fault that made it; a true one the first
    // track cut off by the end of the file.
    std::size_t first_cut = bodies.size();
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        if (errors[i]) std::rethrow_exception(errors[i]);
        if (!decoded[i]) {
            report_track(fault, stops[i], i);
            return false;
        }
        if (stops[i].step == Step::cut_off && first_cut == bodies.size()) first_cut = i;
        song.add_track(std::move(tracks[i]));
    }
    if (!complete) {
        if (fault != nullptr) *fault = std::move(walk_fault);
    } else if (first_cut < bodies.size()) {
        report_track(fault, stops[first_cut], first_cut);
    } else if (past_end) {
        report_cut_at_end(
            fault, input.size() + room_after,
            declared_past_end("track " + std::to_string(past_end->track), past_end->declared, past_end->remain));
    }
    return complete;
}

}  // namespace seqconv
