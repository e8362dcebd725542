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

std::uint32_t song_length(const std::vector<Note>& notes) {
    std::uint32_t eighths = 0;
    for (const Note& note : notes) eighths += note.beats;
    return eighths * ticks_per_eighth;
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
    const std::uint32_t end = song_length(melody);
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

// Form 0: the same music in one track, the two voices interleaved by time.
Stream minuet_stream() {
    Stream merged;
    std::multimap<std::uint32_t, Bytes> events;
    const auto collect = [&](std::uint8_t channel, const std::vector<Note>& notes, std::uint8_t velocity) {
        std::uint32_t time = 0;
        for (const Note& note : notes) {
            const std::uint32_t length = note.beats * ticks_per_eighth;
            events.emplace(time, Bytes{std::uint8_t(0x90 | channel), note.key, velocity});
            events.emplace(time + length - 4, Bytes{std::uint8_t(0x80 | channel), note.key, 0x40});
            time += length;
        }
    };
    collect(0, melody, 0x60);
    collect(1, bass, 0x50);
    merged.meta(0, 0x51, {0x07, 0xA1, 0x20});
    merged.channel(0, 0xC0, {73});
    merged.channel(0, 0xC1, {70});
    for (const auto& [time, message] : events)
        merged.channel(time, message[0], Bytes(message.begin() + 1, message.end()));
    merged.end(song_length(melody));
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
// then a bare event stream without chunk framing.
Bytes minuet_gmf() {
    Bytes file;
    append(file, "GMF");
    append(file, Bytes{0x01, 0x00, 0x05, 0x00});
    Stream stream = minuet_stream();
    append(file, stream.bytes);
    return file;
}

// HMP and HMI songs play under a fixed tempo of 1605632 microseconds per
// quarter note; at 192 ticks per quarter note, 30 ticks make an eighth at
// about 120 quarter notes a minute.
constexpr std::uint32_t hmi_ticks_per_eighth = 30;

std::uint32_t minuet_end() { return std::max(song_length(melody), song_length(bass)) / ticks_per_eighth; }

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

// Files of the formats whose contents are not converted yet: a header each.
Bytes placeholder_xmi() {
    Bytes file;
    append(file, "FORM");
    append(file, be32(14));
    append(file, "XDIR");
    append(file, "INFO");
    append(file, be32(2));
    append(file, le16(1));
    append(file, "CAT ");
    append(file, be32(4));
    append(file, "XMID");
    return file;
}
Bytes placeholder_mus() {
    Bytes file;
    append(file, "MUS");
    file.push_back(0x1A);
    append(file, le16(2));   // score length
    append(file, le16(18));  // score start
    append(file, le16(1));   // primary channels
    append(file, le16(0));   // secondary channels
    append(file, le16(1));   // instruments
    append(file, le16(0));
    append(file, le16(0));  // instrument 0
    file.push_back(0x60);   // score end
    file.push_back(0x00);
    file.resize(32, 0);
    return file;
}
Bytes placeholder_mids() {
    Bytes file;
    append(file, "RIFF");
    append(file, le32(4 + 8 + 12));
    append(file, "MIDS");
    append(file, "fmt ");
    append(file, le32(12));
    append(file, le32(96));  // time format
    append(file, le32(0));
    append(file, le32(0));
    return file;
}
Bytes placeholder_lds() {
    Bytes file{0x00};
    file.resize(32, 0);
    return file;
}

const std::map<std::string, Bytes>& examples() {
    static const std::map<std::string, Bytes> files = {
        {"minuet.mid", minuet_form1()},         {"minuet-form0.mid", minuet_form0()},
        {"minuet.rmi", minuet_rmid()},          {"minuet.gmf", minuet_gmf()},
        {"minuet.hmp", minuet_hmp()},           {"minuet-r.hmp", minuet_hmp_r()},
        {"minuet.hmi", minuet_hmi()},           {"placeholder.xmi", placeholder_xmi()},
        {"placeholder.mus", placeholder_mus()}, {"placeholder.mids", placeholder_mids()},
        {"placeholder.lds", placeholder_lds()},
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
