#include "midi/midi_track.h"

#include <algorithm>
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

const std::vector<MidiEvent>& MidiTrack::ordered() const {
    const auto first = events_.begin();
    const auto body_end = events_.end() - (pinned_end_ ? 1 : 0);
    const auto middle = first + static_cast<std::ptrdiff_t>(ordered_count_);
    if (middle != body_end) {
        const auto earlier = [](const MidiEvent& a, const MidiEvent& b) { return a.timestamp < b.timestamp; };
        std::stable_sort(middle, body_end, earlier);
        std::inplace_merge(first, middle, body_end, earlier);
        ordered_count_ = static_cast<std::size_t>(body_end - first);
    }
    return events_;
}

}  // namespace seqconv
