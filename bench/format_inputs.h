#pragma once

// Files of every input format, made from random music to about a chosen
// size: the batch of small files (make_inputs) and the inputs of the
// per-reader benchmarks. Each writer puts the same kind of music (programs,
// notes and chords, controllers, pitch bends) into its format's own shape.
// Standard library only.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/large_inputs.h"
#include "tools/lds_builder.h"

namespace seqconv::bench {

// The formats of the batch, HMP in both of its variants.
enum class Kind { smf, rmid, hmp_p, hmp_r, hmi, xmi, mus, mids, lds, gmf };
inline constexpr std::array<Kind, 10> all_kinds = {Kind::smf, Kind::rmid, Kind::hmp_p, Kind::hmp_r, Kind::hmi,
                                                   Kind::xmi, Kind::mus,  Kind::mids,  Kind::lds,   Kind::gmf};

inline std::string_view kind_name(Kind kind) {
    constexpr std::string_view names[] = {"SMF", "RMID", "HMP-P", "HMP-R", "HMI", "XMI", "MUS", "MIDS", "LDS", "GMF"};
    return names[static_cast<int>(kind)];
}

// The extension a file of `kind` is named with (LDS modules are known by it).
inline std::string_view extension_of(Kind kind) {
    constexpr std::string_view extensions[] = {"mid", "rmi", "hmp", "hmp", "hmi", "xmi", "mus", "mids", "lds", "gmf"};
    return extensions[static_cast<int>(kind)];
}

// A pseudo-random sequence (xorshift), the same on every machine.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {
        if (state_ == 0) state_ = 1;
    }
    std::uint32_t below(std::uint32_t bound) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ % bound;
    }
    std::uint8_t byte_below(std::uint32_t bound) { return std::uint8_t(below(bound)); }

private:
    std::uint32_t state_;
};

inline void put_le16(Bytes& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
inline void put_le32(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(std::uint8_t(v >> shift));
}
inline void put_text(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }
inline void put_bytes(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// A chunk with a big-endian size ("MThd", "MTrk", IFF); IFF chunks also get
// a pad byte after an odd size.
inline void put_be_chunk(Bytes& out, std::string_view id, const Bytes& body, bool pad = false) {
    put_text(out, id);
    put_be32(out, std::uint32_t(body.size()));
    put_bytes(out, body);
    if (pad && body.size() % 2) out.push_back(0);
}
// A RIFF chunk: little-endian size, a pad byte after an odd size.
inline void put_riff_chunk(Bytes& out, std::string_view id, const Bytes& body) {
    put_text(out, id);
    put_le32(out, std::uint32_t(body.size()));
    put_bytes(out, body);
    if (body.size() % 2) out.push_back(0);
}

// One channel message at an absolute time; a note on also carries how long
// the note sounds.
struct Message {
    std::uint32_t time = 0;
    std::uint8_t status = 0x90;  // 8n to En
    std::uint8_t data1 = 0, data2 = 0;
    std::uint32_t length = 0;

    std::uint8_t kind() const { return status & 0xF0; }
    std::uint8_t channel() const { return status & 0x0F; }
    bool one_data_byte() const { return kind() == 0xC0 || kind() == 0xD0; }
};
using Music = std::vector<Message>;

// `count` messages on channels 0 to `channels` - 1, in time order: each
// channel's program at the start, then notes, two in three struck together
// with the one before (chords), and a controller or a pitch bend (where
// `bends`) one time in ten.
inline Music random_music(Random& random, std::size_t count, std::uint8_t channels, bool bends = true) {
    Music out;
    for (std::uint8_t c = 0; c < channels; ++c) out.push_back({0, std::uint8_t(0xC0 | c), random.byte_below(128), 0});
    std::uint32_t now = 0;
    constexpr std::uint8_t controllers[] = {1, 7, 10, 11, 64, 91};
    while (out.size() < count) {
        if (random.below(3) == 0) now += 1 + random.below(120);
        const std::uint8_t channel = random.byte_below(channels);
        const std::uint32_t roll = random.below(10);
        if (roll < 9)
            out.push_back({now, std::uint8_t(0x90 | channel), std::uint8_t(36 + random.below(60)),
                           std::uint8_t(40 + random.below(88)), 20 + random.below(400)});
        else if (bends && random.below(2) == 0)
            out.push_back({now, std::uint8_t(0xE0 | channel), random.byte_below(128), random.byte_below(128)});
        else
            out.push_back({now, std::uint8_t(0xB0 | channel), controllers[random.below(6)], random.byte_below(128)});
    }
    return out;
}

// The music with each note as a note on and, when it ends, a note off, in
// time order: for the formats without note durations.
inline Music with_note_offs(const Music& music) {
    Music out;
    for (const Message& m : music) {
        out.push_back({m.time, m.status, m.data1, m.data2});
        if (m.length != 0) out.push_back({m.time + m.length, std::uint8_t(0x80 | m.channel()), m.data1, 0x40});
    }
    std::stable_sort(out.begin(), out.end(), [](const Message& a, const Message& b) { return a.time < b.time; });
    return out;
}

inline Music on_channel(const Music& music, std::uint8_t channel) {
    Music out;
    std::copy_if(music.begin(), music.end(), std::back_inserter(out),
                 [channel](const Message& m) { return m.channel() == channel; });
    return out;
}

inline void put_message_data(Bytes& out, const Message& m) {
    out.push_back(m.data1);
    if (!m.one_data_byte()) out.push_back(m.data2);
}

// A Standard MIDI File track body: delta times and the messages, under
// running status where `running` is set, then the end of track when
// `end` is set. A GMF stream is the same without chunk framing.
inline Bytes smf_events(const Music& music, bool running, bool end = true) {
    Bytes out;
    std::uint32_t now = 0;
    std::uint8_t status = 0;
    for (const Message& m : music) {
        put_vlq(out, m.time - now);
        now = m.time;
        if (!running || m.status != status) out.push_back(m.status);
        status = m.status;
        put_message_data(out, m);
    }
    if (end) out.insert(out.end(), {0x00, 0xFF, 0x2F, 0x00});
    return out;
}

inline Bytes smf_header(std::uint16_t form, std::uint16_t tracks, std::uint16_t division) {
    Bytes out;
    put_be_chunk(out, "MThd",
                 {0, std::uint8_t(form), std::uint8_t(tracks >> 8), std::uint8_t(tracks), std::uint8_t(division >> 8),
                  std::uint8_t(division)});
    return out;
}

// Form 0, or form 1: a conductor track (name, tempo, time signature), then
// a track a channel.
inline Bytes smf_file(Random& random, std::size_t count, std::uint8_t channels, bool form1) {
    const Music music = with_note_offs(random_music(random, count, channels));
    const bool running = random.below(4) != 0;
    const std::uint16_t division = random.below(2) ? 480 : 96;
    const Bytes setup = {0x00, 0xFF, 0x03, 0x04, 'S',  'o',  'n',  'g',  0x00, 0xFF, 0x51, 0x03,
                         0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08};
    if (!form1) {
        Bytes out = smf_header(0, 1, division);
        Bytes body = setup;
        put_bytes(body, smf_events(music, running));
        put_be_chunk(out, "MTrk", body);
        return out;
    }
    Bytes out = smf_header(1, std::uint16_t(channels + 1), division);
    Bytes conductor = setup;
    conductor.insert(conductor.end(), {0x00, 0xFF, 0x2F, 0x00});
    put_be_chunk(out, "MTrk", conductor);
    for (std::uint8_t c = 0; c < channels; ++c) put_be_chunk(out, "MTrk", smf_events(on_channel(music, c), running));
    return out;
}

// RIFF RMID: a form 0 file in the "data" chunk, then "LIST" "INFO" with a
// title.
inline Bytes rmid_file(Random& random, std::size_t count, std::uint8_t channels) {
    Bytes body;
    put_text(body, "RMID");
    put_riff_chunk(body, "data", smf_file(random, count, channels, false));
    Bytes info;
    put_text(info, "INFO");
    put_riff_chunk(info, "INAM", {'S', 'o', 'n', 'g', 0});
    put_riff_chunk(body, "LIST", info);
    Bytes out;
    put_riff_chunk(out, "RIFF", body);
    return out;
}

// GMF: "GMF" 01, the tempo in tenths of a second per quarter note, a byte
// not read, then the stream. Its pitch-wheel messages carry no data bytes,
// so the music has none.
inline Bytes gmf_file(Random& random, std::size_t count, std::uint8_t channels) {
    Bytes out = {'G', 'M', 'F', 0x01, 0x00, std::uint8_t(3 + random.below(5)), 0x00};
    put_bytes(out, smf_events(with_note_offs(random_music(random, count, channels, false)), random.below(2) != 0));
    return out;
}

// RIFF MIDS: "fmt " (ticks per quarter note, largest block, flags: bit 0
// set when the events carry no stream id), then "data": a block count and
// blocks of events, each a 32-bit delta, the stream id and the event word
// (top byte 1: a tempo; 0: a short message from the low byte up).
inline Bytes mids_file(Random& random, std::size_t count, std::uint8_t channels) {
    const Music music = with_note_offs(random_music(random, count, channels));
    const std::uint32_t flags = random.below(2);
    const std::size_t per_block = 64;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> events = {{0, 0x01000000u | 500000u}};
    for (const Message& m : music)
        events.push_back({m.time, std::uint32_t(m.status | m.data1 << 8 | (m.one_data_byte() ? 0 : m.data2 << 16))});
    Bytes blocks;
    std::uint32_t block_count = 0, now = 0;
    for (std::size_t first = 0; first < events.size(); first += per_block, ++block_count) {
        Bytes block;
        for (std::size_t i = first; i < events.size() && i < first + per_block; ++i) {
            put_le32(block, events[i].first - now);
            if (flags == 0) put_le32(block, 0);
            put_le32(block, events[i].second);
            now = events[i].first;
        }
        put_le32(blocks, events[first].first);
        put_le32(blocks, std::uint32_t(block.size()));
        put_bytes(blocks, block);
    }
    Bytes body;
    put_text(body, "MIDS");
    Bytes fmt;
    put_le32(fmt, 96);
    put_le32(fmt, std::uint32_t(per_block * 12));
    put_le32(fmt, flags);
    put_riff_chunk(body, "fmt ", fmt);
    Bytes data;
    put_le32(data, block_count);
    put_bytes(data, blocks);
    put_riff_chunk(body, "data", data);
    Bytes out;
    put_riff_chunk(out, "RIFF", body);
    return out;
}

// MUS: a 16-byte header, one instrument a channel, then the score. An event
// is a descriptor (bit 7: a delay follows; kind; channel), its data, and
// the delay to the next event. Kinds: 0 release note, 1 play note (bit 7 of
// the note: a velocity follows), 2 pitch wheel (0 to 255), 4 controller
// (number 0: instrument; 2 to 7: modulation, volume, pan, expression,
// reverb, chorus). The score ends with 60.
inline Bytes mus_file(Random& random, std::size_t count, std::uint8_t channels) {
    const Music music = with_note_offs(random_music(random, count, channels));
    Bytes score;
    std::array<std::uint8_t, 16> velocity{};
    for (std::size_t i = 0; i < music.size(); ++i) {
        const Message& m = music[i];
        const std::uint8_t channel = m.channel();
        const std::size_t descriptor = score.size();
        switch (m.kind()) {
            case 0x80:
                score.insert(score.end(), {channel, m.data1});
                break;
            case 0x90:
                score.push_back(std::uint8_t(0x10 | channel));
                if (m.data2 == velocity[channel]) {
                    score.push_back(m.data1);
                } else {
                    score.insert(score.end(), {std::uint8_t(0x80 | m.data1), m.data2});
                    velocity[channel] = m.data2;
                }
                break;
            case 0xE0:
                score.insert(score.end(), {std::uint8_t(0x20 | channel), std::uint8_t(m.data2 * 2)});
                break;
            case 0xC0:
                score.insert(score.end(), {std::uint8_t(0x40 | channel), 0, m.data1});
                break;
            default:
                score.insert(score.end(), {std::uint8_t(0x40 | channel), std::uint8_t(2 + m.data1 % 6), m.data2});
        }
        const std::uint32_t next = i + 1 < music.size() ? music[i + 1].time : m.time;
        if (next > m.time) {
            score[descriptor] |= 0x80;
            put_vlq(score, next - m.time);
        }
    }
    score.push_back(0x60);

    Bytes out = {'M', 'U', 'S', 0x1A};
    put_le16(out, std::uint32_t(score.size()));
    put_le16(out, 16u + 2u * channels);  // the score, after the instruments
    put_le16(out, channels);
    put_le16(out, 0);
    put_le16(out, channels);
    put_le16(out, 0);
    for (std::uint8_t c = 0; c < channels; ++c) put_le16(out, random.below(128));
    put_bytes(out, score);
    return out;
}

// HMP events: a delta of 7-bit groups, least significant first, the high
// bit set on the last; every status written. A track a channel after the
// file's own first track, which holds only its end.
inline Bytes hmp_events(const Music& music) {
    Bytes out;
    std::uint32_t now = 0;
    const auto delta = [&out, &now](std::uint32_t time) {
        std::uint32_t d = time - now;
        for (; d > 0x7F; d >>= 7) out.push_back(std::uint8_t(d & 0x7F));
        out.push_back(std::uint8_t(0x80 | d));
        now = time;
    };
    for (const Message& m : music) {
        delta(m.time);
        out.push_back(m.status);
        put_message_data(out, m);
    }
    delta(now);
    out.insert(out.end(), {0xFF, 0x2F, 0x00});
    return out;
}

// "HMIMIDIP": the track count at 48, records of the track number (4), the
// record's length (4), the channel (4) and the events, from 0x80; 4 bytes
// after the last. "HMIMIDIR": the count at 26, ticks per quarter note at
// 77, records of the length (2), 2 bytes and the events from 0x60, 2 bytes
// after the first.
inline Bytes hmp_file(Random& random, std::size_t count, std::uint8_t channels, bool variant_r) {
    const Music music = with_note_offs(random_music(random, count, channels));
    std::vector<Bytes> tracks = {{0x80, 0xFF, 0x2F, 0x00}};
    for (std::uint8_t c = 0; c < channels; ++c) tracks.push_back(hmp_events(on_channel(music, c)));
    Bytes out;
    if (!variant_r) {
        put_text(out, "HMIMIDIP013195");
        out.resize(48, 0);
        out.push_back(std::uint8_t(tracks.size()));
        out.resize(0x80, 0);
        for (std::uint32_t i = 0; i < tracks.size(); ++i) {
            put_le32(out, i);
            put_le32(out, std::uint32_t(12 + tracks[i].size()));
            put_le32(out, i == 0 ? 0 : i - 1);
            put_bytes(out, tracks[i]);
        }
        out.resize(out.size() + 4, 0);
        return out;
    }
    put_text(out, "HMIMIDIR");
    out.resize(26, 0);
    out.push_back(std::uint8_t(tracks.size()));
    out.resize(77, 0);
    out.push_back(random.below(2) ? 192 : 120);
    out.resize(0x60, 0);
    for (std::uint32_t i = 0; i < tracks.size(); ++i) {
        put_le16(out, std::uint32_t(4 + tracks[i].size()));
        put_le16(out, i);
        put_bytes(out, tracks[i]);
        if (i == 0) put_le16(out, 0);
    }
    return out;
}

// Events with note durations (HMI, XMI): a note on carries its length as a
// variable-length quantity after its data bytes; every status written.
inline void put_with_duration(Bytes& out, const Message& m) {
    out.push_back(m.status);
    put_message_data(out, m);
    if (m.kind() == 0x90) put_vlq(out, m.length);
}

// HMI: "HMI-MIDISONG", the track count at 228, the directory's offset at
// 232, then a track a channel: "HMI-MIDITRACK", the offsets of its name and
// its events at 75 and 87, the name record, the events.
inline Bytes hmi_file(Random& random, std::size_t count, std::uint8_t channels) {
    const Music music = random_music(random, count, channels);
    std::vector<Bytes> tracks;
    for (std::uint8_t c = 0; c < channels; ++c) {
        Bytes track;
        put_text(track, "HMI-MIDITRACK");
        track.resize(75, 0);
        put_le32(track, 91);
        track.resize(87, 0);
        put_le32(track, 91 + 2 + 8);
        track.insert(track.end(), {0x00, 8, 'C', 'h', 'a', 'n', 'n', 'e', 'l', ' '});
        std::uint32_t now = 0;
        for (const Message& m : on_channel(music, c)) {
            put_vlq(track, m.time - now);
            now = m.time;
            put_with_duration(track, m);
        }
        track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
        tracks.push_back(std::move(track));
    }
    Bytes out;
    put_text(out, "HMI-MIDISONG061595");
    out.resize(228, 0);
    put_le32(out, std::uint32_t(tracks.size()));
    put_le32(out, 236);
    std::uint32_t offset = std::uint32_t(236 + 4 * tracks.size());
    for (const Bytes& track : tracks) {
        put_le32(out, offset);
        offset += std::uint32_t(track.size());
    }
    for (const Bytes& track : tracks) put_bytes(out, track);
    return out;
}

// XMI: FORM "XDIR" with the song count, then CAT "XMID" holding the song,
// FORM "XMID" with its "EVNT" stream: delays as bytes below 80 that add up,
// every event with its status, notes with their durations, ended by FF 2F.
inline Bytes xmi_file(Random& random, std::size_t count, std::uint8_t channels) {
    Bytes events = {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};
    std::uint32_t now = 0;
    for (const Message& m : random_music(random, count, channels)) {
        for (std::uint32_t delay = m.time - now; delay > 0;) {
            const std::uint32_t step = std::min<std::uint32_t>(delay, 0x7F);
            events.push_back(std::uint8_t(step));
            delay -= step;
        }
        now = m.time;
        put_with_duration(events, m);
    }
    events.insert(events.end(), {0xFF, 0x2F, 0x00});

    Bytes xdir;
    put_text(xdir, "XDIR");
    put_be_chunk(xdir, "INFO", {1, 0}, true);
    Bytes song;
    put_text(song, "XMID");
    put_be_chunk(song, "EVNT", events, true);
    Bytes songs;
    put_text(songs, "XMID");
    put_be_chunk(songs, "FORM", song, true);
    Bytes out;
    put_be_chunk(out, "FORM", xdir, true);
    put_be_chunk(out, "CAT ", songs, true);
    return out;
}

// LDS: patches, then positions naming a pattern for each of the nine
// voices, then the patterns: a note or nothing in each row. Small files get
// a pattern of their own per voice and position; larger ones draw their
// positions, up to 256 (the most that play), from as many patterns as the
// 16-bit pattern offsets reach (64 KiB of them).
inline Bytes lds_file(Random& random, std::size_t size) {
    namespace lds = lds_builder;
    lds::Module module;
    module.row_speed = 1 + int(random.below(4));
    module.pattern_length = size > (64u << 10) ? 64 : 16;
    const int patches = 4 + int(random.below(5));
    for (int p = 0; p < patches; ++p)
        module.patches.push_back(
            {int(random.below(128)), 60 + int(random.below(68)), random.below(2) ? 0 : 4 + int(random.below(30))});
    const std::size_t rows = std::size_t(module.pattern_length);
    const std::size_t fixed = 17 + 46 * std::size_t(patches) + 4;
    const std::size_t budget = size > fixed ? size - fixed : 0;
    // A 16-bit byte offset reaches 32767 pattern words.
    const std::size_t most_patterns = 32767 / rows;
    const std::size_t per_position = 27 + 18 * rows;
    std::size_t positions = std::max<std::size_t>(1, (budget + per_position - 1) / per_position);
    std::size_t patterns = 9 * positions;
    if (patterns > most_patterns) {
        patterns = most_patterns;
        positions = std::min<std::size_t>(256, (budget - 2 * rows * patterns) / 27);
    }
    std::vector<std::uint16_t> starts;
    for (std::size_t p = 0; p < patterns; ++p) {
        std::vector<std::uint16_t> words;
        for (std::size_t row = 0; row < rows; ++row)
            words.push_back(random.below(2) ? lds::note(36 + int(random.below(48)), int(random.below(patches)))
                                            : lds::rest);
        starts.push_back(module.pattern(words));
    }
    for (std::size_t p = 0; p < positions; ++p) {
        lds::Position position;
        for (std::size_t v = 0; v < 9; ++v)
            position[v] = {patterns == 9 * positions ? starts[9 * p + v]
                                                     : starts[random.below(std::uint32_t(patterns))]};
        module.positions.push_back(position);
    }
    return module.bytes();
}

// A file of `kind` of about `size` bytes, the same for the same seed. The
// number of messages is found by proportion from a first try.
// MUS scores are held to 60 KiB: the header counts their length in 16 bits.
inline Bytes format_file(Kind kind, std::uint32_t seed, std::size_t size) {
    if (kind == Kind::mus) size = std::min<std::size_t>(size, 60u << 10);
    if (kind == Kind::lds) {
        Random random(seed);
        return lds_file(random, size);
    }
    const auto make = [kind, seed, size](std::size_t count) {
        Random random(seed);
        const std::uint8_t channels = size > (64u << 10) ? std::uint8_t(kind == Kind::gmf || kind == Kind::mus ? 9 : 16)
                                                         : random.byte_below(8) + 1;
        switch (kind) {
            case Kind::smf:
                return smf_file(random, count, channels, random.below(2) != 0);
            case Kind::rmid:
                return rmid_file(random, count, channels);
            case Kind::hmp_p:
                return hmp_file(random, count, channels, false);
            case Kind::hmp_r:
                return hmp_file(random, count, channels, true);
            case Kind::hmi:
                return hmi_file(random, count, channels);
            case Kind::xmi:
                return xmi_file(random, count, channels);
            case Kind::mus:
                return mus_file(random, count, channels);
            case Kind::mids:
                return mids_file(random, count, channels);
            default:
                return gmf_file(random, count, channels);
        }
    };
    std::size_t count = std::max<std::size_t>(16, size / 6);
    Bytes out = make(count);
    for (int tries = 0; tries < 4 && (out.size() > size + size / 32 || out.size() < size - size / 32); ++tries) {
        count = std::max<std::size_t>(16, std::size_t(double(count) * double(size) / double(out.size())));
        out = make(count);
    }
    return out;
}

}  // namespace seqconv::bench
