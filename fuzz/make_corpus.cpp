// Writes the fuzz targets' seed corpus: small, valid files of each format,
// put together byte by byte here, so that fuzzing starts from inputs that
// reach every part of the readers rather than from their first few checks.
//
// Usage: seqconv_make_corpus DIRECTORY           writes DIRECTORY/<target>/<seed>
//        seqconv_make_corpus --check DIRECTORY   fails when a seed there is
//                                                missing or differs
//
// Each seed is also checked to be what it claims to be, in both modes: read
// without error by its target's reader, or, for the formats not read yet,
// recognised by its detector.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/readers.h"
#include "formats/smf_reader.h"
#include "fuzz/convert_selector.h"

namespace {

using seqconv::ByteRange;
using Bytes = std::vector<std::uint8_t>;

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes be16(std::uint32_t v) { return {std::uint8_t(v >> 8), std::uint8_t(v)}; }
Bytes be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
Bytes le16(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }
Bytes le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

// A variable-length quantity, written here rather than by the writer under
// test.
Bytes vlq(std::uint32_t v) {
    Bytes out{std::uint8_t(v & 0x7F)};
    while (v >>= 7) out.insert(out.begin(), std::uint8_t(0x80 | (v & 0x7F)));
    return out;
}

// A meta event without its delta time.
Bytes meta(std::uint8_t type, const Bytes& payload) {
    return cat({{0xFF, type}, vlq(std::uint32_t(payload.size())), payload});
}
const Bytes end_of_track = {0x00, 0xFF, 0x2F, 0x00};

Bytes smf(std::uint16_t form, std::uint16_t division, std::initializer_list<Bytes> bodies) {
    Bytes out = cat({text("MThd"), be32(6), be16(form), be16(std::uint32_t(bodies.size())), be16(division)});
    for (const Bytes& body : bodies) out = cat({out, text("MTrk"), be32(std::uint32_t(body.size())), body});
    return out;
}

// Track bodies. ------------------------------------------------------------

Bytes conductor() {
    return cat({{0x00},
                meta(0x03, text("Conductor")),
                {0x00},
                meta(0x51, {0x07, 0xA1, 0x20}),
                {0x00},
                meta(0x58, {0x04, 0x02, 0x18, 0x08}),
                {0x00},
                meta(0x59, {0x00, 0x00}),
                vlq(480 * 4),
                meta(0x51, {0x06, 0x1A, 0x80}),
                end_of_track});
}

// Channel 0: a program, a controller, notes ended by note-on with velocity 0
// under running status and by explicit note-off.
Bytes melody() {
    return cat({{0x00, 0xC0, 0x00, 0x00, 0xB0, 0x07, 0x64},
                {0x00, 0x90, 0x3C, 0x64},
                vlq(480),
                {0x3C, 0x00},
                {0x00, 0x3E, 0x64},
                vlq(480),
                {0x80, 0x3E, 0x40},
                {0x00, 0x90, 0x40, 0x64},
                vlq(960),
                {0x40, 0x00},
                end_of_track});
}

// Channel 9 and every other kind of channel message, and a system-exclusive
// message.
Bytes drums() {
    return cat({{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
                {0x00, 0xB9, 0x0A, 0x40, 0x00, 0x99, 0x24, 0x64, 0x00, 0x2A, 0x50},
                {0x10, 0xA9, 0x24, 0x30, 0x10, 0xD9, 0x50, 0x10, 0xE9, 0x00, 0x40},
                vlq(240),
                {0x89, 0x24, 0x40, 0x00, 0x2A, 0x40},
                end_of_track});
}

// Several channels in one track, as a form 0 file holds them.
Bytes mixed() {
    return cat({{0x00},
                meta(0x51, {0x07, 0xA1, 0x20}),
                {0x00, 0xC1, 0x28, 0x00, 0xC9, 0x00},
                {0x00, 0x90, 0x3C, 0x64, 0x00, 0x91, 0x43, 0x50, 0x00, 0x99, 0x24, 0x64},
                vlq(240),
                {0x89, 0x24, 0x40, 0x00, 0xEF, 0x00, 0x50},
                vlq(240),
                {0x80, 0x3C, 0x40, 0x00, 0x81, 0x43, 0x40},
                {0x00},
                meta(0x06, text("Fine")),
                end_of_track});
}

// What old sequencers leave in: clock start and stop bytes (their delta
// counts, they make no event), running status carried across meta events,
// long deltas and texts longer than an event holds inline.
Bytes quirks() {
    return cat({{0x00, 0x90, 0x3C, 0x64, 0x00},
                meta(0x01, text("A")),
                {0x10, 0x3C, 0x00},
                {0x20, 0xFB, 0x20, 0xFC},
                vlq(0x0FFFFFFF),
                {0x90, 0x3E, 0x64},
                {0x88, 0x80, 0x80, 0x80, 0x00, 0x3E, 0x00},  // a delta of 2^31, top bit set
                {0x00},
                meta(0x01, text("A text event of more than sixteen bytes, kept outside")),
                {0x00},
                meta(0x7F, {0x00, 0x00, 0x41, 0x01}),
                {0x00, 0xF0},
                vlq(20),
                Bytes(19, 0x11),
                {0xF7},
                end_of_track});
}

// GMF event streams: pitch-wheel status bytes carry no data there.
Bytes gmf_stream() {
    return cat({{0x00, 0xC0, 0x13, 0x00, 0xC1, 0x30},
                {0x00, 0x90, 0x3C, 0x64, 0x00, 0x91, 0x37, 0x50},
                {0x60, 0xE0, 0x00, 0x90, 0x3E, 0x64},
                {0x60, 0x80, 0x3C, 0x40, 0x00, 0x3E, 0x40, 0x00, 0x81, 0x37, 0x40},
                {0x00},
                meta(0x51, {0x09, 0x27, 0xC0}),
                {0x30, 0xE1, 0x00, 0xB0, 0x07, 0x7F}});
}

// Whole files. -------------------------------------------------------------

Bytes form0() { return smf(0, 96, {mixed()}); }
Bytes form1() { return smf(1, 480, {conductor(), melody(), drums()}); }

Bytes riff(std::string_view form, const Bytes& chunks) {
    return cat({text("RIFF"), le32(std::uint32_t(chunks.size() + 4)), text(form), chunks});
}
// A RIFF chunk, with its pad byte after an odd size.
Bytes chunk(std::string_view id, const Bytes& body) {
    Bytes out = cat({text(id), le32(std::uint32_t(body.size())), body});
    if (body.size() % 2 != 0) out.push_back(0);
    return out;
}
Bytes info_list() {
    return chunk("LIST", cat({text("INFO"), chunk("INAM", text("Minuet")), chunk("ICOP", text("1725"))}));
}

// HMP: deltas are 7-bit groups least significant first, the high bit on
// the last byte; every status byte is written. One track of notes and
// controllers, one of meta events, one whose data end without FF 2F.
Bytes hmp_delta(std::uint32_t v) {
    Bytes out;
    for (; v > 0x7F; v >>= 7) out.push_back(std::uint8_t(v & 0x7F));
    out.push_back(std::uint8_t(0x80 | v));
    return out;
}
std::vector<Bytes> hmp_tracks() {
    return {cat({{0x80}, meta(0x2F, {})}),
            cat({{0x80, 0xC0, 0x13, 0x80, 0x90, 0x3C, 0x64},
                 hmp_delta(480),
                 {0x80, 0x3C, 0x40, 0x80, 0xB0, 0x07, 0x64},
                 hmp_delta(20000),
                 {0xE0, 0x00, 0x50, 0x85, 0xD0, 0x30, 0x80},
                 meta(0x2F, {})}),
            cat({{0x80},
                 meta(0x03, text("Drums")),
                 hmp_delta(96),
                 meta(0x51, {0x07, 0xA1, 0x20}),
                 {0x80, 0x99, 0x24, 0x64, 0x90, 0xA9, 0x24, 0x30},
                 hmp_delta(0x0FFFFFFF),
                 meta(0x2F, {})}),
            {0x80, 0xC1, 0x28, 0x80, 0x91, 0x43, 0x50, 0xE0, 0x81, 0x43, 0x40}};
}
Bytes hmp_p() {
    Bytes out = text("HMIMIDIP013195");
    out.resize(48, 0);
    out.push_back(4);
    out.resize(0x80, 0);
    std::uint32_t number = 0;
    for (const Bytes& events : hmp_tracks())
        out = cat({out, le32(number++), le32(std::uint32_t(12 + events.size())), le32(0), events});
    return cat({out, le32(0)});
}
Bytes hmp_r() {
    Bytes out = text("HMIMIDIR");
    out.resize(26, 0);
    out.push_back(4);
    out.resize(77, 0);
    out.push_back(120);
    out.resize(0x60, 0);
    bool first = true;
    for (const Bytes& events : hmp_tracks()) {
        out = cat({out, le16(std::uint32_t(4 + events.size())), le16(0), events});
        if (std::exchange(first, false)) out = cat({out, le16(0)});  // 2 bytes before the records
    }
    return out;
}

// HMI: a track of notes with durations under running status and a name; one
// with a time jump, the format's own FE events (loop markers among them), a
// system-exclusive message and an end of track waiting for a note's end.
Bytes hmi_track(const std::string& name, const Bytes& events) {
    Bytes out = text("HMI-MIDITRACK");
    out.resize(91, 0);
    const Bytes name_at = le32(91), events_at = le32(std::uint32_t(93 + name.size()));
    std::copy(name_at.begin(), name_at.end(), out.begin() + 75);
    std::copy(events_at.begin(), events_at.end(), out.begin() + 87);
    return cat({out, {0x00, std::uint8_t(name.size())}, text(name), events});
}
Bytes hmi_melody() {
    return hmi_track("Flute   ", cat({{0x00, 0xC0, 0x49, 0x00, 0x90, 0x3C, 0x64},
                                      vlq(200),
                                      {0x60, 0x3E, 0x64, 0x40, 0x00, 0x40, 0x64},
                                      vlq(300),
                                      vlq(0x10000),
                                      {0x80, 0x40, 0x40},
                                      {0x00},
                                      meta(0x2F, {})}));
}
Bytes hmi_events() {
    return hmi_track("", cat({{0x00, 0xFE, 0x14, 0x00, 0x00, 0x00, 0xB1, 0x07, 0x64},
                              {0x10, 0xFE, 0x10, 0x01, 0x02, 0x02, 0xAA, 0xBB, 0x00, 0x00, 0x00, 0x00},
                              {0x00, 0xFE, 0x12, 0x00, 0x00, 0x00, 0xFE, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                              {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0x99, 0x24, 0x64},
                              vlq(1000),
                              {0x83, 0x60, 0xFE, 0x15, 0, 0, 0, 0, 0, 0, 0x00, 0xE1, 0x00, 0x40, 0x00},
                              meta(0x2F, {})}));
}
// The song header, then the directory, whose entries point at the tracks
// given by `order`.
Bytes hmi(const std::vector<Bytes>& tracks, const std::vector<std::size_t>& order) {
    Bytes out = text("HMI-MIDISONG061595");
    out.resize(228, 0);
    out = cat({out, le32(std::uint32_t(order.size())), le32(236)});
    std::vector<std::uint32_t> offsets;
    std::size_t at = 236 + 4 * order.size();
    for (const Bytes& track : tracks) {
        offsets.push_back(std::uint32_t(at));
        at += track.size();
    }
    for (const std::size_t i : order) out = cat({out, le32(offsets[i])});
    for (const Bytes& track : tracks) out = cat({out, track});
    return out;
}

struct Seed {
    std::string target;
    std::string name;
    Bytes bytes;
    std::function<bool(ByteRange)> valid;  // what the seed claims to be
};

bool reads_as_smf(ByteRange input) {
    seqconv::MidiContainer song;
    return seqconv::read_smf(input, song);
}
bool reads_as_rmid(ByteRange input) {
    seqconv::MidiContainer song;
    return seqconv::read_rmid(input, song);
}
bool reads_as_gmf_track(ByteRange input) {
    seqconv::MidiContainer song;
    seqconv::ByteCursor cursor(input);
    return seqconv::read_smf_track(cursor, input.size(), song, false) && song.track_count() == 1;
}
// For fuzz_convert: the file after the selector byte converts, or for a
// format not read yet is recognised by `detect`.
std::function<bool(ByteRange)> converts() {
    return [](ByteRange input) {
        seqconv::MidiContainer song;
        return seqconv::convert_file(ByteRange(input.begin + 1, input.end),
                                     seqconv::fuzz::extension_of_selector(input.begin[0]), song) &&
               song.track_count() != 0;
    };
}
std::function<bool(ByteRange)> detected_by(bool (*detect)(ByteRange)) {
    return [detect](ByteRange input) { return detect(ByteRange(input.begin + 1, input.end)); };
}

std::vector<Seed> seeds() {
    std::vector<Seed> out;
    const auto smf_seed = [&](std::string name, Bytes bytes) {
        out.push_back({"fuzz_smf", std::move(name), std::move(bytes), reads_as_smf});
    };
    smf_seed("form0_one_track.mid", form0());
    smf_seed("form1_conductor_and_two_tracks.mid", form1());
    smf_seed("form2_independent_tracks.mid", smf(2, 120, {melody(), drums()}));
    smf_seed("smpte_division.mid", smf(1, 0xE728, {conductor(), melody()}));
    smf_seed("clock_bytes_long_deltas_long_texts.mid", smf(0, 96, {quirks()}));
    smf_seed("no_tracks.mid", smf(1, 96, {}));
    smf_seed("lone_end_of_track.mid", smf(0, 96, {end_of_track}));
    {
        // The last track lacks its FF 2F and declares more bytes than there
        // are: it ends with the file.
        Bytes cut = smf(1, 96, {conductor(), melody()});
        cut.resize(cut.size() - end_of_track.size());
        const std::size_t length_at = 14 + 8 + conductor().size() + 4;
        const Bytes longer = be32(std::uint32_t(melody().size() + 100));
        std::copy(longer.begin(), longer.end(), cut.begin() + std::ptrdiff_t(length_at));
        smf_seed("last_track_cut_off.mid", std::move(cut));
    }

    const auto rmid_seed = [&](std::string name, Bytes bytes) {
        out.push_back({"fuzz_rmid", std::move(name), std::move(bytes), reads_as_rmid});
    };
    rmid_seed("data_only.rmi", riff("RMID", chunk("data", form0())));
    rmid_seed("data_and_info.rmi", riff("RMID", cat({chunk("data", form1()), info_list()})));
    {
        Bytes odd = form0();
        odd.push_back(0x00);  // an odd data size, padded
        rmid_seed("odd_data_disp_and_info.rmi",
                  riff("RMID", cat({chunk("data", odd), chunk("DISP", cat({le32(1), text("Minuet")})), info_list()})));
    }

    const auto gmf_seed = [&](std::string name, Bytes bytes) {
        out.push_back({"fuzz_gmf_track", std::move(name), std::move(bytes), reads_as_gmf_track});
    };
    gmf_seed("stream_ends_with_input.gmf", gmf_stream());
    gmf_seed("stream_with_end_of_track.gmf", cat({gmf_stream(), end_of_track, {0x00, 0x90}}));
    gmf_seed(
        "sysex_and_running_status.gmf",
        cat({{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xB0, 0x07, 0x64, 0x10, 0x0A, 0x40}, quirks()}));

    // fuzz_convert: a selector byte, then the file.
    using seqconv::fuzz::selector_for;
    const auto convert_seed = [&](std::string name, std::uint8_t selector, const Bytes& file,
                                  std::function<bool(ByteRange)> valid) {
        out.push_back({"fuzz_convert", std::move(name), cat({{selector}, file}), std::move(valid)});
    };
    convert_seed("smf_form0.mid", selector_for("mid"), form0(), converts());
    convert_seed("smf_form0_promoted.mid", selector_for("mid", true), form0(), converts());
    convert_seed("smf_form0_conductor_promoted", selector_for(std::nullopt, true), smf(0, 96, {conductor(), mixed()}),
                 converts());
    convert_seed("smf_form1_promoted.MID", selector_for("MID", true), form1(), converts());
    convert_seed("rmid_with_info_promoted.rmi", selector_for("rmi", true),
                 riff("RMID", cat({chunk("data", form0()), info_list()})), converts());
    convert_seed("smf_named_lds.lds", selector_for("lds"), form0(), converts());

    convert_seed("hmp_p_three_tracks.hmp", selector_for("hmp"), hmp_p(), converts());
    convert_seed("hmp_r_three_tracks.hmp", selector_for("hmp", true), hmp_r(), converts());
    convert_seed("hmi_two_tracks_loop.hmi", selector_for("hmi"), hmi({hmi_melody(), hmi_events()}, {0, 1}), converts());
    // Entries that do not ascend: the first track is read to the end.
    convert_seed("hmi_entries_pointing_back.hmi", selector_for(std::nullopt),
                 hmi({hmi_melody(), hmi_events()}, {1, 0, 1}), converts());
    {
        // FORM XDIR holding one INFO chunk (one sequence), then CAT of XMID.
        const Bytes evnt = cat({{0xC0, 0x00, 0x90, 0x3C, 0x64, 0x3C, 0x78}, meta(0x2F, {})});
        const Bytes xmid = cat({text("FORM"), be32(std::uint32_t(4 + 8 + evnt.size())), text("XMID"), text("EVNT"),
                                be32(std::uint32_t(evnt.size())), evnt});
        const Bytes xmi = cat({text("FORM"), be32(14), text("XDIR"), text("INFO"), be32(2), le16(1), text("CAT "),
                               be32(std::uint32_t(4 + xmid.size())), text("XMID"), xmid});
        convert_seed("xmi_one_sequence.xmi", selector_for("xmi"), xmi, detected_by(seqconv::detect_xmi));
    }
    {
        // Two instruments, so the score starts at 16 + 2 * 2; notes, a
        // release with a delay, the end of the score.
        const Bytes score = {0x10, 0x3C, 0x90, 0xBC, 0x64, 0x10, 0x00, 0x3C, 0x20, 0x80, 0x30, 0x00, 0x3C, 0x60};
        const Bytes mus = cat({text("MUS\x1A"), le16(std::uint32_t(score.size())), le16(20), le16(1), le16(0), le16(2),
                               le16(0), le16(0), le16(128), score});
        convert_seed("mus_two_instruments.mus", selector_for("mus"), mus, detected_by(seqconv::detect_mus));
    }
    {
        const Bytes fmt = cat({le32(96), le32(0x0001FFFF), le32(1)});
        const Bytes block = cat({le32(0), le32(12), le32(0), le32(0), le32(0x00403C90)});
        const Bytes mids = riff("MIDS", cat({chunk("fmt ", fmt), chunk("data", cat({le32(1), block}))}));
        convert_seed("mids_one_block.mds", selector_for("mds"), mids, detected_by(seqconv::detect_mids));
    }
    {
        // LDS modules are known by their extension and a first byte of 0 to 2.
        const auto lds_detected = [](ByteRange input) {
            return seqconv::detect_lds(ByteRange(input.begin + 1, input.end),
                                       seqconv::fuzz::extension_of_selector(input.begin[0]));
        };
        Bytes lds = {0x00, 0x03, 0x00, 0x10, 0x00};
        lds.resize(48, 0);
        convert_seed("lds_mode0.lds", selector_for("lds"), lds, lds_detected);
        lds[0] = 0x01;
        convert_seed("lds_mode1.LDS", selector_for("LDS"), lds, lds_detected);
        lds[0] = 0x02;
        convert_seed("lds_mode2.lDs", selector_for("lDs"), lds, lds_detected);
    }
    {
        const Bytes gmf = cat({text("GMF"), {0x01, 0x00, 0x05, 0x00}, gmf_stream(), end_of_track});
        convert_seed("gmf_stream.gmf", selector_for("gmf"), gmf, detected_by(seqconv::detect_gmf));
    }
    return out;
}

Bytes read_file(const std::filesystem::path& path, bool& found) {
    std::ifstream in(path, std::ios::binary);
    found = in.is_open();
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: %s [--check] DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root(argv[argc - 1]);
    int status = 0;
    for (const Seed& seed : seeds()) {
        const std::filesystem::path path = root / seed.target / seed.name;
        if (!seed.valid(ByteRange(seed.bytes.data(), seed.bytes.size()))) {
            std::fprintf(stderr, "%s is not what it claims to be\n", path.string().c_str());
            status = 1;
        }
        if (check) {
            bool found = false;
            if (read_file(path, found) != seed.bytes) {
                std::fprintf(stderr, "%s %s; run %s %s\n", path.string().c_str(),
                             found ? "differs from its generator" : "is missing", argv[0], root.string().c_str());
                status = 1;
            }
            continue;
        }
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seed.bytes.data()), std::streamsize(seed.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
            status = 1;
        }
    }
    return status;
}
