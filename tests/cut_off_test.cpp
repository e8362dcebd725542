// Files cut short: every part whose length a file declares must be whole
// for the file to read as complete; a cut file that its format's detector
// refuses is still named as a near miss of that format.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "formats/near_miss.h"
#include "formats/readers.h"
#include "seqconv/seqconv.h"
#include "test_support.h"

namespace seqconv {
namespace {

using test::Bytes;
using namespace testkit;

Track part(std::uint8_t channel, std::uint8_t key, std::uint32_t notes) {
    Track out{program(0, channel, 10)};
    for (std::uint32_t i = 0; i < notes; ++i) out.push_back(note(i * 24, channel, std::uint8_t(key + i % 12), 90, 20));
    out.push_back(end_of_track(notes * 24));
    return out;
}

struct Case {
    std::string name;
    Bytes file;
    InputFormat format;
    bool declares_all = true;  // false: a cut between two events may read as complete
};

std::vector<Case> cases() {
    std::vector<Case> out;
    for (const auto& entry : std::filesystem::directory_iterator(SEQCONV_EXAMPLES)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string name = entry.path().filename().string();
        const auto format = *detect_format(bytes, name);
        out.push_back({name, bytes, format, format != InputFormat::gmf && format != InputFormat::lds});
    }
    const Track a = part(0, 60, 20), b = part(1, 48, 30), c = part(2, 72, 10);
    const Bytes smf3 = smf(1, 96, {smf_events(a), smf_events(b, true), smf_events(c)});
    out.push_back({"songs.xmi", xmi({{xmi_events(a)}, {xmi_events(b)}, {xmi_events(c)}}), InputFormat::xmi});
    out.push_back({"tracks.mid", smf3, InputFormat::smf});
    out.push_back({"info.rmi", rmid(smf3, info_list({{"INAM", text("Cut")}})), InputFormat::rmid});
    out.push_back(
        {"tracks.hmi", hmi({hmi_track("A", hmi_events(a)), hmi_track({}, hmi_events(b, true))}), InputFormat::hmi});
    out.push_back({"records.hmp", hmp({hmp_events({}), hmp_events(a), hmp_events(b)}, {true, 96}), InputFormat::hmp});
    out.push_back({"blocks.mids", mids({}, mids_blocks(merged({a, b}), 5)), InputFormat::mids});
    return out;
}

// Every cut of every file: damaged and cut off where the format was still
// recognised (or, for formats that declare no length, complete), a near miss
// cut off where it was not; and the bytes those of the song the reader made.
TEST(CutOff, EveryCutOfAFileThatDeclaresItsLengthsIsSaid) {
    for (const Case& c : cases()) {
        for (std::size_t n = 0; n <= c.file.size(); ++n) {
            const std::span<const std::uint8_t> cut(c.file.data(), n);
            const ReadResult read = read_song(cut, c.name);
            SCOPED_TRACE(c.name + " cut to " + std::to_string(n) + ": " + read.fault.reason);
            if (n == c.file.size()) {
                EXPECT_EQ(read.status, ReadStatus::complete);
            } else if (read.format) {
                EXPECT_EQ(read.format, c.format);
                if (c.declares_all || read.status == ReadStatus::damaged) {
                    EXPECT_EQ(read.status, ReadStatus::damaged);
                    EXPECT_EQ(read.fault.kind, FaultKind::cut_off);
                }
                EXPECT_LE(read.fault.offset, n);
                MidiContainer song;
                read_format(c.format, test::range_of(Bytes(cut.begin(), cut.end())), song);
                EXPECT_EQ(convert(cut, c.name).smf, test::written(song));
            } else if (n >= 12) {  // RIFF files tell their form at 8
                EXPECT_EQ(read.resembles, c.format);
                EXPECT_EQ(read.fault.kind, FaultKind::cut_off);
                EXPECT_EQ(read.fault.offset, n);
                EXPECT_TRUE(convert(cut, c.name).smf.empty());
            }
        }
    }
}

// A file large enough to have its tracks decoded side by side gives the
// same fault, and the same bytes, with workers as without.
TEST(ParallelRead, CutOffFaultIsTheSameWithWorkers) {
    const Track a = part(0, 60, 70000), b = part(1, 48, 80000);
    // The last track claims 100 bytes more than the file holds.
    const Bytes file = smf(1, 96, {smf_events(a), smf_events(b)}, 100);
    ASSERT_GE(file.size(), std::size_t{1} << 20);
    const auto pool = std::make_unique<Workers>(4);
    for (const std::size_t n : {file.size(), file.size() - 1, file.size() - 4, file.size() / 2, file.size() / 3}) {
        const std::span<const std::uint8_t> cut(file.data(), n);
        const Conversion alone = convert(cut, "big.mid"), shared = convert(cut, "big.mid", false, pool.get());
        EXPECT_EQ(alone.fault.kind, FaultKind::cut_off);
        EXPECT_EQ(shared.fault.kind, alone.fault.kind);
        EXPECT_EQ(shared.fault.offset, alone.fault.offset);
        EXPECT_EQ(shared.fault.reason, alone.fault.reason);
        EXPECT_EQ(shared.smf, alone.smf);
    }
}

Bytes patched(Bytes file, std::size_t at, const Bytes& field) {
    std::copy(field.begin(), field.end(), file.begin() + std::ptrdiff_t(at));
    return file;
}
Bytes cut(const Bytes& file, std::size_t n) { return Bytes(file.begin(), file.begin() + std::ptrdiff_t(n)); }

struct Expected {
    const char* what;
    Bytes file;
    FaultKind kind;  // none: complete
    std::size_t offset;
    std::string reason;
};

// One row per kind of declared part, run through the library as the
// program runs it.
TEST(CutOff, EachPartPastTheEndOfTheInputIsSaid) {
    const Bytes body = smf_events(part(0, 60, 3));  // 31 bytes
    const Bytes tail = smf(0, 96, {body}, 100);
    const Bytes inner = cat({riff_chunk("data", smf(0, 96, {body}, 4)), info_list({{"INAM", text("A")}})});
    const Bytes disp = cat({riff_chunk("data", smf(0, 96, {body})), text("DISP"), le32(100), le32(0)});
    const Bytes blocks = mids({}, {{0, mids_event(0, 0x403C90)}});  // 64 bytes
    Track endless = part(1, 50, 2);
    endless.pop_back();
    const Bytes ended = hmi_events(part(0, 60, 2)), open = hmi_events(endless, false, false);
    const Bytes two = hmi({hmi_track("A", ended), hmi_track("B", open)});
    const Bytes songs = xmi({{xmi_events(part(0, 60, 2))}, {xmi_events(part(1, 50, 2)), {2, 1, 0, 2, 0}}});
    const Expected rows[] = {
        {"SMF track past the end, events whole", tail, FaultKind::cut_off, tail.size(),
         "track 0 cut off: it declares 131 bytes and 31 remain"},
        {"SMF track past the end, an event cut", cut(tail, tail.size() - 1), FaultKind::cut_off, 49,
         "track 0: event cut off"},
        {"RMID track past its data chunk only", test::rmid(inner), FaultKind::none, 0, ""},
        {"RMID track past the end of the input", test::rmid(patched(inner, 26, be32(500))), FaultKind::cut_off,
         inner.size() + 12, "data chunk: track 0 cut off: it declares 500 bytes and 54 remain"},
        {"RMID chunk after the INFO list", test::rmid(disp), FaultKind::cut_off, disp.size() + 12,
         "DISP chunk cut off: it declares 100 bytes and 4 remain"},
        {"MIDS data chunk", patched(blocks, 36, le32(1000)), FaultKind::cut_off, 64,
         "data chunk cut off: it declares 1,000 bytes and 24 remain"},
        {"MIDS block", patched(blocks, 48, le32(70)), FaultKind::cut_off, 64,
         "block 0 cut off: it declares 70 bytes and 12 remain"},
        {"HMI last track without its end", two, FaultKind::cut_off, two.size(),
         "track 2: the file ends before its end of track"},
        {"HMI earlier track without its end", hmi({hmi_track("B", open), hmi_track("A", ended)}), FaultKind::none, 0,
         ""},
        {"HMI last track's header", cut(two, two.size() - 50), FaultKind::cut_off, two.size() - 50,
         "track 2: track header cut off"},
        {"XMI cut between two songs", cut(songs, 76), FaultKind::cut_off, 76,
         "CAT chunk cut off: it declares 90 bytes and 46 remain"},
        {"XMI cut before a song's EVNT", cut(songs, 92), FaultKind::cut_off, 92,
         "song 1: cut off before its EVNT chunk"},
        {"XMI EVNT past its FORM only", patched(songs, 50, be32(30)), FaultKind::none, 0, ""},
    };
    for (const Expected& row : rows) {
        SCOPED_TRACE(row.what);
        const ReadResult read = read_song(row.file, "x");
        EXPECT_EQ(read.status, row.kind == FaultKind::none ? ReadStatus::complete : ReadStatus::damaged);
        EXPECT_EQ(read.fault.kind, row.kind);
        EXPECT_EQ(read.fault.offset, row.offset);
        EXPECT_EQ(read.fault.reason, row.reason);
    }
}

TEST(CutOff, NearMissesNameTheFormatAndWhy) {
    const Bytes rmid_file = rmid(smf(0, 96, {smf_events(part(0, 60, 3))}));
    const Bytes big = cat({text("RIFF"), le32(92458), text("RMIDdata"), Bytes(40000 - 16, 0)});
    const Bytes mus_file = mus({1, 0, {1}}, mus_score(part(0, 60, 3)));
    const Expected rows[] = {
        {"RMID", big, FaultKind::cut_off, 40000, "a RIFF RMID file cut off: it declares 92,466 bytes and holds 40,000"},
        {"RMID", patched(rmid_file, 16, le32(1000)), FaultKind::cut_off, rmid_file.size(),
         "a RIFF RMID file cut off: its data chunk declares 1,000 bytes and 54 remain"},
        {"RMID", patched(rmid_file, 12, text("LIST")), FaultKind::malformed, 12,
         "a RIFF RMID file whose first chunk is not data"},
        {"MIDS", cut(mids({}, {}), 30), FaultKind::cut_off, 30,
         "a RIFF MIDS file cut off: it declares 44 bytes and holds 30"},
        {"MUS", cut(mus_file, 30), FaultKind::cut_off, 30, "a MUS file cut off: it declares 41 bytes and holds 30"},
        {"XMI", cat({text("FORMxxxxAIFF"), Bytes(30, 0)}), FaultKind::malformed, 8, "a FORM without XDIR at byte 8"},
        {"XMI", cat({text("FORMxxxxXDIR"), Bytes(30, 0)}), FaultKind::malformed, 30,
         "an XMI file without XMID at byte 30"},
        {"XMI", text("FORMxxxxXD"), FaultKind::cut_off, 10, "an XMI file cut off: it holds 10 bytes of at least 34"},
        {"SMF", cat({text("MThd"), be32(7), text("xxxxxxMTrk")}), FaultKind::malformed, 4,
         "a Standard MIDI File whose header length is not 6"},
        {"SMF", cut(smf(0, 96, {}), 12), FaultKind::cut_off, 12,
         "a Standard MIDI File cut off: it holds 12 bytes of at least 18"},
        {"HMP", text("HMIMIDI"), FaultKind::cut_off, 7, "an HMP file cut off: it holds 7 bytes of at least 8"},
        {"HMP", text("HMIMIDIX"), FaultKind::malformed, 7, "an HMP file of neither variant P nor R"},
        {"HMI", text("HMI-MIDI"), FaultKind::cut_off, 8, "an HMI file cut off: it holds 8 bytes of at least 12"},
        {"GMF", text("GMF\x01xxxxxxxxxx"), FaultKind::cut_off, 14,
         "a GMF file cut off: it holds 14 bytes of at least 32"},
    };
    for (const Expected& row : rows) {
        SCOPED_TRACE(row.reason);
        const std::optional<NearMiss> miss = find_near_miss(test::range_of(row.file));
        ASSERT_TRUE(miss);
        EXPECT_EQ(format_name(miss->format), row.what);
        EXPECT_EQ(miss->fault.kind, row.kind);
        EXPECT_EQ(miss->fault.offset, row.offset);
        EXPECT_EQ(miss->fault.reason, row.reason);
    }
    const Bytes none[] = {{},
                          text("MTh"),
                          text("plain text, long enough to hold any header"),
                          cat({text("RIFF"), le32(4), text("WAVE")}),
                          rmid_file,
                          xmi({{}})};
    for (const Bytes& input : none) EXPECT_FALSE(find_near_miss(test::range_of(input))) << input.size() << " bytes";
}

}  // namespace
}  // namespace seqconv
