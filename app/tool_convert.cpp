// seqtool convert: every input converted as seqconv converts it, each
// output written whole or not at all, and one line for each input that
// did not convert completely.

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/platform/folders.h"
#include "app/platform/whole_files.h"
#include "app/tool_commands.h"
#include "app/tool_run.h"
#include "seqconv/seqconv.h"

namespace seqconv::tool {

namespace {

enum class Ending { converted, damaged, unrecognised, unreadable, skipped, clash, not_written };

struct Done {
    Ending ending = Ending::converted;
    std::vector<std::string> messages;
    std::size_t looped = 0;  // songs whose loops were played out or marked
};

// The images of one input, each under its name: NAME.mid, or NAME.1.mid,
// NAME.2.mid… for the songs of a split song. An empty image (no track
// was read) is not written.
bool write_outputs(const std::string& output, const std::vector<std::vector<std::uint8_t>>& images, Done& done,
                   bool& wrote) {
    bool all = true;
    for (std::size_t i = 0; i < images.size(); ++i) {
        if (images[i].empty()) continue;
        const std::string name = images.size() > 1 ? output + "." + std::to_string(i + 1) + ".mid" : output + ".mid";
        std::string reason;
        const std::string folder = folder_of(name);
        if ((folder.empty() || platform::make_folders(folder, reason)) &&
            platform::replace_file(name, images[i], reason)) {
            wrote = true;
        } else {
            done.messages.push_back(name + ": not written: " + lower_first(reason));
            all = false;
        }
    }
    return all;
}

Done convert_input(const Input& input, const ConvertOptions& options, const Workers* workers) {
    Done done;
    std::vector<std::uint8_t> bytes;
    std::string reason;
    if (!platform::read_file(input.path, bytes, reason)) {
        done.ending = Ending::unreadable;
        done.messages.push_back(input.path + ": " + lower_first(reason));
        return done;
    }
    Report report;
    try {
        ConversionOptions settings;
        settings.promote = options.promote;
        settings.split = options.inputs.split;
        settings.loops = options.loops;
        settings.play_out = options.play_out;
        settings.merge = options.merge;
        settings.facts = false;
        report = convert_report(bytes, input.path, settings, workers);
    } catch (const std::exception& error) {
        done.ending = Ending::unreadable;
        done.messages.push_back(input.path + ": could not be converted: " + error.what());
        return done;
    }
    bytes = {};
    if (report.status == ReadStatus::unrecognised) {
        done.ending = Ending::unrecognised;
        done.messages.push_back(input.path + ": " + fault_words(report.status, report.fault) + ": nothing written");
        return done;
    }
    done.looped = report.looped;
    if (report.loop_fault)
        done.messages.push_back(input.path + ": loops left as read (" +
                                std::string(fault_kind_name(report.loop_fault.kind)) +
                                "): " + report.loop_fault.reason);
    bool wrote = false;
    if (!write_outputs(input.output, report.files, done, wrote)) {
        done.ending = Ending::not_written;
        return done;
    }
    if (report.status == ReadStatus::damaged) {
        done.ending = Ending::damaged;
        done.messages.push_back(
            input.path + ": " + fault_words(report.status, report.fault) +
            (wrote ? ": wrote what was read before it" : ": nothing was read before it, nothing written"));
    }
    return done;
}

Done take(const Input& input, const ConvertOptions& options, const Workers* workers, Progress& progress) {
    switch (input.standing) {
        case Standing::unreadable:
            return {Ending::unreadable, {input.path + ": " + lower_first(input.reason)}};
        case Standing::earlier_output:
            return {Ending::skipped, {}};
        case Standing::clash:
            return {Ending::clash, {input.path + ": " + input.reason + ": skipped"}};
        case Standing::take:
            break;
    }
    progress.started(input.path);
    try {
        return convert_input(input, options, workers);
    } catch (const std::exception& error) {  // out of memory for the very messages
        return {Ending::unreadable, {input.path + ": could not be converted: " + error.what()}};
    }
}

}  // namespace

int run_convert(const std::vector<std::string>& paths, const ConvertOptions& options) {
    InputOptions found = options.inputs;
    found.outputs = true;
    const std::vector<Input> inputs = find_inputs(paths, found);
    const std::unique_ptr<Workers> workers = make_program_pool();
    Progress progress(inputs.size());

    std::size_t counts[7] = {};
    std::size_t looped = 0;
    run_in_order<Done>(
        workers.get(), inputs.size(), progress,
        [&](std::size_t i) { return take(inputs[i], options, workers.get(), progress); },
        [&](std::size_t, Done& done) {
            ++counts[static_cast<int>(done.ending)];
            looped += done.looped;
            for (const std::string& line : done.messages) progress.message(line);
        });
    progress.clear();

    const auto count = [&](Ending ending) { return counts[static_cast<int>(ending)]; };
    std::string summary = std::to_string(inputs.size()) + (inputs.size() == 1 ? " file: " : " files: ") +
                          std::to_string(count(Ending::converted)) + " converted, " +
                          std::to_string(count(Ending::damaged)) + " damaged, " +
                          std::to_string(count(Ending::unrecognised)) + " not recognised, " +
                          std::to_string(count(Ending::unreadable)) + " unreadable, " +
                          std::to_string(count(Ending::skipped) + count(Ending::clash)) + " skipped";
    if (count(Ending::not_written) != 0) summary += ", " + std::to_string(count(Ending::not_written)) + " not written";
    if (options.loops != LoopWriting::as_read)
        summary += "; " + std::to_string(looped) + (looped == 1 ? " song" : " songs") + " with loops " +
                   (options.loops == LoopWriting::play_out ? "played out" : "marked");
    char time[32];
    std::snprintf(time, sizeof time, " in %.2f s", progress.seconds());
    std::fprintf(stderr, "%s%s\n", summary.c_str(), time);

    if (count(Ending::not_written) != 0) return 1;
    const bool short_of_complete =
        count(Ending::damaged) + count(Ending::unrecognised) + count(Ending::unreadable) + count(Ending::clash) != 0;
    return short_of_complete ? 2 : 0;
}

}  // namespace seqconv::tool
