#include "midi/promote.h"

#include <array>
#include <utility>

namespace seqconv {

void promote_to_type1(MidiContainer& song) {
    const std::size_t count = song.track_count();
    if (song.form() != 0 || count == 0 || count > 2) return;

    // Slot 0 is the conductor track, slot c + 1 the track of channel c.
    std::array<MidiTrack, 17> slots;
    const MidiTrack source = song.track(count - 1);
    if (count == 2) slots[0] = song.track(0);
    // A first track with events keeps its own end of track; an empty
    // conductor slot (one track, or an empty first one) takes the source's.
    const bool conductor_started_empty = slots[0].empty();
    song.remove_all_tracks();

    for (const MidiEvent& event : source) {
        if (event.is_channel_event()) {
            slots[(event.channel & 0x0F) + 1].add_event(event);
        } else if (event.is_end_of_track()) {
            for (std::size_t slot = conductor_started_empty ? 0 : 1; slot < slots.size(); ++slot)
                slots[slot].add_event(event);
        } else {
            slots[0].add_event(event);
        }
    }

    // A slot holding at most its end-of-track event carries nothing.
    for (MidiTrack& slot : slots)
        if (slot.size() > 1) song.add_track(std::move(slot));
    song.set_form(1);
}

}  // namespace seqconv
