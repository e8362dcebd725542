#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/midi_event.h"

namespace seqconv {

// A list of events in time order.
//
// The insertion rule, which every reader relies on: a new event goes after
// every event whose timestamp is not later than its own, and before every
// later one. An end-of-track event that is the last event of the track stays
// last: a new event goes before it, and its timestamp is raised to the new
// event's when that is later. Readers put FF 2F at time 0 into a new track and
// get a track that ends at the time of its latest event.
//
// Events mostly arrive in time order and are appended. Formats whose notes
// carry durations insert note ends far ahead of the events that follow, which
// a sorted array would pay for with a shift per event. So the events are kept
// in arrival order and put in time order (a stable sort of what came out of
// order, merged into the ordered prefix) only when they are read. The order
// read back is exactly what inserting one event at a time would give.
//
// Reading is safe from several threads at once, as for any value type: the
// first reader of a track not in order sorts it while the others wait. A
// copy is made of the events in order.
class MidiTrack {
public:
    MidiTrack() = default;
    MidiTrack(const MidiTrack& other);
    MidiTrack(MidiTrack&& other) noexcept;
    MidiTrack& operator=(const MidiTrack& other);
    MidiTrack& operator=(MidiTrack&& other) noexcept;
    ~MidiTrack() = default;

    // A track of `events`, taken as they are, without a copy: they must be in
    // time order, with no end of track but, if any, the last. The track is
    // what adding them one by one would give.
    static MidiTrack in_order(std::vector<MidiEvent>&& events);

    void add_event(const MidiEvent& event);
    void add_event(MidiEvent&& event) {
        // Before a track has its end, every event but an end is appended;
        // one in time order behind an ordered track leaves it ordered.
        if (!pinned_end_ && !event.is_end_of_track()) {
            if (events_.empty() || event.timestamp >= latest_) {
                const std::size_t ordered = ordered_count_.load(std::memory_order_relaxed);
                if (ordered == events_.size()) ordered_count_.store(ordered + 1, std::memory_order_relaxed);
                latest_ = event.timestamp;
            }
            events_.push_back(std::move(event));
            return;
        }
        insert(std::move(event));
    }

    // Makes room for `count` events in all, so that a reader that knows how
    // many are coming builds the track without moving it as it grows.
    void reserve(std::size_t count) { events_.reserve(count); }
    // The same for a reader that knows only the most events its bytes can
    // hold: at most `reserve_limit`, so that a large input's track still
    // grows as it is read instead of standing at its largest possible size.
    void reserve_up_to(std::size_t count) { events_.reserve(count < reserve_limit ? count : reserve_limit); }
    static constexpr std::size_t reserve_limit = std::size_t{1} << 16;
    // From this many events out of order on their keys are sorted by radix,
    // and from sort_events_from on the events themselves.
    static constexpr std::size_t radix_sort_from = 64;
    static constexpr std::size_t sort_events_from = std::size_t{1} << 15;
    std::size_t capacity() const { return events_.capacity(); }

    std::size_t size() const { return events_.size(); }
    bool empty() const { return events_.empty(); }

    const MidiEvent& operator[](std::size_t index) const { return ordered()[index]; }
    std::vector<MidiEvent>::const_iterator begin() const { return ordered().begin(); }
    std::vector<MidiEvent>::const_iterator end() const { return ordered().end(); }

private:
    void insert(MidiEvent&& event);
    std::size_t body_size() const { return events_.size() - (pinned_end_ ? 1 : 0); }
    // The events in time order, sorted first by the one reader that finds
    // them out of order.
    const std::vector<MidiEvent>& ordered() const {
        if (ordered_count_.load(std::memory_order_acquire) == body_size()) return events_;
        return sort_once();
    }
    const std::vector<MidiEvent>& sort_once() const;
    void sort() const;

    // The events; when `pinned_end_` is set, the last one is an end-of-track
    // event that stays last. Before it, events_[0, ordered_count_) are in time
    // order and the rest are in arrival order. Reading threads change them
    // only under `sorting_`, and publish the order through `ordered_count_`.
    mutable std::vector<MidiEvent> events_;
    mutable std::atomic<std::size_t> ordered_count_{0};
    mutable std::atomic<bool> sorting_{false};
    bool pinned_end_ = false;
    std::uint32_t latest_ = 0;  // largest timestamp before the pinned end
};

}  // namespace seqconv
