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
        // Before the end, which moves on to the new event's time.
        MidiEvent& end = events_.back();
        if (end.timestamp < t) end.timestamp = t;
        events_.push_back(std::move(event));
        using std::swap;
        swap(events_.back(), events_[events_.size() - 2]);
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

// Events out of time order are put in order by their keys: the timestamp and
// where the event stands. Sorting these 16-byte plain values and then moving
// every event once into its place is far cheaper than sorting the events,
// whose moves must look after a possible heap block. Sorting by timestamp and
// position is a stable sort by timestamp, and merging into the ordered prefix
// with the prefix first among equal times keeps arrival order too.
const std::vector<MidiEvent>& MidiTrack::ordered() const {
    const std::size_t body = events_.size() - (pinned_end_ ? 1 : 0);
    if (ordered_count_ == body) return events_;

    struct Key {
        std::uint32_t time;
        std::size_t index;
    };
    std::vector<Key> late;
    late.reserve(body - ordered_count_);
    for (std::size_t i = ordered_count_; i < body; ++i) late.push_back({events_[i].timestamp, i});
    std::sort(late.begin(), late.end(),
              [](const Key& a, const Key& b) { return a.time != b.time ? a.time < b.time : a.index < b.index; });

    std::vector<MidiEvent> merged;
    merged.reserve(events_.size());
    std::size_t next = 0;
    for (const Key& key : late) {
        while (next < ordered_count_ && events_[next].timestamp <= key.time)
            merged.push_back(std::move(events_[next++]));
        merged.push_back(std::move(events_[key.index]));
    }
    while (next < ordered_count_) merged.push_back(std::move(events_[next++]));
    if (pinned_end_) merged.push_back(std::move(events_.back()));
    events_.swap(merged);
    ordered_count_ = body;
    return events_;
}

}  // namespace seqconv
