// RIFF MIDS reader: short MIDI messages and tempo changes, each with a 32-bit
// delta time, packed in blocks as a player streams them.
//
//   offset      size  meaning (little-endian)
//   0           4     "RIFF"
//   4           4     RIFF size (checked by the detector only)
//   8           8     "MIDS" "fmt "
//   16          4     F: fmt chunk size
//   20          F     the fields below, as far as F holds them whole, then
//                     one pad byte when F is odd
//                       time format (4): ticks per quarter note, else 1
//                       maximum buffer size (4): not used
//                       flags (4): bit 0 set, events carry no stream id
//   20 + F (+1) 4     "data", directly after the fmt chunk
//   +4          4     D: data size, counted from the byte after this field
//   +8          4     N: block count
//   +12         ...   N blocks: start time (4, not used), size S (4), S
//                     bytes of events
//
// An event: delta time (4), stream id (4, only with flags bit 0 clear),
// event word (4). The word's top byte is its kind:
//   0  short message: status in bits 0-7, data bytes in 8-15 and 16-23
//   1  tempo: microseconds per quarter note in bits 0-23
//   any other kind is skipped.

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/event_syntax.h"
#include "formats/iff/chunks.h"
#include "formats/readers.h"

namespace seqconv {

namespace {

constexpr std::uint32_t no_stream_ids = 1;  // flags bit 0

enum class EventKind : std::uint8_t { short_message = 0, tempo = 1 };

// Adds the event that `word` holds at `time`: a tempo change to the
// conductor track, a channel message to `track`, nothing for the rest.
void add_event(std::uint32_t word, std::uint32_t time, MidiContainer& song, MidiTrack& track) {
    const auto kind = static_cast<EventKind>(word >> 24);
    if (kind == EventKind::tempo) {
        const std::uint8_t tempo[] = {0xFF, 0x51, std::uint8_t(word >> 16), std::uint8_t(word >> 8),
                                      std::uint8_t(word)};
        song.add_track_event(0, MidiEvent(time, MidiEventType::extended, 0, tempo, sizeof tempo));
    } else if (kind == EventKind::short_message) {
        const std::uint8_t status = std::uint8_t(word);
        if (status < 0x80 || status > 0xEF) return;  // a data byte or a system message
        // A one-byte message keeps 0 as its unused second byte.
        const std::size_t size = channel_data_bytes(status);
        const std::uint8_t second = size == 2 ? std::uint8_t(word >> 16) : 0;
        track.add_event(
            MidiEvent(time, channel_event_type(status), status & 0x0Fu, std::uint8_t(word >> 8), second, size));
    }
}

}  // namespace

bool read_mids(ByteRange input, MidiContainer& song, Fault* fault) {
    // The "fmt " chunk stands at 12, behind "RIFF", the size and "MIDS".
    ChunkWalker chunks(input, SizeOrder::little_endian, 12);
    Chunk fmt;
    const bool have_fmt = chunks.next(fmt);
    std::uint32_t timebase = 1, buffer_size = 0, flags = 0;
    ByteCursor fields(fmt.body);
    if (have_fmt)
        for (std::uint32_t* field : {&timebase, &buffer_size, &flags})
            if (!fields.le32(*field)) break;

    song.initialize(0, timebase);
    // A fmt chunk cut off by the end of the file leaves no room for the
    // data chunk behind it (nor does one whose pad byte is missing).
    ByteCursor cursor(input);
    cursor.seek(chunks.offset());
    if (!have_fmt || !fmt.whole() || !cursor.expect("data")) {
        if (have_fmt && fmt.whole() && !cursor.at_end())
            report(fault, FaultKind::malformed, cursor.offset(), "no data chunk after the fmt chunk");
        else
            report(fault, FaultKind::cut_off, cursor.offset(), "the file ends before the data chunk");
        return false;
    }

    // Track 0 takes the tempo changes; its end moves on with them.
    MidiTrack conductor;
    conductor.add_event(make_end_of_track(0));
    song.add_track(std::move(conductor));

    // A data size or block count cut off by the end of the file reads as no
    // blocks at all.
    std::uint32_t data_size = 0, block_count = 0;
    std::uint64_t data_end = 0;
    // The data chunk, or else the first block, whose declared size runs
    // past the end of the file: the file was cut off inside it, whether or
    // not the cut fell between two events.
    std::string past_end;
    if (!cursor.le32(data_size)) {
        report(fault, FaultKind::cut_off, cursor.offset(), "data chunk size cut off");
    } else {
        data_end = cursor.offset() + std::uint64_t{data_size};
        if (data_end > input.size()) past_end = declared_past_end("data chunk", data_size, cursor.remaining());
        if (!cursor.le32(block_count)) {
            block_count = 0;
            report(fault, FaultKind::cut_off, cursor.offset(), "block count cut off");
        }
    }

    const std::size_t event_size = flags & no_stream_ids ? 8 : 12;
    MidiTrack track;
    // At most one event for each event record left, and the end of track.
    track.reserve_up_to(cursor.remaining() / event_size + 1);
    std::uint32_t time = 0;  // deltas run on across blocks; block start times are not used
    bool cut_off = false;
    // Each block header is read where the previous block's last event ended:
    // an event that starts inside a block is read whole, even past the
    // block's declared end. Once the data end is reached, the remaining
    // blocks add nothing.
    for (std::uint32_t block = 0; block < block_count && !cut_off && cursor.offset() < data_end; ++block) {
        std::uint32_t start_time = 0, block_size = 0;
        const std::size_t block_at = cursor.offset();
        if (!cursor.le32(start_time) || !cursor.le32(block_size)) {
            report(fault, FaultKind::cut_off, block_at, "block " + std::to_string(block) + ": header cut off");
            break;
        }
        const std::uint64_t block_end = cursor.offset() + std::uint64_t{block_size};
        if (block_end > input.size() && past_end.empty())
            past_end = declared_past_end("block " + std::to_string(block), block_size, cursor.remaining());
        while (cursor.offset() < block_end && cursor.offset() < data_end) {
            // An event cut off by the end of the file is not made, and the
            // song ends where the last whole event left it.
            ByteRange bytes;
            if (!cursor.take(event_size, bytes)) {
                report(fault, FaultKind::cut_off, cursor.offset(),
                       "block " + std::to_string(block) + ": event cut off");
                cut_off = true;
                break;
            }
            ByteCursor event(bytes);
            std::uint32_t delta = 0, word = 0;
            event.le32(delta);
            if (event_size == 12) event.skip(4);  // stream id
            event.le32(word);
            time = add_ticks(time, delta);
            add_event(word, time, song, track);
        }
    }
    track.add_event(make_end_of_track(time));
    song.add_track(std::move(track));
    if (!past_end.empty()) report_cut_at_end(fault, input.size(), std::move(past_end));
    return true;
}

}  // namespace seqconv
