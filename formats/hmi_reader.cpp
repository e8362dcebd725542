// HMI reader.
//
//   offset  size  meaning (little-endian)
//   0       12    "HMI-MIDISONG"
//   228     4     track count N
//   232     4     D: offset of the directory
//   D       4 N   offset of each track
//
// A track extends from its offset to the next track's, the last to the end
// of the file; from its start:
//
//   0       13    "HMI-MIDITRACK"
//   75      4     o: offset of the name record, 0 for none
//   87      4     offset of the event data, which run to the track's end
//   o       1     (not read)
//   o + 1   1     n: length of the name
//   o + 2   n     the name, padded with spaces
//
// The event data are close to a Standard MIDI File track body, but a note on
// carries its duration (a variable-length quantity after its data bytes), a
// delta time above 0xFFFF moves the time to the latest time reached so far
// instead (latest note ends included), and FE begins events of the format's
// own, two of which mark where a loop starts and ends.

#include <algorithm>
#include <string>
#include <vector>

#include "formats/event_syntax.h"
#include "formats/hmi_family.h"
#include "formats/readers.h"

namespace seqconv {
namespace {

constexpr std::size_t track_count_at = 228;
constexpr std::string_view track_tag = "HMI-MIDITRACK";
constexpr std::uint64_t name_offset_at = 75;
constexpr std::uint64_t events_offset_at = 87;

constexpr std::uint8_t loop_start[] = {0xFF, 0x06, 'l', 'o', 'o', 'p', 'S', 't', 'a', 'r', 't'};
constexpr std::uint8_t loop_end[] = {0xFF, 0x06, 'l', 'o', 'o', 'p', 'E', 'n', 'd'};

struct TrackState {
    std::uint32_t time = 0;
    std::uint32_t latest = 0;         // latest event time or note end so far
    std::uint8_t running_status = 0;  // 0: none
    std::vector<std::uint8_t> data;
    Stop stop;  // where and why a malformed event stopped the track
};

Step malformed(TrackState& state, std::size_t offset, const char* reason) {
    state.stop = {Step::malformed, offset, reason};
    return Step::malformed;
}

bool seek_within(ByteCursor& cursor, std::uint64_t position) {
    if (position > cursor.size()) return false;
    cursor.seek(static_cast<std::size_t>(position));
    return true;
}

// Skips the bytes of an FE event after its type byte; the loop markers go
// into the conductor track.
Step read_hmi_event(ByteCursor& cursor, TrackState& state, MidiContainer& song) {
    const std::uint32_t time = state.time;
    std::uint8_t type = 0;
    if (!cursor.u8(type)) return Step::cut_off;
    switch (type) {
        case 0x10: {
            std::uint8_t count = 0;
            if (!cursor.skip(2) || !cursor.u8(count) || !cursor.skip(std::size_t{count} + 4)) return Step::cut_off;
            return Step::event;
        }
        case 0x12:
            return cursor.skip(2) ? Step::event : Step::cut_off;
        case 0x13:
            return cursor.skip(10) ? Step::event : Step::cut_off;
        case 0x14:
            if (!cursor.skip(2)) return Step::cut_off;
            song.add_track_event(0, MidiEvent(time, MidiEventType::extended, 0, loop_start, sizeof loop_start));
            return Step::event;
        case 0x15:
            if (!cursor.skip(6)) return Step::cut_off;
            song.add_track_event(0, MidiEvent(time, MidiEventType::extended, 0, loop_end, sizeof loop_end));
            return Step::event;
        default:
            return malformed(state, cursor.offset() - 1, "unknown FE event");
    }
}

// Reads one delta time and event. `cut_off` when the input ends inside
// them: nothing of the event is made.
Step read_event(ByteCursor& cursor, TrackState& state, MidiTrack& track, MidiContainer& song) {
    std::uint32_t delta = 0;
    std::uint8_t first = 0;
    if (!read_vlq(cursor, delta) || !cursor.u8(first)) return Step::cut_off;
    if (delta > 0xFFFF) {
        state.time = state.latest;
    } else {
        state.time = add_ticks(state.time, delta);
        state.latest = std::max(state.latest, state.time);
    }

    if (first == 0xFF || first == 0xF0) {
        state.running_status = 0;
        state.data.assign(1, first);
        if (first == 0xFF) {
            std::uint8_t type = 0;
            if (!cursor.u8(type)) return Step::cut_off;
            state.data.push_back(type);
        }
        const std::size_t length_at = cursor.offset();
        if (const Step p = read_payload(cursor, state.data); p != Step::event)
            return p == Step::malformed ? malformed(state, length_at, "negative length") : p;
        // The end of track waits for every note still sounding.
        const bool ends = first == 0xFF && state.data[1] == 0x2F;
        if (ends) state.time = std::max(state.time, state.latest);
        track.add_event(MidiEvent(state.time, MidiEventType::extended, 0, state.data.data(), state.data.size()));
        return ends ? Step::end_of_track : Step::event;
    }
    if (first == 0xFE) {
        state.running_status = 0;
        return read_hmi_event(cursor, state, song);
    }
    if (first > 0xEF) return malformed(state, cursor.offset() - 1, "system message in a track");

    std::uint8_t status = first;
    std::uint8_t bytes[2] = {first, 0};
    if (first < 0x80) {
        if (state.running_status == 0) return malformed(state, cursor.offset() - 1, "data byte without running status");
        status = state.running_status;
    } else if (!cursor.u8(bytes[0])) {
        return Step::cut_off;
    }
    state.running_status = status;
    const std::uint8_t kind = status >> 4;
    const std::size_t count = channel_data_bytes(status);
    if (count == 2 && !cursor.u8(bytes[1])) return Step::cut_off;
    std::uint32_t duration = 0;
    if (kind == 0x9) {
        const std::size_t duration_at = cursor.offset();
        if (!read_vlq(cursor, duration)) return Step::cut_off;
        if (duration & 0x80000000u) return malformed(state, duration_at, "negative duration");
    }

    const MidiEventType type = channel_event_type(status);
    track.add_event(MidiEvent(state.time, type, status & 0x0F, bytes[0], bytes[1], count));
    if (kind == 0x9) {
        // The note's end, a note on of velocity 0, goes into place by its
        // time, however far ahead of the events still to come.
        const std::uint32_t end = add_ticks(state.time, duration);
        bytes[1] = 0;
        track.add_event(MidiEvent(end, type, status & 0x0F, bytes[0], 0, 2));
        state.latest = std::max(state.latest, end);
    }
    return Step::event;
}

// Converts the track at `start` of `size` bytes (an unsigned 32-bit
// difference of directory entries, which wraps around when they do not
// ascend) and adds it to the song. Counts the event bytes it reads into
// `events_read`. Says in `fault` why it returns false, or where the end of
// the file cut off its last event. The last track (`last`) runs to the end
// of the file: what it lacks there, a part of its header or its end of
// track, the end of the file cut off.
bool read_track(ByteRange input, std::uint32_t start, std::uint64_t size, bool last, MidiContainer& song,
                std::uint64_t& events_read, Fault& fault) {
    ByteCursor cursor(input);
    const auto fail = [&](FaultKind kind, std::uint64_t offset, const char* reason) {
        report(&fault, kind, static_cast<std::size_t>(std::min<std::uint64_t>(offset, input.size())), reason);
        return false;
    };
    // A header field that does not fit in the track, or in the file.
    const auto missing = [&](std::uint64_t field_end, std::uint64_t at) {
        if (size < field_end && !last) return fail(FaultKind::malformed, start, "track shorter than its header");
        return fail(FaultKind::cut_off, size < field_end ? input.size() : at, "track header cut off");
    };
    if (size < track_tag.size() || !seek_within(cursor, start) || track_tag.size() > cursor.remaining())
        return missing(track_tag.size(), start);
    if (!cursor.expect(track_tag)) return fail(FaultKind::malformed, start, "no HMI-MIDITRACK");
    std::uint32_t name_offset = 0, events_offset = 0;
    if (size < name_offset_at + 4 || !seek_within(cursor, start + name_offset_at) || !cursor.le32(name_offset))
        return missing(name_offset_at + 4, start + name_offset_at);

    MidiTrack track;
    if (name_offset != 0 && std::uint64_t{name_offset} + 1 < size) {
        std::uint8_t length = 0;
        ByteRange name;
        const std::uint64_t name_at = std::uint64_t{start} + name_offset;
        if (!seek_within(cursor, name_at + 1) || !cursor.u8(length))
            return fail(FaultKind::cut_off, name_at, "name cut off");
        if (std::uint64_t{name_offset} + 2 + length > size) {
            if (last) return fail(FaultKind::cut_off, input.size(), "name cut off");
            return fail(FaultKind::malformed, name_at, "name longer than its track");
        }
        if (!cursor.take(length, name)) return fail(FaultKind::cut_off, name_at, "name cut off");
        std::vector<std::uint8_t> text(2 + name.size());
        text[0] = 0xFF;
        text[1] = 0x01;
        std::copy(name.begin, name.end, text.begin() + 2);
        while (text.size() > 2 && text.back() == 0x20) text.pop_back();
        if (text.size() > 2) track.add_event(MidiEvent(0, MidiEventType::extended, 0, text.data(), text.size()));
    }

    if (size < events_offset_at + 4 || !seek_within(cursor, start + events_offset_at) || !cursor.le32(events_offset))
        return missing(events_offset_at + 4, start + events_offset_at);
    // The events may run past the track's end, within the file; one cut off
    // by the end of the file ends the track as the track's end does. A track
    // whose end is beyond the file (the last one before entries that do not
    // ascend) is read to the end of the file.
    const std::uint64_t end = std::uint64_t{start} + size;
    TrackState state;
    Step step = Step::event;
    if (events_offset < size && seek_within(cursor, std::uint64_t{start} + events_offset)) {
        const std::size_t first = cursor.offset();
        while (cursor.offset() < end) {
            const std::size_t event_at = cursor.offset();
            step = read_event(cursor, state, track, song);
            if (step == Step::malformed) return fail(FaultKind::malformed, state.stop.offset, state.stop.reason);
            if (step == Step::cut_off) report(&fault, FaultKind::cut_off, event_at, "event cut off");
            if (step != Step::event) break;
        }
        events_read += cursor.offset() - first;
    }
    // Earlier tracks end where the next begins; the last one only with its
    // end of track, so the end of the file before it is a cut.
    if (last && step == Step::event)
        report(&fault, FaultKind::cut_off, input.size(), "the file ends before its end of track");
    song.add_track(std::move(track));
    return true;
}

}  // namespace

bool read_hmi(ByteRange input, MidiContainer& song, Fault* fault) {
    ByteCursor header(input);
    std::uint32_t track_count = 0, directory = 0;
    header.seek(track_count_at);
    if (!header.le32(track_count) || !header.le32(directory)) {
        report(fault, FaultKind::cut_off, input.size(), "header cut off");
        return false;
    }
    // The directory must lie within the file before anything is read or
    // made by the count it claims.
    ByteCursor entries(input);
    if (!seek_within(entries, directory) || track_count > entries.remaining() / 4) {
        report(fault, FaultKind::cut_off, track_count_at, "directory past the end of the file");
        return false;
    }

    song.initialize(1, 192);
    song.add_track(hmi_conductor_track());
    // Tracks read to the end of the file (directory entries that point back)
    // or whose events run on over later tracks read again bytes that other
    // tracks read. A crafted directory of many entries pointing back at one
    // long track without an end of track made the song grow with the square
    // of the file (41 KB gave 6 MB of output and took 120 MB; 64 KB would
    // take 5 GB). Real files read each byte once, so the reading stops, as
    // at a malformed track, once the tracks have read four times the file.
    const std::uint64_t events_budget = 4 * std::uint64_t{input.size()} + (std::uint64_t{1} << 16);
    std::uint64_t events_read = 0;
    std::uint32_t start = 0, next = 0;
    Fault cut;  // the first track cut off by the end of the file
    for (std::uint32_t i = 0; i < track_count; ++i) {
        if (i == 0) entries.le32(next);
        start = next;
        std::uint64_t size = 0;
        if (i + 1 < track_count) {
            entries.le32(next);
            size = std::uint32_t(next - start);
        } else if (start <= input.size()) {
            size = input.size() - start;
        }  // a last track starting beyond the file fails at its size
        const std::string track = "track " + std::to_string(i + 1) + ": ";
        if (events_read > events_budget) {
            report(fault, FaultKind::limit, start, track + "the tracks read more than four times the file");
            return false;
        }
        Fault local;
        const bool read = read_track(input, start, size, i + 1 == track_count, song, events_read, local);
        if (local && (!read || !cut)) report_within(read ? &cut : fault, local, 0, track);
        if (!read) return false;
    }
    if (cut && fault != nullptr) *fault = std::move(cut);
    return true;
}

}  // namespace seqconv
