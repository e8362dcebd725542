#include "app/driver.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "app/batch.h"
#include "seqconv/seqconv.h"

namespace seqconv {

namespace {

constexpr const char* usage_text =
    "Usage:\tseqconv [-1] <input files and/or wildcards>\n\n\t-1 - Promote type 0 files to type 1\n";

// The threads of the run's one pool: the batch's conversions and the tracks
// of a large file share them.
constexpr std::size_t max_workers = 8;

std::size_t worker_count() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::min<std::size_t>(cores, max_workers);
}

}  // namespace

// Whatever the song holds is written, also when the input was damaged or not
// recognised (no tracks: zero bytes). The song holds copies of what it needs
// from the input, so the input's buffer takes the output: a large file then
// costs one buffer, not two.
void convert_in_place(std::vector<std::uint8_t>& bytes, const std::string& input_name, const RunSettings& settings) {
    ReadResult read = read_song(bytes, input_name, settings.workers);
    if (settings.promote) promote_to_type1(read.song);
    bytes.clear();
    write_smf(read.song, bytes, settings.workers);
}

// A folder, a pipe or a device is refused like a missing file, before
// anything could block on it or take its data.
File open_input(const std::string& input_name) {
    platform::FileIdentity identity;
    std::uint64_t length = 0;
    File input(platform::open_regular_file(input_name, identity, length));
    if (!input) std::fprintf(stderr, "Unable to open input file: %s\n", input_name.c_str());
    return input;
}

File open_output(const std::string& output_name, std::optional<platform::FileIdentity>& identity) {
    File output(platform::open_output_file(output_name, identity));
    if (!output) std::fprintf(stderr, "Unable to open output file: %s\n", output_name.c_str());
    return output;
}

// A failed flush on closing (a full disk, say) is a failed write too. The
// flush is asked for first, as not every runtime's fclose tells. An output
// not written whole leaves no partial file behind (a symbolic link named so
// stays, to an emptied file: see platform::discard_output_file).
Outcome write_output(File output, const std::optional<platform::FileIdentity>& identity,
                     const std::vector<std::uint8_t>& image, const std::string& output_name) {
    // An empty image has no data pointer, which fwrite may not be given.
    const bool written = (image.empty() || std::fwrite(image.data(), 1, image.size(), output.get()) == image.size()) &&
                         std::fflush(output.get()) == 0;
    if (written && platform::close_output_file(output.release(), output_name, identity)) return Outcome::done;
    if (!written) platform::discard_output_file(output.release(), output_name);
    std::fprintf(stderr, "Error writing to output file: %s\n", output_name.c_str());
    return Outcome::stop;
}

void report_conversion_error(const std::string& input_name, const std::exception& error) {
    std::fprintf(stderr, "Error while converting file (%s): %s\n", input_name.c_str(), error.what());
}

// The input's length is taken only now, after the output was opened, which
// empties the input when both names are one file.
Outcome convert_opened(File input, File output, const std::optional<platform::FileIdentity>& identity,
                       const std::string& input_name, const std::string& output_name, const RunSettings& settings) {
    try {
        std::uint64_t length = 0;
        std::vector<std::uint8_t> bytes;
        const bool measured = platform::file_length(input.get(), length);
        if (measured && length > bytes.max_size()) throw std::length_error("input file too large to hold in memory");
        if (measured) bytes.resize(static_cast<std::size_t>(length));
        if (!measured || std::fread(bytes.data(), 1, bytes.size(), input.get()) != bytes.size()) {
            // The output opened for it, still empty, would pass for one of
            // an input no format recognises.
            input.reset();
            platform::discard_output_file(output.release(), output_name);
            std::fprintf(stderr, "Unable to read input file: %s\n", input_name.c_str());
            return Outcome::stop;
        }
        input.reset();
        convert_in_place(bytes, input_name, settings);
        return write_output(std::move(output), identity, bytes, output_name);
    } catch (const std::exception& error) {
        report_conversion_error(input_name, error);
    }
    return Outcome::done;
}

int run_batch(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        std::fputs(usage_text, stderr);
        return 1;
    }
    // Only the first argument that is exactly "-1" is the option; it applies
    // to every file wherever it stands.
    std::size_t option_index = 0;
    for (std::size_t i = 1; i < args.size() && option_index == 0; ++i)
        if (args[i] == "-1") option_index = i;

    std::vector<std::size_t> order;
    for (std::size_t i = 1; i < args.size(); ++i)
        if (i != option_index) order.push_back(i);

    // One core, or a build without threads: nothing to gain from a pool.
    // Its threads start only when a batch or a large file gives them work.
    std::optional<Workers> workers;
    if (const std::size_t threads = worker_count(); threads > 1) workers.emplace(threads);
    const bool parallel = workers && workers->size() > 1;
    const RunSettings settings{option_index != 0, parallel ? &*workers : nullptr};

    if (parallel && order.size() > 1) return convert_ahead(args, order, settings, *workers);
    for (const std::size_t i : order)
        if (convert_one(args[i], settings, [](const std::optional<platform::FileIdentity>&) {}) == Outcome::stop)
            return 1;
    return 0;
}

}  // namespace seqconv
