// The whole conversion as the program runs it: detection by contents and by
// the name's extension, the chosen reader, promotion when asked, and the
// writer, whose output must read back to itself and, for Standard MIDI
// Files, stay within a few times the input's size.
//
// Input: one selector byte (see convert_selector.h), then the file.

#include <cstddef>
#include <cstdint>

#include "formats/readers.h"
#include "fuzz/convert_selector.h"
#include "fuzz/write_checks.h"
#include "midi/promote.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t selector = data[0];
    const seqconv::ByteRange file(data + 1, size - 1);
    seqconv::MidiContainer song;
    seqconv::convert_file(file, seqconv::fuzz::extension_of_selector(selector), song);
    if (seqconv::fuzz::promotes(selector)) seqconv::promote_to_type1(song);
    const std::size_t written = seqconv::fuzz::write_and_check(song);
    // Other formats may legitimately expand (repeated patterns, for one).
    if (seqconv::detect_smf(file) || seqconv::detect_rmid(file))
        seqconv::fuzz::require_linear_output(file.size(), written);
    return 0;
}
