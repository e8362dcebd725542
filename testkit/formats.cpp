#include "testkit/formats.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace testkit {

namespace {

void put_time(Bytes& out, Timing timing, std::uint32_t delta) {
    switch (timing) {
        case Timing::vlq:
            put_vlq(out, delta);
            break;
        case Timing::hmp:
            put_hmp_delta(out, delta);
            break;
        case Timing::xmi_delays:
            for (; delta > 0x7F; delta -= 0x7F) out.push_back(0x7F);
            if (delta != 0) out.push_back(std::uint8_t(delta));
            break;
    }
}

// Resizes to `size` with zero bytes, then adds `byte`.
void put_at(Bytes& out, std::size_t size, std::uint8_t byte) {
    out.resize(size, 0);
    out.push_back(byte);
}

}  // namespace

Bytes event_stream(const Track& input, StreamStyle style) {
    Track track = style.durations ? input : with_note_offs(input);
    if (style.end_of_track && (track.empty() || !track.back().is_meta(0x2F)))
        track.push_back(end_of_track(track.empty() ? 0 : track.back().time));
    Bytes out;
    std::uint32_t now = 0;
    std::uint8_t running = 0;
    for (const Event& e : track) {
        put_time(out, style.timing, e.time - now);
        now = e.time;
        switch (e.kind) {
            case Event::Kind::channel:
                if (!style.running_status || e.status != running) out.push_back(e.status);
                running = e.status;
                append(out, e.data);
                if (style.durations && e.is(0x90)) put_vlq(out, e.length);
                continue;
            case Event::Kind::meta:
                append(out, meta_bytes(e.status, e.data));
                break;
            case Event::Kind::sysex:
                out.push_back(0xF0);
                put_vlq(out, std::uint32_t(e.data.size()));
                append(out, e.data);
                break;
            case Event::Kind::raw:
                append(out, e.data);
                break;
        }
        running = 0;  // a status byte follows any other event
    }
    return out;
}

Bytes smf_header(std::uint16_t form, std::uint16_t tracks, std::uint16_t division) {
    return be_chunk("MThd", cat({be16(form), be16(tracks), be16(division)}));
}

Bytes smf(std::uint16_t form, std::uint16_t division, const std::vector<Bytes>& bodies,
          std::uint32_t last_length_extra) {
    Bytes out = smf_header(form, std::uint16_t(bodies.size()), division);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const std::uint32_t extra = i + 1 == bodies.size() ? last_length_extra : 0;
        append(out, cat({text("MTrk"), be32(std::uint32_t(bodies[i].size()) + extra), bodies[i]}));
    }
    return out;
}

Bytes rmid(const Bytes& smf_file, const Bytes& more) { return riff("RMID", cat({riff_chunk("data", smf_file), more})); }

Bytes info_list(const std::vector<std::pair<std::string, Bytes>>& texts) {
    Bytes body = text("INFO");
    for (const auto& [id, words] : texts) append(body, riff_chunk(id, words));
    return riff_chunk("LIST", body);
}

Bytes gmf(std::uint16_t tempo, const Bytes& stream) { return cat({text("GMF"), {0x01}, be16(tempo), {0x00}, stream}); }

Bytes hmp(const std::vector<Bytes>& tracks, HmpOptions options) {
    const auto count = std::uint8_t(tracks.size());
    if (!options.variant_r) {
        Bytes out = text("HMIMIDIP013195");
        put_at(out, 48, count);
        out.resize(0x80, 0);
        for (std::uint32_t i = 0; i < tracks.size(); ++i)
            append(out, cat({le32(i), le32(std::uint32_t(12 + tracks[i].size())), le32(i == 0 ? 0 : i - 1), tracks[i]}));
        out.resize(out.size() + 4, 0);
        return out;
    }
    Bytes out = text("HMIMIDIR");
    put_at(out, 26, count);
    put_at(out, 77, options.ticks_per_quarter);
    out.resize(0x60, 0);
    for (std::uint32_t i = 0; i < tracks.size(); ++i) {
        append(out, cat({le16(std::uint32_t(4 + tracks[i].size())), le16(i), tracks[i]}));
        if (i == 0) append(out, le16(0));
    }
    return out;
}

Bytes hmi_track(const std::optional<std::string>& name, const Bytes& events) {
    Bytes out = text("HMI-MIDITRACK");
    out.resize(75, 0);
    append(out, le32(name ? 91 : 0));
    out.resize(87, 0);
    append(out, le32(name ? std::uint32_t(93 + name->size()) : 91));
    if (name) append(out, cat({{0x00, std::uint8_t(name->size())}, text(*name)}));
    append(out, events);
    return out;
}

Bytes hmi(const std::vector<Bytes>& tracks, std::vector<std::size_t> order) {
    if (order.empty()) {
        order.resize(tracks.size());
        std::iota(order.begin(), order.end(), std::size_t(0));
    }
    Bytes out = text("HMI-MIDISONG061595");
    out.resize(228, 0);
    append(out, cat({le32(std::uint32_t(order.size())), le32(236)}));
    std::vector<std::uint32_t> offsets;
    std::size_t at = 236 + 4 * order.size();
    for (const Bytes& track : tracks) {
        offsets.push_back(std::uint32_t(at));
        at += track.size();
    }
    for (const std::size_t i : order) append(out, le32(offsets[i]));
    for (const Bytes& track : tracks) append(out, track);
    return out;
}

Bytes xmi_timbres(const std::vector<std::pair<std::uint8_t, std::uint8_t>>& programs_and_banks) {
    Bytes out = le16(std::uint32_t(programs_and_banks.size()));
    for (const auto& [program_number, bank] : programs_and_banks) append(out, {program_number, bank});
    return out;
}

Bytes xmi(const std::vector<XmiSong>& songs, const Bytes& directory_extra) {
    Bytes forms;
    for (const XmiSong& song : songs) {
        const Bytes timbres = song.timbres.empty() ? Bytes{} : iff_chunk("TIMB", song.timbres);
        append(forms, iff_container("FORM", "XMID", cat({timbres, iff_chunk("EVNT", song.events)})));
    }
    return cat({iff_container("FORM", "XDIR", cat({iff_chunk("INFO", le16(std::uint32_t(songs.size()))), directory_extra})),
                iff_container("CAT ", "XMID", forms)});
}

Bytes mus(const MusHeader& header, const Bytes& score) {
    Bytes out = cat({text("MUS\x1A"), le16(header.score_length.value_or(std::uint16_t(score.size()))),
                     le16(std::uint32_t(16 + 2 * header.instruments.size())), le16(header.primary_channels),
                     le16(header.secondary_channels), le16(std::uint32_t(header.instruments.size())), le16(0)});
    for (const std::uint16_t instrument : header.instruments) append(out, le16(instrument));
    append(out, score);
    return out;
}

namespace {

// MUS's number for a MIDI controller: 1 to 9 are controllers (bank,
// modulation, volume, pan, expression, reverb, chorus, sustain, soft
// pedal), 10 to 14 system events (sounds off, notes off, mono, poly, reset
// all controllers); 0 where MUS has none.
std::uint8_t mus_controller(std::uint8_t midi) {
    // The MIDI controller of each MUS number from 1 on.
    constexpr std::uint8_t midi_of[] = {0, 1, 7, 10, 11, 91, 93, 64, 67, 120, 123, 126, 127, 121};
    for (std::size_t n = 0; n < std::size(midi_of); ++n)
        if (midi_of[n] == midi) return std::uint8_t(n + 1);
    return 0;
}

// The event's MUS bytes, its descriptor first; none for what MUS lacks.
Bytes mus_event(const Event& e, std::array<std::uint8_t, 16>& velocity) {
    if (e.kind != Event::Kind::channel) return {};
    // MUS's percussion channel is 15; MIDI's 10 to 15 are its 9 to 14.
    const auto channel = std::uint8_t(e.channel() == 9 ? 15 : e.channel() > 9 ? e.channel() - 1 : e.channel());
    const bool release = e.is(0x80) || (e.is(0x90) && e.data[1] == 0);
    if (release) return {channel, e.data[0]};
    if (e.is(0x90)) {
        if (e.data[1] == velocity[channel]) return {std::uint8_t(0x10 | channel), e.data[0]};
        velocity[channel] = e.data[1];
        return {std::uint8_t(0x10 | channel), std::uint8_t(0x80 | e.data[0]), e.data[1]};
    }
    if (e.is(0xE0)) return {std::uint8_t(0x20 | channel), std::uint8_t(e.data[1] * 2)};
    if (e.is(0xC0)) return {std::uint8_t(0x40 | channel), 0, e.data[0]};
    if (!e.is(0xB0)) return {};
    const std::uint8_t number = mus_controller(e.data[0]);
    if (number == 0) return {};
    if (number >= 10) return {std::uint8_t(0x30 | channel), number};
    return {std::uint8_t(0x40 | channel), number, e.data[1]};
}

}  // namespace

Bytes mus_score(const Track& track) {
    std::array<std::uint8_t, 16> velocity{};
    std::vector<std::pair<std::uint32_t, Bytes>> events;
    std::uint32_t end = 0;
    for (const Event& e : with_note_offs(track)) {
        end = e.time;
        if (e.is_meta(0x2F)) break;
        Bytes bytes = mus_event(e, velocity);
        if (!bytes.empty()) events.emplace_back(e.time, std::move(bytes));
    }
    if (!events.empty()) end = std::max(end, events.back().first);
    Bytes score;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto& [time, bytes] = events[i];
        const std::uint32_t next = i + 1 < events.size() ? events[i + 1].first : end;
        const std::size_t descriptor = score.size();
        append(score, bytes);
        if (next > time) {
            score[descriptor] |= 0x80;
            put_vlq(score, next - time);
        }
    }
    score.push_back(0x60);
    return score;
}

Bytes mids(const MidsFormat& format, const std::vector<MidsBlock>& blocks) {
    Bytes data = le32(std::uint32_t(blocks.size()));
    for (const MidsBlock& block : blocks)
        append(data, cat({le32(block.start), le32(std::uint32_t(block.events.size())), block.events}));
    const Bytes fmt = cat({le32(format.ticks_per_quarter), le32(format.max_block), le32(format.flags), format.extra});
    return riff("MIDS", cat({riff_chunk("fmt ", fmt), riff_chunk("data", data)}));
}

Bytes mids_event(std::uint32_t delta, std::uint32_t word, bool stream_id) {
    return stream_id ? cat({le32(delta), le32(0), le32(word)}) : cat({le32(delta), le32(word)});
}

std::vector<MidsBlock> mids_blocks(const Track& track, std::size_t per_block, bool stream_ids) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> words;  // time, word
    for (const Event& e : with_note_offs(track)) {
        if (e.is_meta(0x51) && e.data.size() == 3)
            words.emplace_back(e.time, 0x01000000u | std::uint32_t(e.data[0] << 16 | e.data[1] << 8 | e.data[2]));
        else if (e.kind == Event::Kind::channel)
            words.emplace_back(e.time,
                               std::uint32_t(e.status | e.data[0] << 8 | (e.data.size() > 1 ? e.data[1] << 16 : 0)));
    }
    std::vector<MidsBlock> out;
    std::uint32_t now = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i % per_block == 0) out.push_back({words[i].first, {}});
        append(out.back().events, mids_event(words[i].first - now, words[i].second, stream_ids));
        now = words[i].first;
    }
    return out;
}

}  // namespace testkit
