// seqtool: converts whole archives of game and multimedia music to
// Standard MIDI Files and shows what is in them. It uses the library as
// seqconv does, and says what became of every file.

#include <cctype>
#include <cstdint>
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
using seqconv::LoopWriting;
using seqconv::PlayOut;

constexpr const char* usage_text =
    "Usage: seqtool convert [-1 | --form 0] [--split] [--loops N [--fade S] | --mark-loops] [--whole]\n"
    "                       [-r] [-o DIR] [--] PATH...\n"
    "       seqtool info [-r] [--json] [--loops N [--fade S] [--whole]] [--] PATH...\n"
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
    "  --loops N     play the main loop N times in all, then fade out: no loop\n"
    "                marks stay, and the file plays the same in every player\n"
    "  --fade S      the fade's length in seconds (10; 0: none)\n"
    "  --mark-loops  end at the main loop's end, marked by \"loopStart\" and\n"
    "                \"loopEnd\" and controller 111, no other loop marks\n"
    "  --whole       with those: a song without a loop loops whole\n"
    "  --form 0      merge the tracks into one (form 0)\n"
    "info     one line for each input on standard output: path, format, status,\n"
    "         form, tracks, songs, timebase, seconds, notes, loops, loop_seconds,\n"
    "         synth, fault\n"
    "  -r       look into folders and the folders within them\n"
    "  --json   one JSON object a line\n"
    "  --loops N, --fade S, --whole  the seconds the file played out would last\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 when every input was complete, 2 when some input was damaged,\n"
    "not recognised, unreadable or skipped for a clash, 1 on a usage error or an\n"
    "output that could not be written.\n";

// A whole number from `least` to `most`, written in decimal digits alone.
std::optional<std::uint32_t> whole_number(const std::string& text, std::uint32_t least, std::uint32_t most) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value < least || value > most) return std::nullopt;
    return value;
}

// Seconds, with at most three decimals ("2.5"), from 0 to an hour, as
// milliseconds.
std::optional<std::uint32_t> milliseconds_of(const std::string& text) {
    const std::size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (fraction.size() > 3 || (dot != std::string::npos && fraction.empty())) return std::nullopt;
    const std::optional<std::uint32_t> seconds = whole_number(whole, 0, 3600);
    fraction.resize(3, '0');
    const std::optional<std::uint32_t> thousandths = whole_number(fraction, 0, 999);
    if (!seconds || !thousandths || *seconds * 1000 + *thousandths > 3600 * 1000) return std::nullopt;
    return *seconds * 1000 + *thousandths;
}

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
    bool mark = false, whole = false, merge = false;
    std::optional<std::uint32_t> loops;
    std::optional<std::uint32_t> fade_milliseconds;
    std::optional<std::string> output_folder;
    std::vector<std::string> paths;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
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
        } else if (arg == "--loops") {
            const std::string* text = value();
            loops = text != nullptr ? whole_number(*text, 1, 1000) : std::nullopt;
            if (!loops) return usage_error("--loops takes a number of passes from 1 to 1000");
        } else if (arg == "--fade") {
            const std::string* text = value();
            fade_milliseconds = text != nullptr ? milliseconds_of(*text) : std::nullopt;
            if (!fade_milliseconds) return usage_error("--fade takes seconds from 0 to 3600");
        } else if (arg == "--whole") {
            whole = true;
        } else if (converting && arg == "--mark-loops") {
            mark = true;
        } else if (converting && arg == "--form") {
            const std::string* text = value();
            if (text == nullptr || *text != "0") return usage_error("--form takes 0: the tracks merged into one");
            merge = true;
        } else {
            return usage_error("unknown option '" + arg + "' for " + command);
        }
    }
    if (loops && mark) return usage_error("--loops and --mark-loops exclude each other");
    if (fade_milliseconds && !loops) return usage_error("--fade goes with --loops");
    if (whole && !loops && !mark) return usage_error("--whole goes with --loops or --mark-loops");
    if (promote && merge) return usage_error("-1 and --form 0 exclude each other");
    if (paths.empty()) return usage_error("no PATH given");

    InputOptions inputs;
    inputs.recursive = recursive;
    // A song of several songs is split before its tracks are merged.
    inputs.split = split || merge;
    inputs.output_folder = output_folder;
    PlayOut play_out;
    play_out.passes = loops.value_or(play_out.passes);
    play_out.fade_milliseconds = fade_milliseconds.value_or(play_out.fade_milliseconds);
    play_out.whole = whole;
    if (converting) {
        ConvertOptions options;
        options.promote = promote;
        options.inputs = inputs;
        options.loops = loops ? LoopWriting::play_out : mark ? LoopWriting::mark : LoopWriting::as_read;
        options.play_out = play_out;
        options.merge = merge;
        return run_convert(paths, options);
    }
    InfoOptions options;
    options.json = json;
    options.inputs = inputs;
    if (loops) options.play_out = play_out;
    return run_info(paths, options);
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
