#include "midi/midi_track.h"

#include <algorithm>
#include <array>
#include <utility>

namespace seqconv {

void MidiTrack::add_event(const MidiEvent& event) { add_event(MidiEvent(event)); }

void MidiTrack::insert(MidiEvent&& event) {
    const std::uint32_t t = event.timestamp;
    const std::size_t body = events_.size() - (pinned_end_ ? 1 : 0);
    const bool in_order = body == 0 || t >= latest_;
    const bool body_ordered = ordered_count_ == body;

    if (pinned_end_) {
        MidiEvent& end = events_.back();
        if (end.timestamp < t) end.timestamp = t;
        events_.insert(events_.end() - 1, std::move(event));
    } else {
        // An end-of-track event that lands behind every other event becomes
        // the track's last event and stays last from now on.
        pinned_end_ = event.is_end_of_track() && in_order;
        events_.push_back(std::move(event));
        if (pinned_end_) return;
    }
    if (in_order) {
        latest_ = t;
        if (body_ordered) ++ordered_count_;
    }
}

namespace {

bool earlier(const MidiEvent& a, const MidiEvent& b) { return a.timestamp < b.timestamp; }

// Puts [first, last) in time order, keeping the order of events of equal
// time. Formats whose notes carry durations put nearly every note end out of
// order, so long runs are common: they are sorted a byte of the timestamp at
// a time, from the lowest, each pass moving every event once (a comparison
// sort moves each about log2 n times). Passes over a byte that all events
// share are left out.
void sort_by_time(std::vector<MidiEvent>::iterator first, std::vector<MidiEvent>::iterator last) {
    const auto n = static_cast<std::size_t>(last - first);
    if (n < 512) {
        std::stable_sort(first, last, earlier);
        return;
    }
    std::vector<MidiEvent> buffer(n);
    MidiEvent* from = &*first;
    MidiEvent* to = buffer.data();
    for (unsigned shift = 0; shift < 32; shift += 8) {
        std::array<std::size_t, 256> place{};
        for (std::size_t i = 0; i < n; ++i) ++place[(from[i].timestamp >> shift) & 0xFF];
        if (place[(from[0].timestamp >> shift) & 0xFF] == n) continue;
        std::size_t start = 0;
        for (std::size_t& p : place) start += std::exchange(p, start);
        for (std::size_t i = 0; i < n; ++i) to[place[(from[i].timestamp >> shift) & 0xFF]++] = std::move(from[i]);
        std::swap(from, to);
    }
    if (from != &*first) std::move(from, from + n, first);
}

}  // namespace

const std::vector<MidiEvent>& MidiTrack::ordered() const {
    const auto first = events_.begin();
    const auto body_end = events_.end() - (pinned_end_ ? 1 : 0);
    const auto middle = first + static_cast<std::ptrdiff_t>(ordered_count_);
    if (middle != body_end) {
        sort_by_time(middle, body_end);
        std::inplace_merge(first, middle, body_end, earlier);
        ordered_count_ = static_cast<std::size_t>(body_end - first);
    }
    return events_;
}

}  // namespace seqconv
