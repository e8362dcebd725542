// The LDS player. Each tick does five things in this order: the fade, the
// delayed notes, the row (every row_speed + 1 ticks, the first at tick 3),
// the voices' key-off countdowns and slides, and the tick count.
//
// Pattern words, one per voice and row (h = high byte, l = low byte):
//
//   0000, A0xx-EFxx, F2xx, F7xx  nothing
//   00xx-7Fxx  note h, patch l & 3F
//   80xx       the voice skips the next l rows
//   81xx-9Fxx  the next note glides at speed h & 1F
//   F0 program l & 7F    F1 pan l & 3F         F3 fade speed l
//   F4 fade level l      F5 fine tune l        F6 glide speed l
//   F8 bend cleared      F9 jump to l          FA next position
//   FB release now       FC stop               FD note volume l
//   FE row speed l & 3F  FF volume l & 3F
//
// The song ends at a jump back (its loop), at FC, or after the last
// position. Positions only move forward otherwise, and the position number
// is 8 bits wide, so at most 256 positions of at most 255 rows of at most
// 256 ticks are played: no module plays longer than about 16.7 million ticks
// (66 hours).

#include "formats/lds/lds_player.h"

#include <cstdlib>

namespace seqconv {

namespace {

// Bits 0-6 of a transpose byte as a signed 7-bit number.
int signed7(std::uint8_t byte) {
    const int value = byte & 0x7F;
    return value >= 0x40 ? value - 0x80 : value;
}

}  // namespace

LdsPlayer::LdsPlayer(const LdsModule& module, LdsListener& listener)
    : module_(module), listener_(listener), row_speed_(module.row_speed) {
    position_ticks_.fill(-1);
}

std::optional<std::uint32_t> LdsPlayer::run() {
    for (;;) {
        const std::uint32_t t = tick_;
        fade();
        delayed_notes();
        if (row() == Row::failed) return std::nullopt;
        voices();
        ++tick_;
        if (!playing_) return t;
        skip_quiet_ticks();
    }
}

// Between rows most ticks only count down. Those are taken together: the
// ticks before the next row, before a delayed note plays and before a note
// is released, as long as no voice slides. Only a fade changes in them, and
// it is stepped tick by tick. The result is the same as ticking one by one,
// without 256 ticks of work per row in the slowest modules.
void LdsPlayer::skip_quiet_ticks() {
    std::uint8_t quiet = row_delay_;
    for (const LdsVoice& voice : voices_) {
        if (voice.pitch_offset != voice.slide_target) return;
        if (voice.delay_countdown != 0 && voice.delay_countdown - 1 < quiet)
            quiet = static_cast<std::uint8_t>(voice.delay_countdown - 1);
        if (voice.key_off_countdown != 0 && voice.key_off_countdown - 1 < quiet)
            quiet = static_cast<std::uint8_t>(voice.key_off_countdown - 1);
    }
    if (quiet == 0) return;
    for (LdsVoice& voice : voices_) {
        if (voice.delay_countdown != 0)
            voice.delay_countdown = static_cast<std::uint8_t>(voice.delay_countdown - quiet);
        if (voice.key_off_countdown != 0)
            voice.key_off_countdown = static_cast<std::uint8_t>(voice.key_off_countdown - quiet);
    }
    for (std::uint8_t i = 0; i < quiet && fade_speed_ != 0; ++i) fade();
    row_delay_ = static_cast<std::uint8_t>(row_delay_ - quiet);
    tick_ += quiet;
}

// A fade speed above 128 fades in by 256 - speed a tick, up to the target
// level; 1 to 128 fades out, down to level 1 (level 0 counts as full volume).
void LdsPlayer::fade() {
    if (fade_speed_ == 0) return;
    if (fade_speed_ > 128) {
        const auto next = static_cast<std::uint8_t>(fade_level_ - fade_speed_);
        if (next > fade_target_) {
            fade_level_ = fade_target_;
            fade_speed_ = 0;
        } else {
            fade_level_ = next;
        }
    } else if (fade_level_ > fade_speed_ || fade_level_ == 0) {
        fade_level_ = static_cast<std::uint8_t>(fade_level_ - fade_speed_);
    } else {
        fade_level_ = 1;
        fade_speed_ = 0;
    }
}

void LdsPlayer::delayed_notes() {
    for (std::size_t v = 0; v < lds_voice_count; ++v) {
        LdsVoice& voice = voices_[v];
        if (voice.delay_countdown == 0) continue;
        if (--voice.delay_countdown == 0)
            listener_.play_note(v, voice, voice.delayed_patch, voice.delayed_pitch, fade_level_, tick_);
    }
}

LdsPlayer::Row LdsPlayer::row() {
    if (row_delay_ != 0) {
        --row_delay_;
        return Row::read;
    }
    if (row_ == 0 && position_ticks_[position_] == -1) position_ticks_[position_] = static_cast<std::int32_t>(tick_);
    jump_pending_ = false;
    for (std::size_t v = 0; v < lds_voice_count; ++v) {
        LdsVoice& voice = voices_[v];
        if (voice.wait_rows != 0) {
            --voice.wait_rows;
            continue;
        }
        const std::size_t i = std::size_t{module_.position(position_, v).pattern_start} + voice.pattern_index;
        if (i >= module_.pattern_words.size()) {
            failure_ = "pattern runs past the end of the file";
            failed_word_ = i;
            return Row::failed;
        }
        last_word_ = i;
        ++voice.pattern_index;
        act(v, module_.pattern_words[i]);
    }
    ++row_;
    row_delay_ = row_speed_;

    if (jump_pending_) {
        enter_position(jump_target_);
        if (position_ >= module_.position_count) {
            failure_ = "jump past the last position";
            failed_word_ = jump_word_;
            return Row::failed;
        }
    } else if (row_ >= module_.pattern_length) {
        // A pattern length of 0 acts as 1.
        enter_position(static_cast<std::uint8_t>(position_ + 1));
        // Round from 255 to 0 the song has played its last reachable position.
        if (position_ >= module_.position_count || position_ == 0) playing_ = false;
    }
    return Row::read;
}

void LdsPlayer::enter_position(std::uint8_t next) {
    for (LdsVoice& voice : voices_) {
        voice.wait_rows = 0;
        voice.pattern_index = 0;
    }
    row_ = 0;
    position_ = next;
}

void LdsPlayer::act(std::size_t v, std::uint16_t word) {
    LdsVoice& voice = voices_[v];
    const auto h = static_cast<std::uint8_t>(word >> 8);
    const auto l = static_cast<std::uint8_t>(word & 0xFF);
    if (word == 0) return;
    if (h < 0x80) return note(v, h, l);
    if (h == 0x80) {
        voice.wait_rows = l;
        return;
    }
    if (h < 0xA0) {
        voice.glide_speed = h & 0x1F;
        return;
    }
    switch (h) {
        case 0xF0:
            listener_.program(v, l, tick_);
            break;
        case 0xF1:
            listener_.pan(v, l, tick_);
            break;
        case 0xF3:
            fade_speed_ = l;
            break;
        case 0xF4:
            fade_level_ = l;
            fade_target_ = l;
            fade_speed_ = 0;
            break;
        case 0xF5:
            voice.fine_tune = static_cast<std::int8_t>(l);
            break;
        case 0xF6:
            voice.glide_speed = l;
            break;
        case 0xF8:
            voice.pitch_offset = 0;
            break;
        case 0xF9:
            jump_pending_ = true;
            jump_target_ = l;
            jump_word_ = last_word_;
            if (l <= position_) {
                // A jump back is the song's loop: it is marked and played once.
                // A position skipped by a forward jump has no start to mark.
                const std::int32_t start = position_ticks_[l];
                if (start != -1) listener_.loop(static_cast<std::uint32_t>(start), tick_ + row_speed_ - 1u);
                playing_ = false;
            }
            break;
        case 0xFA:
            jump_pending_ = true;
            jump_target_ = static_cast<std::uint8_t>(position_ + 1);
            // Round from 255 to 0, as at the end of a pattern: the song ends.
            if (jump_target_ == 0) playing_ = false;
            break;
        case 0xFB:
            voice.key_off_countdown = 1;
            break;
        case 0xFC:
            playing_ = false;
            break;
        case 0xFD:
            voice.volume_override = l;
            break;
        case 0xFE:
            row_speed_ = l & 0x3F;
            break;
        case 0xFF:
            listener_.volume(v, l, tick_);
            break;
        default:
            break;  // A0-EF, F2, F7: nothing
    }
}

// A note word: the position's transpose moves either the note or, with bit
// 7 set, the patch number.
void LdsPlayer::note(std::size_t v, std::uint8_t number, std::uint8_t patch) {
    LdsVoice& voice = voices_[v];
    const std::uint8_t transpose = module_.position(position_, v).transpose;
    std::uint16_t pitch = 0;
    if (transpose & 0x80) {
        patch = static_cast<std::uint8_t>((patch + signed7(transpose)) & 0x3F);
        pitch = static_cast<std::uint16_t>(16 * number);
    } else {
        patch &= 0x3F;
        pitch = static_cast<std::uint16_t>(16 * (number + signed7(transpose)));
    }
    const std::uint8_t delay = module_.channel_delay[v];
    if (delay == 0) return listener_.play_note(v, voice, patch, pitch, fade_level_, tick_);
    voice.delay_countdown = delay;
    voice.delayed_patch = patch;
    voice.delayed_pitch = pitch;
}

void LdsPlayer::voices() {
    for (std::size_t v = 0; v < lds_voice_count; ++v) {
        LdsVoice& voice = voices_[v];
        if (voice.key_off_countdown != 0) {
            if (voice.key_off_countdown == 1) listener_.release_note(v, voice, tick_);
            --voice.key_off_countdown;
        }
        if (voice.pitch_offset == voice.slide_target) continue;
        const int distance = std::abs(voice.pitch_offset - voice.slide_target);
        if (distance < voice.slide_speed) {
            voice.pitch_offset = voice.slide_target;
        } else {
            const int step = voice.pitch_offset < voice.slide_target ? voice.slide_speed : -voice.slide_speed;
            voice.pitch_offset = static_cast<std::int16_t>(voice.pitch_offset + step);
        }
        listener_.send_pitch_offset(v, voice, tick_);
    }
}

}  // namespace seqconv
