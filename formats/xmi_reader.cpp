// XMI reader: one or more songs in an IFF chunk tree (formats/iff/), each an
// event stream whose notes carry their durations.
//
//   chunk                       meaning
//   "FORM" type "XDIR"          first top-level chunk; its contents are not read
//   "CAT " type "XMID"          the songs, one "FORM" of type "XMID" each
//     "FORM" "XMID" > "EVNT"    a song's event stream; its other chunks are not read
//
// Event stream, item by item:
//
//   bytes                       meaning
//   00-7F ...                   a delay: every byte below 80 adds its value in ticks
//   8n-En d1 [d2]               channel event: one data byte for Cn and Dn, two for
//                               the others; every event has its status byte
//   9n key velocity VLQ         note on, and how many ticks it sounds
//   F0 VLQ n bytes              system exclusive
//   FF type VLQ n bytes         meta event
//   FF 2F                       end of the stream; no length byte is read
//
// VLQ: a variable-length quantity as in Standard MIDI Files. A song's ticks
// run at 120 a second: with 60 ticks a quarter note that is 500000
// microseconds a quarter note, which the song's tempo events are rewritten to.

#include <algorithm>
#include <string>
#include <vector>

#include "formats/event_syntax.h"
#include "formats/iff/iff.h"
#include "formats/readers.h"

namespace seqconv {

namespace {

constexpr IffId form_id = iff_id("FORM");
constexpr IffId cat_id = iff_id("CAT ");
constexpr IffId xdir_id = iff_id("XDIR");
constexpr IffId xmid_id = iff_id("XMID");
constexpr IffId evnt_id = iff_id("EVNT");

constexpr std::uint32_t timebase = 60;

// A tempo T in microseconds a quarter note becomes (60 T) / ((3 T) / 25000):
// 500000 but for the rounding of the two divisions (123456 gives 529097).
// Below 8334 the divisor is 0, and such a tempo becomes 500000 exactly.
std::uint32_t rewritten_tempo(std::uint32_t tempo) {
    if (tempo < 8334) return 500000;
    // T has 24 bits, so 60 T stays below 2^30.
    return (60 * tempo) / ((3 * tempo) / 25000);
}

const std::uint8_t default_tempo[5] = {0xFF, 0x51, 0x07, 0xA1, 0x20};  // 500000

// One song's event stream, decoded into a track.
class EventDecoder {
public:
    // Every event takes at least 2 bytes (a note's end shares the 4 or more of
    // its start), and a tempo may be added.
    EventDecoder(ByteRange events, MidiTrack& track) : cursor_(events), track_(track) {
        track_.reserve_up_to(events.size() / 2 + 1);
    }

    // Decodes the stream; where it stops at a fault, `stop` says how, at
    // which offset in the events and why.
    bool decode(Step& stop, std::size_t& offset, const char*& reason) {
        while (!cursor_.at_end()) {
            const std::size_t start = cursor_.offset();
            const Step step = next();
            if (step == Step::cut_off) {
                // An event cut off by the end of the data ends the stream as
                // the end of the data would, without an event for it.
                stop = step;
                offset = start;
                reason = "event cut off";
                break;
            }
            if (step == Step::malformed) {
                stop = step;
                offset = fault_at_;
                reason = fault_;
                return false;
            }
            if (step != Step::event) break;
        }
        // The stream's ticks run at 500000 microseconds a quarter note from
        // the start, whether or not it says so.
        if (!tempo_at_start_) track_.add_event(MidiEvent(0, MidiEventType::extended, 0, default_tempo, 5));
        return true;
    }

private:
    Step next() {
        std::uint8_t status = 0;
        cursor_.u8(status);
        while (status < 0x80) {
            time_ = add_ticks(time_, status);
            if (!cursor_.u8(status)) return malformed(cursor_.offset(), "the events end inside a delay");
        }
        latest_ = std::max(latest_, time_);

        if (status == 0xFF) return meta_event();
        if (status == 0xF0) {
            data_.assign(1, 0xF0);
            const Step payload = read_payload();
            if (payload != Step::event) return payload;
            track_.add_event(MidiEvent(time_, MidiEventType::extended, 0, data_.data(), data_.size()));
            return Step::event;
        }
        if (status > 0xF0) return malformed(cursor_.offset() - 1, "system message in a song");
        return channel_event(status);
    }

    Step meta_event() {
        std::uint8_t type = 0;
        if (!cursor_.u8(type)) return Step::cut_off;
        if (type == 0x2F) {
            // The track ends where the last note does, when that is later.
            track_.add_event(make_end_of_track(std::max(time_, latest_)));
            return Step::end_of_track;
        }
        data_.assign({0xFF, type});
        const Step payload = read_payload();
        if (payload != Step::event) return payload;
        if (type == 0x51 && data_.size() == 5) {
            const std::uint32_t tempo =
                rewritten_tempo(std::uint32_t(data_[2]) << 16 | std::uint32_t(data_[3]) << 8 | std::uint32_t(data_[4]));
            data_[2] = std::uint8_t(tempo >> 16);
            data_[3] = std::uint8_t(tempo >> 8);
            data_[4] = std::uint8_t(tempo);
            if (time_ == 0) tempo_at_start_ = true;
        }
        track_.add_event(MidiEvent(time_, MidiEventType::extended, 0, data_.data(), data_.size()));
        return Step::event;
    }

    // Reads a length and takes that many bytes into data_ behind what it
    // already holds.
    Step read_payload() {
        const std::size_t length_at = cursor_.offset();
        const Step step = seqconv::read_payload(cursor_, data_);
        return step == Step::malformed ? malformed(length_at, "negative length") : step;
    }

    Step malformed(std::size_t offset, const char* reason) {
        fault_at_ = offset;
        fault_ = reason;
        return Step::malformed;
    }

    Step channel_event(std::uint8_t status) {
        const MidiEventType type = channel_event_type(status);
        const std::uint32_t channel = status & 0x0Fu;
        std::uint8_t bytes[2] = {};
        const std::size_t count = channel_data_bytes(status);
        if (!cursor_.u8(bytes[0])) return Step::cut_off;
        if (count == 2 && !cursor_.u8(bytes[1])) return Step::cut_off;
        if (type != MidiEventType::note_on) {
            track_.add_event(MidiEvent(time_, type, channel, bytes[0], bytes[1], count));
            return Step::event;
        }

        // A note on carries its duration; the note ends with a note on of
        // velocity 0 that far ahead, put into the track at once.
        std::uint32_t duration = 0;
        const std::size_t duration_at = cursor_.offset();
        if (!read_vlq(cursor_, duration)) return Step::cut_off;
        if (duration & 0x80000000u) return malformed(duration_at, "negative duration");
        track_.add_event(MidiEvent(time_, type, channel, bytes[0], bytes[1], 2));
        const std::uint32_t end = add_ticks(time_, duration);
        track_.add_event(MidiEvent(end, type, channel, bytes[0], 0, 2));
        latest_ = std::max(latest_, end);
        return Step::event;
    }

    ByteCursor cursor_;
    MidiTrack& track_;
    std::vector<std::uint8_t> data_;  // the extended event being built
    std::uint32_t time_ = 0;
    std::uint32_t latest_ = 0;     // the latest event or note end so far
    bool tempo_at_start_ = false;  // whether a tempo event stood at time 0
    std::size_t fault_at_ = 0;     // where a malformed event was found
    const char* fault_ = "";       // and what was wrong with it
};

std::string song_reason(std::size_t song, const char* reason) { return "song " + std::to_string(song) + ": " + reason; }

}  // namespace

bool read_xmi(ByteRange input, MidiContainer& song, Fault* fault) {
    IffTree tree;
    if (!parse_iff(input, tree, fault)) return false;
    if (tree.find(form_id).form_type != xdir_id) {
        report(fault, FaultKind::malformed, 0, "no FORM of type XDIR");
        return false;
    }
    const IffChunk& songs = tree.find(cat_id);
    if (songs.form_type != xmid_id) {
        report(fault, FaultKind::malformed, 0, "no CAT of type XMID");
        return false;
    }

    // Several songs are independent sequences, one track each.
    const std::size_t count = songs.count_children(form_id);
    song.initialize(count >= 2 ? 2 : 0, timebase);

    // The songs in file order, as find_child with ordinals 0, 1, ... gives
    // them, without searching from the first child again for each.
    Fault cut;  // the first song whose events were cut off
    for (const IffChunk& form : songs.children) {
        if (form.id != form_id) continue;
        const std::size_t index = song.track_count();
        if (form.form_type != xmid_id) {
            report(fault, FaultKind::malformed, form.offset, song_reason(index, "FORM not of type XMID"));
            return false;
        }
        const IffChunk& events = form.find_child(evnt_id);
        if (events.id != evnt_id) {  // no EVNT: find_child gave the FORM back
            if (form.cut)
                report(fault, FaultKind::cut_off, input.size(), song_reason(index, "cut off before its EVNT chunk"));
            else
                report(fault, FaultKind::malformed, form.offset, song_reason(index, "no EVNT chunk"));
            return false;
        }
        MidiTrack track;
        Step stop = Step::event;
        std::size_t offset = 0;
        const char* reason = "";
        const bool read = EventDecoder(events.data, track).decode(stop, offset, reason);
        // Events that end inside a delay because the end of the input cut
        // their chunk short were cut off, not written so.
        if (stop == Step::malformed && events.cut && offset == events.data.size()) {
            stop = Step::cut_off;
            reason = "delay cut off";
        }
        if (stop != Step::event && (!read || !cut)) {
            report(read ? &cut : fault, stop == Step::cut_off ? FaultKind::cut_off : FaultKind::malformed,
                   offset_within(input, events.data) + offset, song_reason(index, reason));
        }
        if (!read) return false;
        song.add_track(std::move(track));
    }
    if (cut && fault != nullptr) *fault = std::move(cut);
    // A chunk that runs past the end of the input, however much of it was
    // read, says the file was cut off, whether or not the cut fell inside
    // an event.
    if (tree.cut)
        report_cut_at_end(fault, input.size(),
                          declared_past_end(id_text(tree.cut->id) + " chunk", tree.cut->declared, tree.cut->remain));
    return true;
}

}  // namespace seqconv
