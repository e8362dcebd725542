// The library's interfaces: the C++ conversion with its status and format,
// the split of several-song files, and the C functions over them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iff_support.h"
#include "seqconv/seqconv.h"
#include "seqconv/seqconv_c.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;
using test::iff_chunk;
using test::iff_container;

Bytes xmi_song(const Bytes& events) { return iff_container("FORM", "XMID", iff_chunk("EVNT", events)); }
Bytes xmi(const Bytes& songs) {
    return concat({iff_container("FORM", "XDIR", iff_chunk("INFO", {1, 0})), iff_container("CAT ", "XMID", songs)});
}

const Bytes first_song{0x90, 0x3C, 0x64, 0x20, 0x10, 0xFF, 0x2F, 0x00};
const Bytes second_song{0xC1, 0x05, 0x91, 0x40, 0x50, 0x08, 0xFF, 0x2F, 0x00};
const Bytes two_songs = xmi(concat({xmi_song(first_song), xmi_song(second_song)}));
const Bytes smf_song = test::smf(0, 96, {{0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
const Bytes damaged_smf = test::smf(1, 96, {{0x00, 0xFF, 0x2F, 0x00}, {0x00, 0x3C, 0x64}});

Bytes written(const MidiContainer& song) {
    Bytes out;
    write_smf(song, out);
    return out;
}

TEST(Library, ExtensionIsTheTextAfterTheLastDot) {
    EXPECT_EQ(extension_of("music/song.lds"), "lds");
    EXPECT_EQ(extension_of("x.y/z"), "y/z");
    EXPECT_EQ(extension_of("name."), "");
    EXPECT_EQ(extension_of("name"), std::nullopt);
}

TEST(Library, ReadingTellsTheFormatAndHowItEnded) {
    const struct {
        Bytes input;
        std::optional<InputFormat> format;
        ReadStatus status;
        std::size_t tracks;
    } cases[] = {
        {smf_song, InputFormat::smf, ReadStatus::complete, 1},
        {damaged_smf, InputFormat::smf, ReadStatus::damaged, 1},
        {two_songs, InputFormat::xmi, ReadStatus::complete, 2},
        {test::bytes_of("not music at all"), std::nullopt, ReadStatus::unrecognised, 0},
    };
    for (const auto& c : cases) {
        const ReadResult result = read_song(c.input, "input");
        EXPECT_EQ(result.format, c.format);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.song.track_count(), c.tracks);
    }
    EXPECT_EQ(format_name(InputFormat::mids), "MIDS");
}

TEST(Library, ConversionWritesWhatTheSongHolds) {
    for (const bool promote : {false, true}) {
        MidiContainer song;
        read_smf(test::range_of(damaged_smf), song);
        if (promote) promote_to_type1(song);
        const Conversion result = convert(damaged_smf, "damaged.mid", promote);
        EXPECT_EQ(result.status, ReadStatus::damaged);
        EXPECT_EQ(result.smf, written(song));
    }
    EXPECT_TRUE(convert(Bytes{}, "empty").smf.empty());
}

// Each song of a several-song file converts as the same song alone would.
TEST(Library, SongsOfAFormTwoFileBecomeFormZeroFilesOfTheirOwn) {
    for (const bool promote : {false, true}) {
        const SongsConversion split = convert_songs(two_songs, "two.xmi", promote);
        ASSERT_EQ(split.songs.size(), 2u);
        EXPECT_EQ(split.songs[0], convert(xmi(xmi_song(first_song)), "one.xmi", promote).smf);
        EXPECT_EQ(split.songs[1], convert(xmi(xmi_song(second_song)), "one.xmi", promote).smf);
    }
    const SongsConversion whole = convert_songs(smf_song, "song.mid");
    ASSERT_EQ(whole.songs.size(), 1u);
    EXPECT_EQ(whole.songs[0], smf_song);
}

TEST(Library, SplitKeepsTheTimebaseAndGivesOneTrackEach) {
    MidiContainer song;
    song.initialize(2, 480);
    for (std::uint32_t key : {0x3C, 0x3E, 0x40}) {
        MidiTrack track;
        track.add_event(test::note_on(key, std::uint8_t(key)));
        song.add_track(track);
    }
    const std::vector<MidiContainer> songs = split_songs(song);
    ASSERT_EQ(songs.size(), 3u);
    for (std::size_t i = 0; i < songs.size(); ++i) {
        EXPECT_EQ(songs[i].form(), 0u);
        EXPECT_EQ(songs[i].timebase(), 480u);
        ASSERT_EQ(songs[i].track_count(), 1u);
        EXPECT_EQ(songs[i].track(0)[0].timestamp, song.track(i)[0].timestamp);
    }
}

int c_convert(const Bytes& input, const char* name, int promote, Bytes& output, std::string& message) {
    seqconv_buffer buffer{};
    char text[200] = "untouched";
    const int status = seqconv_convert(input.data(), input.size(), name, promote, &buffer, text, sizeof text);
    output.assign(buffer.data, buffer.data + buffer.size);
    message = text;
    seqconv_free(&buffer);
    EXPECT_EQ(buffer.data, nullptr);
    return status;
}

TEST(LibraryC, ConvertGivesTheBytesStatusAndMessage) {
    Bytes output;
    std::string message;
    EXPECT_EQ(c_convert(two_songs, "two.xmi", 0, output, message), SEQCONV_OK);
    EXPECT_EQ(output, convert(two_songs, "two.xmi").smf);
    EXPECT_EQ(message, "XMI converted");
    EXPECT_EQ(c_convert(damaged_smf, nullptr, 1, output, message), SEQCONV_DAMAGED);
    EXPECT_EQ(output, convert(damaged_smf, "", true).smf);
    EXPECT_EQ(message, "SMF damaged: the output holds what was read before the fault");
    EXPECT_EQ(c_convert({}, "x", 0, output, message), SEQCONV_UNRECOGNISED);
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(message, "not a recognised format");
}

TEST(LibraryC, MessagesAreCutToTheRoomGiven) {
    seqconv_buffer buffer{};
    char text[4] = "abc";
    EXPECT_EQ(seqconv_convert(smf_song.data(), smf_song.size(), "", 0, &buffer, text, 0), SEQCONV_OK);
    EXPECT_STREQ(text, "abc");
    seqconv_free(&buffer);
    EXPECT_EQ(seqconv_convert(smf_song.data(), smf_song.size(), "", 0, &buffer, text, sizeof text), SEQCONV_OK);
    EXPECT_STREQ(text, "SMF");
    seqconv_free(&buffer);
    EXPECT_EQ(seqconv_convert(smf_song.data(), smf_song.size(), "", 0, &buffer, nullptr, 10), SEQCONV_OK);
    seqconv_free(&buffer);
}

TEST(LibraryC, MissingPointersAreRefused) {
    seqconv_buffer buffer{};
    seqconv_buffer* songs = nullptr;
    std::size_t count = 0;
    EXPECT_EQ(seqconv_convert(nullptr, 1, "", 0, &buffer, nullptr, 0), SEQCONV_INVALID_ARGUMENT);
    EXPECT_EQ(seqconv_convert(smf_song.data(), smf_song.size(), "", 0, nullptr, nullptr, 0), SEQCONV_INVALID_ARGUMENT);
    EXPECT_EQ(seqconv_convert_songs(smf_song.data(), smf_song.size(), "", 0, &songs, nullptr, nullptr, 0),
              SEQCONV_INVALID_ARGUMENT);
    EXPECT_EQ(seqconv_convert_songs(nullptr, 1, "", 0, &songs, &count, nullptr, 0), SEQCONV_INVALID_ARGUMENT);
    EXPECT_EQ(seqconv_convert(nullptr, 0, nullptr, 0, &buffer, nullptr, 0), SEQCONV_UNRECOGNISED);
}

// 65536 songs cannot share one Standard MIDI File, whose track count has 16
// bits; one file per song they can.
TEST(LibraryC, ASongNoFileCanHoldIsAnErrorWithTheReason) {
    const Bytes empty_song = xmi_song({});
    Bytes songs;
    for (int i = 0; i < 65536; ++i) songs.insert(songs.end(), empty_song.begin(), empty_song.end());
    const Bytes input = xmi(songs);
    Bytes output;
    std::string message;
    EXPECT_EQ(c_convert(input, "many.xmi", 0, output, message), SEQCONV_ERROR);
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(message, "too many tracks for a Standard MIDI File (65536, at most 65535)");

    seqconv_buffer* files = nullptr;
    std::size_t count = 0;
    EXPECT_EQ(seqconv_convert_songs(input.data(), input.size(), "many.xmi", 0, &files, &count, nullptr, 0), SEQCONV_OK);
    ASSERT_EQ(count, 65536u);
    EXPECT_EQ(Bytes(files[9].data, files[9].data + files[9].size), convert(xmi(empty_song), "").smf);
    seqconv_free_songs(files, count);
}

TEST(LibraryC, DetectionNamesTheFormat) {
    EXPECT_STREQ(seqconv_detect(two_songs.data(), two_songs.size(), nullptr), "XMI");
    EXPECT_STREQ(seqconv_detect(smf_song.data(), smf_song.size(), "a.lds"), "SMF");
    const Bytes module{0x01};
    EXPECT_STREQ(seqconv_detect(module.data(), module.size(), "song.LdS"), "LDS");
    EXPECT_EQ(seqconv_detect(module.data(), module.size(), "song.lds.txt"), nullptr);
    EXPECT_STREQ(seqconv_version(), SEQCONV_EXPECTED_VERSION);
}

}  // namespace
}  // namespace seqconv
