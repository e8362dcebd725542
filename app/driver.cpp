#include "app/driver.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include "app/batch.h"
#include "app/platform/outputs.h"
#include "seqconv/seqconv.h"

namespace seqconv {

namespace {

constexpr const char* usage_text =
    "Usage:\tseqconv [-1] <input files and/or wildcards>\n\n\t-1 - Promote type 0 files to type 1\n";

}  // namespace

void convert_in_place(std::vector<std::uint8_t>& bytes, const std::string& input_name, const RunSettings& settings) {
    bytes = convert(std::move(bytes), input_name, settings.promote, settings.workers).smf;
}

// A folder, a pipe or a device is refused like a missing file, before
// anything could block on it or take its data.
OpenFile open_input(const std::string& input_name) {
    platform::FileIdentity identity;
    std::uint64_t length = 0;
    std::string reason;
    OpenFile input = platform::open_plain_file(input_name, identity, length, reason);
    if (!input) std::fprintf(stderr, "Unable to open input file: %s\n", input_name.c_str());
    return input;
}

OpenFile open_output(const std::string& output_name, std::optional<platform::FileIdentity>& identity) {
    OpenFile output = platform::open_output_file(output_name, identity);
    if (!output) std::fprintf(stderr, "Unable to open output file: %s\n", output_name.c_str());
    return output;
}

// A failed close (a network file system's full disk, say) is a failed write
// too. An output not written whole leaves no partial file behind (a symbolic
// link named so stays, to an emptied file: see
// platform::discard_output_file).
Outcome write_output(OpenFile output, const std::optional<platform::FileIdentity>& identity,
                     const std::vector<std::uint8_t>& image, const std::string& output_name) {
    std::string reason;
    const bool written = platform::write_whole(output, image, reason);
    if (written && platform::close_output_file(std::move(output), output_name, identity)) return Outcome::done;
    if (!written) platform::discard_output_file(std::move(output), output_name);
    std::fprintf(stderr, "Error writing to output file: %s\n", output_name.c_str());
    return Outcome::stop;
}

void report_conversion_error(const std::string& input_name, const std::exception& error) {
    std::fprintf(stderr, "Error while converting file (%s): %s\n", input_name.c_str(), error.what());
}

// The input's length is taken only now, after the output was opened, which
// empties the input when both names are one file.
Outcome convert_opened(OpenFile input, OpenFile output, const std::optional<platform::FileIdentity>& identity,
                       const std::string& input_name, const std::string& output_name, const RunSettings& settings) {
    try {
        std::uint64_t length = 0;
        std::vector<std::uint8_t> bytes;
        std::string reason;
        const bool measured = platform::length_of(input, length);
        if (measured && length > bytes.max_size()) throw std::length_error("input file too large to hold in memory");
        if (measured) bytes.resize(static_cast<std::size_t>(length));
        if (!measured || !platform::read_whole(input, bytes, reason)) {
            // The output opened for it, still empty, would pass for one of
            // an input no format recognises.
            input.close();
            platform::discard_output_file(std::move(output), output_name);
            std::fprintf(stderr, "Unable to read input file: %s\n", input_name.c_str());
            return Outcome::stop;
        }
        input.close();
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

    // One core, or a build without threads: no pool, nothing to gain.
    const std::unique_ptr<Workers> workers = make_program_pool();
    const RunSettings settings{option_index != 0, workers.get()};

    if (workers && order.size() > 1) return convert_ahead(args, order, settings, *workers);
    for (const std::size_t i : order)
        if (convert_one(args[i], settings, [](const std::optional<platform::FileIdentity>&) {}) == Outcome::stop)
            return 1;
    return 0;
}

}  // namespace seqconv
