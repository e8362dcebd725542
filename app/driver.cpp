#include "app/driver.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>

#include "app/platform.h"
#include "seqconv/seqconv.h"

namespace seqconv {

namespace {

constexpr const char* usage_text =
    "Usage:\tseqconv [-1] <input files and/or wildcards>\n\n\t-1 - Promote type 0 files to type 1\n";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

enum class Outcome { done, stop };

Outcome convert_one(const std::string& input_name, bool promote) {
    const std::string output_name = input_name + ".mid";

    File input(platform::open_file(input_name, "rb"));
    if (!input) {
        std::fprintf(stderr, "Unable to open input file: %s\n", input_name.c_str());
        return Outcome::stop;
    }
    File output(platform::open_file(output_name, "wb"));
    if (!output) {
        std::fprintf(stderr, "Unable to open output file: %s\n", output_name.c_str());
        return Outcome::stop;
    }

    try {
        std::uint64_t length = 0;
        if (!platform::file_length(input.get(), length)) {
            std::fprintf(stderr, "Unable to read input file: %s\n", input_name.c_str());
            return Outcome::stop;
        }
        std::vector<std::uint8_t> bytes;
        if (length > bytes.max_size()) throw std::length_error("input file too large to hold in memory");
        bytes.resize(static_cast<std::size_t>(length));
        if (std::fread(bytes.data(), 1, bytes.size(), input.get()) != bytes.size()) {
            std::fprintf(stderr, "Unable to read input file: %s\n", input_name.c_str());
            return Outcome::stop;
        }
        input.reset();

        // Whatever the song holds is written, also when the input was damaged
        // or not recognised (no tracks: zero bytes). The song holds copies of
        // what it needs from the input, so the input's buffer, already in
        // memory, takes the output: a large file then costs one buffer, not two.
        ReadResult read = read_song(bytes, input_name);
        if (promote) promote_to_type1(read.song);
        std::vector<std::uint8_t>& image = bytes;
        image.clear();
        write_smf(read.song, image);

        // A failed flush on closing (a full disk, say) is a failed write too.
        // The flush is asked for first, as not every runtime's fclose tells.
        const bool written =
            std::fwrite(image.data(), 1, image.size(), output.get()) == image.size() && std::fflush(output.get()) == 0;
        if (!written || std::fclose(output.release()) != 0) {
            std::fprintf(stderr, "Error writing to output file: %s\n", output_name.c_str());
            return Outcome::stop;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Error while converting file (%s): %s\n", input_name.c_str(), error.what());
    }
    return Outcome::done;
}

}  // namespace

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

    for (std::size_t i = 1; i < args.size(); ++i) {
        if (i == option_index) continue;
        if (convert_one(args[i], option_index != 0) == Outcome::stop) return 1;
    }
    return 0;
}

}  // namespace seqconv
