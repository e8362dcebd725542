// seqtool: converts whole archives of game and multimedia music to
// Standard MIDI Files and shows what is in them. It uses the library as
// seqconv does, and says what became of every file.

#include <cctype>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/platform/console.h"
#include "app/tool_commands.h"

namespace seqconv::tool {

std::string lower_first(std::string reason) {
    // "No such file" reads "no such file" after a colon; "FIFO" stays.
    if (reason.size() >= 2 && std::isupper(static_cast<unsigned char>(reason[0])) &&
        std::islower(static_cast<unsigned char>(reason[1])))
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

}  // namespace seqconv::tool

namespace {

using namespace seqconv::tool;

constexpr const char* usage_text =
    "Usage: seqtool convert [-1] [--split] [-r] [-o DIR] [--] PATH...\n"
    "       seqtool info [-r] [--json] [--] PATH...\n"
    "\n"
    "Converts the music files of old games and multimedia titles to Standard\n"
    "MIDI Files, and shows what is in them.\n"
    "\n"
    "convert  writes NAME.mid for each input NAME, whole or not at all, and\n"
    "         names each input that did not convert completely\n"
    "  -1       promote form 0 songs to form 1\n"
    "  --split  write the songs of a file of several as NAME.1.mid, NAME.2.mid...\n"
    "  -r       convert the files in folders and in the folders within them\n"
    "  -o DIR   write the outputs under DIR\n"
    "info     one line for each input on standard output: path, format, status,\n"
    "         form, tracks, songs, timebase, seconds, notes, loops, fault\n"
    "  -r       look into folders and the folders within them\n"
    "  --json   one JSON object a line\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when every input was complete, 2 when some input was damaged,\n"
    "not recognised, unreadable or skipped for a clash, 1 on a usage error or an\n"
    "output that could not be written.\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "seqtool: %s\nTry 'seqtool --help' for more.\n", message.c_str());
    return 1;
}

int run(const std::vector<std::string>& args) {
    // --help and --version win wherever they stand before "--".
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--help") {
            std::fputs(usage_text, stdout);
            return 0;
        }
        if (args[i] == "--version") {
            std::printf("seqtool %s\n", SEQCONV_VERSION);
            return 0;
        }
    }
    if (args.size() < 2) return usage_error("no command: convert or info");
    const std::string& command = args[1];
    if (command != "convert" && command != "info") return usage_error("unknown command '" + command + "'");
    const bool converting = command == "convert";

    bool promote = false, split = false, recursive = false, json = false, options_ended = false;
    std::optional<std::string> output_folder;
    std::vector<std::string> paths;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            paths.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "-r") {
            recursive = true;
        } else if (converting && arg == "-1") {
            promote = true;
        } else if (converting && arg == "--split") {
            split = true;
        } else if (converting && arg == "-o") {
            if (i + 1 == args.size() || args[i + 1].empty()) return usage_error("-o needs a folder");
            output_folder = args[++i];
        } else if (!converting && arg == "--json") {
            json = true;
        } else {
            return usage_error("unknown option '" + arg + "' for " + command);
        }
    }
    if (paths.empty()) return usage_error("no PATH given");

    InputOptions inputs;
    inputs.recursive = recursive;
    inputs.split = split;
    inputs.output_folder = output_folder;
    if (converting) return run_convert(paths, {promote, inputs});
    return run_info(paths, {json, inputs});
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(seqconv::platform::acquire_arguments(argc, argv));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "seqtool: %s\n", error.what());
        return 1;
    }
}
