// seqtool info: what each input holds, one line each, as the song that
// converting it writes: its form, tracks, songs, timebase, playing time,
// notes, loop markers and the reader's fault.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "app/platform/whole_files.h"
#include "app/tool_commands.h"
#include "app/tool_run.h"
#include "seqconv/seqconv.h"

namespace seqconv::tool {

namespace {

constexpr std::uint32_t default_tempo = 500000;  // microseconds per quarter note

struct Loop {
    std::uint32_t start = 0;
    std::optional<std::uint32_t> end;
};

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
    std::optional<std::uint64_t> milliseconds;  // the playing time
    std::uint64_t notes = 0;
    std::vector<Loop> loops;
    Fault fault;
    std::string error;  // the message for an unreadable input
};

bool meta_is(const MidiEvent& event, std::uint8_t type) {
    return event.type == MidiEventType::extended && event.get_data_size() >= 2 && event.data_byte(0) == 0xFF &&
           event.data_byte(1) == type;
}

bool meta_text_is(const MidiEvent& event, std::string_view text) {
    if (!meta_is(event, 0x06) || event.get_data_size() != 2 + text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (event.data_byte(2 + i) != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

// Playing time as an exact fraction of a second: `per_second` parts a
// second, as the timebase has it; none when the timebase gives no time.
//  - ticks per quarter note: parts of ticks times microseconds a second;
//  - SMPTE: frames a second (negative in the high byte; -29 is the 29.97
//    of drop-frame time code) times ticks per frame, in ticks (in 1001ths
//    of a tick at 29.97).
std::optional<std::uint64_t> parts_per_second(std::uint32_t timebase) {
    const std::uint16_t word = static_cast<std::uint16_t>(timebase);
    if ((word & 0x8000) == 0) return word == 0 ? std::nullopt : std::optional<std::uint64_t>(word * 1000000ull);
    const int frames = -static_cast<std::int8_t>(word >> 8);
    const std::uint64_t ticks_per_frame = word & 0xFF;
    if (frames <= 0 || ticks_per_frame == 0) return std::nullopt;
    return frames == 29 ? 30000 * ticks_per_frame : static_cast<std::uint64_t>(frames) * ticks_per_frame;
}

// How long the tracks play together as a player plays them, in the parts
// above: every track's tempo events apply to all of them, from the default
// tempo on, up to the last event of any track.
std::uint64_t playing_parts(const std::vector<const MidiTrack*>& tracks, std::uint32_t timebase) {
    std::uint32_t end = 0;
    for (const MidiTrack* track : tracks)
        if (!track->empty()) end = std::max(end, (*track)[track->size() - 1].timestamp);
    const std::uint16_t word = static_cast<std::uint16_t>(timebase);
    if ((word & 0x8000) != 0) return (word >> 8) == 0xE3 ? std::uint64_t{end} * 1001 : end;

    // Tempo changes in time order, by track and then event where several
    // fall on one tick: the last one taken is the one that holds after it.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tempos;
    for (const MidiTrack* track : tracks)
        for (const MidiEvent& event : *track)
            if (meta_is(event, 0x51) && event.get_data_size() >= 5)
                tempos.emplace_back(event.timestamp, (std::uint32_t{event.data_byte(2)} << 16) |
                                                         (std::uint32_t{event.data_byte(3)} << 8) | event.data_byte(4));
    std::stable_sort(tempos.begin(), tempos.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    // Ticks times microseconds stay below 2^56 in all: exact in 64 bits.
    std::uint64_t micro_ticks = 0;
    std::uint32_t at = 0, tempo = default_tempo;
    for (const auto& [time, value] : tempos) {
        if (time >= end) break;
        micro_ticks += std::uint64_t{time - at} * tempo;
        at = time;
        tempo = value;
    }
    return micro_ticks + std::uint64_t{end - at} * tempo;
}

// Milliseconds, the half rounded up.
std::uint64_t milliseconds(std::uint64_t parts, std::uint64_t per_second) {
    return parts / per_second * 1000 + (parts % per_second * 1000 + per_second / 2) / per_second;
}

void describe_song(const MidiContainer& song, Row& row) {
    std::vector<const MidiTrack*> all;
    for (const MidiTrack& track : song.tracks()) all.push_back(&track);
    if (const std::optional<std::uint64_t> per_second = parts_per_second(song.timebase())) {
        std::uint64_t parts = 0;
        if (song.form() == 2) {
            // One song after the other, each with its own tempo; a sum past
            // 64 bits (thousands of songs of days each) saturates.
            for (const MidiTrack* track : all) {
                const std::uint64_t part = playing_parts({track}, song.timebase());
                parts = part > std::numeric_limits<std::uint64_t>::max() - parts ? std::numeric_limits<std::uint64_t>::max() : parts + part;
            }
        } else {
            parts = playing_parts(all, song.timebase());
        }
        row.milliseconds = milliseconds(parts, *per_second);
    }

    std::vector<std::pair<std::uint32_t, bool>> markers;  // time, whether it starts a loop
    for (const MidiTrack* track : all) {
        for (const MidiEvent& event : *track) {
            if (event.type == MidiEventType::note_on && event.get_data_size() >= 2 && event.data_byte(1) != 0)
                ++row.notes;
            else if (meta_text_is(event, "loopStart"))
                markers.emplace_back(event.timestamp, true);
            else if (meta_text_is(event, "loopEnd"))
                markers.emplace_back(event.timestamp, false);
        }
    }
    std::stable_sort(markers.begin(), markers.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [time, starts] : markers) {
        if (starts)
            row.loops.push_back({time, std::nullopt});
        else if (!row.loops.empty() && !row.loops.back().end)
            row.loops.back().end = time;
    }
}

Fields fields_of(const MidiContainer& song, std::uint64_t notes) {
    Fields fields;
    // The written file holds the form's low 8 and the timebase's low 16 bits.
    fields.form = song.form() & 0xFF;
    fields.tracks = song.track_count();
    fields.songs = song.form() == 2 ? song.track_count() : song.track_count() != 0 ? 1 : 0;
    fields.notes = notes;
    const std::uint16_t word = static_cast<std::uint16_t>(song.timebase());
    if ((word & 0x8000) != 0) {
        fields.timebase = std::to_string(-static_cast<std::int8_t>(word >> 8)) + "fps/" + std::to_string(word & 0xFF);
        fields.timebase_is_number = false;
    } else {
        fields.timebase = std::to_string(word);
    }
    return fields;
}

Row look_into(const Input& input, Progress& progress) {
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
        const ReadResult read = read_song(bytes, input.path);
        bytes = {};
        if (read.format) row.format = std::string(format_name(*read.format));
        row.status = read.status == ReadStatus::complete ? "complete"
                     : read.status == ReadStatus::damaged ? "damaged"
                                                          : "unrecognised";
        if (read.status != ReadStatus::unrecognised) {
            describe_song(read.song, row);
            row.fields = fields_of(read.song, row.notes);
            row.fault = read.fault;
        }
    } catch (const std::exception& error) {
        row = Row{};
        row.path = input.path;
        row.status = "unreadable";
        row.error = input.path + ": " + error.what();
    }
    return row;
}

std::string fault_text(const Fault& fault) { return "byte " + std::to_string(fault.offset) + ": " + fault.reason; }

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
    for (const Loop& loop : row.loops) {
        if (!loops.empty()) loops += ',';
        loops += std::to_string(loop.start);
        loops += '-';
        if (loop.end) loops += std::to_string(*loop.end);
    }
    const Fault* fault = row.fault ? &row.fault : nullptr;
    const std::string columns[] = {
        tsv_text(row.path),
        row.format,
        row.status,
        number(fields.form),
        number(fields.tracks),
        number(fields.songs),
        fields.timebase.value_or("-"),
        row.milliseconds && fields.form ? seconds_text(*row.milliseconds) : "-",
        number(fields.notes),
        loops.empty() ? "-" : loops,
        fault != nullptr ? tsv_text(fault_text(*fault)) : "-",
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
    std::string loops = "[";
    for (const Loop& loop : row.loops) {
        if (loops.size() > 1) loops += ',';
        loops += "{\"start\":";
        loops += std::to_string(loop.start);
        loops += ",\"end\":";
        loops += loop.end ? std::to_string(*loop.end) : "null";
        loops += '}';
    }
    loops += "]";
    std::string fault = "null";
    if (row.fault)
        fault = "{\"offset\":" + std::to_string(row.fault.offset) + ",\"reason\":" + json_string(row.fault.reason) +
                "}";
    std::string timebase = "null";
    if (fields.timebase) timebase = fields.timebase_is_number ? *fields.timebase : json_string(*fields.timebase);
    return "{\"path\":" + json_string(row.path) + ",\"format\":" +
           (row.format == "-" ? std::string("null") : json_string(row.format)) + ",\"status\":" +
           json_string(row.status) + ",\"form\":" + number(fields.form) + ",\"tracks\":" + number(fields.tracks) +
           ",\"songs\":" + number(fields.songs) + ",\"timebase\":" + timebase +
           ",\"seconds\":" + (row.milliseconds && fields.form ? seconds_text(*row.milliseconds) : "null") +
           ",\"notes\":" + number(fields.notes) + ",\"loops\":" + (fields.form ? loops : "null") +
           ",\"fault\":" + fault + "}";
}

}  // namespace

int run_info(const std::vector<std::string>& paths, const InfoOptions& options) {
    const std::vector<Input> inputs = find_inputs(paths, options.inputs);
    const std::unique_ptr<Workers> workers = make_program_pool();
    Progress progress(inputs.size());
    if (!options.json)
        std::printf("path\tformat\tstatus\tform\ttracks\tsongs\ttimebase\tseconds\tnotes\tloops\tfault\n");
    bool all_complete = true;
    run_in_order<Row>(
        workers.get(), inputs.size(), progress, [&](std::size_t i) { return look_into(inputs[i], progress); },
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
