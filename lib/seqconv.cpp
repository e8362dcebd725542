#include "seqconv/seqconv.h"

#include <utility>

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

ReadResult read_song(std::span<const std::uint8_t> input, std::string_view name, const Workers* workers) {
    const ByteRange range(input.data(), input.size());
    ReadResult result;
    result.format = detect_format(range, extension_of(name));
    if (result.format) {
        const bool read = read_format(*result.format, range, result.song, &result.fault, workers);
        result.status = read && !result.fault ? ReadStatus::complete : ReadStatus::damaged;
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

Conversion convert(std::span<const std::uint8_t> input, std::string_view name, bool promote,
                   const Workers* workers) {
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

Conversion convert(std::vector<std::uint8_t>&& input, std::string_view name, bool promote, const Workers* workers) {
    ReadResult read = read_song(input, name, workers);
    if (promote) promote_to_type1(read.song);
    Conversion result{read.format, read.status, std::move(read.fault), std::move(input)};
    result.smf.clear();
    write_smf(read.song, result.smf, workers);
    return result;
}

}  // namespace seqconv
