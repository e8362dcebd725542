#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/platform/files.h"

namespace seqconv {

class Workers;

// Converts every input named in `args` (index 0 is the program's name) to
// "<name>.mid", printing messages to standard error. Returns the exit status:
// 1 after the usage text or a file error, which ends the run at once, and 0
// otherwise, also when single conversions failed.
int run_batch(const std::vector<std::string>& args);

// The steps of one file's conversion, which the batch (app/batch.h) takes
// too.

using platform::OpenFile;

// Whether the run goes on after a file.
enum class Outcome { done, stop };

// What holds for every file of a run: the "-1" option, and the pool the
// large files' tracks are read and written on (none: this thread alone).
struct RunSettings {
    bool promote = false;
    const Workers* workers = nullptr;
};

// The input's bytes replaced by the output's, in the same buffer: the
// library's conversion with the run's settings.
void convert_in_place(std::vector<std::uint8_t>& bytes, const std::string& input_name, const RunSettings& settings);

// The files of one conversion, opened by name, or null after the message
// that says which could not be. An input must be a plain file: a folder, a
// pipe or a device is refused.
OpenFile open_input(const std::string& input_name);
OpenFile open_output(const std::string& output_name, std::optional<platform::FileIdentity>& identity);

// Writes the output whole and closes it; `stop` after the message when it
// could not be written, the partial output taken away.
Outcome write_output(OpenFile output, const std::optional<platform::FileIdentity>& identity,
                     const std::vector<std::uint8_t>& image, const std::string& output_name);

void report_conversion_error(const std::string& input_name, const std::exception& error);

// From the opened files on: reads the input, converts it and writes the
// output. An input that cannot be read whole takes its output away.
Outcome convert_opened(OpenFile input, OpenFile output, const std::optional<platform::FileIdentity>& identity,
                       const std::string& input_name, const std::string& output_name, const RunSettings& settings);

// One file's whole conversion. `output_opened` is told of the output as
// soon as it is open.
template <typename OutputOpened>
Outcome convert_one(const std::string& input_name, const RunSettings& settings, OutputOpened&& output_opened) {
    const std::string output_name = input_name + ".mid";

    OpenFile input = open_input(input_name);
    if (!input) return Outcome::stop;
    std::optional<platform::FileIdentity> identity;
    OpenFile output = open_output(output_name, identity);
    if (!output) return Outcome::stop;
    output_opened(identity);
    return convert_opened(std::move(input), std::move(output), identity, input_name, output_name, settings);
}

}  // namespace seqconv
