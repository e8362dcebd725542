// Writes the large Standard MIDI File of the benchmarks to a file, for
// measuring the program itself (see bench/measure_program.sh).
//
// Usage: seqconv_large_smf OUTPUT [SIZE_IN_BYTES]   (default 1 MiB)

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "bench/large_inputs.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT [SIZE_IN_BYTES]\n", argv[0]);
        return 2;
    }
    const std::size_t size = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : std::size_t(1) << 20;
    const seqconv::bench::Bytes bytes = seqconv::bench::large_smf(size);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
