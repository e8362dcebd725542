// LDS reader: an LDS module holds no MIDI at all. It is loaded (the layout
// is in lds_module.cpp), played tick by tick (lds_player.cpp), and what the
// player sounds is recorded here as the MIDI a synthesiser would need:
//
//   song      form 1, 35 ticks per quarter note at 500000 us per quarter,
//             so one MIDI tick is one player tick (70 a second)
//   track 0   tempo; for channels 0 to 10 all sound and controllers off,
//             pitch-wheel range 12 semitones, wheel centred; the loop
//             markers "loopStart" and "loopEnd" (FF 06)
//   then      one track per voice that sounded, in voice order. Voice v
//             plays on channel v, or on 9 with a percussion patch
//
// Program, volume and bend are sent only when they differ from what the
// channel (or, for the program, the voice) was sent last.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>

#include "formats/event_syntax.h"
#include "formats/lds/lds_module.h"
#include "formats/lds/lds_player.h"
#include "formats/readers.h"

namespace seqconv {

namespace {

constexpr std::size_t channel_count = 11;  // the voices' 0 to 8 and percussion's 9, and 10
constexpr std::uint8_t percussion_channel = 9;
constexpr std::uint8_t no_note = 0xFF;

// The 14-bit wheel value of a pitch offset in 1/16 semitone, for a range of
// 12 semitones: 16 units are 682 steps. Offsets beyond the range wrap.
std::array<std::uint8_t, 2> pitch_wheel_value(std::int16_t offset) {
    const int steps = offset * 512 / 12;
    const auto value = static_cast<std::uint32_t>(8192 + steps) & 0x3FFF;
    return {static_cast<std::uint8_t>(value & 0x7F), static_cast<std::uint8_t>(value >> 7)};
}

// A controller value 0 to 127 from a command's 6-bit parameter.
std::uint8_t scaled6(std::uint8_t parameter) { return static_cast<std::uint8_t>((parameter & 0x3F) * 127 / 63); }

// Patches made without MIDI settings carry velocity 0, which would make
// every note a note off; values above 127 would not be MIDI at all.
std::uint8_t note_velocity(const LdsPatch& patch) {
    return patch.velocity == 0 || patch.velocity > 127 ? std::uint8_t{127} : patch.velocity;
}

MidiTrack conductor_track() {
    MidiTrack track;
    const std::uint8_t tempo[] = {0xFF, 0x51, 0x07, 0xA1, 0x20};
    track.add_event(MidiEvent(0, MidiEventType::extended, 0, tempo, sizeof tempo));
    // Controllers 101 and 100 at 0 select the pitch-wheel range, which 6 and
    // 38 set to 12 semitones.
    const std::uint8_t controllers[][2] = {{120, 0}, {121, 0}, {101, 0}, {100, 0}, {6, 12}, {38, 0}};
    const std::uint8_t centre[] = {0x00, 0x40};
    for (std::uint32_t c = 0; c < channel_count; ++c) {
        for (const auto& controller : controllers)
            track.add_event(MidiEvent(0, MidiEventType::control_change, c, controller, 2));
        track.add_event(MidiEvent(0, MidiEventType::pitch_wheel, c, centre, 2));
    }
    track.add_event(make_end_of_track(0));
    return track;
}

// Records the player's notes and commands as MIDI events, one track per
// voice, into the song.
class LdsMidi final : public LdsListener {
public:
    LdsMidi(const LdsModule& module, MidiContainer& song) : module_(module), song_(song) {
        voice_note_.fill(no_note);
        voice_program_.fill(0xFF);
        channel_volume_.fill(127);
    }

    void play_note(std::size_t v, LdsVoice& voice, std::uint8_t patch_number, std::uint16_t pitch,
                   std::uint8_t fade_level, std::uint32_t tick) override {
        if (patch_number >= module_.patches.size()) return;
        const LdsPatch& patch = module_.patches[patch_number];
        const std::uint8_t program = patch.midi_program;
        const bool percussion = (program & 0x80) != 0;
        const std::uint8_t c = percussion ? percussion_channel : static_cast<std::uint8_t>(v);
        const std::uint8_t old = voice_note_[v];
        now_ = tick;

        int d = pitch;
        if (percussion) {
            d = (program & 0x7F) * 16;
        } else {
            d += voice.fine_tune + 16 * patch.transpose - voice.pitch_offset;
            if (voice.glide_speed != 0) {
                // The sounding note bends toward the new pitch instead of
                // a new note being struck.
                voice.slide_target = static_cast<std::int16_t>(voice.pitch_offset + d - 16 * old);
                voice.slide_speed = voice.glide_speed;
                voice.fine_tune = 0;
                voice.glide_speed = 0;
                return;
            }
            if (program != voice_program_[v]) {
                send(v, MidiEventType::program_change, c, {program});
                voice_program_[v] = program;
            }
        }

        int volume = 127;
        if (voice.volume_override != 0) volume = scaled6(voice.volume_override);
        if (fade_level != 0) volume = fade_level * volume / 255;
        set_volume(v, c, static_cast<std::uint8_t>(volume));

        if (old != no_note) {
            send(v, MidiEventType::note_off, voice_channel_[v], {old, 127});
            voice_note_[v] = no_note;
            if (!percussion) {
                // The bend goes into the new note.
                d += voice.pitch_offset;
                voice.pitch_offset = 0;
                if (channel_bend_[c] != 0) centre_wheel(v, c);
            }
        }
        if (voice.pitch_offset != channel_bend_[c]) bend(v, c, voice.pitch_offset);

        // Only whole semitones are struck; the bend carries the rest. A note
        // pushed outside MIDI's range by transposition is not sounded.
        const auto note = static_cast<std::uint8_t>((static_cast<std::uint32_t>(d) >> 4) & 0xFF);
        if (note <= 127) {
            send(v, MidiEventType::note_on, c, {note, note_velocity(patch)});
            voice_note_[v] = note;
        }
        voice_channel_[v] = c;
        voice.slide_target = voice.pitch_offset;

        voice.glide_speed = 0;
        voice.key_off_countdown = patch.key_off_ticks;
        voice.fine_tune = 0;
        voice.volume_override = 0;
    }

    void release_note(std::size_t v, LdsVoice& voice, std::uint32_t tick) override {
        if (voice_note_[v] == no_note) return;
        now_ = tick;
        const std::uint8_t c = voice_channel_[v];
        send(v, MidiEventType::note_off, c, {voice_note_[v], 127});
        voice_note_[v] = no_note;
        if (channel_bend_[c] != 0) {
            centre_wheel(v, c);
            voice.slide_target = 0;
            voice.pitch_offset = 0;
        }
    }

    void send_pitch_offset(std::size_t v, const LdsVoice& voice, std::uint32_t tick) override {
        now_ = tick;
        const std::uint8_t c = voice_channel_[v];
        if (voice.pitch_offset != channel_bend_[c]) bend(v, c, voice.pitch_offset);
    }

    // The program of F0 is not remembered for the voice: its next note sends
    // its patch's program unless the voice's notes sent that one last.
    void program(std::size_t v, std::uint8_t parameter, std::uint32_t tick) override {
        now_ = tick;
        send(v, MidiEventType::program_change, voice_channel_[v], {static_cast<std::uint8_t>(parameter & 0x7F)});
    }

    void pan(std::size_t v, std::uint8_t parameter, std::uint32_t tick) override {
        now_ = tick;
        send(v, MidiEventType::control_change, voice_channel_[v], {10, scaled6(parameter)});
    }

    void volume(std::size_t v, std::uint8_t parameter, std::uint32_t tick) override {
        now_ = tick;
        set_volume(v, voice_channel_[v], scaled6(parameter));
    }

    void loop(std::uint32_t start, std::uint32_t end) override {
        const std::uint8_t loop_start[] = {0xFF, 0x06, 'l', 'o', 'o', 'p', 'S', 't', 'a', 'r', 't'};
        const std::uint8_t loop_end[] = {0xFF, 0x06, 'l', 'o', 'o', 'p', 'E', 'n', 'd'};
        song_.add_track_event(0, MidiEvent(start, MidiEventType::extended, 0, loop_start, sizeof loop_start));
        song_.add_track_event(0, MidiEvent(end, MidiEventType::extended, 0, loop_end, sizeof loop_end));
    }

    // Releases what still sounds after the last tick, when its key-off time
    // comes, and adds the tracks of the voices that sounded.
    void finish(std::uint32_t last_tick, const LdsPlayer& player) {
        for (std::size_t v = 0; v < lds_voice_count; ++v) {
            if (tracks_[v].empty()) continue;
            if (voice_note_[v] != no_note) {
                const std::uint8_t c = voice_channel_[v];
                now_ = add_ticks(last_tick, player.voice(v).key_off_countdown);
                send(v, MidiEventType::note_off, c, {voice_note_[v], 127});
                if (channel_bend_[c] != 0) send(v, MidiEventType::pitch_wheel, c, {0x00, 0x40});
            }
            // Events come in time order, so the end goes last at the time of
            // the latest: the track a pinned end at 0 would have given.
            tracks_[v].add_event(make_end_of_track(latest_[v]));
            song_.add_track(std::move(tracks_[v]));
        }
    }

private:
    // One or two data bytes.
    void send(std::size_t v, MidiEventType type, std::uint8_t c, std::initializer_list<std::uint8_t> data) {
        const std::uint8_t* bytes = data.begin();
        const std::uint8_t second = data.size() > 1 ? bytes[1] : 0;
        tracks_[v].add_event(MidiEvent(now_, type, c, bytes[0], second, data.size()));
        if (latest_[v] < now_) latest_[v] = now_;
    }
    void set_volume(std::size_t v, std::uint8_t c, std::uint8_t volume) {
        if (volume == channel_volume_[c]) return;
        send(v, MidiEventType::control_change, c, {7, volume});
        channel_volume_[c] = volume;
    }
    void bend(std::size_t v, std::uint8_t c, std::int16_t offset) {
        const auto value = pitch_wheel_value(offset);
        send(v, MidiEventType::pitch_wheel, c, {value[0], value[1]});
        channel_bend_[c] = offset;
    }
    void centre_wheel(std::size_t v, std::uint8_t c) { bend(v, c, 0); }

    const LdsModule& module_;
    MidiContainer& song_;
    std::array<MidiTrack, lds_voice_count> tracks_;
    std::array<std::uint32_t, lds_voice_count> latest_{};  // time of each track's latest event
    std::uint32_t now_ = 0;

    std::array<std::uint8_t, lds_voice_count> voice_note_;  // no_note when silent
    std::array<std::uint8_t, lds_voice_count> voice_channel_{};
    std::array<std::uint8_t, lds_voice_count> voice_program_;
    std::array<std::uint8_t, channel_count> channel_volume_;
    std::array<std::int16_t, channel_count> channel_bend_{};
};

}  // namespace

bool read_lds(ByteRange input, MidiContainer& song, Fault* fault) {
    const std::optional<LdsModule> module = load_lds_module(input, fault);
    if (!module) return false;
    song.initialize(1, 35);
    song.add_track(conductor_track());
    LdsMidi midi(*module, song);
    LdsPlayer player(*module, midi);
    const std::optional<std::uint32_t> last_tick = player.run();
    // A failed module keeps the conductor track and its markers only.
    if (!last_tick) {
        const std::size_t word_at = module->pattern_words_at + 2 * player.failed_word();
        // A word of which the file holds no byte, or only the last odd one.
        const bool cut = word_at + 2 > input.size();
        report(fault, cut ? FaultKind::cut_off : FaultKind::malformed, cut ? input.size() : word_at, player.failure());
        return false;
    }
    midi.finish(*last_tick, player);
    return true;
}

}  // namespace seqconv
