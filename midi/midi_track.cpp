#include "midi/midi_track.h"

#include <algorithm>
#include <array>
#include <memory>
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

namespace {

// An event out of time order: its timestamp and where it stands.
struct Key {
    std::uint32_t time;
    std::size_t index;
};

// Puts keys made in index order into time order, keeping the index order
// among equal times. Formats whose notes carry durations put nearly every
// note end out of order, so long runs are common: they are sorted a byte of
// the timestamp at a time, from the lowest, each pass moving every key once.
// Passes over a byte that all keys share are left out.
void sort_by_time(Key* keys, std::size_t n) {
    if (n < MidiTrack::radix_sort_from) {
        std::sort(keys, keys + n,
                  [](const Key& a, const Key& b) { return a.time != b.time ? a.time < b.time : a.index < b.index; });
        return;
    }
    std::array<std::array<std::size_t, 256>, 4> place{};
    for (std::size_t i = 0; i < n; ++i)
        for (unsigned b = 0; b < 4; ++b) ++place[b][(keys[i].time >> (8 * b)) & 0xFF];
    const auto buffer = std::unique_ptr<Key[]>(new Key[n]);
    Key* from = keys;
    Key* to = buffer.get();
    for (unsigned b = 0; b < 4; ++b) {
        const unsigned shift = 8 * b;
        if (place[b][(from[0].time >> shift) & 0xFF] == n) continue;
        std::size_t start = 0;
        for (std::size_t& p : place[b]) start += std::exchange(p, start);
        for (std::size_t i = 0; i < n; ++i) to[place[b][(from[i].time >> shift) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != keys) std::copy(from, from + n, keys);
}

// The same for the events themselves, for runs too long for the moves by
// permutation below to stay within the processor's caches: each pass moves
// every event once, from one array straight through into the other.
void sort_by_time(std::vector<MidiEvent>::iterator first, std::vector<MidiEvent>::iterator last) {
    const auto n = static_cast<std::size_t>(last - first);
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

// Events out of time order are put in order by their keys. Sorting these
// 16-byte plain values and then moving every event once into its place is
// far cheaper than sorting the events, whose moves must look after a
// possible heap block. Merging the sorted keys into the ordered prefix, the
// prefix first among equal times, gives what inserting one event at a time
// would have. The events move within their array, so that the largest song
// needs no second copy of its events.
const std::vector<MidiEvent>& MidiTrack::ordered() const {
    const std::size_t body = events_.size() - (pinned_end_ ? 1 : 0);
    if (ordered_count_ == body) return events_;

    const std::size_t n = body - ordered_count_;
    if (n >= sort_events_from) {
        const auto first = events_.begin();
        const auto middle = first + static_cast<std::ptrdiff_t>(ordered_count_);
        const auto body_end = first + static_cast<std::ptrdiff_t>(body);
        sort_by_time(middle, body_end);
        std::inplace_merge(first, middle, body_end,
                           [](const MidiEvent& a, const MidiEvent& b) { return a.timestamp < b.timestamp; });
        ordered_count_ = body;
        return events_;
    }
    auto late = std::unique_ptr<Key[]>(new Key[n]);
    for (std::size_t i = 0; i < n; ++i) late[i] = {events_[ordered_count_ + i].timestamp, ordered_count_ + i};
    sort_by_time(late.get(), n);

    // source[p]: where the event that belongs at p stands now.
    const auto source = std::unique_ptr<std::size_t[]>(new std::size_t[body]);
    std::size_t p = 0;
    std::size_t next = 0;
    for (std::size_t k = 0; k < n; ++k) {
        while (next < ordered_count_ && events_[next].timestamp <= late[k].time) source[p++] = next++;
        source[p++] = late[k].index;
    }
    while (next < ordered_count_) source[p++] = next++;
    late.reset();

    // Each cycle of the permutation is followed once; a place done points
    // at itself.
    for (std::size_t start = 0; start < body; ++start) {
        if (source[start] == start) continue;
        MidiEvent held = std::move(events_[start]);
        std::size_t to = start;
        for (std::size_t from = source[to]; from != start;) {
            events_[to] = std::move(events_[from]);
            source[to] = to;
            to = from;
            from = source[to];
        }
        events_[to] = std::move(held);
        source[to] = to;
    }
    ordered_count_ = body;
    return events_;
}

}  // namespace seqconv
