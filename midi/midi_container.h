#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midi/midi_event.h"
#include "midi/midi_track.h"

namespace seqconv {

// The song a reader fills: form (the Standard MIDI File format number 0, 1
// or 2), timebase and tracks. The timebase counts ticks per quarter note, or
// for a Standard MIDI File input is the header's division word unchanged.
class MidiContainer {
public:
    // Sets form and timebase; tracks already added stay.
    void initialize(std::uint32_t form, std::uint32_t timebase) {
        form_ = form;
        timebase_ = timebase;
    }

    // Appends the track as the new last track, empty or not.
    void add_track(const MidiTrack& track) { tracks_.push_back(track); }
    void add_track(MidiTrack&& track) { tracks_.push_back(std::move(track)); }

    // Adds an event to a track added before, by MidiTrack::add_event's rule.
    void add_track_event(std::size_t track_index, const MidiEvent& event) { tracks_.at(track_index).add_event(event); }

    std::uint32_t form() const { return form_; }
    std::uint32_t timebase() const { return timebase_; }
    std::size_t track_count() const { return tracks_.size(); }
    const MidiTrack& track(std::size_t index) const { return tracks_[index]; }
    const std::vector<MidiTrack>& tracks() const { return tracks_; }

    void set_form(std::uint32_t form) { form_ = form; }
    void remove_all_tracks() { tracks_.clear(); }

private:
    std::uint32_t form_ = 0;
    std::uint32_t timebase_ = 0;
    std::vector<MidiTrack> tracks_;
};

}  // namespace seqconv
