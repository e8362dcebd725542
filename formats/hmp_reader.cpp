// HMP reader. Two variants, told apart by the signature's last letter.
//
//   offset  size  meaning (little-endian)
//   0       8     "HMIMIDIP" or "HMIMIDIR"
//   26      1     R: track count N, the file's own first track included
//   48      1     P: track count N
//   77      1     R: ticks per quarter note (P: always 192)
//   ...           the file's first track, ended by the first FF 2F found from
//                 the count byte on and that event's length byte
//
// Then N - 1 track records, back to back, each of L bytes in all:
//
//   P: 4 bytes, L (4), 4 bytes, L - 12 bytes of events; from right after
//      the first track's end
//   R: L (2), 2 bytes, L - 4 bytes of events; from 2 bytes after it
//
// Events are a delta time (least significant group first, see
// read_hmp_delta) and a message whose status byte is always written: no
// running status. Only channel messages and meta events occur.
//
// The first track is not read; the conductor track of the sound system's
// fixed tempo takes its place.

#include <algorithm>
#include <string>
#include <vector>

#include "formats/event_syntax.h"
#include "formats/hmi_family.h"
#include "formats/readers.h"

namespace seqconv {

bool read_hmp_delta(ByteCursor& cursor, std::uint32_t& value) {
    ByteCursor ahead = cursor;
    std::uint32_t result = 0;
    unsigned shift = 0;
    std::uint8_t byte = 0;
    do {
        if (!ahead.u8(byte)) return false;
        if (shift < 32) {
            result |= std::uint32_t(byte & 0x7Fu) << shift;
            shift += 7;
        }
    } while (!(byte & 0x80));
    cursor = ahead;
    value = result;
    return true;
}

namespace {

struct Layout {
    std::size_t count_at;      // the track count byte
    std::size_t gap;           // unread bytes between the first track and the records
    std::size_t length_at;     // the length field, from the start of a record
    std::size_t length_width;  // its size
    std::size_t events_at;     // the events, from the start of a record
};
constexpr Layout layout_p{48, 0, 4, 4, 12};
constexpr Layout layout_r{26, 2, 0, 2, 4};
constexpr std::size_t timebase_at_r = 77;

// Reads one delta time and event into `track`. `cut_off` when the record's
// data end inside them; `malformed` with `stop` telling where and why.
Step read_event(ByteCursor& cursor, std::uint32_t& time, MidiTrack& track, std::vector<std::uint8_t>& data,
                Stop& stop) {
    std::uint32_t delta = 0;
    std::uint8_t status = 0;
    if (!read_hmp_delta(cursor, delta) || !cursor.u8(status)) return Step::cut_off;
    time = add_ticks(time, delta);

    if (status == 0xFF) {
        std::uint8_t type = 0;
        if (!cursor.u8(type)) return Step::cut_off;
        data.assign({0xFF, type});
        stop = {Step::malformed, cursor.offset(), "negative length"};
        if (const Step p = read_payload(cursor, data); p != Step::event) return p;
        track.add_event(MidiEvent(time, MidiEventType::extended, 0, data.data(), data.size()));
        return type == 0x2F ? Step::end_of_track : Step::event;
    }
    if (status < 0x80 || status > 0xEF) {
        stop = {Step::malformed, cursor.offset() - 1,
                status < 0x80 ? "data byte where a status is expected" : "system message in a track"};
        return Step::malformed;
    }

    const std::size_t count = channel_data_bytes(status);
    std::uint8_t bytes[2] = {0, 0};
    if (!cursor.u8(bytes[0]) || (count == 2 && !cursor.u8(bytes[1]))) return Step::cut_off;
    track.add_event(MidiEvent(time, channel_event_type(status), status & 0x0F, bytes[0], bytes[1], count));
    return Step::event;
}

std::string track_reason(unsigned track, const char* reason) {
    return "track " + std::to_string(track) + ": " + reason;
}

}  // namespace

bool read_hmp(ByteRange input, MidiContainer& song, Fault* fault) {
    ByteCursor header(input);
    std::uint8_t letter = 0;
    header.seek(7);
    header.u8(letter);
    const bool variant_r = letter == 'R';
    const Layout& layout = variant_r ? layout_r : layout_p;

    std::uint8_t track_count = 0;
    header.seek(layout.count_at);
    if (!header.u8(track_count)) {
        report(fault, FaultKind::cut_off, input.size(), "header cut off before the track count");
        return false;
    }
    std::uint8_t timebase = 192;
    if (variant_r) {
        header.seek(timebase_at_r);
        if (!header.u8(timebase)) {
            report(fault, FaultKind::cut_off, input.size(), "header cut off before the timebase");
            return false;
        }
    }
    song.initialize(1, timebase);
    song.add_track(hmi_conductor_track());

    // The first track ends with FF 2F and its length byte; every position
    // from the count byte on is tried, so the pair may even lie in the
    // header. A file without one has no records.
    ByteCursor scan(input);
    scan.seek(layout.count_at);
    while (!scan.looking_at(std::string_view("\xFF\x2F", 2)))
        if (!scan.skip(1)) {
            if (track_count > 1) report(fault, FaultKind::cut_off, input.size(), "no end to the first track");
            return true;
        }
    std::size_t record = scan.offset() + 3 + layout.gap;

    std::vector<std::uint8_t> data;
    for (unsigned index = 1; index < track_count; ++index) {
        // A record ends the reading unless it lies within the file, with q
        // its length field's position and E the end: q + L <= E. For P that
        // keeps 4 bytes behind the record, which real files of that variant
        // carry after their last record. A length shorter than its own field
        // stops it too (L - width wraps around in the unsigned test).
        const std::size_t q = record + layout.length_at;
        ByteCursor cursor(input);
        std::uint32_t length = 0;
        std::uint16_t short_length = 0;
        if (q > input.size() || (cursor.seek(q), variant_r ? !cursor.le16(short_length) : !cursor.le32(length))) {
            report(fault, FaultKind::cut_off, std::min(q, input.size()), track_reason(index, "record header cut off"));
            return true;
        }
        if (variant_r) length = short_length;
        const std::size_t width = layout.length_width;
        if (length < width) {
            report(fault, FaultKind::malformed, q, track_reason(index, "record shorter than its length field"));
            return true;
        }
        if (length - width > input.size() - q - width) {
            report(fault, FaultKind::cut_off, q, track_reason(index, "record length past the end of the file"));
            return true;
        }

        // A record no longer than its header holds no events. Event offsets
        // count from the start of the input.
        const std::size_t end = record + length;
        const std::size_t begin = std::min(record + layout.events_at, end);
        ByteRange upto;
        ByteCursor(input).sub(0, end, upto);
        ByteCursor events(upto);
        events.seek(begin);
        MidiTrack track;
        // Every event takes at least 3 bytes: a delta time, a status, a data byte.
        track.reserve_up_to(events.remaining() / 3);
        std::uint32_t time = 0;
        Step step = Step::event;
        std::size_t event_at = begin;
        Stop stop;
        while (step == Step::event && !events.at_end()) {
            event_at = events.offset();
            step = read_event(events, time, track, data, stop);
        }
        if (step == Step::malformed) {
            report(fault, FaultKind::malformed, stop.offset, track_reason(index, stop.reason));
            return false;
        }

        // A track whose data end without FF 2F gets no end of track. One cut
        // off inside an event is the last read.
        song.add_track(std::move(track));
        if (step == Step::cut_off) {
            report(fault, FaultKind::cut_off, event_at, track_reason(index, "event cut off"));
            return true;
        }
        record = end;
    }
    return true;
}

}  // namespace seqconv
