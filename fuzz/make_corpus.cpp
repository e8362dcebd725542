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
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/iff/iff.h"
#include "formats/readers.h"
#include "formats/smf_reader.h"
#include "fuzz/convert_selector.h"
#include "testkit/loops.h"
#include "testkit/files.h"
#include "testkit/formats.h"
#include "testkit/lds.h"

namespace {

using seqconv::ByteRange;
using namespace testkit;

const Bytes end_of_track = {0x00, 0xFF, 0x2F, 0x00};

// Track bodies. ------------------------------------------------------------

Bytes conductor() {
    return smf_events({text_event(0, 0x03, "Conductor"), tempo(0, 500000), meta(0, 0x58, {4, 2, 0x18, 8}),
                       meta(0, 0x59, {0, 0}), tempo(480 * 4, 400000)});
}

// Channel 0: a program, a controller, notes ended by note-on with velocity 0
// under running status and by explicit note-off.
Bytes melody() {
    return smf_events({program(0, 0, 0), controller(0, 0, 7, 100), message(0, 0x90, {0x3C, 100}),
                       message(480, 0x90, {0x3C, 0}), message(480, 0x90, {0x3E, 100}), message(960, 0x80, {0x3E, 64}),
                       message(960, 0x90, {0x40, 100}), message(1920, 0x90, {0x40, 0})},
                      true);
}

// Channel 9 and every other kind of channel message under running status,
// and a system-exclusive message.
Bytes drums() {
    return smf_events(
        {sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}), controller(0, 9, 0x0A, 64), message(0, 0x99, {0x24, 100}),
         message(0, 0x99, {0x2A, 80}), message(16, 0xA9, {0x24, 48}), message(32, 0xD9, {0x50}),
         message(48, 0xE9, {0x00, 0x40}), message(288, 0x89, {0x24, 64}), message(288, 0x89, {0x2A, 64})},
        true);
}

// Several channels in one track, as a form 0 file holds them.
Bytes mixed() {
    return smf_events({tempo(0, 500000), program(0, 1, 0x28), program(0, 9, 0), message(0, 0x90, {0x3C, 100}),
                       message(0, 0x91, {0x43, 80}), message(0, 0x99, {0x24, 100}), message(240, 0x89, {0x24, 64}),
                       message(240, 0xEF, {0x00, 0x50}), message(480, 0x80, {0x3C, 64}), message(480, 0x81, {0x43, 64}),
                       text_event(480, 0x06, "Fine")});
}

// What old sequencers leave in: clock start and stop bytes (their delta
// counts, they make no event), running status carried across meta events,
// long deltas and texts longer than an event holds inline.
Bytes quirks() {
    return cat({{0x00, 0x90, 0x3C, 0x64, 0x00},
                meta_bytes(0x01, text("A")),
                {0x10, 0x3C, 0x00},
                {0x20, 0xFB, 0x20, 0xFC},
                vlq(0x0FFFFFFF),
                {0x90, 0x3E, 0x64},
                {0x88, 0x80, 0x80, 0x80, 0x00, 0x3E, 0x00},  // a delta of 2^31, top bit set
                {0x00},
                meta_bytes(0x01, text("A text event of more than sixteen bytes, kept outside")),
                {0x00},
                meta_bytes(0x7F, {0x00, 0x00, 0x41, 0x01}),
                {0x00, 0xF0},
                vlq(20),
                Bytes(19, 0x11),
                {0xF7},
                end_of_track});
}

// GMF event streams: pitch-wheel status bytes carry no data there.
Bytes gmf_stream() {
    return smf_events({program(0, 0, 0x13), program(0, 1, 0x30), message(0, 0x90, {0x3C, 100}),
                       message(0, 0x91, {0x37, 80}), message(96, 0xE0, {}), message(96, 0x90, {0x3E, 100}),
                       message(192, 0x80, {0x3C, 64}), message(192, 0x80, {0x3E, 64}), message(192, 0x81, {0x37, 64}),
                       tempo(192, 600000), message(240, 0xE1, {}), controller(240, 0, 7, 127)},
                      true, false);
}

// Whole files. -------------------------------------------------------------

Bytes form0() { return smf(0, 96, {mixed()}); }
Bytes form1() { return smf(1, 480, {conductor(), melody(), drums()}); }
Bytes info() { return info_list({{"INAM", text("Minuet")}, {"ICOP", text("1725")}}); }

// XMI songs, whose event streams have delay bytes and note durations.
XmiSong xmi_song(Bytes events) { return {std::move(events), xmi_timbres({{0x28, 0x00}})}; }
// A tempo at time 0, every kind of channel event, notes overlapping and of
// no duration, delays of several bytes, a long text, system exclusive, and
// bytes after the end that are never read.
Bytes xmi_every_event() {
    return xmi_events({tempo(0, 400000), program(0, 0, 0x28), controller(0, 0, 7, 100), note(0, 0, 0x3C, 100, 300),
                       note(270, 0, 0x40, 80, 0), message(270, 0xA0, {0x40, 0x30}), message(270, 0xD0, {0x50}),
                       message(270, 0xE0, {0x00, 0x40}), text_event(330, 0x01, "A text longer than sixteen bytes"),
                       sysex(330, {0x7E, 0x7F, 0x09, 0x01, 0xF7}), note(330, 9, 0x24, 100, 128),
                       testkit::end_of_track(450), raw(450, {0xF7, 0x00})},
                      false);
}
// A tempo only later on, and no end of track.
Bytes xmi_later_tempo_no_end() {
    return xmi_events({program(0, 1, 0x30), note(0, 1, 0x43, 80, 64), tempo(32, 123456), note(32, 1, 0x45, 80, 60)},
                      false);
}

// LDS modules. ------------------------------------------------------------

// Two voices in two positions of eight rows; voice 2 loops back at the end.
Bytes lds_tune(int mode) {
    using namespace testkit::lds;
    Module m;
    m.mode = mode;
    m.row_speed = 5;
    m.pattern_length = 8;
    m.patches = {{73, 96}, {70, 80, 12}};
    const Voice idle{m.pattern({wait(255)})};
    const std::uint16_t melody =
        m.pattern({note(74, 0), rest, note(67, 0), note(69, 0), note(71, 0), note(72, 0), note(74, 0), rest,
                   note(67, 0), rest, note(67, 0), rest, note(76, 0), rest, note(72, 0), note(74, 0)});
    const std::uint16_t bass = m.pattern({note(55, 1), rest, rest, rest, note(57, 1), rest, note(59, 1), rest});
    const Voice loop{m.pattern({wait(6), command(0xF9, 0)})};
    m.positions = {voices({{melody}, {bass}}, idle), voices({{std::uint16_t(melody + 8)}, {bass}, loop}, idle)};
    return m.bytes();
}

// Every kind of pattern word, patch and position transpose, a delayed
// voice, fades, glides and jumps forward; the song ends after its last
// position.
Bytes lds_every_command() {
    using namespace testkit::lds;
    Module m;
    m.row_speed = 2;
    m.pattern_length = 16;
    m.channel_delay[3] = 2;
    m.patches = {{5, 100}, {0xA4, 90}, {40, 0, 4, 12}, {80, 200, 0, -12}};
    const Voice idle{m.pattern({wait(255)})};
    const Voice lead{
        m.pattern({note(60, 0), command(0xF6, 4), note(62, 0), command(0xF5, 8), command(0xF8), glide(8), note(57, 0),
                   command(0xFB), command(0xFD, 0x20), note(64, 2), command(0xFE, 3), command(0xF0, 0x90),
                   command(0xF1, 0x30), command(0xFF, 0x28), wait(1), note(65, 3), command(0xFA)})};
    const Voice drums{m.pattern({note(36, 1), rest, note(38, 1), command(0xF3, 0x20), rest, rest, command(0xF4, 0x80),
                                 command(0xF3, 0xC0), note(36, 1), 0xA512, command(0xF2, 1), command(0xF7, 1),
                                 note(42, 1), wait(255)})};
    const Voice late{m.pattern({note(48, 2), rest, note(50, 3), rest, note(52, 2), wait(255)})};
    const Voice skip{m.pattern({note(67, 0), command(0xF9, 3)})};
    const Voice unused{m.pattern({command(0xFC)})};
    const Voice last{m.pattern({note(69, 3), note(71, 2), note(72, 0), wait(255)})};
    m.positions = {voices({lead, drums, idle, late}, idle), voices({skip, {late.pattern, 0x7E}}, idle),
                   voices({unused}, idle), voices({last, {late.pattern, 0x83}}, idle)};
    return m.bytes();
}

// HMP: one track of notes and controllers, one of meta events, one whose
// data end without FF 2F.
std::vector<Bytes> hmp_tracks() {
    return {hmp_events({}),
            hmp_events({program(0, 0, 0x13), message(0, 0x90, {0x3C, 100}), message(480, 0x80, {0x3C, 64}),
                        controller(480, 0, 7, 100), message(20480, 0xE0, {0x00, 0x50}), message(20485, 0xD0, {0x30})}),
            hmp_events({text_event(0, 0x03, "Drums"), tempo(96, 500000), message(96, 0x99, {0x24, 100}),
                        message(112, 0xA9, {0x24, 48}), testkit::end_of_track(112 + 0x0FFFFFFF)}),
            hmp_events({program(0, 1, 0x28), message(0, 0x91, {0x43, 80}), message(96, 0x81, {0x43, 64})}, false)};
}
// HMI: a track of notes with durations under running status and a name; one
// with a time jump, the format's own FE events (loop markers among them), a
// system-exclusive message and an end of track waiting for a note's end.
Bytes hmi_melody() {
    return hmi_track("Flute   ",
                     hmi_events({program(0, 0, 0x49), note(0, 0, 0x3C, 100, 200), note(96, 0, 0x3E, 100, 64),
                                 note(96, 0, 0x40, 100, 300), message(96 + 0x10000, 0x80, {0x40, 64})},
                                true));
}
// FE 14 and FE 15 mark a loop's start and end; FE 10's third byte counts
// the bytes after it, four more than it says.
Bytes hmi_fe_events() {
    return hmi_track("",
                     hmi_events({raw(0, {0xFE, 0x14, 0x00, 0x00}), controller(0, 1, 7, 100),
                                 raw(16, {0xFE, 0x10, 0x01, 0x02, 0x02, 0xAA, 0xBB, 0x00, 0x00, 0x00, 0x00}),
                                 raw(16, {0xFE, 0x12, 0x00, 0x00}), raw(16, {0xFE, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                                 sysex(16, {0x7E, 0x7F, 0x09, 0x01, 0xF7}), note(16, 9, 0x24, 100, 1000),
                                 raw(496, {0xFE, 0x15, 0, 0, 0, 0, 0, 0}), message(496, 0xE1, {0x00, 0x40})}));
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
// Plays to its end with sounding voices when named with the "lds" extension.
bool reads_as_lds(ByteRange input) {
    seqconv::MidiContainer song;
    return seqconv::convert_file(input, "lds", song) && song.track_count() > 1;
}
// For a reader's own target: its detector accepts the file and its reader
// reads it without error.
std::function<bool(ByteRange)> reads_as(seqconv::InputFormat format) {
    return [format](ByteRange input) {
        seqconv::MidiContainer song;
        return seqconv::detect_format(input, std::nullopt) == format && seqconv::read_format(format, input, song) &&
               song.track_count() != 0;
    };
}
bool parses_as_iff(ByteRange input) {
    seqconv::IffTree tree;
    return seqconv::parse_iff(input, tree) && !tree.chunks.empty();
}
// For fuzz_convert: the file after the selector byte converts, or for a
// format not read yet is recognised by `detect`.
bool converts(ByteRange input) {
    seqconv::MidiContainer song;
    return seqconv::convert_file(ByteRange(input.begin + 1, input.end),
                                 seqconv::fuzz::extension_of_selector(input.begin[0]), song) &&
           song.track_count() != 0;
}

std::vector<Seed> seeds() {
    std::vector<Seed> out;
    // Adds seeds to `target`, each checked by `valid`.
    const auto seeds_of = [&out](std::string target, std::function<bool(ByteRange)> valid) {
        return [&out, target, valid](std::string name, Bytes bytes) {
            out.push_back({target, std::move(name), std::move(bytes), valid});
        };
    };
    const auto smf_seed = seeds_of("fuzz_smf", reads_as_smf);
    smf_seed("form0_one_track.mid", form0());
    smf_seed("form1_conductor_and_two_tracks.mid", form1());
    smf_seed("form2_independent_tracks.mid", smf(2, 120, {melody(), drums()}));
    smf_seed("smpte_division.mid", smf(1, 0xE728, {conductor(), melody()}));
    smf_seed("clock_bytes_long_deltas_long_texts.mid", smf(0, 96, {quirks()}));
    smf_seed("no_tracks.mid", smf(1, 96, {}));
    smf_seed("lone_end_of_track.mid", smf(0, 96, {end_of_track}));
    // The last track lacks its FF 2F and declares more bytes than there
    // are: it ends with the file.
    smf_seed("last_track_cut_off.mid", smf(1, 96, {conductor(), cut_off(melody(), end_of_track.size())}, 104));

    const auto rmid_seed = seeds_of("fuzz_rmid", reads_as_rmid);
    rmid_seed("data_only.rmi", rmid(form0()));
    rmid_seed("data_and_info.rmi", rmid(form1(), info()));
    // An odd data size, padded.
    rmid_seed("odd_data_disp_and_info.rmi",
              rmid(cat({form0(), {0x00}}), cat({riff_chunk("DISP", cat({le32(1), text("Minuet")})), info()})));

    const auto gmf_seed = seeds_of("fuzz_gmf_track", reads_as_gmf_track);
    gmf_seed("stream_ends_with_input.gmf", gmf_stream());
    gmf_seed("stream_with_end_of_track.gmf", cat({gmf_stream(), end_of_track, {0x00, 0x90}}));
    gmf_seed(
        "sysex_and_running_status.gmf",
        cat({{0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xB0, 0x07, 0x64, 0x10, 0x0A, 0x40}, quirks()}));

    // fuzz_convert: a selector byte, then the file.
    using seqconv::fuzz::selector_for;
    const auto convert_seed = [add = seeds_of("fuzz_convert", converts)](std::string name, std::uint8_t selector,
                                                                         const Bytes& file) {
        add(std::move(name), cat({{selector}, file}));
    };
    convert_seed("smf_form0.mid", selector_for("mid"), form0());
    convert_seed("smf_form0_promoted.mid", selector_for("mid", true), form0());
    convert_seed("smf_form0_conductor_promoted", selector_for(std::nullopt, true), smf(0, 96, {conductor(), mixed()}));
    convert_seed("smf_form1_promoted.MID", selector_for("MID", true), form1());
    convert_seed("rmid_with_info_promoted.rmi", selector_for("rmi", true), rmid(form0(), info()));
    convert_seed("smf_named_lds.lds", selector_for("lds"), form0());

    convert_seed("hmp_p_three_tracks.hmp", selector_for("hmp"), hmp(hmp_tracks()));
    convert_seed("hmp_r_three_tracks.hmp", selector_for("hmp", true), hmp(hmp_tracks(), {true, 120}));
    convert_seed("hmi_two_tracks_loop.hmi", selector_for("hmi"), hmi({hmi_melody(), hmi_fe_events()}));
    // Entries that do not ascend: the first track is read to the end.
    convert_seed("hmi_entries_pointing_back.hmi", selector_for(std::nullopt),
                 hmi({hmi_melody(), hmi_fe_events()}, {1, 0, 1}));
    convert_seed("xmi_one_song_promoted.xmi", selector_for("xmi", true), xmi({xmi_song(xmi_every_event())}));
    convert_seed(
        "xmi_three_songs.xmi", selector_for("xmi"),
        xmi({xmi_song(xmi_every_event()), xmi_song(xmi_later_tempo_no_end()), xmi_song({0x90, 0x3C, 0x64, 0x00})}));
    {
        const MusHeader two_instruments{2, 1, {0, 128}};
        // Notes, a release with a delay, the end of the score.
        convert_seed("mus_two_instruments.mus", selector_for("mus"),
                     mus(two_instruments, {0x10, 0x3C, 0x91, 0xBE, 0x64, 0x10, 0x80, 0x3C, 0x20, 0x01, 0x3E, 0x60}));
        // Every kind of event, the percussion channel, a volume above 127,
        // remembered velocities, and delays of one and two bytes.
        convert_seed(
            "mus_every_event_kind_promoted.mus", selector_for("mus", true),
            mus(two_instruments, {0x40, 0x00, 0x30, 0x41, 0x03, 0xC8, 0x4F, 0x04, 0x40, 0x10, 0xBC, 0x64, 0x9F, 0xA4,
                                  0x7F, 0x20, 0x20, 0xA0, 0x11, 0xC0, 0x50, 0x91, 0x43, 0x10, 0x80, 0x3C, 0x81, 0x00,
                                  0x0F, 0x24, 0x01, 0x40, 0x01, 0x43, 0x31, 0x0B, 0x30, 0x0E, 0x22, 0x80, 0x60}));
    }
    {
        // Tempo changes, short messages of one and two data bytes, a status
        // and a kind that are dropped, and two blocks whose deltas run on.
        constexpr std::uint32_t tempo = 0x0107A120, program = 0x07C0, note = 0x643C90, note_off = 0x403C80;
        constexpr std::uint32_t wheel = 0x4000E1, pressure = 0x40D1, dropped = 0xF8, other_kind = 0x02000000;
        constexpr std::uint32_t slower = 0x010927C0;
        const std::vector<MidsBlock> ids = {
            {0, cat({mids_event(0, tempo), mids_event(0, program), mids_event(0, note)})},
            {96, cat({mids_event(96, note_off), mids_event(0, wheel), mids_event(10, pressure), mids_event(0, dropped),
                      mids_event(0, other_kind), mids_event(20, slower)})}};
        convert_seed("mids_stream_ids.mds", selector_for("mds"), mids({96, 4096, 0, {}}, ids));
        // Without stream ids, and a fmt chunk of odd size with its pad byte.
        const MidsBlock no_ids{
            0, cat({mids_event(0, tempo, false), mids_event(0, note, false), mids_event(480, note_off, false)})};
        convert_seed("mids_no_stream_ids_promoted.mds", selector_for("mds", true), mids({480, 0, 1, {0x00}}, {no_ids}));
    }
    // LDS modules are known by their extension and a first byte of 0 to 2.
    convert_seed("lds_tune_with_loop.lds", selector_for("lds"), lds_tune(0));
    convert_seed("lds_mode2_tune.lDs", selector_for("lDs"), lds_tune(2));
    convert_seed("lds_every_command.LDS", selector_for("LDS"), lds_every_command());
    const auto lds_seed = seeds_of("fuzz_lds", reads_as_lds);
    lds_seed("tune_with_loop.lds", lds_tune(1));
    lds_seed("every_command.lds", lds_every_command());
    convert_seed("gmf_stream.gmf", selector_for("gmf"), gmf(5, cat({gmf_stream(), end_of_track})));
    // A tempo too slow for 24 bits, and a stream that ends with the file.
    convert_seed("gmf_slow_without_end_promoted.gmf", selector_for("gmf", true), gmf(300, gmf_stream()));
    // Each reader's own target starts from that format's files, without the
    // selector byte.
    const std::pair<std::string_view, seqconv::InputFormat> own_targets[] = {
        {"hmp", seqconv::InputFormat::hmp}, {"hmi", seqconv::InputFormat::hmi},   {"xmi", seqconv::InputFormat::xmi},
        {"mus", seqconv::InputFormat::mus}, {"mids", seqconv::InputFormat::mids}, {"gmf", seqconv::InputFormat::gmf}};
    // fuzz_loops: the same, and songs that loop in every dialect, their
    // selectors varied over passes, fade and `whole`.
    {
        const auto loops_seed = seeds_of("fuzz_loops", converts);
        std::uint8_t variant = 0;
        for (const testkit::LoopingFile& looping : testkit::looping_files()) {
            const std::string extension = looping.name.substr(looping.name.rfind('.') + 1);
            loops_seed(looping.name, cat({{std::uint8_t(selector_for(extension) | (variant++ % 8) << 4)}, looping.bytes}));
        }
    }
    const std::vector<Seed> convert_seeds = out;
    for (const Seed& seed : convert_seeds)
        if (seed.target == "fuzz_convert") out.push_back({"fuzz_loops", seed.name, seed.bytes, converts});
    for (const Seed& seed : convert_seeds) {
        for (const auto& [prefix, format] : own_targets) {
            const std::string stem = std::string(prefix) + "_";
            if (seed.target != "fuzz_convert" || !seed.name.starts_with(stem)) continue;
            const std::string name = seed.name.substr(stem.size());
            const Bytes file(seed.bytes.begin() + 1, seed.bytes.end());
            out.push_back({"fuzz_" + std::string(prefix), name, file, reads_as(format)});
            if (format == seqconv::InputFormat::xmi) out.push_back({"fuzz_iff", name, file, parses_as_iff});
        }
    }
    return out;
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
        const std::string remedy = "run " + std::string(argv[0]) + " " + root.string();
        if (!write_or_check(path, seed.bytes, check, remedy)) status = 1;
    }
    return status;
}
