// The Standard MIDI File reader on its own, then the writer.

#include <cstddef>
#include <cstdint>

#include "formats/readers.h"
#include "fuzz/write_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    seqconv::MidiContainer song;
    seqconv::read_smf(seqconv::ByteRange(data, size), song);
    seqconv::fuzz::require_linear_output(size, seqconv::fuzz::write_and_check(song));
    return 0;
}
