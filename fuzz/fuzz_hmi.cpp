// The HMI reader on its own (tracks found through the directory, FE events,
// note durations), then the writer.
// Its output may grow faster than its input: note durations and blocks
// unfold into separate events.

#include "fuzz/reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using seqconv::ByteRange;
    return seqconv::fuzz::run_reader(
        data, size, [](ByteRange input) { return seqconv::detect_hmi(input); },
        [](ByteRange input, seqconv::MidiContainer& song) { return seqconv::read_hmi(input, song); },
        seqconv::fuzz::Growth::unbounded);
}
