// The Standard MIDI File reader (whole files, single tracks in both modes,
// variable-length quantities) and the RIFF RMID reader around it.

#include "formats/smf_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/readers.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;
using test::describe;
using test::Lines;
using test::range_of;
using test::smf;

const Bytes end_of_track{0x00, 0xFF, 0x2F, 0x00};

struct Read {
    bool ok = false;
    MidiContainer song;
};

Read read(const Bytes& file) {
    Read result;
    result.ok = read_smf(range_of(file), result.song);
    return result;
}

Bytes first(const Bytes& bytes, std::size_t count) { return Bytes(bytes.begin(), bytes.begin() + count); }

std::string at(std::uint32_t time, const std::string& rest) {
    std::string out = "@";
    out += std::to_string(time);
    return out + " " + rest;
}

TEST(ReadVlq, TakesGroupsWhileTheHighBitIsSetKeepingTheLow32Bits) {
    const struct {
        Bytes input;
        std::uint32_t value;
        std::size_t length;
    } cases[] = {
        {{0x00, 0x7F}, 0, 1},
        {{0x81, 0x00}, 0x80, 2},
        {{0x81, 0x80, 0x80, 0x80, 0x00}, 0x10000000, 5},
        {{0x9F, 0x80, 0x80, 0x80, 0x05}, 0xF0000005, 5},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01}, 0xFFFFFFFF, 7},
    };
    for (const auto& c : cases) {
        ByteCursor cursor(range_of(c.input));
        std::uint32_t value = 12345;
        ASSERT_TRUE(read_vlq(cursor, value));
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(cursor.offset(), c.length);
    }
    for (const Bytes& cut : {Bytes{}, Bytes{0x81}, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}) {
        ByteCursor cursor(range_of(cut));
        std::uint32_t value = 12345;
        EXPECT_FALSE(read_vlq(cursor, value));
        EXPECT_EQ(cursor.offset(), 0u);
        EXPECT_EQ(value, 12345u);
    }
}

TEST(ReadSmf, HeaderGivesFormAndRawDivision) {
    const Read smpte = read(smf(2, 0xE728, {end_of_track, end_of_track}));
    EXPECT_TRUE(smpte.ok);
    EXPECT_EQ(smpte.song.form(), 2u);
    EXPECT_EQ(smpte.song.timebase(), 0xE728u);
    EXPECT_EQ(smpte.song.track_count(), 2u);

    // No tracks announced: a song without tracks, even with a chunk behind.
    const Read none = read(concat({test::smf_header(1, 0, 480), test::mtrk(end_of_track)}));
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.song.timebase(), 480u);
    EXPECT_EQ(none.song.track_count(), 0u);
    EXPECT_TRUE(test::written(none.song).empty());

    const Read form3 = read(smf(3, 96, {end_of_track}));
    EXPECT_FALSE(form3.ok);
    EXPECT_EQ(form3.song.form(), 0u);
    EXPECT_EQ(form3.song.timebase(), 0u);
    EXPECT_EQ(form3.song.track_count(), 0u);

    Bytes long_header = smf(0, 96, {end_of_track});
    long_header[7] = 7;
    EXPECT_FALSE(read(long_header).ok);
    EXPECT_FALSE(read(first(smf(0, 96, {}), 13)).ok);
}

TEST(ReadSmf, DecodesEventsWithRunningStatus) {
    const struct {
        Bytes body;
        Lines events;
    } cases[] = {
        {{0x00, 0x90, 0x3C, 0x64, 0x60, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00},
         {"@0 90 3C 64", "@96 90 3E 64", "@96 FF 2F"}},
        // Running status survives meta and system-exclusive events.
        {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x3E, 0x00, 0x00, 0xFF, 0x2F, 0x00},
         {"@0 90 3C 64", "@0 FF 51 07 A1 20", "@0 90 3E 00", "@0 FF 2F"}},
        {{0x00, 0x91, 0x3C, 0x64, 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01,
          0xF7, 0x05, 0x3E, 0x64, 0x00, 0xF0, 0x00, 0x00, 0xFF, 0x2F, 0x00},
         {"@0 91 3C 64", "@0 F0 7E 7F 09 01 F7", "@5 91 3E 64", "@5 F0", "@5 FF 2F"}},
        // One data byte for program change and channel aftertouch, two for the rest.
        {{0x00, 0xC5, 0x07, 0x00, 0xD2, 0x40, 0x05, 0x07, 0x00, 0x80, 0x3C, 0x00, 0x00, 0xA1, 0x3C, 0x10,
          0x00, 0xBF, 0x07, 0x64, 0x00, 0xE3, 0x00, 0x40, 0x01, 0x7F, 0x7F, 0x00, 0xFF, 0x2F, 0x00},
         {"@0 C5 07", "@0 D2 40", "@5 D2 07", "@5 80 3C 00", "@5 A1 3C 10", "@5 BF 07 64", "@5 E3 00 40", "@6 E3 7F 7F",
          "@6 FF 2F"}},
        // Clock start and stop make no event but their delta times count.
        {{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFB, 0x10, 0xFC, 0x10, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00},
         {"@0 90 3C 64", "@32 90 3E 64", "@32 FF 2F"}},
        // Data bytes are taken as they are.
        {{0x00, 0x90, 0xBC, 0xE4, 0x00, 0xC0, 0x80, 0x00, 0xFF, 0x2F, 0x00}, {"@0 90 BC E4", "@0 C0 80", "@0 FF 2F"}},
        // The end of track ends decoding, whatever follows it.
        {{0x00, 0xFF, 0x2F, 0x01, 0x55, 0x00, 0x90, 0x3C}, {"@0 FF 2F 55"}},
    };
    for (const auto& c : cases) {
        const Read r = read(smf(0, 96, {c.body}));
        EXPECT_TRUE(r.ok);
        ASSERT_EQ(r.song.track_count(), 1u);
        EXPECT_EQ(describe(r.song.track(0)), c.events);
    }
}

TEST(ReadSmf, LongDeltasAndLengths) {
    // 0x10000000; 0xFFFFFFFF (top bit set: counts as 1); five groups whose
    // top one falls off, 0xF0000005, counting as 0x0FFFFFFB; and 0x80000000.
    const Read r = read(smf(
        0, 96, {{0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x3E, 0x64, 0x9F, 0x80,
                 0x80, 0x80, 0x05, 0x3F, 0x64, 0x88, 0x80, 0x80, 0x80, 0x00, 0x40, 0x64, 0x00, 0xFF, 0x2F, 0x00}}));
    ASSERT_TRUE(r.ok);
    const std::uint32_t t1 = 0x10000000, t2 = t1 + 1, t3 = t2 + 0x0FFFFFFB, t4 = t3 + 0x80000000u;
    EXPECT_EQ(describe(r.song.track(0)),
              (Lines{at(t1, "90 3C 64"), at(t2, "90 3E 64"), at(t3, "90 3F 64"), at(t4, "90 40 64"), at(t4, "FF 2F")}));

    Bytes text(128);
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = std::uint8_t('a' + i % 26);
    const Read meta = read(smf(0, 96, {concat({{0x07, 0xFF, 0x01, 0x81, 0x00}, text, end_of_track})}));
    ASSERT_TRUE(meta.ok);
    ASSERT_EQ(meta.song.track(0).size(), 2u);
    EXPECT_EQ(meta.song.track(0)[0].timestamp, 7u);
    EXPECT_EQ(test::data_of(meta.song.track(0)[0]), concat({{0xFF, 0x01}, text}));
}

TEST(ReadSmf, MalformedEventsDiscardTheTrackAndKeepEarlierOnes) {
    std::vector<Bytes> bad = {
        {0x00, 0x3C, 0x64},                                // data byte without running status
        {0x00, 0xFB, 0x00, 0x3C, 0x64},                    // clock start sets no status
        {0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x64},        // nor does a meta event
        {0x00, 0xF0, 0x88, 0x80, 0x80, 0x80, 0x00},        // sysex length 0x80000000
        {0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F},  // meta length 0xFFFFFFFF
    };
    for (std::uint8_t status = 0xF1; status != 0xFF; ++status)
        if (status != 0xFB && status != 0xFC) bad.push_back({0x00, status, 0x00, 0x00, 0x00, 0x00});
    for (const Bytes& body : bad) {
        const Bytes good_track{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00};
        const Read r = read(smf(1, 96, {good_track, concat({body, end_of_track}), end_of_track}));
        EXPECT_FALSE(r.ok) << testing::PrintToString(body);
        ASSERT_EQ(r.song.track_count(), 1u) << testing::PrintToString(body);
        EXPECT_EQ(describe(r.song.track(0)), (Lines{"@0 90 3C 64", "@0 FF 2F"}));
    }
}

TEST(ReadSmf, NextChunkStartsAtTheDeclaredEnd) {
    // Four bytes after the end of track, inside the declared length, are skipped.
    const Read padded = read(concat({test::smf_header(1, 2, 96), test::mtrk(concat({end_of_track, {0, 0, 0, 0}})),
                                     test::mtrk({0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00})}));
    EXPECT_TRUE(padded.ok);
    ASSERT_EQ(padded.song.track_count(), 2u);
    EXPECT_EQ(describe(padded.song.track(1)), (Lines{"@0 90 3C 64", "@0 FF 2F"}));

    // A body declared 3 bytes long with no end of track in it, followed by
    // the next chunk: the track ends at its declared end.
    const Bytes second = test::mtrk(end_of_track);
    const Read overrun =
        read(concat({test::smf_header(1, 2, 96), bytes_of("MTrk"), test::be32(3), {0x00, 0xC0, 0x05}, second}));
    EXPECT_TRUE(overrun.ok);
    ASSERT_EQ(overrun.song.track_count(), 2u);
    EXPECT_EQ(describe(overrun.song.track(0)), (Lines{"@0 C0 05", "@0 FF 2F"}));
    EXPECT_EQ(describe(overrun.song.track(1)), (Lines{"@0 FF 2F"}));
}

TEST(ReadSmf, ReadsOnlyTheAnnouncedTracksAndNeedsEachToBeATrackChunk) {
    const Bytes track = test::mtrk({0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00});
    const Read extra = read(concat({test::smf_header(1, 2, 96), track, track, test::mtrk({0x00, 0x3C})}));
    EXPECT_TRUE(extra.ok);
    EXPECT_EQ(extra.song.track_count(), 2u);

    const Read foreign = read(concat({test::smf_header(1, 2, 96), track, test::riff_chunk("XFIR", {1, 2}), track}));
    EXPECT_FALSE(foreign.ok);
    EXPECT_EQ(foreign.song.track_count(), 1u);

    // The next track chunk header missing or cut short.
    for (std::size_t keep : {0u, 3u, 4u, 7u}) {
        const Read cut = read(concat({test::smf_header(1, 2, 96), track, first(track, keep)}));
        EXPECT_FALSE(cut.ok) << keep;
        EXPECT_EQ(cut.song.track_count(), 1u) << keep;
    }
}

// A body whose events use every way a read can be cut off.
const Bytes full_body = concat({
    {0x00, 0x90, 0x3C, 0x64},                          //  0: note at 0
    {0x60, 0x3E, 0x64},                                //  4: running status, at 96
    {0x83, 0x60, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},  //  7: tempo at 576
    {0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7},              // 15: sysex at 576
    {0x10, 0xFF, 0x01, 0x81, 0x00},                    // 21: 128-byte text at 592
    Bytes(128, 'x'),                                   // 26
    end_of_track,                                      // 154
});

TEST(ReadSmf, EventCutOffByTheEndOfInputEndsTheTrackBeforeItsDelta) {
    const std::string note1 = "@0 90 3C 64", note2 = "@96 90 3E 64", tempo = "@576 FF 51 07 A1 20",
                      sysex = "@576 F0 7E 7F F7";
    std::string text = "@592 FF 01";
    for (int i = 0; i < 128; ++i) text += " 78";
    const struct {
        std::size_t keep;  // bytes of the body in the input
        Lines events;
    } cases[] = {
        {0, {"@0 FF 2F"}},
        {2, {"@0 FF 2F"}},                                        // before the first data byte
        {3, {"@0 FF 2F"}},                                        // before the second
        {5, {note1, "@0 FF 2F"}},                                 // running status, no data byte
        {6, {note1, "@0 FF 2F"}},                                 // running status, one data byte
        {8, {note1, note2, "@96 FF 2F"}},                         // inside a delta time
        {9, {note1, note2, "@96 FF 2F"}},                         // before the status
        {10, {note1, note2, "@96 FF 2F"}},                        // before the meta type
        {11, {note1, note2, "@96 FF 2F"}},                        // before the meta length
        {13, {note1, note2, "@96 FF 2F"}},                        // inside the meta payload
        {18, {note1, note2, tempo, "@576 FF 2F"}},                // inside the sysex payload
        {24, {note1, note2, tempo, sysex, "@576 FF 2F"}},         // before the meta length
        {25, {note1, note2, tempo, sysex, "@576 FF 2F"}},         // inside the meta length
        {100, {note1, note2, tempo, sysex, "@576 FF 2F"}},        // inside the long payload
        {154, {note1, note2, tempo, sysex, text, "@592 FF 2F"}},  // before the last delta
        {156, {note1, note2, tempo, sysex, text, "@592 FF 2F"}},  // before the meta type
    };
    for (const auto& c : cases) {
        const Bytes file = first(smf(0, 96, {full_body}), 22 + c.keep);
        const Read r = read(file);
        EXPECT_TRUE(r.ok) << c.keep;
        ASSERT_EQ(r.song.track_count(), 1u) << c.keep;
        EXPECT_EQ(describe(r.song.track(0)), c.events) << c.keep;
    }
}

TEST(ReadSmf, HugeLengthCutOffByTheEndOfInputAllocatesNothing) {
    // Lengths of 0x7FFFFFF0 with three payload bytes present.
    for (std::uint8_t status : {std::uint8_t(0xF0), std::uint8_t(0xFF)}) {
        Bytes body{0x00, 0x90, 0x3C, 0x64, 0x10, status};
        if (status == 0xFF) body.push_back(0x01);
        body = concat({body, {0x87, 0xFF, 0xFF, 0xFF, 0x70, 0x41, 0x42, 0x43}});
        const Read r = read(smf(0, 96, {body}));
        EXPECT_TRUE(r.ok);
        ASSERT_EQ(r.song.track_count(), 1u);
        EXPECT_EQ(describe(r.song.track(0)), (Lines{"@0 90 3C 64", "@0 FF 2F"}));
    }
}

TEST(ReadSmf, CutOffTrackThatIsNotTheLastAnnounced) {
    // Its declared end lies beyond the input: no further track chunk.
    const Read cut = read(
        first(concat({test::smf_header(1, 3, 96), test::mtrk(end_of_track), test::mtrk(full_body)}), 14 + 12 + 8 + 6));
    EXPECT_FALSE(cut.ok);
    ASSERT_EQ(cut.song.track_count(), 2u);
    EXPECT_EQ(describe(cut.song.track(1)), (Lines{"@0 90 3C 64", "@0 FF 2F"}));

    // A track without end of track ends where the next chunk begins; that
    // one is cut off by the end of the input and keeps its whole events.
    const Read within = read(concat({test::smf_header(1, 2, 96),
                                     bytes_of("MTrk"),
                                     test::be32(3),
                                     {0x00, 0xC0, 0x05},
                                     bytes_of("MTrk"),
                                     test::be32(8),
                                     {0x00, 0xC1, 0x06, 0x10, 0xC1, 0x07}}));
    EXPECT_TRUE(within.ok);
    ASSERT_EQ(within.song.track_count(), 2u);
    EXPECT_EQ(describe(within.song.track(0)), (Lines{"@0 C0 05", "@0 FF 2F"}));
    EXPECT_EQ(describe(within.song.track(1)), (Lines{"@0 C1 06", "@16 C1 07", "@16 FF 2F"}));
}

// read_smf_track in GMF mode, on a stream ending at `limit`.
struct Track {
    bool ok;
    Lines events;
    std::size_t offset;
};
Track read_track(const Bytes& stream, std::size_t limit, bool smf_mode = false) {
    MidiContainer song;
    ByteCursor cursor(range_of(stream));
    const bool ok = read_smf_track(cursor, limit, song, smf_mode);
    Track result{ok, {}, cursor.offset()};
    if (song.track_count() == 1) result.events = describe(song.track(0));
    EXPECT_LE(song.track_count(), 1u);
    return result;
}

TEST(ReadSmfTrackGmf, PitchWheelStatusTakesNoDataAndIsDropped) {
    // E0 alone, then under its running status a delta of 0x40 and a byte 00
    // that is consumed and dropped; the end of track is the stream's own.
    const Bytes stream{0x00, 0x90, 0x3C, 0x64, 0x00, 0xE0, 0x40, 0x00, 0x05, 0x91, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00};
    const Track gmf = read_track(stream, stream.size() + 10);
    EXPECT_TRUE(gmf.ok);
    EXPECT_EQ(gmf.events, (Lines{"@0 90 3C 64", "@69 91 3E 64", "@69 FF 2F"}));
    EXPECT_EQ(gmf.offset, stream.size());

    // Read as a Standard MIDI File track the same bytes mean other events.
    const Track smf_track = read_track(stream, 0, true);
    EXPECT_TRUE(smf_track.ok);
    EXPECT_EQ(smf_track.events, (Lines{"@0 90 3C 64", "@0 E0 40 00", "@5 91 3E 64", "@5 FF 2F"}));

    // An explicit pitch-wheel status byte is dropped even with data bytes
    // following: they are read as what comes next.
    const Track explicit_status = read_track({0x00, 0xE3, 0x02, 0x90, 0x3C, 0x64}, 6);
    EXPECT_TRUE(explicit_status.ok);
    EXPECT_EQ(explicit_status.events, (Lines{"@2 90 3C 64", "@2 FF 2F"}));
}

TEST(ReadSmfTrackGmf, ReachingTheLimitEndsTheTrack) {
    const Bytes stream{0x00, 0x90, 0x3C, 0x64, 0x10, 0x3E, 0x64, 0x81, 0x00, 0x3F, 0x64};
    // At the limit before a delta time.
    EXPECT_EQ(read_track(stream, 7).events, (Lines{"@0 90 3C 64", "@16 90 3E 64", "@16 FF 2F"}));
    // At or past it right after reading one: that delta does not count.
    EXPECT_EQ(read_track(stream, 8).events, (Lines{"@0 90 3C 64", "@16 90 3E 64", "@16 FF 2F"}));
    EXPECT_EQ(read_track(stream, 9).events, (Lines{"@0 90 3C 64", "@16 90 3E 64", "@16 FF 2F"}));
    EXPECT_EQ(read_track(stream, 0).events, (Lines{"@0 FF 2F"}));
    EXPECT_EQ(read_track(stream, 5).events, (Lines{"@0 90 3C 64", "@0 FF 2F"}));
    // Within an event the limit is not looked at.
    EXPECT_EQ(read_track(stream, 6).events, (Lines{"@0 90 3C 64", "@16 90 3E 64", "@16 FF 2F"}));
    // Beyond the stream: the end of the range cuts it off as in SMF mode,
    // where the limit plays no part.
    const Lines all{"@0 90 3C 64", "@16 90 3E 64", "@144 90 3F 64", "@144 FF 2F"};
    EXPECT_EQ(read_track(stream, 100).events, all);
    EXPECT_EQ(read_track(stream, 7, true).events, all);
    EXPECT_EQ(read_track(first(stream, 10), 100).events, (Lines{"@0 90 3C 64", "@16 90 3E 64", "@16 FF 2F"}));
}

TEST(ReadSmfTrackGmf, MalformedEventFailsAndAddsNothing) {
    const Track r = read_track({0x00, 0x90, 0x3C, 0x64, 0x00, 0xF7, 0x00}, 7);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.events.empty());
}

// RIFF RMID forms.

Bytes midi_file(std::uint16_t tracks, std::uint8_t key = 0x3C) {
    Bytes file = test::smf_header(1, tracks, 96);
    for (std::uint16_t i = 0; i < tracks; ++i)
        file = concat({file, test::mtrk({0x00, 0x90, key, 0x64, 0x00, 0xFF, 0x2F, 0x00})});
    return file;
}
const Bytes info = test::riff_chunk("LIST", concat({bytes_of("INFO"), test::riff_chunk("INAM", bytes_of("tune"))}));

Read read_rmid_of(const Bytes& chunks) {
    Read result;
    result.ok = read_rmid(range_of(test::rmid(chunks)), result.song);
    return result;
}

TEST(ReadRmid, DataChunkOfOddSizeThenPadThenInfo) {
    // 51 bytes: a text event fills the track to an odd size.
    const Bytes file = smf(0, 96, {concat({{0x00, 0xFF, 0x01, 21}, Bytes(21, 't'), end_of_track})});
    ASSERT_EQ(file.size(), 51u);
    const Read r = read_rmid_of(concat({test::riff_chunk("data", file), info}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(test::written(r.song), file);

    // The LIST chunk is found behind the pad byte: one of another type fails.
    const Bytes other_list = test::riff_chunk("LIST", bytes_of("abcd"));
    EXPECT_FALSE(read_rmid_of(concat({test::riff_chunk("data", file), other_list})).ok);
}

TEST(ReadRmid, SecondDataChunkBeforeInfoFailsAndOneAfterIsNotLookedAt) {
    const Bytes first_data = test::riff_chunk("data", midi_file(1, 0x3C));
    const Bytes second_data = test::riff_chunk("data", midi_file(2, 0x40));

    const Read before = read_rmid_of(concat({first_data, second_data, info}));
    EXPECT_FALSE(before.ok);
    EXPECT_EQ(test::written(before.song), midi_file(1, 0x3C));

    const Read after =
        read_rmid_of(concat({first_data, info, second_data, test::riff_chunk("LIST", bytes_of("abcd"))}));
    EXPECT_TRUE(after.ok);
    EXPECT_EQ(test::written(after.song), midi_file(1, 0x3C));

    // Other chunks are skipped with their pad byte; the INFO list behind an
    // odd-sized one still counts, so the second data chunk is not read.
    const Read display = read_rmid_of(concat({first_data, test::riff_chunk("DISP", {1, 0, 0}), info, second_data}));
    EXPECT_TRUE(display.ok);
    EXPECT_EQ(display.song.track_count(), 1u);
}

TEST(ReadRmid, ListOfAnotherTypeAndUnreadableMidiDataFail) {
    const Bytes list = test::riff_chunk("LIST", bytes_of("INFX"));
    EXPECT_FALSE(read_rmid_of(concat({test::riff_chunk("data", midi_file(1)), list})).ok);

    Bytes form3 = midi_file(1);
    form3[9] = 3;
    const Read r = read_rmid_of(test::riff_chunk("data", form3));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.song.track_count(), 0u);
}

TEST(ReadRmid, ReadsTheDataChunkExactlyOrAsFarAsTheInputGoes) {
    // Two tracks in the file, but the chunk size covers only the first: the
    // reader may not see the second one.
    const Bytes file = midi_file(2);
    const Bytes short_chunk = concat({bytes_of("data"), test::le32(14 + 16), file});
    const Read r = read_rmid_of(short_chunk);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.song.track_count(), 1u);

    // A chunk running past the end of the input: the bytes there are, with
    // the last event cut off.
    const Bytes cut = first(concat({bytes_of("data"), test::le32(1000), file}), 8 + file.size() - 3);
    const Read cut_read = read_rmid_of(cut);
    EXPECT_TRUE(cut_read.ok);
    ASSERT_EQ(cut_read.song.track_count(), 2u);
    EXPECT_EQ(describe(cut_read.song.track(1)), (Lines{"@0 90 3C 64", "@0 FF 2F"}));
}

TEST(ReadRmid, WalkStopsAtTheFormEndAndAtACutChunkHeader) {
    const Bytes data = test::riff_chunk("data", midi_file(1));
    // A form that ends after the data chunk: what follows is not walked.
    const Bytes bad_list = test::riff_chunk("LIST", bytes_of("abcd"));
    Bytes form = test::rmid(concat({data, bad_list}));
    form[4] = std::uint8_t(4 + data.size());
    MidiContainer song;
    EXPECT_TRUE(read_rmid(range_of(form), song));

    for (std::size_t keep : {1u, 4u, 7u}) EXPECT_TRUE(read_rmid_of(concat({data, first(bad_list, keep)})).ok) << keep;
}

TEST(ReadRmid, ListWhoseTypeIsCutOffIsNoInfoList) {
    const Bytes data = test::riff_chunk("data", midi_file(1));
    const Bytes list = concat({bytes_of("LIST"), test::le32(12), bytes_of("INFO"), bytes_of("INAM"), test::le32(0)});
    EXPECT_TRUE(read_rmid_of(concat({data, list})).ok);
    for (std::size_t keep : {8u, 10u, 11u}) EXPECT_FALSE(read_rmid_of(concat({data, first(list, keep)})).ok) << keep;
}

TEST(ReadRmid, ConvertsEndToEnd) {
    const Bytes file = midi_file(2);
    MidiContainer song;
    EXPECT_TRUE(convert_file(range_of(test::rmid(concat({test::riff_chunk("data", file), info}))), "rmi", song));
    EXPECT_EQ(test::written(song), file);
}

}  // namespace
}  // namespace seqconv
