// Loops played out, marked and songs merged, on whatever the readers read:
// every rewrite ends, stays within its bounds, leaves no loop mark of any
// dialect behind, and writes a file that reads back to itself.
//
// Input: one selector byte, then the file. The selector's low four bits
// choose the name's extension as for fuzz_convert; bits 4 and 5 the passes
// (1 to 4), bit 6 a fade of a second, bit 7 `whole`.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/readers.h"
#include "fuzz/convert_selector.h"
#include "fuzz/write_checks.h"
#include "midi/merge.h"
#include "seqconv/loop_play.h"
#include "seqconv/song_facts.h"

namespace {

// A bound well below the library's, so that each input takes milliseconds
// under the sanitizers; the rules that keep it are the same.
constexpr std::size_t most_events = 50000;
constexpr std::size_t most_jumps = 50000;

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "fuzz_loops: %s\n", what);
    std::abort();
}

std::size_t event_count(const seqconv::MidiContainer& song) {
    std::size_t count = 0;
    for (const seqconv::MidiTrack& track : song.tracks()) count += track.size();
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t selector = data[0];
    const seqconv::ByteRange file(data + 1, size - 1);
    const std::optional<std::string_view> extension = seqconv::fuzz::extension_of_selector(selector);
    seqconv::MidiContainer song;
    seqconv::convert_file(file, extension, song);
    const std::optional<seqconv::InputFormat> origin = seqconv::detect_format(file, extension);

    seqconv::PlayOut how;
    how.passes = 1u + ((selector >> 4) & 3u);
    how.fade_milliseconds = (selector & 0x40) != 0 ? 1000 : 0;
    how.whole = (selector & 0x80) != 0;
    how.max_events = most_events;
    how.max_jumps = most_jumps;

    seqconv::MidiContainer played = song;
    if (seqconv::play_out_loops(played, origin, how) == seqconv::LoopChange::done) {
        require(event_count(played) <= most_events, "a played-out song past its bound");
        require(seqconv::song_facts(played, origin).loops.empty(), "a loop mark left in a played-out song");
    }
    seqconv::fuzz::write_and_check(played);

    seqconv::MidiContainer marked = song;
    if (seqconv::mark_loops(marked, origin, how) == seqconv::LoopChange::done) {
        const seqconv::SongFacts facts = seqconv::song_facts(marked, origin);
        require(facts.main_loop && facts.loops[0].dialect == seqconv::LoopDialect::markers,
                "a marked song without its markers");
    }
    seqconv::fuzz::write_and_check(marked);

    seqconv::merge_tracks(song);
    require(song.form() == 2 || song.track_count() <= 1, "merged tracks left apart");
    seqconv::fuzz::write_and_check(song);
    return 0;
}
