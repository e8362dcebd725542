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

TEST(LibraryC, DetectionNamesTheFormat) {
    const Bytes module{0x01};
    EXPECT_STREQ(seqconv_detect(two_songs.data(), two_songs.size(), nullptr), "XMI");
    EXPECT_STREQ(seqconv_detect(module.data(), module.size(), "song.LdS"), "LDS");
    EXPECT_EQ(seqconv_detect(module.data(), module.size(), "song.lds.txt"), nullptr);
    EXPECT_STREQ(seqconv_version(), SEQCONV_EXPECTED_VERSION);
}

}  // namespace
}  // namespace seqconv
