#pragma once

// The LDS player: plays a module tick by tick as a tracker does, and tells a
// listener what a synthesiser would have to do (strike and release notes,
// bend them, change program, pan and volume). One tick is 1/70 second.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "formats/lds/lds_module.h"

namespace seqconv {

// What the player keeps per voice. Pitches are in 1/16 semitone.
struct LdsVoice {
    std::int16_t slide_target = 0;       // pitch offset the slide moves toward
    std::int16_t pitch_offset = 0;       // bend of the sounding note
    std::uint16_t pattern_index = 0;     // words consumed in the current position
    std::int8_t fine_tune = 0;           // added to the next note
    std::uint8_t glide_speed = 0;        // non-zero: the next note glides at this speed
    std::uint8_t slide_speed = 0;        // largest change of pitch_offset per tick
    std::uint8_t volume_override = 0;    // 0-63 volume for the next note; 0 = none
    std::uint8_t key_off_countdown = 0;  // ticks until the note is released; 0 = none
    std::uint8_t wait_rows = 0;          // rows this voice still skips
    std::uint8_t delay_countdown = 0;    // ticks until the delayed note plays; 0 = none
    std::uint8_t delayed_patch = 0;
    std::uint16_t delayed_pitch = 0;
};

// The side that sounds what the player plays. Each call happens at `tick`;
// `v` is the voice number 0 to 8. The note operations may change the voice's
// state as sounding the note demands (a glide sets the slide, a struck note
// takes the bend into the note and resets the per-note settings).
class LdsListener {
public:
    virtual ~LdsListener() = default;

    virtual void play_note(std::size_t v, LdsVoice& voice, std::uint8_t patch, std::uint16_t pitch,
                           std::uint8_t fade_level, std::uint32_t tick) = 0;
    // The key-off time of the voice's note has come; nothing when none sounds.
    virtual void release_note(std::size_t v, LdsVoice& voice, std::uint32_t tick) = 0;
    // The slide moved the voice's pitch offset.
    virtual void send_pitch_offset(std::size_t v, const LdsVoice& voice, std::uint32_t tick) = 0;
    // Commands F0 (program), F1 (pan) and FF (volume) with their parameter.
    virtual void program(std::size_t v, std::uint8_t parameter, std::uint32_t tick) = 0;
    virtual void pan(std::size_t v, std::uint8_t parameter, std::uint32_t tick) = 0;
    virtual void volume(std::size_t v, std::uint8_t parameter, std::uint32_t tick) = 0;
    // The song loops back from the row read at the loop end's tick to the
    // position entered at `start`.
    virtual void loop(std::uint32_t start, std::uint32_t end) = 0;
};

class LdsPlayer {
public:
    LdsPlayer(const LdsModule& module, LdsListener& listener);

    // Plays from tick 0 until the song stops, and returns the last tick
    // played; nothing when the module fails (a row read past the pattern
    // words, a jump past the last position).
    std::optional<std::uint32_t> run();

    const LdsVoice& voice(std::size_t v) const { return voices_[v]; }

    // After a failed run: why, and the pattern word the failing row read
    // last or would have read (an index into the module's pattern words,
    // past their end for a row read past them).
    const char* failure() const { return failure_; }
    std::size_t failed_word() const { return failed_word_; }

private:
    enum class Row { read, failed };

    void fade();
    void delayed_notes();
    Row row();
    void act(std::size_t v, std::uint16_t word);
    void note(std::size_t v, std::uint8_t number, std::uint8_t patch);
    void voices();
    void skip_quiet_ticks();
    void enter_position(std::uint8_t next);

    const LdsModule& module_;
    LdsListener& listener_;

    std::uint32_t tick_ = 0;
    std::uint8_t row_delay_ = 3;
    std::uint8_t row_speed_;
    std::uint8_t row_ = 0;
    std::uint8_t position_ = 0;
    bool jump_pending_ = false;
    std::uint8_t jump_target_ = 0;
    bool playing_ = true;
    std::uint8_t fade_speed_ = 0;
    std::uint8_t fade_level_ = 0;  // 1 to 255 of 255; 0 = full volume
    std::uint8_t fade_target_ = 0;
    // The tick at which each position was first entered; -1 = not yet. The
    // position number is 8 bits wide, so later positions are never reached.
    std::array<std::int32_t, 256> position_ticks_;
    std::array<LdsVoice, lds_voice_count> voices_{};
    const char* failure_ = "";
    std::size_t failed_word_ = 0;
    std::size_t last_word_ = 0;  // the pattern word read last
    std::size_t jump_word_ = 0;  // the pattern word of the pending jump
};

}  // namespace seqconv
