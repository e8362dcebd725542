// One track body decoded in GMF mode over the whole input, then written.
// Besides the writer's round trip, the decoder's own promises are checked:
// a failed track adds nothing, a decoded one adds one track whose last event
// is its only end-of-track event, and no pitch-wheel event survives GMF mode.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/smf_reader.h"
#include "fuzz/write_checks.h"

namespace {

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "GMF track: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    seqconv::MidiContainer song;
    song.initialize(0, 192);
    seqconv::ByteCursor cursor(seqconv::ByteRange(data, size));
    if (!seqconv::read_smf_track(cursor, size, song, false)) {
        require(song.track_count() == 0, "a malformed track added a track");
        return 0;
    }
    require(song.track_count() == 1, "a decoded track added other than one track");
    // Track time never goes back (it stops at the largest tick), so the end
    // of track, read or added, lands last.
    const seqconv::MidiTrack& track = song.track(0);
    std::size_t ends = 0;
    for (const seqconv::MidiEvent& event : track) {
        require(event.type != seqconv::MidiEventType::pitch_wheel, "a pitch-wheel event in GMF mode");
        if (event.is_end_of_track()) ++ends;
    }
    require(ends == 1 && track[track.size() - 1].is_end_of_track(), "a decoded track not ended by one FF 2F");
    seqconv::fuzz::require_linear_output(size, seqconv::fuzz::write_and_check(song));
    return 0;
}
