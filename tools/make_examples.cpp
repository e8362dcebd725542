// Writes the example files bundled in examples/: one small file per input
// format, made from scratch here so that every byte is ours.
//
//   make_examples DIR           writes the files into DIR
//   make_examples --check DIR   exits 1 when DIR's files differ from them

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "lds_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
void append(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

Bytes be32(std::uint32_t v) {
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}
Bytes le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
Bytes le16(std::uint16_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }

void vlq(Bytes& out, std::uint32_t value) {
    Bytes groups{std::uint8_t(value & 0x7F)};
    while (value >>= 7) groups.insert(groups.begin(), std::uint8_t(0x80 | (value & 0x7F)));
    append(out, groups);
}

// An event stream in Standard MIDI File track syntax, every status written.
struct Stream {
    Bytes bytes;
    std::uint32_t now = 0;

    void at(std::uint32_t time) {
        vlq(bytes, time - now);
        now = time;
    }
    void channel(std::uint32_t time, std::uint8_t status, Bytes data) {
        at(time);
        bytes.push_back(status);
        append(bytes, data);
    }
    void meta(std::uint32_t time, std::uint8_t type, const Bytes& payload) {
        at(time);
        append(bytes, Bytes{0xFF, type});
        vlq(bytes, std::uint32_t(payload.size()));
        append(bytes, payload);
    }
    void text(std::uint32_t time, std::uint8_t type, const std::string& words) {
        meta(time, type, Bytes(words.begin(), words.end()));
    }
    void end(std::uint32_t time) { meta(time, 0x2F, {}); }
};

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

constexpr std::uint32_t ticks_per_eighth = 48;  // 96 ticks per quarter note

void play(Stream& stream, std::uint8_t channel, const std::vector<Note>& notes, std::uint8_t velocity) {
    std::uint32_t time = 0;
    for (const Note& note : notes) {
        const std::uint32_t length = note.beats * ticks_per_eighth;
        stream.channel(time, std::uint8_t(0x90 | channel), {note.key, velocity});
        stream.channel(time + length - 4, std::uint8_t(0x80 | channel), {note.key, 0x40});
        time += length;
    }
}

std::uint32_t eighths_of(const std::vector<Note>& notes) {
    std::uint32_t eighths = 0;
    for (const Note& note : notes) eighths += note.beats;
    return eighths;
}

// The song ends with its longer voice, the bass.
std::uint32_t song_length(std::uint32_t eighth = ticks_per_eighth) {
    return std::max(eighths_of(melody), eighths_of(bass)) * eighth;
}

Bytes chunk(const std::string& id, const Bytes& body) {
    Bytes out;
    append(out, id);
    append(out, be32(std::uint32_t(body.size())));
    append(out, body);
    return out;
}

Bytes smf_header(std::uint16_t form, std::uint16_t tracks, std::uint16_t division) {
    return chunk("MThd",
                 {0, std::uint8_t(form), 0, std::uint8_t(tracks), std::uint8_t(division >> 8), std::uint8_t(division)});
}

// Form 1: a conductor track, then melody and bass on channels 0 and 1.
Bytes minuet_form1() {
    const std::uint32_t end = song_length();
    Stream conductor;
    conductor.text(0, 0x03, "Minuet");
    conductor.meta(0, 0x58, {3, 2, 24, 8});       // 3/4
    conductor.meta(0, 0x51, {0x07, 0xA1, 0x20});  // 120 quarter notes a minute
    conductor.end(end);
    Stream upper, lower;
    upper.text(0, 0x03, "Flute");
    upper.channel(0, 0xC0, {73});
    play(upper, 0, melody, 0x60);
    upper.end(end);
    lower.text(0, 0x03, "Bassoon");
    lower.channel(0, 0xC1, {70});
    play(lower, 1, bass, 0x50);
    lower.end(end);
    Bytes file = smf_header(1, 3, 96);
    for (const Stream* s : {&conductor, &upper, &lower}) append(file, chunk("MTrk", s->bytes));
    return file;
}

// The two voices as one list of channel messages by time, with `eighth`
// ticks to the eighth note: the programs, then the notes, each ended a
// twelfth of an eighth early.
using Messages = std::multimap<std::uint32_t, Bytes>;
Messages minuet_messages(std::uint32_t eighth) {
    Messages events;
    events.emplace(0, Bytes{0xC0, 73});
    events.emplace(0, Bytes{0xC1, 70});
    const auto collect = [&](std::uint8_t channel, const std::vector<Note>& notes, std::uint8_t velocity) {
        std::uint32_t time = 0;
        for (const Note& note : notes) {
            const std::uint32_t length = note.beats * eighth;
            events.emplace(time, Bytes{std::uint8_t(0x90 | channel), note.key, velocity});
            events.emplace(time + length - eighth / 12, Bytes{std::uint8_t(0x80 | channel), note.key, 0x40});
            time += length;
        }
    };
    collect(0, melody, 0x60);
    collect(1, bass, 0x50);
    return events;
}

// Form 0: the same music in one track, the two voices interleaved by time.
// `tempo`: whether the stream sets its own tempo.
Stream minuet_stream(std::uint32_t eighth = ticks_per_eighth, bool tempo = true) {
    Stream merged;
    if (tempo) merged.meta(0, 0x51, {0x07, 0xA1, 0x20});
    for (const auto& [time, message] : minuet_messages(eighth))
        merged.channel(time, message[0], Bytes(message.begin() + 1, message.end()));
    merged.end(song_length(eighth));
    return merged;
}

Bytes minuet_form0() {
    Bytes file = smf_header(0, 1, 96);
    append(file, chunk("MTrk", minuet_stream().bytes));
    return file;
}

// RIFF RMID: the form 0 file in a "data" chunk, then a "LIST" "INFO" with a
// title.
Bytes minuet_rmid() {
    const Bytes smf = minuet_form0();
    Bytes data_chunk;
    append(data_chunk, "data");
    append(data_chunk, le32(std::uint32_t(smf.size())));
    append(data_chunk, smf);
    if (smf.size() % 2) data_chunk.push_back(0);
    const std::string title = "Minuet";
    Bytes info;
    append(info, "INFO");
    append(info, "INAM");
    append(info, le32(std::uint32_t(title.size() + 1)));
    append(info, title);
    info.push_back(0);
    if (info.size() % 2) info.push_back(0);
    Bytes list_chunk;
    append(list_chunk, "LIST");
    append(list_chunk, le32(std::uint32_t(info.size())));
    append(list_chunk, info);

    Bytes file;
    append(file, "RIFF");
    append(file, le32(std::uint32_t(4 + data_chunk.size() + list_chunk.size())));
    append(file, "RMID");
    append(file, data_chunk);
    append(file, list_chunk);
    return file;
}

// GMF: "GMF" 01, tempo in tenths of a second per quarter note, one byte,
// then a bare event stream without chunk framing, at 192 ticks to the
// quarter note.
Bytes minuet_gmf() {
    Bytes file;
    append(file, "GMF");
    append(file, Bytes{0x01, 0x00, 0x05, 0x00});
    append(file, minuet_stream(96, false).bytes);
    return file;
}

// MUS: a 16-byte header, the instrument list, then the score. Its ticks
// run at 140 a second, so 35 ticks make an eighth note at 120 quarter notes
// a minute. Each event is a descriptor (bit 7: a delay follows; kind; MUS
// channel) and its data; the last event at a time carries the delay to the
// next.
Bytes minuet_mus() {
    const Messages messages = minuet_messages(35);
    Bytes score;
    std::uint8_t velocity[2] = {0, 0};
    for (auto event = messages.begin(); event != messages.end(); ++event) {
        const auto& [time, message] = *event;
        const std::uint8_t channel = message[0] & 0x0F;
        const std::size_t descriptor_at = score.size();
        switch (message[0] >> 4) {
            case 0x9:  // play note, with a velocity only when it changes
                score.push_back(std::uint8_t(0x10 | channel));
                if (message[2] == velocity[channel]) {
                    score.push_back(message[1]);
                } else {
                    append(score, Bytes{std::uint8_t(0x80 | message[1]), message[2]});
                    velocity[channel] = message[2];
                }
                break;
            case 0x8:  // release note
                append(score, Bytes{channel, message[1]});
                break;
            default:  // instrument change: controller 0
                append(score, Bytes{std::uint8_t(0x40 | channel), 0, message[1]});
        }
        const auto next = std::next(event);
        const std::uint32_t until = next == messages.end() ? song_length(35) : next->first;
        if (until > time) {
            score[descriptor_at] |= 0x80;
            vlq(score, until - time);
        }
    }
    score.push_back(0x60);  // score end

    Bytes file;
    append(file, "MUS");
    file.push_back(0x1A);
    append(file, le16(std::uint16_t(score.size())));
    append(file, le16(20));  // score start: after two instruments
    append(file, le16(2));   // primary channels
    append(file, le16(0));   // secondary channels
    append(file, le16(2));   // instruments
    append(file, le16(0));
    append(file, le16(73));  // flute
    append(file, le16(70));  // bassoon
    append(file, score);
    return file;
}

// RIFF MIDS: a "fmt " chunk (ticks per quarter note, largest block, flags
// 0: events carry a stream id), then "data": a block count and blocks of
// events, each a delta, a stream id and a word (kind in the top byte: 1 a
// tempo, 0 a short message from the low byte up).
Bytes minuet_mids() {
    const std::uint32_t eighth = ticks_per_eighth;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> events;  // time, word
    events.push_back({0, 0x01000000 | 500000});
    for (const auto& [time, message] : minuet_messages(eighth))
        events.push_back(
            {time, std::uint32_t(message[0] | message[1] << 8 | (message.size() > 2 ? message[2] << 16 : 0))});
    constexpr std::size_t per_block = 16;
    Bytes blocks;
    std::uint32_t block_count = 0, now = 0;
    for (std::size_t first = 0; first < events.size(); first += per_block, ++block_count) {
        Bytes block;
        for (std::size_t i = first; i < events.size() && i < first + per_block; ++i) {
            append(block, le32(events[i].first - now));
            append(block, le32(0));  // stream id
            append(block, le32(events[i].second));
            now = events[i].first;
        }
        append(blocks, le32(events[first].first));  // the block's start time
        append(blocks, le32(std::uint32_t(block.size())));
        append(blocks, block);
    }
    Bytes file;
    append(file, "RIFF");
    append(file, le32(std::uint32_t(4 + 8 + 12 + 8 + 4 + blocks.size())));
    append(file, "MIDS");
    append(file, "fmt ");
    append(file, le32(12));
    append(file, le32(96));                             // ticks per quarter note
    append(file, le32(std::uint32_t(per_block * 12)));  // largest block
    append(file, le32(0));                              // flags
    append(file, "data");
    append(file, le32(std::uint32_t(4 + blocks.size())));
    append(file, le32(block_count));
    append(file, blocks);
    return file;
}

// An IFF chunk: id, big-endian size, body, a pad byte after an odd size.
Bytes iff_chunk(const std::string& id, const Bytes& body) {
    Bytes out = chunk(id, body);
    if (body.size() % 2) out.push_back(0);
    return out;
}

// XMI: the same music as one song. Its ticks run at 120 a second, 60 to the
// quarter note; delays are bytes below 80 that add up, every event carries
// its status, and each note on carries its duration instead of a note off.
Bytes minuet_xmi() {
    constexpr std::uint32_t xmi_ticks_per_eighth = 30;
    std::multimap<std::uint32_t, Bytes> notes;
    const auto collect = [&](std::uint8_t channel, const std::vector<Note>& voice, std::uint8_t velocity) {
        std::uint32_t time = 0;
        for (const Note& note : voice) {
            const std::uint32_t length = note.beats * xmi_ticks_per_eighth;
            Bytes on{std::uint8_t(0x90 | channel), note.key, velocity};
            vlq(on, length - 2);
            notes.emplace(time, on);
            time += length;
        }
    };
    collect(0, melody, 0x60);
    collect(1, bass, 0x50);

    Bytes events = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0xC0, 73, 0xC1, 70};
    std::uint32_t now = 0;
    const auto wait_until = [&](std::uint32_t time) {
        for (std::uint32_t delay = time - now; delay > 0;) {
            const std::uint8_t step = std::uint8_t(delay < 0x7F ? delay : 0x7F);
            events.push_back(step);
            delay -= step;
        }
        now = time;
    };
    for (const auto& [time, message] : notes) {
        wait_until(time);
        append(events, message);
    }
    wait_until(song_length(xmi_ticks_per_eighth));
    append(events, Bytes{0xFF, 0x2F, 0x00});

    // The directory counts the songs; TIMB lists the programs and banks the
    // song uses.
    Bytes xdir;
    append(xdir, "XDIR");
    append(xdir, iff_chunk("INFO", le16(1)));
    Bytes song;
    append(song, "XMID");
    append(song, iff_chunk("TIMB", {0x02, 0x00, 73, 0, 70, 0}));
    append(song, iff_chunk("EVNT", events));
    Bytes songs;
    append(songs, "XMID");
    append(songs, iff_chunk("FORM", song));

    Bytes file = iff_chunk("FORM", xdir);
    append(file, iff_chunk("CAT ", songs));
    return file;
}

// HMP and HMI songs play under a fixed tempo of 1605632 microseconds per
// quarter note; at 192 ticks per quarter note, 30 ticks make an eighth at
// about 120 quarter notes a minute.
constexpr std::uint32_t hmi_ticks_per_eighth = 30;

std::uint32_t minuet_end() { return song_length(1); }

// HMP events: a delta time of 7-bit groups, least significant first, the
// high bit set on the last byte; every status byte written.
Bytes hmp_voice(std::uint8_t channel, std::uint8_t program, const std::vector<Note>& notes, std::uint8_t velocity) {
    Bytes out;
    std::uint32_t now = 0;
    const auto event = [&](std::uint32_t time, const Bytes& message) {
        std::uint32_t delta = time - now;
        for (; delta > 0x7F; delta >>= 7) out.push_back(std::uint8_t(delta & 0x7F));
        out.push_back(std::uint8_t(0x80 | delta));
        append(out, message);
        now = time;
    };
    event(0, {std::uint8_t(0xC0 | channel), program});
    std::uint32_t time = 0;
    for (const Note& note : notes) {
        const std::uint32_t length = note.beats * hmi_ticks_per_eighth;
        event(time, {std::uint8_t(0x90 | channel), note.key, velocity});
        event(time + length - 2, {std::uint8_t(0x80 | channel), note.key, 0x40});
        time += length;
    }
    event(minuet_end() * hmi_ticks_per_eighth, {0xFF, 0x2F, 0x00});
    return out;
}

// HMP, first variant: the track count at 48, 192 ticks per quarter note.
// Track records of 4 bytes (the track number), their length, 4 bytes (the
// channel), then the events; the first track, which the conversion replaces
// with its own conductor track, holds only its end. 4 bytes follow the
// last record, as in real files of this variant.
Bytes minuet_hmp() {
    Bytes file;
    append(file, "HMIMIDIP013195");
    file.resize(48, 0);
    file.push_back(3);
    file.resize(0x80, 0);
    const std::vector<Bytes> tracks = {
        {0x80, 0xFF, 0x2F, 0x00}, hmp_voice(0, 73, melody, 0x60), hmp_voice(1, 70, bass, 0x50)};
    for (std::uint32_t i = 0; i < tracks.size(); ++i) {
        append(file, le32(i));
        append(file, le32(std::uint32_t(12 + tracks[i].size())));
        append(file, le32(i == 0 ? 0 : i - 1));
        append(file, tracks[i]);
    }
    file.resize(file.size() + 4, 0);
    return file;
}

// HMP, second variant: the track count at 26, ticks per quarter note at 77,
// records of a 16-bit length, 2 bytes and the events, starting 2 bytes after
// the first track.
Bytes minuet_hmp_r() {
    Bytes file;
    append(file, "HMIMIDIR");
    file.resize(26, 0);
    file.push_back(3);
    file.resize(77, 0);
    file.push_back(192);
    file.resize(0x60, 0);
    const std::vector<Bytes> tracks = {
        {0x80, 0xFF, 0x2F, 0x00}, hmp_voice(0, 73, melody, 0x60), hmp_voice(1, 70, bass, 0x50)};
    for (std::uint16_t i = 0; i < tracks.size(); ++i) {
        append(file, le16(std::uint16_t(4 + tracks[i].size())));
        append(file, le16(i));
        append(file, tracks[i]);
        if (i == 0) append(file, le16(0));
    }
    return file;
}

// An HMI track: "HMI-MIDITRACK", the offsets of its name (padded with
// spaces) and of its events at 75 and 87. Notes carry their durations; FE 14
// and FE 15 mark the start and the end of a loop over the whole song.
Bytes hmi_track(const std::string& name, std::uint8_t channel, std::uint8_t program, const std::vector<Note>& notes,
                std::uint8_t velocity, bool loop) {
    Bytes out;
    append(out, "HMI-MIDITRACK");
    out.resize(75, 0);
    append(out, le32(91));
    out.resize(87, 0);
    append(out, le32(91 + 2 + 16));
    append(out, Bytes{0x00, 16});
    append(out, name + std::string(16 - name.size(), ' '));

    Stream events;
    if (loop) append(events.bytes, Bytes{0x00, 0xFE, 0x14, 0x00, 0x00});
    events.channel(0, std::uint8_t(0xC0 | channel), {program});
    std::uint32_t time = 0;
    for (const Note& note : notes) {
        const std::uint32_t length = note.beats * hmi_ticks_per_eighth;
        events.channel(time, std::uint8_t(0x90 | channel), {note.key, velocity});
        vlq(events.bytes, length - 2);
        time += length;
    }
    const std::uint32_t end = minuet_end() * hmi_ticks_per_eighth;
    if (loop) {
        events.at(end);
        append(events.bytes, Bytes{0xFE, 0x15, 0, 0, 0, 0, 0, 0});
    }
    events.end(end);
    append(out, events.bytes);
    return out;
}

// HMI: "HMI-MIDISONG", the track count at 228 and the offset of the
// directory of track offsets at 232.
Bytes minuet_hmi() {
    const std::vector<Bytes> tracks = {hmi_track("Flute", 0, 73, melody, 0x60, true),
                                       hmi_track("Bassoon", 1, 70, bass, 0x50, false)};
    Bytes file;
    append(file, "HMI-MIDISONG061595");
    file.resize(228, 0);
    append(file, le32(std::uint32_t(tracks.size())));
    append(file, le32(236));
    std::uint32_t offset = std::uint32_t(236 + 4 * tracks.size());
    for (const Bytes& track : tracks) {
        append(file, le32(offset));
        offset += std::uint32_t(track.size());
    }
    for (const Bytes& track : tracks) append(file, track);
    return file;
}

// LDS: the minuet as a module, one row an eighth (18 ticks of 1/70 s),
// melody on voice 0 and bass on voice 1, five positions of two bars each.
// Voice 2 jumps back to the start at the last row: the song's loop.
Bytes minuet_lds() {
    using namespace lds_builder;
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
    const std::string dir = argv[argc - 1];
    int status = 0;
    for (const auto& [name, bytes] : examples()) {
        const std::string path = dir + "/" + name;
        if (check) {
            std::ifstream in(path, std::ios::binary);
            const Bytes found((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in.is_open() || found != bytes) {
                std::fprintf(stderr, "%s differs from what make_examples writes\n", path.c_str());
                status = 1;
            }
        } else {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                status = 1;
            }
        }
    }
    return status;
}
