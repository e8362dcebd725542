// seqtool info: what each input holds, one line each, as the song that
// converting it writes: the library's facts of the song (form, tracks,
// songs, timebase, playing time, notes, loops, synthesiser) and the
// reader's fault.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/platform/whole_files.h"
#include "app/tool_commands.h"
#include "app/tool_run.h"
#include "seqconv/seqconv.h"

namespace seqconv::tool {

namespace {

// The fields of a row, as text or as JSON values: none for "-" or null.
struct Fields {
    std::optional<std::uint64_t> form, tracks, songs, notes;
    std::optional<std::string> timebase;  // ticks per quarter note, or "25fps/40"
    bool timebase_is_number = true;
};

struct Row {
    std::string path;
    std::string format = "-";
    std::string status;
    Fields fields;  // none of them for an input that was not read as a song
    SongFacts facts;
    Fault fault;
    std::string fault_words;  // "" for none
    std::string error;        // the message for an unreadable input
};

Fields fields_of(const SongFacts& facts) {
    Fields fields;
    fields.form = facts.form;
    fields.tracks = facts.tracks;
    fields.songs = facts.songs;
    fields.notes = facts.notes;
    const std::uint16_t word = static_cast<std::uint16_t>(facts.timebase);
    if ((word & 0x8000) != 0) {
        fields.timebase = std::to_string(-static_cast<std::int8_t>(word >> 8)) + "fps/" + std::to_string(word & 0xFF);
        fields.timebase_is_number = false;
    } else {
        fields.timebase = std::to_string(word);
    }
    return fields;
}

Row look_into(const Input& input, const InfoOptions& options, Progress& progress) {
    Row row;
    row.path = input.path;
    row.status = "unreadable";
    if (input.standing == Standing::unreadable) {
        row.error = input.path + ": " + lower_first(input.reason);
        return row;
    }
    progress.started(input.path);
    try {
        std::vector<std::uint8_t> bytes;
        std::string reason;
        if (!platform::read_file(input.path, bytes, reason)) {
            row.error = input.path + ": " + lower_first(reason);
            return row;
        }
        ConversionOptions only_facts;
        only_facts.write = false;
        Report report = convert_report(bytes, input.path, only_facts);
        if (options.play_out && report.status != ReadStatus::unrecognised) {
            // The playing time of the file played out, as convert writes it.
            ConversionOptions played = only_facts;
            played.loops = LoopWriting::play_out;
            played.play_out = *options.play_out;
            const Report out = convert_report(bytes, input.path, played);
            if (!out.songs.empty()) report.facts.milliseconds = out.songs[0].milliseconds;
        }
        bytes = {};
        if (report.format) row.format = std::string(format_name(*report.format));
        row.status = report.status == ReadStatus::complete  ? "complete"
                     : report.status == ReadStatus::damaged ? "damaged"
                                                            : "unrecognised";
        if (report.status != ReadStatus::unrecognised) {
            row.fields = fields_of(report.facts);
            row.facts = std::move(report.facts);
        }
        if (report.fault) row.fault_words = fault_words(report.status, report.fault);
        row.fault = std::move(report.fault);
    } catch (const std::exception& error) {
        row = Row{};
        row.path = input.path;
        row.status = "unreadable";
        row.error = input.path + ": " + error.what();
    }
    return row;
}

// How long one pass of the song's main loop lasts.
std::optional<std::uint64_t> main_loop_milliseconds(const SongFacts& facts) {
    if (!facts.main_loop || !facts.loops[0].start_milliseconds || !facts.loops[0].end_milliseconds) return std::nullopt;
    return *facts.loops[0].end_milliseconds - *facts.loops[0].start_milliseconds;
}

std::string seconds_text(std::uint64_t milliseconds) {
    const std::string fraction = std::to_string(1000 + milliseconds % 1000);
    return std::to_string(milliseconds / 1000) + "." + fraction.substr(1);
}

// Tabs, line ends and backslashes in names are escaped, so that every row
// is one line of exactly its columns.
std::string tsv_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

std::string tsv_row(const Row& row) {
    const Fields& fields = row.fields;
    const auto number = [](const std::optional<std::uint64_t>& value) {
        return value ? std::to_string(*value) : std::string("-");
    };
    std::string loops;
    for (const SongLoop& loop : row.facts.loops) {
        if (!loops.empty()) loops += ',';
        loops += std::to_string(loop.start) + '-' + std::to_string(loop.end);
    }
    const bool read = fields.form.has_value();
    const std::string_view synth = synth_name(row.facts.synth);
    const std::optional<std::uint64_t> loop_length = main_loop_milliseconds(row.facts);
    const std::string columns[] = {
        tsv_text(row.path),
        row.format,
        row.status,
        number(fields.form),
        number(fields.tracks),
        number(fields.songs),
        fields.timebase.value_or("-"),
        read && row.facts.milliseconds ? seconds_text(*row.facts.milliseconds) : "-",
        number(fields.notes),
        loops.empty() ? "-" : loops,
        loop_length ? seconds_text(*loop_length) : "-",
        synth.empty() ? "-" : std::string(synth),
        row.fault_words.empty() ? "-" : tsv_text(row.fault_words),
    };
    std::string line;
    for (const std::string& column : columns) line += (line.empty() ? "" : "\t") + column;
    return line;
}

// A JSON string. Bytes that are not UTF-8 (a name on Linux may hold any)
// become U+FFFD, as JSON text must be Unicode.
std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += static_cast<char>(c);
            } else if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // The length a lead byte announces, and the smallest value and the
        // range that keep the sequence shortest and within Unicode.
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        bool valid = length != 0 && c <= 0xF4 && i + length <= text.size();
        std::uint32_t code = valid ? c & (0xFF >> (length + 1)) : 0;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= least[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out + "\"";
}

std::string json_row(const Row& row) {
    const Fields& fields = row.fields;
    const auto number = [](const std::optional<std::uint64_t>& value) {
        return value ? std::to_string(*value) : std::string("null");
    };
    const auto seconds = [](const std::optional<std::uint64_t>& milliseconds) {
        return milliseconds ? seconds_text(*milliseconds) : std::string("null");
    };
    std::string loops = "[";
    for (const SongLoop& loop : row.facts.loops) {
        if (loops.size() > 1) loops += ',';
        loops += "{\"dialect\":" + json_string(std::string(loop_dialect_name(loop.dialect))) +
                 ",\"start\":" + std::to_string(loop.start) + ",\"end\":" + std::to_string(loop.end) +
                 ",\"start_seconds\":" + seconds(loop.start_milliseconds) +
                 ",\"end_seconds\":" + seconds(loop.end_milliseconds) + ",\"count\":" + std::to_string(loop.count) +
                 ",\"track\":" + (loop.track ? std::to_string(*loop.track) : "null") + "}";
    }
    loops += "]";
    std::string fault = "null";
    if (row.fault)
        fault = "{\"kind\":" + json_string(std::string(fault_kind_name(row.fault.kind))) +
                ",\"offset\":" + std::to_string(row.fault.offset) + ",\"reason\":" + json_string(row.fault.reason) +
                "}";
    const std::string_view synth = synth_name(row.facts.synth);
    const bool read = fields.form.has_value();
    const std::optional<std::uint64_t> loop_length = main_loop_milliseconds(row.facts);
    std::string timebase = "null";
    if (fields.timebase) timebase = fields.timebase_is_number ? *fields.timebase : json_string(*fields.timebase);
    return "{\"path\":" + json_string(row.path) +
           ",\"format\":" + (row.format == "-" ? std::string("null") : json_string(row.format)) +
           ",\"status\":" + json_string(row.status) + ",\"form\":" + number(fields.form) +
           ",\"tracks\":" + number(fields.tracks) + ",\"songs\":" + number(fields.songs) + ",\"timebase\":" + timebase +
           ",\"seconds\":" + (read ? seconds(row.facts.milliseconds) : "null") + ",\"notes\":" + number(fields.notes) +
           ",\"loops\":" + (read ? loops : "null") +
           ",\"loop_seconds\":" + (loop_length ? seconds_text(*loop_length) : std::string("null")) +
           ",\"synth\":" + (synth.empty() ? std::string("null") : json_string(std::string(synth))) +
           ",\"fault\":" + fault + "}";
}

}  // namespace

int run_info(const std::vector<std::string>& paths, const InfoOptions& options) {
    const std::vector<Input> inputs = find_inputs(paths, options.inputs);
    const std::unique_ptr<Workers> workers = make_program_pool();
    Progress progress(inputs.size());
    if (!options.json)
        std::printf(
            "path\tformat\tstatus\tform\ttracks\tsongs\ttimebase\tseconds\tnotes\tloops\tloop_seconds\tsynth\tfault\n");
    bool all_complete = true;
    run_in_order<Row>(
        workers.get(), inputs.size(), progress, [&](std::size_t i) { return look_into(inputs[i], options, progress); },
        [&](std::size_t, Row& row) {
            all_complete = all_complete && row.status == "complete";
            if (!row.error.empty()) progress.message(row.error);
            std::printf("%s\n", (options.json ? json_row(row) : tsv_row(row)).c_str());
        });
    progress.clear();
    std::fflush(stdout);
    return all_complete ? 0 : 2;
}

}  // namespace seqconv::tool
