#pragma once

// The body of a fuzz target for one reader on its own. A reader may assume
// that its format's detector accepted the input, so an input the detector
// declines is dropped; the rest goes to the reader itself, and the song it
// leaves, whole or cut short, to the writer and its checks.

#include <cstddef>
#include <cstdint>

#include "formats/readers.h"
#include "fuzz/write_checks.h"

namespace seqconv::fuzz {

enum class Growth { linear, unbounded };

template <typename Detect, typename Read>
int run_reader(const std::uint8_t* data, std::size_t size, Detect detect, Read read, Growth growth) {
    const ByteRange input(data, size);
    if (!detect(input)) return 0;
    MidiContainer song;
    read(input, song);
    const std::size_t written = write_and_check(song);
    if (growth == Growth::linear) require_linear_output(size, written);
    return 0;
}

}  // namespace seqconv::fuzz

// The entry point of the target for the reader of `format` (hmp, hmi, ...),
// whose detector needs nothing but the bytes.
#define SEQCONV_READER_TARGET(format)                                                                        \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {                      \
        return seqconv::fuzz::run_reader(                                                                    \
            data, size, [](seqconv::ByteRange input) { return seqconv::detect_##format(input); },            \
            [](seqconv::ByteRange input, seqconv::MidiContainer& song) { return seqconv::read_##format(input, song); }, \
            seqconv::fuzz::Growth::unbounded);                                                               \
    }
