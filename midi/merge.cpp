#include "midi/merge.h"

#include <algorithm>
#include <vector>

namespace seqconv {

void merge_tracks(MidiContainer& song) {
    if (song.form() == 2 || song.track_count() == 0) return;
    std::vector<const MidiEvent*> events;
    std::uint32_t end = 0;
    for (const MidiTrack& track : song.tracks()) {
        for (const MidiEvent& event : track) {
            end = std::max(end, event.timestamp);
            if (!event.is_end_of_track()) events.push_back(&event);
        }
    }
    // Appended track after track, so that the stable sort keeps, at one
    // tick, the track order and then each track's own.
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent* a, const MidiEvent* b) { return a->timestamp < b->timestamp; });
    MidiTrack merged;
    merged.reserve(events.size() + 1);
    for (const MidiEvent* event : events) merged.add_event(MidiEvent(*event));
    merged.add_event(make_end_of_track(end));
    song.remove_all_tracks();
    song.add_track(std::move(merged));
    song.set_form(0);
}

}  // namespace seqconv
