// LDS modules as the program reads a file named with the "lds" extension:
// the detector, then the reader itself (loading, playing, the MIDI recorded
// from it); then the writer. The output is not bounded by the input's size:
// a module's patterns repeat, and bends are sent tick by tick.

#include "fuzz/reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using seqconv::ByteRange;
    return seqconv::fuzz::run_reader(
        data, size, [](ByteRange input) { return seqconv::detect_lds(input, "lds"); },
        [](ByteRange input, seqconv::MidiContainer& song) { return seqconv::read_lds(input, song); },
        seqconv::fuzz::Growth::unbounded);
}
