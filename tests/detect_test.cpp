// Format detection on header bytes, and convert_file's choice of reader.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;
using test::le16;
using test::le32;
using test::range_of;

Bytes resized(Bytes bytes, std::size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

// The shortest input taken for a Standard MIDI File: header and a track tag.
const Bytes smf_start = concat({test::smf_header(0, 1, 96), bytes_of("MTrk")});

TEST(DetectSmf, NeedsTheSixByteHeaderAndATrackTag) {
    ASSERT_EQ(smf_start.size(), 18u);
    EXPECT_TRUE(detect_smf(range_of(smf_start)));
    EXPECT_FALSE(detect_smf(range_of(resized(smf_start, 17))));
    EXPECT_FALSE(detect_smf(ByteRange()));

    Bytes capital_k = smf_start;
    capital_k[17] = 'K';
    EXPECT_FALSE(detect_smf(range_of(capital_k)));
    for (std::size_t length_byte = 4; length_byte < 8; ++length_byte) {
        Bytes other_length = smf_start;
        other_length[length_byte] ^= 0x01;
        EXPECT_FALSE(detect_smf(range_of(other_length))) << length_byte;
    }
}

// "RIFF" R "RMIDdata" D, then `rest` from offset 20.
Bytes rmid_start(std::uint32_t riff_size, std::uint32_t data_size, const Bytes& rest) {
    return concat({bytes_of("RIFF"), le32(riff_size), bytes_of("RMIDdata"), le32(data_size), rest});
}

TEST(DetectRmid, SizesMustFitTheInputAndEachOther) {
    // D = 18, R = D + 12 = 30, size = R + 8 = 38: every bound met exactly.
    EXPECT_TRUE(detect_rmid(range_of(rmid_start(30, 18, smf_start))));
    EXPECT_TRUE(detect_rmid(range_of(rmid_start(31, 18, resized(smf_start, 19)))));

    EXPECT_FALSE(detect_rmid(range_of(rmid_start(31, 18, smf_start)))) << "input shorter than R + 8";
    EXPECT_FALSE(detect_rmid(range_of(rmid_start(29, 18, smf_start)))) << "R below D + 12";
    EXPECT_FALSE(detect_rmid(range_of(rmid_start(30, 17, smf_start)))) << "D below 18";
    EXPECT_FALSE(detect_rmid(range_of(rmid_start(30, 19, smf_start)))) << "D too large for R and the input";
    // Sums near 2^32 must not wrap into small numbers.
    EXPECT_FALSE(detect_rmid(range_of(rmid_start(0xFFFFFFFF, 18, smf_start))));
    EXPECT_FALSE(detect_rmid(range_of(rmid_start(30, 0xFFFFFFFF, smf_start))));
    EXPECT_FALSE(detect_rmid(range_of(rmid_start(0xFFFFFFF9, 0xFFFFFFF8, smf_start))));

    EXPECT_FALSE(detect_rmid(range_of(resized(rmid_start(30, 18, {}), 19))));
    Bytes form = rmid_start(30, 18, smf_start);
    form[12] = 'D';  // "DATA" is another chunk
    EXPECT_FALSE(detect_rmid(range_of(form)));
    Bytes not_midi = rmid_start(30, 18, smf_start);
    not_midi[20 + 17] = 'K';  // the data chunk does not hold MThd ... MTrk
    EXPECT_FALSE(detect_rmid(range_of(not_midi)));
}

TEST(DetectHmpHmiXmi, MagicAndMinimumSize) {
    EXPECT_TRUE(detect_hmp(range_of(bytes_of("HMIMIDIP"))));
    EXPECT_TRUE(detect_hmp(range_of(bytes_of("HMIMIDIR"))));
    EXPECT_FALSE(detect_hmp(range_of(bytes_of("HMIMIDIS"))));
    EXPECT_FALSE(detect_hmp(range_of(bytes_of("HMIMIDI"))));

    EXPECT_TRUE(detect_hmi(range_of(bytes_of("HMI-MIDISONG"))));
    EXPECT_FALSE(detect_hmi(range_of(bytes_of("HMI-MIDISONg"))));
    EXPECT_FALSE(detect_hmi(range_of(bytes_of("HMI-MIDISON"))));

    Bytes xmi = resized(concat({bytes_of("FORM"), le32(0), bytes_of("XDIR")}), 30);
    xmi = concat({xmi, bytes_of("XMID")});
    EXPECT_TRUE(detect_xmi(range_of(xmi)));
    EXPECT_FALSE(detect_xmi(range_of(resized(xmi, 33))));
    for (std::size_t at : {0u, 8u, 30u}) {
        Bytes other = xmi;
        other[at + 3] = ' ';
        EXPECT_FALSE(detect_xmi(range_of(other))) << at;
    }
}

// A score header: length L at 4, start S at 6, instrument count N at 12.
Bytes mus(std::uint16_t length, std::uint16_t start, std::uint16_t instruments, std::size_t size) {
    return resized(concat({bytes_of("MUS\x1A"), le16(length), le16(start), le16(0), le16(0), le16(instruments)}), size);
}

TEST(DetectMus, ScoreStartsAfterTheInstrumentListAndFitsTheInput) {
    // N = 10: the list takes 20 bytes, padded to at most 40.
    for (unsigned start = 30; start < 60; ++start)
        EXPECT_EQ(detect_mus(range_of(mus(0, std::uint16_t(start), 10, 64))), start >= 36 && start <= 55) << start;
    EXPECT_FALSE(detect_mus(range_of(mus(0, 16, 0, 64))));
    EXPECT_FALSE(detect_mus(range_of(mus(0, 15, 0, 64))));

    EXPECT_TRUE(detect_mus(range_of(mus(28, 36, 10, 64))));
    EXPECT_FALSE(detect_mus(range_of(mus(29, 36, 10, 64))));
    // Sums beyond 16 bits stay exact.
    EXPECT_FALSE(detect_mus(range_of(mus(0xFFF0, 36, 10, 64))));
    EXPECT_FALSE(detect_mus(range_of(mus(0, 18, 0x8001, 64))));
    EXPECT_TRUE(detect_mus(range_of(mus(0, 0x8010, 0x4000, 0x8010))));

    EXPECT_TRUE(detect_mus(range_of(mus(0, 20, 2, 32))));
    EXPECT_FALSE(detect_mus(range_of(mus(0, 20, 2, 31))));
    Bytes magic = mus(0, 20, 2, 32);
    magic[3] = 0x1B;
    EXPECT_FALSE(detect_mus(range_of(magic)));
}

TEST(DetectMids, RiffSizeAtLeastEightAndWithinTheInput) {
    const auto mids = [](std::uint32_t riff_size, std::size_t size) {
        return resized(concat({bytes_of("RIFF"), le32(riff_size), bytes_of("MIDSfmt ")}), size);
    };
    EXPECT_TRUE(detect_mids(range_of(mids(8, 16))));
    EXPECT_TRUE(detect_mids(range_of(mids(20, 28))));
    EXPECT_FALSE(detect_mids(range_of(mids(7, 16))));
    EXPECT_FALSE(detect_mids(range_of(mids(9, 16))));
    EXPECT_FALSE(detect_mids(range_of(mids(0xFFFFFFFF, 16))));
    EXPECT_FALSE(detect_mids(range_of(mids(0xFFFFFFF8, 16))));
    EXPECT_FALSE(detect_mids(range_of(resized(mids(8, 16), 15))));
    EXPECT_FALSE(detect_mids(range_of(concat({bytes_of("RIFF"), le32(8), bytes_of("MIDSfmt_")}))));
}

TEST(DetectLds, ExtensionIgnoringCaseAndAModeByteUpToTwo) {
    const Bytes mode0{0}, mode2{2, 0x55}, mode3{3};
    EXPECT_TRUE(detect_lds(range_of(mode0), "LDS"));
    EXPECT_TRUE(detect_lds(range_of(mode2), "lds"));
    EXPECT_TRUE(detect_lds(range_of(mode0), "lDs"));
    EXPECT_FALSE(detect_lds(range_of(mode3), "LDS"));
    EXPECT_FALSE(detect_lds(ByteRange(), "LDS"));
    EXPECT_FALSE(detect_lds(range_of(mode0), "ldsx"));
    EXPECT_FALSE(detect_lds(range_of(mode0), "ld"));
    EXPECT_FALSE(detect_lds(range_of(mode0), ""));
    EXPECT_FALSE(detect_lds(range_of(mode0), std::nullopt));
}

TEST(DetectGmf, MagicAndThirtyTwoBytes) {
    const Bytes gmf = resized(bytes_of("GMF\x01"), 32);
    EXPECT_TRUE(detect_gmf(range_of(gmf)));
    EXPECT_FALSE(detect_gmf(range_of(resized(gmf, 31))));
    Bytes version = gmf;
    version[3] = 2;
    EXPECT_FALSE(detect_gmf(range_of(version)));
}

// convert_file runs the reader of the first format that accepts the input.

TEST(ConvertFile, ReadsStandardMidiFilesAndRmidForms) {
    const Bytes file = test::smf(1, 480, {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
    // The extension plays no part for formats known by their contents.
    for (std::optional<std::string_view> extension :
         {std::optional<std::string_view>("mid"), std::optional<std::string_view>("LDS"),
          std::optional<std::string_view>()}) {
        MidiContainer song;
        EXPECT_TRUE(convert_file(range_of(file), extension, song));
        EXPECT_EQ(song.form(), 1u);
        EXPECT_EQ(song.timebase(), 480u);
        ASSERT_EQ(song.track_count(), 1u);
        EXPECT_EQ(test::describe(song.track(0)), (test::Lines{"@0 90 3C 64", "@0 FF 2F"}));
    }

    MidiContainer wrapped;
    EXPECT_TRUE(convert_file(range_of(test::rmid(test::riff_chunk("data", file))), std::nullopt, wrapped));
    EXPECT_EQ(test::written(wrapped), file);
}

TEST(ConvertFile, FormatsWithoutAReaderGiveFalseAndAnEmptySong) {
    Bytes xmi = resized(concat({bytes_of("FORM"), le32(0), bytes_of("XDIR")}), 30);
    xmi = concat({xmi, bytes_of("XMID")});
    const struct {
        const char* name;
        Bytes input;
        std::optional<std::string_view> extension;
    } cases[] = {
        {"xmi", xmi, std::nullopt},
        {"lds", Bytes{1, 2, 3}, "Lds"},
        {"unknown", resized(bytes_of("RIFF"), 40), std::nullopt},
        {"empty", {}, "lds"},
    };
    for (const auto& c : cases) {
        MidiContainer song;
        EXPECT_FALSE(convert_file(range_of(c.input), c.extension, song)) << c.name;
        EXPECT_EQ(song.track_count(), 0u) << c.name;
        EXPECT_TRUE(test::written(song).empty()) << c.name;
    }
}

TEST(ConvertFile, RmidWithoutAMidiFileInsideFallsThroughToNothing) {
    Bytes file = test::smf(0, 96, {{0x00, 0xFF, 0x2F, 0x00}});
    file[17] = 'K';
    MidiContainer song;
    EXPECT_FALSE(convert_file(range_of(test::rmid(test::riff_chunk("data", file))), std::nullopt, song));
    EXPECT_EQ(song.track_count(), 0u);
}

TEST(ConvertFile, AChosenReaderThatFailsDecides) {
    // Taken for a Standard MIDI File, then refused for its form; the result
    // is that reader's.
    const Bytes file = test::smf(3, 96, {{0x00, 0xFF, 0x2F, 0x00}});
    MidiContainer song;
    EXPECT_FALSE(convert_file(range_of(file), std::nullopt, song));
    EXPECT_EQ(song.track_count(), 0u);
}

}  // namespace
}  // namespace seqconv
