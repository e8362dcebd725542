// Where and why each reader stops: the kind of fault, the byte of the input
// it stopped at and the reason, beside the truth value the reader returns.

#include <gtest/gtest.h>

#include "formats/readers.h"
#include "iff_support.h"
#include "seqconv/seqconv.h"
#include "song_text.h"

namespace seqconv {
namespace {

using test::Bytes;
using test::bytes_of;
using test::concat;
using test::hex;
using test::le16;
using test::le32;

using Reader = bool (*)(ByteRange, MidiContainer&, Fault*);

Bytes smf_of(const std::string& body) { return test::smf(0, 96, {hex(body)}); }
const Bytes whole_smf = smf_of("00 FF 2F 00");

// HMP "HMIMIDIR" of two tracks: the header, the first track's end at 90,
// then one record whose events start at 99 and end the file.
Bytes hmp_r(const std::string& events) {
    Bytes file = bytes_of("HMIMIDIR");
    file.resize(90, 0);
    file[26] = 2;
    const Bytes e = hex(events);
    return concat({file, hex("FF 2F 00 00 00"), le16(std::uint16_t(4 + e.size())), {0, 0}, e});
}
// The same in "HMIMIDIP", whose one record ends the file: 4 bytes short.
Bytes hmp_p_short() {
    Bytes file = bytes_of("HMIMIDIP");
    file.resize(90, 0);
    file[48] = 2;
    return concat({file, hex("FF 2F 00 00 00 00 00"), le32(16), le32(0), hex("80 FF 2F 00")});
}

// HMI of one track at 240, its events at 331.
Bytes hmi_of(const std::string& events, const std::string& tag = "HMI-MIDITRACK") {
    Bytes file = bytes_of("HMI-MIDISONG");
    file.resize(236, 0);
    file[228] = 1;
    file[232] = 236;
    Bytes track = bytes_of(tag);
    track.resize(91, 0);
    track[87] = 91;
    return concat({file, le32(240), track, hex(events)});
}

// XMI of one song whose FORM stands at 34 and whose events start at 54.
Bytes xmi_of(const Bytes& song_chunk) {
    return concat({test::iff_container("FORM", "XDIR", test::iff_chunk("INFO", {1, 0})),
                   test::iff_container("CAT ", "XMID", test::iff_container("FORM", "XMID", song_chunk))});
}
Bytes xmi_events(const std::string& events) { return xmi_of(test::iff_chunk("EVNT", hex(events))); }

// MUS with its score at 18, as long as `score`.
Bytes mus_of(const std::string& score) {
    const Bytes s = hex(score);
    return concat(
        {bytes_of("MUS\x1A"), le16(std::uint16_t(s.size())), le16(18), {0, 0, 0, 0}, le16(1), {0, 0, 0, 0}, s});
}

// MIDS without stream ids: the data chunk at 32, its first block's events at 52.
Bytes mids_of(const Bytes& after_fmt) {
    const Bytes fmt = concat({le32(96), le32(0), le32(1)});
    return concat({bytes_of("RIFFxxxxMIDSfmt "), le32(12), fmt, after_fmt});
}

Bytes gmf_of(const std::string& stream) { return concat({bytes_of("GMF\x01"), hex("00 05 00"), hex(stream)}); }

TEST(Fault, EachReaderSaysWhereAndWhyItStopped) {
    const struct {
        const char* name;
        Reader read;
        Bytes input;
        bool result;
        FaultKind kind;
        std::size_t offset;
        std::string reason;
    } cases[] = {
        {"smf whole", read_smf, whole_smf, true, FaultKind::none, 0, ""},
        {"smf F7", read_smf, smf_of("00 F7 01 00"), false, FaultKind::unsupported, 23, "track 0: F7 packet"},
        {"smf form", read_smf, test::smf(3, 96, {}), false, FaultKind::malformed, 8, "form 3"},
        {"smf missing track", read_smf, concat({test::smf_header(1, 2, 96), test::mtrk(hex("00 FF 2F 00"))}), false,
         FaultKind::cut_off, 26, "track 1: chunk missing at the end of the file"},
        {"smf other chunk", read_smf,
         concat({test::smf_header(1, 2, 96), test::mtrk(hex("00 FF 2F 00")), bytes_of("XXXX"), test::be32(0)}), false,
         FaultKind::malformed, 26, "track 1: not a track chunk"},
        {"smf length", read_smf,
         concat({test::smf_header(1, 2, 96), bytes_of("MTrk"), test::be32(100), hex("00 FF 2F 00")}), false,
         FaultKind::cut_off, 18, "track 0: track length past the end of the file"},
        {"smf cut", read_smf, smf_of("00 90 3C"), true, FaultKind::cut_off, 22, "track 0: event cut off"},
        {"smf running status", read_smf, smf_of("00 3C 64"), false, FaultKind::malformed, 23,
         "track 0: data byte without running status"},
        {"smf negative", read_smf, smf_of("00 FF 01 8F FF FF FF 7F"), false, FaultKind::malformed, 25,
         "track 0: negative length"},
        {"rmid smf", read_rmid, test::rmid(test::riff_chunk("data", smf_of("00 F7 01 00"))), false,
         FaultKind::unsupported, 43, "data chunk: track 0: F7 packet"},
        {"rmid data twice", read_rmid,
         test::rmid(concat({test::riff_chunk("data", whole_smf), test::riff_chunk("data", whole_smf)})), false,
         FaultKind::malformed, 46, "a second data chunk"},
        {"rmid list", read_rmid,
         test::rmid(concat({test::riff_chunk("data", whole_smf), test::riff_chunk("LIST", bytes_of("ABCD"))})), false,
         FaultKind::malformed, 46, "LIST chunk not of type INFO"},
        {"hmp cut", read_hmp, hmp_r("80 90 3C"), true, FaultKind::cut_off, 99, "track 1: event cut off"},
        {"hmp status", read_hmp, hmp_r("80 F0 00"), false, FaultKind::malformed, 100,
         "track 1: system message in a track"},
        {"hmp record", read_hmp, hmp_p_short(), true, FaultKind::cut_off, 97,
         "track 1: record length past the end of the file"},
        {"hmi cut", read_hmi, hmi_of("00 90 3C"), true, FaultKind::cut_off, 331, "track 1: event cut off"},
        {"hmi FE", read_hmi, hmi_of("00 FE 11"), false, FaultKind::malformed, 333, "track 1: unknown FE event"},
        {"hmi tag", read_hmi, hmi_of("", "HMI-MIDITRACX"), false, FaultKind::malformed, 240,
         "track 1: no HMI-MIDITRACK"},
        {"xmi cut", read_xmi, xmi_events("90 3C"), true, FaultKind::cut_off, 54, "song 0: event cut off"},
        {"xmi status", read_xmi, xmi_events("F7"), false, FaultKind::malformed, 54, "song 0: system message in a song"},
        {"xmi no EVNT", read_xmi, xmi_of(test::iff_chunk("XXXX", {})), false, FaultKind::malformed, 34,
         "song 0: no EVNT chunk"},
        {"xmi nesting", read_xmi, test::iff_container("CAT ", "XMID", {}), false, FaultKind::malformed, 0,
         "CAT where a FORM is expected"},
        {"mus cut", read_mus, mus_of("10"), true, FaultKind::cut_off, 18, "event cut off"},
        {"mus delay", read_mus, mus_of("80 3C"), true, FaultKind::cut_off, 18, "delay cut off"},
        {"mus system", read_mus, mus_of("30 09"), false, FaultKind::malformed, 18, "system event number outside 10-14"},
        {"mids cut", read_mids, mids_of(test::riff_chunk("data", concat({le32(1), le32(0), le32(8), le32(5)}))), true,
         FaultKind::cut_off, 52, "block 0: event cut off"},
        {"mids data", read_mids, mids_of(test::riff_chunk("junk", {})), false, FaultKind::malformed, 32,
         "no data chunk after the fmt chunk"},
        {"gmf cut", read_gmf, gmf_of("00 90 3C"), true, FaultKind::cut_off, 7, "track 1: event cut off"},
        {"gmf F7", read_gmf, gmf_of("00 F7"), false, FaultKind::unsupported, 8, "track 1: F7 packet"},
        {"lds mode", read_lds, {3}, false, FaultKind::malformed, 0, "mode above 2"},
        {"lds cut", read_lds, {0, 0}, false, FaultKind::cut_off, 1, "header cut off"},
    };
    for (const auto& c : cases) {
        MidiContainer song;
        Fault fault;
        EXPECT_EQ(c.read(test::range_of(c.input), song, &fault), c.result) << c.name;
        EXPECT_EQ(fault.kind, c.kind) << c.name;
        EXPECT_EQ(fault.offset, c.offset) << c.name;
        EXPECT_EQ(fault.reason, c.reason) << c.name;
    }
}

TEST(Fault, AReadCutOffInsideAnEventIsDamagedButKeepsItsSong) {
    const Bytes file = xmi_events("90 3C");
    const ReadResult read = read_song(file, "");
    EXPECT_EQ(read.status, ReadStatus::damaged);
    EXPECT_EQ(read.fault.offset, 54u);
    MidiContainer song;
    const bool ok = read_xmi(test::range_of(file), song);
    EXPECT_EQ(test::song_text(ok, read.song), test::song_text(ok, song));
    EXPECT_EQ(convert(file, "").fault.reason, "song 0: event cut off");
}

}  // namespace
}  // namespace seqconv
