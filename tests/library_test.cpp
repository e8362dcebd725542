// The library's interfaces: the split of several-song files, and the C
// functions with their statuses and messages.

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "iff_support.h"
#include "seqconv/seqconv.h"
#include "seqconv/seqconv_c.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::concat;

Bytes xmi_song(const Bytes& events) { return test::iff_container("FORM", "XMID", test::iff_chunk("EVNT", events)); }
Bytes xmi(const Bytes& songs) {
    return concat({test::iff_container("FORM", "XDIR", test::iff_chunk("INFO", {1, 0})),
                   test::iff_container("CAT ", "XMID", songs)});
}

const Bytes first_song{0x90, 0x3C, 0x64, 0x20, 0x10, 0xFF, 0x2F, 0x00};
const Bytes second_song{0xC1, 0x05, 0x91, 0x40, 0x50, 0x08, 0xFF, 0x2F, 0x00};
const Bytes two_songs = xmi(concat({xmi_song(first_song), xmi_song(second_song)}));
const Bytes smf_song = test::smf(0, 96, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
const Bytes damaged_smf = test::smf(1, 96, {{0x00, 0xFF, 0x2F, 0x00}, {0x00, 0x3C, 0x64}});

// Each song of a several-song file converts as the same song alone does.
TEST(Library, SongsOfAFormTwoFileBecomeFilesOfTheirOwn) {
    for (const bool promote : {false, true}) {
        const SongsConversion split = convert_songs(two_songs, "two.xmi", promote);
        ASSERT_EQ(split.songs.size(), 2u);
        EXPECT_EQ(split.songs[0], convert(xmi(xmi_song(first_song)), "one.xmi", promote).smf);
        EXPECT_EQ(split.songs[1], convert(xmi(xmi_song(second_song)), "one.xmi", promote).smf);
    }
    EXPECT_EQ(convert_songs(smf_song, "song.mid").songs, std::vector<Bytes>{smf_song});
}

// The conversion that takes the input's buffer over gives what the one that
// leaves the input alone gives, damaged and unrecognised inputs included.
TEST(Library, ConversionInTheInputsBufferGivesWhatConvertGives) {
    struct Case {
        const char* what;
        Bytes input;
        const char* name;
    };
    const Case cases[] = {
        {"complete", smf_song, "song.mid"},
        {"several songs", two_songs, "two.xmi"},
        {"damaged", damaged_smf, "damaged.mid"},
        {"not recognised", {1, 2, 3}, "x.mid"},
        {"empty", {}, "empty"},
    };
    for (const Case& c : cases) {
        for (const bool promote : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (promote ? ", promoted" : ""));
            const Conversion expected = convert(std::span<const std::uint8_t>(c.input), c.name, promote);
            Bytes buffer = c.input;
            const Conversion got = convert(std::move(buffer), c.name, promote);
            EXPECT_EQ(got.smf, expected.smf);
            EXPECT_EQ(got.format, expected.format);
            EXPECT_EQ(got.status, expected.status);
            EXPECT_EQ(got.fault.kind, expected.fault.kind);
            EXPECT_EQ(got.fault.offset, expected.fault.offset);
            EXPECT_EQ(got.fault.reason, expected.fault.reason);
        }
    }
}

// The output is written into the input's own buffer, which holds it here
// without growing: one buffer, not two.
TEST(Library, ConversionInTheInputsBufferKeepsThatBuffer) {
    Bytes input = smf_song;
    input.reserve(4096);
    const std::uint8_t* const storage = input.data();
    const Conversion converted = convert(std::move(input), "song.mid");
    EXPECT_EQ(converted.smf, smf_song);
    EXPECT_EQ(converted.smf.data(), storage);
}

int c_convert(const Bytes& input, const char* name, int promote, Bytes& output, std::string& message,
              std::size_t room = 200) {
    seqconv_buffer buffer{};
    char text[200] = "untouched";
    const int status = seqconv_convert(input.data(), input.size(), name, promote, &buffer, text, room);
    output.assign(buffer.data, buffer.data + buffer.size);
    message = text;
    seqconv_free(&buffer);
    return status;
}

TEST(LibraryC, ConvertGivesTheBytesAStatusAndAMessage) {
    Bytes output;
    std::string message;
    EXPECT_EQ(c_convert(two_songs, "two.xmi", 0, output, message), SEQCONV_OK);
    EXPECT_EQ(output, convert(two_songs, "").smf);
    EXPECT_EQ(message, "XMI converted");
    EXPECT_EQ(c_convert(damaged_smf, nullptr, 1, output, message), SEQCONV_DAMAGED);
    EXPECT_EQ(output, convert(damaged_smf, "", true).smf);
    EXPECT_EQ(message,
              "SMF damaged at byte 35 (malformed): track 1: data byte without running status; the output holds "
              "what was read before it");
    EXPECT_EQ(c_convert({}, "x", 0, output, message), SEQCONV_UNRECOGNISED);
    EXPECT_EQ(message, "not a recognised format");
    EXPECT_EQ(c_convert(smf_song, "", 0, output, message, 4), SEQCONV_OK);
    EXPECT_EQ(message, "SMF");
    seqconv_buffer buffer{};
    EXPECT_EQ(seqconv_convert(nullptr, 1, "", 0, &buffer, nullptr, 0), SEQCONV_INVALID_ARGUMENT);
    EXPECT_EQ(seqconv_convert(smf_song.data(), smf_song.size(), "", 0, nullptr, nullptr, 0), SEQCONV_INVALID_ARGUMENT);
}

// 65536 songs cannot share one Standard MIDI File, whose track count has 16
// bits; one file each they can.
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
    EXPECT_EQ(seqconv_convert_songs(input.data(), input.size(), "", 0, &files, &count, nullptr, 0), SEQCONV_OK);
    ASSERT_EQ(count, 65536u);
    EXPECT_EQ(Bytes(files[9].data, files[9].data + files[9].size), convert(xmi(empty_song), "").smf);
    seqconv_free_songs(files, count);
}

// The report carries as fields what the messages say in words, and the
// facts of the song read and of each file written.
TEST(LibraryC, TheReportGivesStatusFaultAndFactsAsFields) {
    seqconv_report report{};
    EXPECT_EQ(seqconv_convert_report(damaged_smf.data(), damaged_smf.size(), "d.mid", nullptr, nullptr, nullptr, &report),
              SEQCONV_DAMAGED);
    EXPECT_STREQ(report.format, "SMF");
    EXPECT_EQ(report.resembles, nullptr);
    EXPECT_EQ(report.fault_kind, SEQCONV_FAULT_MALFORMED);
    EXPECT_STREQ(report.fault_kind_name, "malformed");
    EXPECT_EQ(report.fault_offset, 35u);
    EXPECT_STREQ(report.fault_reason, "track 1: data byte without running status");
    EXPECT_STREQ(report.fault_words, "damaged at byte 35 (malformed): track 1: data byte without running status");
    EXPECT_EQ(report.facts.form, 1u);
    EXPECT_EQ(report.facts.tracks, 1u);
    EXPECT_EQ(report.song_count, 1u);
    seqconv_free_report(&report);
    EXPECT_EQ(report.fault_reason, nullptr);

    // Split and promoted: each song's facts, loops with their dialect.
    const Bytes looping{0xB0, 0x74, 0x00, 0x90, 0x3C, 0x64, 0x3C, 0x3C, 0xB0, 0x75, 0x7F, 0xFF, 0x2F, 0x00};
    const Bytes input = xmi(concat({xmi_song(first_song), xmi_song(looping)}));
    const seqconv_options options{1, 1, 0, 0, 0, 0, 0};
    seqconv_buffer* files = nullptr;
    std::size_t count = 0;
    ASSERT_EQ(seqconv_convert_report(input.data(), input.size(), "two.xmi", &options, &files, &count, &report),
              SEQCONV_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(Bytes(files[1].data, files[1].data + files[1].size), convert_songs(input, "", true).songs[1]);
    EXPECT_EQ(report.fault_kind, SEQCONV_FAULT_NONE);
    EXPECT_STREQ(report.fault_words, "");
    EXPECT_EQ(report.facts.form, 2u);
    EXPECT_EQ(report.facts.songs, 2u);
    ASSERT_EQ(report.facts.loop_count, 1u);
    EXPECT_EQ(report.facts.loops[0].track, 1);
    ASSERT_EQ(report.song_count, 2u);
    EXPECT_EQ(report.songs[1].form, 1u);
    EXPECT_DOUBLE_EQ(report.songs[1].seconds, 0.5);
    EXPECT_EQ(report.songs[1].notes, 1u);
    ASSERT_EQ(report.songs[1].loop_count, 1u);
    const seqconv_loop& loop = report.songs[1].loops[0];
    EXPECT_TRUE(report.songs[1].main_loop);
    EXPECT_STREQ(loop.dialect_name, "for-next");
    EXPECT_EQ(loop.dialect, SEQCONV_LOOP_FOR_NEXT);
    EXPECT_EQ(loop.start, 0u);
    EXPECT_EQ(loop.end, 60u);
    EXPECT_DOUBLE_EQ(loop.end_seconds, 0.5);
    EXPECT_EQ(loop.count, 0u);
    EXPECT_EQ(loop.track, -1);
    seqconv_free_songs(files, count);
    seqconv_free_report(&report);

    EXPECT_EQ(seqconv_convert_report(nullptr, 0, "", nullptr, nullptr, nullptr, &report), SEQCONV_UNRECOGNISED);
    EXPECT_EQ(report.format, nullptr);
    EXPECT_STREQ(report.fault_words, "not a known format");
    seqconv_free_report(&report);
    EXPECT_EQ(seqconv_convert_report(nullptr, 0, "", nullptr, &files, nullptr, &report), SEQCONV_INVALID_ARGUMENT);
}

// The loop and form options reach the conversion as the C++ options do.
TEST(LibraryC, OptionsPlayLoopsOutMarkThemAndMergeTracks) {
    const Bytes looping{0xB0, 0x74, 0x00, 0x90, 0x3C, 0x64, 0x3C, 0x3C, 0xB0, 0x75, 0x7F, 0xFF, 0x2F, 0x00};
    const Bytes input = xmi(concat({xmi_song(first_song), xmi_song(looping)}));
    struct Case {
        seqconv_options c;
        ConversionOptions cpp;
        std::size_t looped;
    };
    ConversionOptions played, marked, merged;
    played.loops = LoopWriting::play_out;
    played.play_out = {3, 1500, false};
    marked.loops = LoopWriting::mark;
    merged.merge = true;
    const Case cases[] = {
        {{0, 0, 3, 1500, 0, 0, 0}, played, 1},
        {{0, 0, 0, 0, 1, 0, 0}, marked, 1},
        {{0, 0, 0, 0, 0, 0, 1}, merged, 0},
    };
    for (const Case& c : cases) {
        seqconv_report report{};
        seqconv_buffer* files = nullptr;
        std::size_t count = 0;
        ASSERT_EQ(seqconv_convert_report(input.data(), input.size(), "", &c.c, &files, &count, &report), SEQCONV_OK);
        const Report expected = convert_report(input, "", c.cpp);
        ASSERT_EQ(count, expected.files.size());
        for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(Bytes(files[i].data, files[i].data + files[i].size), expected.files[i]);
        EXPECT_EQ(report.looped, c.looped);
        EXPECT_STREQ(report.loop_fault_reason, "");
        seqconv_free_songs(files, count);
        seqconv_free_report(&report);
    }
    const seqconv_options both{1, 0, 0, 0, 0, 0, 1};
    seqconv_report report{};
    EXPECT_EQ(seqconv_convert_report(input.data(), input.size(), "", &both, nullptr, nullptr, &report),
              SEQCONV_INVALID_ARGUMENT);
}

// A player's events come back from the written bytes with their times.
TEST(LibraryC, SongEventsAreTimedAsTheFilePlays) {
    const Bytes file = convert(two_songs, "two.xmi").smf;
    seqconv_song_event* events = nullptr;
    std::size_t count = 0;
    double seconds = 0;
    ASSERT_EQ(seqconv_song_events(file.data(), file.size(), &events, &count, &seconds), SEQCONV_OK);
    ASSERT_EQ(count, 5u);
    EXPECT_EQ(events[2].track, 1u);
    EXPECT_EQ(events[2].status, 0xC1);
    EXPECT_EQ(events[2].data1, 5);
    EXPECT_DOUBLE_EQ(events[2].seconds, events[1].seconds);  // the second song starts where the first ends
    EXPECT_DOUBLE_EQ(seconds, (32 + 8) / 120.0);
    seqconv_free_song_events(events);
    EXPECT_EQ(seqconv_song_events(smf_song.data(), 3, &events, &count, &seconds), SEQCONV_UNRECOGNISED);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(seconds, -1);
}

TEST(LibraryC, DetectionNamesTheFormat) {
    const Bytes module{0x01};
    EXPECT_STREQ(seqconv_detect(two_songs.data(), two_songs.size(), nullptr), "XMI");
    EXPECT_STREQ(seqconv_detect(module.data(), module.size(), "song.LdS"), "LDS");
    EXPECT_EQ(seqconv_detect(module.data(), module.size(), "song.lds.txt"), nullptr);
    EXPECT_STREQ(seqconv_version(), SEQCONV_EXPECTED_VERSION);
}

}  // namespace
}  // namespace seqconv
