// The HMP reader on its own, both variants, then the writer.
// Its output may grow faster than its input: note durations and blocks
// unfold into separate events.

#include "fuzz/reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using seqconv::ByteRange;
    return seqconv::fuzz::run_reader(
        data, size, [](ByteRange input) { return seqconv::detect_hmp(input); },
        [](ByteRange input, seqconv::MidiContainer& song) { return seqconv::read_hmp(input, song); },
        seqconv::fuzz::Growth::unbounded);
}
