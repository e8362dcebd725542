// One track body decoded in GMF mode over the whole input, then written.
// Besides the writer's round trip, the decoder's own promises are checked:
// a failed track adds nothing, a decoded one adds one track that holds an
// end-of-track event, and no pitch-wheel event survives GMF mode.

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
    // Its FF 2F is usually last, but not when the time wrapped around 2^32.
    bool ends = false;
    for (const seqconv::MidiEvent& event : song.track(0)) {
        require(event.type != seqconv::MidiEventType::pitch_wheel, "a pitch-wheel event in GMF mode");
        ends = ends || event.is_end_of_track();
    }
    require(ends, "a decoded track without FF 2F");
    seqconv::fuzz::require_linear_output(size, seqconv::fuzz::write_and_check(song));
    return 0;
}
