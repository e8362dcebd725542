// LDS modules as the program reads a file named with the "lds" extension:
// detection, loading, playing, the MIDI recorded from it; then the writer.
// The output is not bounded by the input's size: a module's patterns
// repeat, and bends are sent tick by tick.

#include <cstddef>
#include <cstdint>

#include "formats/readers.h"
#include "fuzz/write_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    seqconv::MidiContainer song;
    seqconv::convert_file(seqconv::ByteRange(data, size), "lds", song);
    seqconv::fuzz::write_and_check(song);
    return 0;
}
