// Writes the inputs that bench/run.sh measures the program on, and counts
// the events of a Standard MIDI File.
//
//   seqconv_make_inputs smf FILE SIZE     a dense form 1 Standard MIDI File of
//                                         about SIZE bytes (large_smf)
//   seqconv_make_inputs batch DIR COUNT   COUNT files of 1 to 50 KiB, the ten
//                                         kinds of format_inputs.h in turn
//   seqconv_make_inputs worst DIR         the worst cases, one file each
//   seqconv_make_inputs count FILE        prints the number of events in the
//                                         Standard MIDI File FILE
//
// Every file but the large one is converted in memory before it is written
// and must give a Standard MIDI File that is not empty; the deepest nesting
// is also checked to be the deepest the reader accepts.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "bench/format_inputs.h"
#include "bench/large_inputs.h"
#include "formats/iff/iff.h"
#include "formats/readers.h"
#include "midi/smf_writer.h"

namespace {

using seqconv::bench::Bytes;
using seqconv::bench::Kind;

constexpr std::size_t kib = 1024;
constexpr std::uint32_t far_ahead = 10000000;  // ticks: beyond every later note

seqconv::MidiContainer converted(const Bytes& bytes, std::string_view extension) {
    seqconv::MidiContainer song;
    seqconv::convert_file(seqconv::ByteRange(bytes.data(), bytes.size()), extension, song);
    return song;
}

std::size_t converted_size(const Bytes& bytes, std::string_view extension) {
    std::vector<std::uint8_t> out;
    seqconv::write_smf(converted(bytes, extension), out);
    return out.size();
}

bool write_file(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return bool(out);
}

// Writes the file after checking that it converts to something.
bool write_input(const std::string& path, const Bytes& bytes) {
    const std::size_t dot = path.rfind('.');
    if (converted_size(bytes, std::string_view(path).substr(dot + 1)) == 0) {
        std::fprintf(stderr, "%s would convert to an empty file\n", path.c_str());
        return false;
    }
    return write_file(path, bytes);
}

// Sizes spread evenly on a logarithmic scale from a little over 1 KiB to a
// little under 50 KiB, so that every order of size is as common.
bool write_batch(const std::string& dir, std::size_t count) {
    seqconv::bench::Random random(2024);
    for (std::size_t i = 0; i < count; ++i) {
        const Kind kind = seqconv::bench::all_kinds[i % seqconv::bench::all_kinds.size()];
        const double share = random.below(10001) / 10000.0;
        const auto size = std::size_t(1100.0 * std::pow(48.0 * kib / 1100.0, share));
        const Bytes bytes = seqconv::bench::format_file(kind, std::uint32_t(i), size);
        if (bytes.size() < kib || bytes.size() > 50 * kib) {
            std::fprintf(stderr, "file %zu (%s) came out at %zu bytes, asked for %zu\n", i,
                         std::string(kind_name(kind)).c_str(), bytes.size(), size);
            return false;
        }
        char name[32];
        std::snprintf(name, sizeof name, "/%04zu.%s", i, std::string(extension_of(kind)).c_str());
        if (!write_input(dir + name, bytes)) return false;
    }
    return true;
}

bool write_worst_cases(const std::string& dir) {
    constexpr std::size_t levels = seqconv::iff_max_depth;
    const Bytes deepest = seqconv::bench::deep_iff_xmi(levels, 1024 * kib);
    if (converted(seqconv::bench::deep_iff_xmi(levels + 1, 16), "xmi").track_count() != 0) {
        std::fprintf(stderr, "a nesting of %zu levels is not the deepest the reader accepts\n", levels);
        return false;
    }
    // Notes of eight bytes in XMI (status, key, velocity, a four-byte
    // duration, a delay) and seven in HMI (a delay, key, velocity, duration).
    return write_input(dir + "/long-notes.xmi", seqconv::bench::xmi_long_notes(1024 * kib / 8, far_ahead)) &&
           write_input(dir + "/long-notes.hmi", seqconv::bench::long_notes_hmi(1024 * kib / 7, far_ahead)) &&
           write_input(dir + "/deep-iff.xmi", deepest) &&
           write_input(dir + "/longest.lds", seqconv::bench::longest_lds()) &&
           write_input(dir + "/large.hmp", seqconv::bench::format_file(Kind::hmp_p, 7, 1024 * kib));
}

bool count_events(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    seqconv::MidiContainer song;
    if (!in.is_open() || !seqconv::read_smf(seqconv::ByteRange(bytes.data(), bytes.size()), song)) {
        std::fprintf(stderr, "%s does not read as a Standard MIDI File\n", path.c_str());
        return false;
    }
    std::size_t events = 0;
    for (const seqconv::MidiTrack& track : song.tracks()) events += track.size();
    std::printf("%zu\n", events);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    bool done = false;
    if (mode == "smf" && argc == 4)
        done = write_file(argv[2], seqconv::bench::large_smf(std::strtoull(argv[3], nullptr, 10)));
    else if (mode == "batch" && argc == 4)
        done = write_batch(argv[2], std::strtoull(argv[3], nullptr, 10));
    else if (mode == "worst" && argc == 3)
        done = write_worst_cases(argv[2]);
    else if (mode == "count" && argc == 3)
        done = count_events(argv[2]);
    else {
        std::fprintf(stderr,
                     "usage: %s smf FILE SIZE | batch DIR COUNT | worst DIR | count FILE\n"
                     "(see bench/make_inputs.cpp)\n",
                     argv[0]);
        return 2;
    }
    return done ? 0 : 1;
}
