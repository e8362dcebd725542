// Writes the example files bundled in examples/: one small file per input
// format, the same music in each, made from scratch with the test-file kit
// so that every byte is ours.
//
//   make_examples DIR           writes the files into DIR
//   make_examples --check DIR   exits 1 when DIR's files differ from them

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "testkit/files.h"
#include "testkit/formats.h"
#include "testkit/lds.h"

namespace {

using namespace testkit;

struct Note {
    std::uint8_t key;
    std::uint32_t beats;  // in eighths
};

// The first phrase of a well-known minuet in G, melody and bass, in 3/4.
const std::vector<Note> melody = {
    {74, 2}, {67, 1}, {69, 1}, {71, 1}, {72, 1}, {74, 2}, {67, 2}, {67, 2}, {76, 2}, {72, 1}, {74, 1},
    {76, 1}, {78, 1}, {79, 2}, {67, 2}, {67, 2}, {72, 2}, {74, 1}, {72, 1}, {71, 1}, {69, 1}, {71, 2},
    {72, 1}, {71, 1}, {69, 1}, {67, 1}, {66, 2}, {67, 1}, {69, 1}, {71, 1}, {67, 1}, {69, 6},
};
const std::vector<Note> bass = {
    {55, 4}, {57, 2}, {59, 6}, {60, 6}, {59, 6}, {57, 6}, {55, 6}, {64, 6}, {60, 4}, {62, 2}, {55, 6}, {50, 6},
};

std::uint32_t eighths_of(const std::vector<Note>& notes) {
    std::uint32_t eighths = 0;
    for (const Note& note : notes) eighths += note.beats;
    return eighths;
}

// The song ends with its longer voice, the bass; `eighth` ticks make an
// eighth note.
std::uint32_t song_length(std::uint32_t eighth) { return std::max(eighths_of(melody), eighths_of(bass)) * eighth; }

// A voice's notes, each ended a twelfth of an eighth early.
Track voice(std::uint8_t channel, const std::vector<Note>& notes, std::uint8_t velocity, std::uint32_t eighth) {
    Track out;
    std::uint32_t time = 0;
    for (const Note& n : notes) {
        out.push_back(note(time, channel, n.key, velocity, n.beats * eighth - eighth / 12));
        time += n.beats * eighth;
    }
    return out;
}
Track flute(std::uint32_t eighth) { return voice(0, melody, 0x60, eighth); }
Track bassoon(std::uint32_t eighth) { return voice(1, bass, 0x50, eighth); }
constexpr std::uint32_t quarter_120 = 500000;  // microseconds: 120 quarter notes a minute

// The two voices as one list of channel messages by time: the programs,
// then the notes and their ends.
Track minuet_messages(std::uint32_t eighth) {
    return merged(
        {{program(0, 0, 73), program(0, 1, 70)}, with_note_offs(flute(eighth)), with_note_offs(bassoon(eighth))});
}
// The same in one track, with a tempo of its own where `with_tempo`.
Track minuet_stream(std::uint32_t eighth, bool with_tempo) {
    Track out = with_tempo ? Track{tempo(0, quarter_120)} : Track{};
    return merged({out, minuet_messages(eighth), {end_of_track(song_length(eighth))}});
}

// Form 1 at 96 ticks a quarter note: a conductor track, then melody and
// bass on channels 0 and 1, each track named.
Bytes minuet_form1() {
    const std::uint32_t end = song_length(48);
    const Track conductor = {text_event(0, 0x03, "Minuet"), meta(0, 0x58, {3, 2, 24, 8}), tempo(0, quarter_120),
                             end_of_track(end)};
    const auto part = [end](std::string_view name, Event first, Track notes) {
        return merged({{text_event(0, 0x03, name), first}, notes, {end_of_track(end)}});
    };
    return smf(1, 96,
               {smf_events(conductor), smf_events(part("Flute", program(0, 0, 73), flute(48))),
                smf_events(part("Bassoon", program(0, 1, 70), bassoon(48)))});
}

Bytes minuet_form0() { return smf(0, 96, {smf_events(minuet_stream(48, true))}); }

// RIFF RMID: the form 0 file, then a "LIST" "INFO" with a title.
Bytes minuet_rmid() { return rmid(minuet_form0(), info_list({{"INAM", cat({text("Minuet"), {0}})}})); }

// GMF: half a second a quarter note, 192 ticks to it.
Bytes minuet_gmf() { return gmf(5, smf_events(minuet_stream(96, false))); }

// MUS ticks run at 140 a second, so 35 make an eighth note at 120 quarter
// notes a minute.
Bytes minuet_mus() { return mus({2, 0, {73, 70}}, mus_score(minuet_stream(35, false))); }

// RIFF MIDS: 96 ticks a quarter note, 16 events a block with stream ids.
Bytes minuet_mids() {
    return mids({96, 16 * 12, 0, {}}, mids_blocks(merged({{tempo(0, quarter_120)}, minuet_messages(48)}), 16));
}

// XMI ticks run at 120 a second, 60 to the quarter note; each note on
// carries its duration. TIMB lists the programs and banks the song uses.
Bytes minuet_xmi() {
    const Track events = merged({{tempo(0, quarter_120), program(0, 0, 73), program(0, 1, 70)},
                                 flute(30),
                                 bassoon(30),
                                 {end_of_track(song_length(30))}});
    return xmi({{xmi_events(events), xmi_timbres({{73, 0}, {70, 0}})}});
}

// HMP and HMI songs play under a fixed tempo of 1605632 microseconds per
// quarter note; at 192 ticks per quarter note, 30 ticks make an eighth at
// about 120 quarter notes a minute.
std::vector<Bytes> hmp_tracks() {
    const std::uint32_t end = song_length(30);
    // The first track, which the conversion replaces with its own conductor
    // track, holds only its end.
    return {hmp_events({}), hmp_events(merged({{program(0, 0, 73)}, flute(30), {end_of_track(end)}})),
            hmp_events(merged({{program(0, 1, 70)}, bassoon(30), {end_of_track(end)}}))};
}
Bytes minuet_hmp() { return hmp(hmp_tracks()); }
Bytes minuet_hmp_r() { return hmp(hmp_tracks(), {true, 192}); }

// HMI: notes carry their durations; FE 14 and FE 15 on the flute's track
// mark the start and the end of a loop over the whole song.
Bytes minuet_hmi() {
    const std::uint32_t end = song_length(30);
    const Track upper = merged({{raw(0, {0xFE, 0x14, 0x00, 0x00}), program(0, 0, 73)},
                                flute(30),
                                {raw(end, {0xFE, 0x15, 0, 0, 0, 0, 0, 0}), end_of_track(end)}});
    const Track lower = merged({{program(0, 1, 70)}, bassoon(30), {end_of_track(end)}});
    return hmi({hmi_track("Flute           ", hmi_events(upper)), hmi_track("Bassoon         ", hmi_events(lower))});
}

// LDS: the minuet as a module, one row an eighth (18 ticks of 1/70 s),
// melody on voice 0 and bass on voice 1, five positions of two bars each.
// Voice 2 jumps back to the start at the last row: the song's loop.
Bytes minuet_lds() {
    using namespace testkit::lds;
    constexpr int rows = 12;
    Module module;
    module.row_speed = 17;
    module.pattern_length = rows;
    module.patches = {{73, 96}, {70, 80}};
    const auto part = [&](const std::vector<Note>& notes, int patch, std::size_t eighths) {
        std::vector<std::uint16_t> words;
        for (const Note& n : notes) {
            words.push_back(note(n.key, patch));
            words.resize(words.size() + n.beats - 1, rest);
        }
        words.resize(eighths);
        return module.pattern(words);
    };
    const std::size_t eighths = song_length(1);
    const std::uint16_t upper = part(melody, 0, eighths);
    const std::uint16_t lower = part(bass, 1, eighths);
    const Voice idle{module.pattern({wait(255)})};
    const Voice loop{module.pattern({wait(rows - 2), command(0xF9, 0)})};
    for (std::size_t p = 0; p < eighths / rows; ++p) {
        const auto at = [&](std::uint16_t start) { return Voice{std::uint16_t(start + p * rows)}; };
        module.positions.push_back(voices({at(upper), at(lower), p + 1 < eighths / rows ? idle : loop}, idle));
    }
    return module.bytes();
}

const std::map<std::string, Bytes>& examples() {
    static const std::map<std::string, Bytes> files = {
        {"minuet.mid", minuet_form1()}, {"minuet-form0.mid", minuet_form0()}, {"minuet.rmi", minuet_rmid()},
        {"minuet.gmf", minuet_gmf()},   {"minuet.hmp", minuet_hmp()},         {"minuet-r.hmp", minuet_hmp_r()},
        {"minuet.hmi", minuet_hmi()},   {"minuet.xmi", minuet_xmi()},         {"minuet.mus", minuet_mus()},
        {"minuet.mids", minuet_mids()}, {"minuet.lds", minuet_lds()},
    };
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: make_examples [--check] DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[argc - 1];
    int status = 0;
    for (const auto& [name, bytes] : examples())
        if (!write_or_check(dir / name, bytes, check, "run make_examples " + dir.string())) status = 1;
    return status;
}
