#include "seqconv/seqconv.h"

#include <utility>

#include "formats/near_miss.h"
#include "formats/readers.h"

namespace seqconv {

std::optional<std::string_view> extension_of(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    return name.substr(dot + 1);
}

std::optional<InputFormat> detect_format(std::span<const std::uint8_t> input, std::string_view name) {
    return detect_format(ByteRange(input.data(), input.size()), extension_of(name));
}

std::string fault_words(ReadStatus status, const Fault& fault) {
    switch (status) {
        case ReadStatus::complete:
            return "";
        case ReadStatus::damaged:
            if (!fault) return "damaged";
            return "damaged at byte " + std::to_string(fault.offset) + " (" + std::string(fault_kind_name(fault.kind)) +
                   "): " + fault.reason;
        case ReadStatus::unrecognised:
            break;
    }
    return fault ? fault.reason : "not a known format";
}

ReadResult read_song(std::span<const std::uint8_t> input, std::string_view name, const Workers* workers) {
    const ByteRange range(input.data(), input.size());
    ReadResult result;
    result.format = detect_format(range, extension_of(name));
    if (result.format) {
        const bool read = read_format(*result.format, range, result.song, &result.fault, workers);
        result.status = read && !result.fault ? ReadStatus::complete : ReadStatus::damaged;
    } else if (std::optional<NearMiss> miss = find_near_miss(range)) {
        result.resembles = miss->format;
        result.fault = std::move(miss->fault);
    }
    return result;
}

std::vector<MidiContainer> split_songs(MidiContainer song) {
    std::vector<MidiContainer> songs;
    if (song.form() != 2) {
        songs.push_back(std::move(song));
        return songs;
    }
    songs.resize(song.track_count());
    for (std::size_t i = 0; i < songs.size(); ++i) {
        songs[i].initialize(0, song.timebase());
        songs[i].add_track(song.track(i));
    }
    return songs;
}

namespace {

std::vector<std::uint8_t> written(MidiContainer& song, bool promote, const Workers* workers) {
    if (promote) promote_to_type1(song);
    std::vector<std::uint8_t> image;
    write_smf(song, image, workers);
    return image;
}

}  // namespace

Conversion convert(std::span<const std::uint8_t> input, std::string_view name, bool promote, const Workers* workers) {
    ReadResult read = read_song(input, name, workers);
    return {read.format, read.status, std::move(read.fault), written(read.song, promote, workers)};
}

SongsConversion convert_songs(std::span<const std::uint8_t> input, std::string_view name, bool promote,
                              const Workers* workers) {
    ReadResult read = read_song(input, name, workers);
    SongsConversion result{read.format, read.status, std::move(read.fault), {}};
    std::vector<MidiContainer> songs = split_songs(std::move(read.song));
    for (MidiContainer& song : songs) result.songs.push_back(written(song, promote, workers));
    return result;
}

Report convert_report(std::span<const std::uint8_t> input, std::string_view name, const ConversionOptions& options,
                      const Workers* workers) {
    ReadResult read = read_song(input, name, workers);
    Report report;
    report.format = read.format;
    report.resembles = read.resembles;
    report.status = read.status;
    report.fault = std::move(read.fault);
    if (read.status == ReadStatus::unrecognised) return report;
    if (options.facts) report.facts = song_facts(read.song, read.format);
    std::vector<MidiContainer> songs;
    if (options.split || (options.merge && read.song.form() == 2)) {
        songs = split_songs(std::move(read.song));
    } else {
        songs.push_back(std::move(read.song));
    }
    const bool rewritten = options.loops != LoopWriting::as_read || options.merge;
    for (MidiContainer& song : songs) {
        Fault refused;
        LoopChange change = LoopChange::none;
        if (options.loops == LoopWriting::play_out)
            change = play_out_loops(song, report.format, options.play_out, &refused);
        else if (options.loops == LoopWriting::mark)
            change = mark_loops(song, report.format, options.play_out, &refused);
        if (change == LoopChange::done) ++report.looped;
        if (refused && !report.loop_fault) report.loop_fault = std::move(refused);
        if (options.merge)
            merge_tracks(song);
        else if (options.promote)
            promote_to_type1(song);
        // A song whose loops were rewritten holds no mark of its format's
        // dialect any more: it reads as the Standard MIDI File written.
        const std::optional<InputFormat> written_as = change == LoopChange::done ? InputFormat::smf : report.format;
        if (options.facts)
            report.songs.push_back(options.promote || options.split || rewritten ? song_facts(song, written_as)
                                                                                 : report.facts);
        if (options.write) {
            report.files.emplace_back();
            write_smf(song, report.files.back(), workers);
        }
    }
    return report;
}

Conversion convert(std::vector<std::uint8_t>&& input, std::string_view name, bool promote, const Workers* workers) {
    ReadResult read = read_song(input, name, workers);
    if (promote) promote_to_type1(read.song);
    Conversion result{read.format, read.status, std::move(read.fault), std::move(input)};
    result.smf.clear();
    write_smf(read.song, result.smf, workers);
    return result;
}

}  // namespace seqconv
