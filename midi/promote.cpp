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
    const bool own_conductor = count == 2;
    if (own_conductor) slots[0] = song.track(0);
    song.remove_all_tracks();

    for (const MidiEvent& event : source) {
        if (event.is_channel_event()) {
            slots[(event.channel & 0x0F) + 1].add_event(event);
        } else if (event.is_end_of_track()) {
            // With a conductor track of its own, slot 0 keeps that track's end.
            for (std::size_t slot = own_conductor ? 1 : 0; slot < slots.size(); ++slot) slots[slot].add_event(event);
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
