#include "midi/midi_track.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace seqconv {

// Copies read the source as any reader does, in order.
MidiTrack::MidiTrack(const MidiTrack& other)
    : events_(other.ordered()),
      ordered_count_(other.body_size()),
      pinned_end_(other.pinned_end_),
      latest_(other.latest_) {}

MidiTrack::MidiTrack(MidiTrack&& other) noexcept
    : events_(std::move(other.events_)),
      ordered_count_(other.ordered_count_.load(std::memory_order_relaxed)),
      pinned_end_(other.pinned_end_),
      latest_(other.latest_) {
    other.ordered_count_.store(0, std::memory_order_relaxed);
    other.pinned_end_ = false;
    other.latest_ = 0;
}

MidiTrack& MidiTrack::operator=(const MidiTrack& other) {
    if (this != &other) *this = MidiTrack(other);
    return *this;
}

MidiTrack& MidiTrack::operator=(MidiTrack&& other) noexcept {
    if (this == &other) return *this;
    events_ = std::move(other.events_);
    other.events_.clear();
    ordered_count_.store(other.ordered_count_.exchange(0, std::memory_order_relaxed), std::memory_order_relaxed);
    pinned_end_ = std::exchange(other.pinned_end_, false);
    latest_ = std::exchange(other.latest_, 0);
    return *this;
}

MidiTrack MidiTrack::in_order(std::vector<MidiEvent>&& events) {
    MidiTrack track;
    track.events_ = std::move(events);
    track.pinned_end_ = !track.events_.empty() && track.events_.back().is_end_of_track();
    const std::size_t body = track.body_size();
    track.ordered_count_.store(body, std::memory_order_relaxed);
    track.latest_ = body != 0 ? track.events_[body - 1].timestamp : 0;
    return track;
}

void MidiTrack::add_event(const MidiEvent& event) { add_event(MidiEvent(event)); }

void MidiTrack::insert(MidiEvent&& event) {
    const std::uint32_t t = event.timestamp;
    const std::size_t body = body_size();
    const bool in_order = body == 0 || t >= latest_;
    const bool body_ordered = ordered_count_.load(std::memory_order_relaxed) == body;

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
        if (body_ordered) ordered_count_.store(body + 1, std::memory_order_relaxed);
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
void MidiTrack::sort() const {
    const std::size_t body = body_size();
    const std::size_t ordered_count = ordered_count_.load(std::memory_order_relaxed);
    const std::size_t n = body - ordered_count;
    if (n >= sort_events_from) {
        const auto first = events_.begin();
        const auto middle = first + static_cast<std::ptrdiff_t>(ordered_count);
        const auto body_end = first + static_cast<std::ptrdiff_t>(body);
        sort_by_time(middle, body_end);
        std::inplace_merge(first, middle, body_end,
                           [](const MidiEvent& a, const MidiEvent& b) { return a.timestamp < b.timestamp; });
        ordered_count_.store(body, std::memory_order_release);
        return;
    }
    auto late = std::unique_ptr<Key[]>(new Key[n]);
    for (std::size_t i = 0; i < n; ++i) late[i] = {events_[ordered_count + i].timestamp, ordered_count + i};
    sort_by_time(late.get(), n);

    // source[p]: where the event that belongs at p stands now.
    const auto source = std::unique_ptr<std::size_t[]>(new std::size_t[body]);
    std::size_t p = 0;
    std::size_t next = 0;
    for (std::size_t k = 0; k < n; ++k) {
        while (next < ordered_count && events_[next].timestamp <= late[k].time) source[p++] = next++;
        source[p++] = late[k].index;
    }
    while (next < ordered_count) source[p++] = next++;
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
    ordered_count_.store(body, std::memory_order_release);
}

namespace {

// Holds a track's `sorting_` flag: one thread at a time sorts, and the
// others wait for it, not spin.
class SortingHeld {
public:
    explicit SortingHeld(std::atomic<bool>& flag) : flag_(flag) {
        while (flag_.exchange(true, std::memory_order_acquire)) flag_.wait(true, std::memory_order_relaxed);
    }
    ~SortingHeld() {
        flag_.store(false, std::memory_order_release);
        flag_.notify_all();
    }
    SortingHeld(const SortingHeld&) = delete;
    SortingHeld& operator=(const SortingHeld&) = delete;

private:
    std::atomic<bool>& flag_;
};

}  // namespace

// A thread that waited finds the events sorted by the one before it.
const std::vector<MidiEvent>& MidiTrack::sort_once() const {
    const SortingHeld held(sorting_);
    if (ordered_count_.load(std::memory_order_relaxed) != body_size()) sort();
    return events_;
}

}  // namespace seqconv
