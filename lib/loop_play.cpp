#include "seqconv/loop_play.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "seqconv/seqconv.h"
#include "seqconv/song_facts.h"

namespace seqconv {

namespace {

constexpr std::uint64_t last_tick = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t no_horizon = last_tick + 1;
// Loops nested deeper than this are played as written: no music nests so
// deep, and the player's recursion stays bounded for any input.
constexpr std::size_t max_nesting = 64;
constexpr std::uint8_t volume_controller = 7;
constexpr std::uint8_t default_volume = 100;

bool is_meta_text(const MidiEvent& event, std::string_view text) {
    if (event.type != MidiEventType::extended || event.get_data_size() != 2 + text.size() ||
        event.data_byte(0) != 0xFF || event.data_byte(1) != 0x06)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (event.data_byte(2 + i) != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

// The marks of every loop dialect: markers "loopStart" and "loopEnd",
// controllers 110 and 111 (HMP, RPG makers) and 116 to 119 (XMI, EMIDI).
// None stays in a rewritten song, so that no player loops it again.
bool is_loop_mark(const MidiEvent& event) {
    if (event.type == MidiEventType::control_change && event.get_data_size() >= 1) {
        const std::uint8_t number = event.data_byte(0);
        return number == 110 || number == 111 || (number >= 116 && number <= 119);
    }
    return is_meta_text(event, "loopStart") || is_meta_text(event, "loopEnd");
}

inline bool starts_note(const MidiEvent& event) {
    return event.type == MidiEventType::note_on && event.get_data_size() >= 2 && event.data_byte(1) != 0;
}
bool is_tempo(const MidiEvent& event) {
    return event.type == MidiEventType::extended && event.get_data_size() >= 2 && event.data_byte(0) == 0xFF &&
           event.data_byte(1) == 0x51;
}
inline bool ends_note(const MidiEvent& event) {
    return (event.type == MidiEventType::note_off || event.type == MidiEventType::note_on) &&
           event.get_data_size() >= 2 && !starts_note(event);
}

MidiEvent note_end(std::uint32_t time, std::uint8_t channel, std::uint8_t key) {
    return MidiEvent(time, MidiEventType::note_off, channel, key, 0, 2);
}
MidiEvent volume(std::uint32_t time, std::uint8_t channel, std::uint8_t value) {
    return MidiEvent(time, MidiEventType::control_change, channel, volume_controller, value, 2);
}
MidiEvent marker(std::uint32_t time, std::string_view text) {
    std::vector<std::uint8_t> data{0xFF, 0x06};
    data.insert(data.end(), text.begin(), text.end());
    return MidiEvent(time, MidiEventType::extended, 0, data.data(), data.size());
}

// A loop of one track's play: the main loop (played until the play stops)
// or one that plays `count` times, with the loops nested in it.
struct Node {
    std::uint32_t start = 0, end = 0;
    std::uint32_t count = 0;
    bool main = false;
    std::vector<std::size_t> children;
};

struct LoopTree {
    std::vector<Node> nodes;
    std::vector<std::size_t> roots;
};

// Nests the loops. A loop that overlaps another without nesting in it, or
// that would hold the main loop (its first pass would never end), is played
// as written; so is one at or after the main loop's end, which is never
// reached, and one nested too deep.
LoopTree loop_tree(std::vector<Node> loops) {
    const Node* main = nullptr;
    for (const Node& node : loops)
        if (node.main) main = &node;
    if (main != nullptr) {
        const Node m = *main;
        std::erase_if(loops, [&](const Node& n) {
            return !n.main && (n.start >= m.end || (n.start <= m.start && n.end >= m.end) ||
                               (n.start < m.start && n.end > m.start) || (n.start < m.end && n.end > m.end));
        });
    }
    std::stable_sort(loops.begin(), loops.end(), [](const Node& a, const Node& b) {
        return std::make_tuple(a.start, ~a.end, !a.main) < std::make_tuple(b.start, ~b.end, !b.main);
    });
    LoopTree tree;
    std::vector<std::size_t> open;  // the chain of loops the next one may nest in
    for (Node& loop : loops) {
        while (!open.empty() && tree.nodes[open.back()].end <= loop.start) open.pop_back();
        if (!open.empty() && loop.end > tree.nodes[open.back()].end) continue;
        if (open.size() >= max_nesting) continue;
        tree.nodes.push_back(std::move(loop));
        const std::size_t index = tree.nodes.size() - 1;
        (open.empty() ? tree.roots : tree.nodes[open.back()].children).push_back(index);
        open.push_back(index);
    }
    return tree;
}

struct Budget {
    std::size_t most_events = max_played_events;
    std::size_t most_jumps = max_loop_jumps;
    std::size_t events = 0;
    std::size_t jumps = 0;
    bool exceeded = false;
};

// Plays one track through its loops as the game's driver does: the events
// of each pass at their times plus what the passes before added, every
// sounding note ended at a jump back. The play stops at `horizon` (in
// output ticks). A play may keep only some of the events: none, to find
// where the passes end, or the tempo events, to find how long they last.
class TrackPlayer {
public:
    // What a play keeps: nothing (it finds where the passes end), the tempo
    // events (how long they last), or all of them.
    enum class Keep { nothing, tempo, all };

    // `events`: the track's events that play (no end of track, no loop
    // mark), or with Keep::tempo its tempo events; `last` the time of the
    // track's last event.
    TrackPlayer(const std::vector<const MidiEvent*>& events, std::uint32_t last, const LoopTree& tree,
                std::uint32_t passes, std::uint64_t horizon, Keep keep, Budget& budget)
        : events_(events), last_(last), tree_(tree), passes_(passes), horizon_(horizon), keep_(keep), budget_(budget) {
        if (keep_ == Keep::all) {
            sounding_.resize(16 * 128);
            listed_.resize(16 * 128);
        }
    }

    // The notes sounding where the play stopped, as (channel, key), once
    // for each note on that nothing ended, in the order of their keys.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> sounding_notes() {
        std::sort(active_.begin(), active_.end());
        std::vector<std::pair<std::uint8_t, std::uint8_t>> notes;
        for (const std::size_t i : active_)
            for (std::uint32_t n = 0; n < sounding_[i]; ++n)
                notes.emplace_back(static_cast<std::uint8_t>(i / 128), static_cast<std::uint8_t>(i % 128));
        return notes;
    }

    void run() {
        play(0, no_horizon, tree_.roots);
        if (!stopped_) natural_end_ = last_ + offset_;
    }

    std::vector<MidiEvent> out;
    std::optional<std::uint64_t> loop_start;  // where the main loop's first pass began
    std::optional<std::uint64_t> pass_end;    // where its last pass asked for ended
    std::uint64_t natural_end_ = 0;           // where the track ends, played to its end

private:
    void play(std::uint64_t from, std::uint64_t to, const std::vector<std::size_t>& children) {
        std::uint64_t at = from;
        for (const std::size_t index : children) {
            const Node& loop = tree_.nodes[index];
            emit(at, loop.start);
            if (stopped_) return;
            const std::uint32_t length = loop.end - loop.start;
            for (std::uint32_t pass = 1;; ++pass) {
                if (loop.main && pass == 1) loop_start = loop.start + offset_;
                play(loop.start, loop.end, loop.children);
                if (stopped_) return;
                if (loop.main && pass == passes_) {
                    pass_end = loop.end + offset_;
                    if (keep_ == Keep::nothing) return stop();
                }
                if (!loop.main && pass >= loop.count) break;
                jump(loop.end + offset_);
                if (stopped_) return;
                offset_ += length;
            }
            at = loop.end;
        }
        emit(at, to);
    }

    // The events in [from, to) of the source, at their times in this pass.
    void emit(std::uint64_t from, std::uint64_t to) {
        if (keep_ == Keep::nothing || from >= to) return;
        auto it = std::lower_bound(events_.begin(), events_.end(), from,
                                   [](const MidiEvent* e, std::uint64_t t) { return e->timestamp < t; });
        for (; it != events_.end() && (*it)->timestamp < to; ++it) {
            const MidiEvent& event = **it;
            const std::uint64_t time = event.timestamp + offset_;
            // Past the last tick a file can hold is past the bounds, even
            // where the play would stop there.
            if (time > last_tick) return exceed();
            if (time >= horizon_) return stop();
            if (keep_ == Keep::all) {
                if (++budget_.events > budget_.most_events) return exceed();
                if (starts_note(event)) {
                    const std::size_t note = note_index(event);
                    if (sounding_[note]++ == 0 && !listed_[note]) {
                        listed_[note] = true;
                        active_.push_back(note);
                    }
                } else if (ends_note(event) && sounding_[note_index(event)] != 0) {
                    --sounding_[note_index(event)];
                }
            }
            out.push_back(event);
            out.back().timestamp = static_cast<std::uint32_t>(time);
        }
    }

    // At a jump back every sounding note ends, before the next pass's events
    // at that tick.
    void jump(std::uint64_t time) {
        if (time > last_tick) return exceed();
        if (time >= horizon_) return stop();
        if (++budget_.jumps > budget_.most_jumps) return exceed();
        if (keep_ != Keep::all) return;
        // The notes begun since the last jump, in the order of their keys.
        std::sort(active_.begin(), active_.end());
        for (const std::size_t i : active_) {
            listed_[i] = false;
            for (; sounding_[i] != 0; --sounding_[i]) {
                if (++budget_.events > budget_.most_events) return exceed();
                out.push_back(note_end(static_cast<std::uint32_t>(time), static_cast<std::uint8_t>(i / 128),
                                       static_cast<std::uint8_t>(i % 128)));
            }
        }
        active_.clear();
    }

    static std::size_t note_index(const MidiEvent& event) {
        return event.channel % 16 * 128 + event.data_byte(0) % 128;
    }
    void stop() { stopped_ = true; }
    void exceed() {
        budget_.exceeded = true;
        stopped_ = true;
    }

    const std::vector<const MidiEvent*>& events_;
    std::uint32_t last_;
    const LoopTree& tree_;
    std::uint32_t passes_;
    std::uint64_t horizon_;
    Keep keep_;
    Budget& budget_;
    std::uint64_t offset_ = 0;
    bool stopped_ = false;
    // With Keep::all: how many times each note (channel and key) sounds,
    // the notes begun since the last jump, each once, and whether a note
    // is among them.
    std::vector<std::uint32_t> sounding_;
    std::vector<std::size_t> active_;
    std::vector<bool> listed_;
};

struct Insert {
    std::uint32_t time;
    MidiEvent event;
};

// Puts `inserts` into the track's events (in time order), each before the
// events of its tick, and ends the track at `end`. The inserts fall late in
// the song, so the events are moved up from the back, in their own buffer.
MidiTrack assembled(std::vector<MidiEvent>& events, std::vector<Insert>& inserts, std::uint32_t end) {
    std::stable_sort(inserts.begin(), inserts.end(), [](const Insert& a, const Insert& b) { return a.time < b.time; });
    std::size_t from = events.size();
    events.resize(events.size() + inserts.size());
    for (std::size_t to = events.size(), next = inserts.size(); next != 0;) {
        if (from != 0 && events[from - 1].timestamp >= inserts[next - 1].time)
            events[--to] = std::move(events[--from]);
        else
            events[--to] = std::move(inserts[--next].event);
    }
    events.push_back(make_end_of_track(end));
    return MidiTrack::in_order(std::move(events));
}

enum class Mode { play_out, mark };

// One song of form 0 or 1 rewritten.
class SongRewrite {
public:
    SongRewrite(MidiContainer& song, std::optional<InputFormat> origin, const PlayOut& how, Mode mode)
        : song_(song), facts_(song_loops(song, origin)), how_(how), mode_(mode) {}

    LoopChange run(Fault* fault) {
        if (!plan()) return LoopChange::none;
        Budget budget{how_.max_events, how_.max_jumps};
        std::vector<TrackPlayer> players;
        std::uint64_t fade_start = 0, end = 0;
        if (has_main_) {
            // Where the last pass asked for ends: on the track whose passes end latest.
            for (std::size_t k = 0; k < trees_.size(); ++k) {
                TrackPlayer dry(playable_[k], last_of(k), trees_[k], passes(), no_horizon, TrackPlayer::Keep::nothing,
                                budget);
                dry.run();
                if (dry.pass_end) fade_start = std::max(fade_start, *dry.pass_end);
            }
            // The last pass may end past the last tick without a jump there.
            if (budget.exceeded || fade_start > last_tick) return refuse(fault);
            // The fade's end by the tempo map the passes play, found with a
            // play of the tempo events alone that reaches further each time.
            end = fade_start;
            if (fade_milliseconds() != 0) {
                std::uint64_t horizon = fade_start;
                std::uint64_t step = 1;
                for (const Node& loop : mains_) step = std::max<std::uint64_t>(step, loop.end - loop.start);
                for (;;) {
                    horizon = std::min(no_horizon, horizon + step);
                    step *= 2;
                    budget = Budget{how_.max_events, how_.max_jumps};
                    const std::vector<TrackPlayer> tempos = play_all(horizon, budget, TrackPlayer::Keep::tempo);
                    if (budget.exceeded) return refuse(fault);
                    if (const std::optional<std::uint64_t> fade_end = fade_end_within(tempos, fade_start, horizon)) {
                        end = *fade_end;
                        break;
                    }
                    if (horizon >= no_horizon) return refuse(fault);
                }
            }
            budget = Budget{how_.max_events, how_.max_jumps};
            players = play_all(end, budget, TrackPlayer::Keep::all);
            if (budget.exceeded) return refuse(fault);
            return finish(players, fade_start, end, fault);
        }
        // Loops with counts alone: the song plays on to its end, events at
        // its last tick included.
        players = play_all(no_horizon, budget, TrackPlayer::Keep::all);
        for (const TrackPlayer& player : players) end = std::max(end, player.natural_end_);
        if (budget.exceeded || end > last_tick) return refuse(fault);
        return finish(players, fade_start, end, fault);
    }

private:
    // The loops of each track: the song's main loop for every track, or
    // each track its own; and the loops with a count.
    bool plan() {
        const std::vector<SongLoop>& loops = facts_.loops;
        std::vector<std::vector<Node>> per_track(song_.track_count());
        std::optional<Node> song_main;
        if (facts_.main_loop && loops[0].end > loops[0].start) {
            song_main = Node{loops[0].start, loops[0].end, 0, true, {}};
        } else if (how_.whole && loops.empty()) {
            std::uint32_t song_end = 0;
            for (const MidiTrack& track : song_.tracks())
                if (!track.empty()) song_end = std::max(song_end, track[track.size() - 1].timestamp);
            if (song_end != 0) song_main = Node{0, song_end, 0, true, {}};
        }
        std::vector<bool> has_main(song_.track_count(), song_main.has_value());
        bool counted = false;
        for (std::size_t i = 0; i < loops.size(); ++i) {
            const SongLoop& loop = loops[i];
            if (loop.end <= loop.start || (facts_.main_loop && i == 0)) continue;
            const Node node{loop.start, loop.end, loop.count, false, {}};
            if (loop.count >= 2) counted = true;
            for (std::size_t k = 0; k < song_.track_count(); ++k) {
                if (loop.track && *loop.track != k) continue;
                if (loop.count >= 2) {
                    per_track[k].push_back(node);
                } else if (loop.count == 0 && loop.track && !song_main && !has_main[k] && mode_ == Mode::play_out) {
                    // A loop of one track, played for ever on that track.
                    per_track[k].push_back(Node{loop.start, loop.end, 0, true, {}});
                    mains_.push_back(per_track[k].back());
                    has_main[k] = true;
                }
            }
        }
        if (song_main) {
            mains_.push_back(*song_main);
            for (std::vector<Node>& nodes : per_track) nodes.push_back(*song_main);
        }
        has_main_ = !mains_.empty();
        if (mode_ == Mode::mark && !song_main) return false;
        if (!has_main_ && !counted && loops.empty()) return false;
        for (std::vector<Node>& nodes : per_track) trees_.push_back(loop_tree(std::move(nodes)));
        // What each pass plays, found once: no end of track, no loop mark.
        for (const MidiTrack& track : song_.tracks()) {
            playable_.emplace_back();
            tempos_.emplace_back();
            playable_.back().reserve(track.size());
            for (const MidiEvent& event : track) {
                if (event.is_end_of_track() || is_loop_mark(event)) continue;
                playable_.back().push_back(&event);
                if (is_tempo(event)) tempos_.back().push_back(&event);
            }
        }
        return true;
    }

    std::uint32_t passes() const { return mode_ == Mode::mark ? 1 : std::max<std::uint32_t>(how_.passes, 1); }

    std::vector<TrackPlayer> play_all(std::uint64_t horizon, Budget& budget, TrackPlayer::Keep keep) {
        std::vector<TrackPlayer> players;
        players.reserve(trees_.size());
        for (std::size_t k = 0; k < trees_.size() && !budget.exceeded; ++k) {
            const bool tempo = keep == TrackPlayer::Keep::tempo;
            players.emplace_back(tempo ? tempos_[k] : playable_[k], last_of(k), trees_[k], passes(), horizon, keep,
                                 budget);
            if (!tempo) players.back().out.reserve(2 * playable_[k].size());
            players.back().run();
        }
        return players;
    }

    std::uint64_t fade_milliseconds() const { return mode_ == Mode::mark ? 0 : how_.fade_milliseconds; }

    // The first tick at which the fade has lasted its time by the played
    // song's tempo map, when the play up to `horizon` shows it.
    std::optional<std::uint64_t> fade_end_within(const std::vector<TrackPlayer>& players, std::uint64_t fade_start,
                                                 std::uint64_t horizon) {
        if (fade_milliseconds() == 0) return fade_start;
        std::vector<const std::vector<MidiEvent>*> outs;
        for (const TrackPlayer& player : players) outs.push_back(&player.out);
        const SongClock clock = clock_of(outs);
        const std::optional<std::uint64_t> per_second = clock.parts_per_second();
        if (!per_second) return fade_start;
        const auto parts_at = [&](std::uint64_t tick) {
            return clock.parts(static_cast<std::uint32_t>(std::min(tick, last_tick)));
        };
        // Seconds a part at a time, so that no fade a caller asks for
        // overflows: the fade's parts are below 2^32 seconds times 2^35.
        const std::uint64_t fade_parts =
            fade_milliseconds() / 1000 * *per_second + fade_milliseconds() % 1000 * *per_second / 1000;
        const std::uint64_t target = parts_at(fade_start) + fade_parts;
        const std::uint64_t top = std::min(horizon, last_tick);
        if (parts_at(top) < target) return std::nullopt;
        std::uint64_t low = fade_start, high = top;  // parts_at(high) reaches the target
        while (low < high) {
            const std::uint64_t middle = low + (high - low) / 2;
            if (parts_at(middle) >= target)
                high = middle;
            else
                low = middle + 1;
        }
        return low;
    }

    // The played song's tempo map: its tempo events, as they play again.
    SongClock clock_of(const std::vector<const std::vector<MidiEvent>*>& outs) const {
        std::vector<MidiTrack> tempos(outs.size());
        std::vector<const MidiTrack*> pointers;
        for (std::size_t k = 0; k < outs.size(); ++k) {
            for (const MidiEvent& event : *outs[k])
                if (is_tempo(event)) tempos[k].add_event(event);
            pointers.push_back(&tempos[k]);
        }
        return SongClock(pointers, song_.timebase());
    }

    LoopChange refuse(Fault* fault) {
        report(fault, FaultKind::limit, 0,
               "played out, the song would hold more than " + std::to_string(how_.max_events) +
                   " events, jump back more than " + std::to_string(how_.max_jumps) +
                   " times or last past 2^32 - 1 ticks");
        return LoopChange::refused;
    }

    // Ends every track, played up to `end_tick`, there: every sounding note
    // ended, the fade and the marks put in.
    LoopChange finish(std::vector<TrackPlayer>& players, std::uint64_t fade_start_tick, std::uint64_t end_tick,
                      Fault* fault) {
        const auto end = static_cast<std::uint32_t>(end_tick);
        const auto fade_start = static_cast<std::uint32_t>(std::min(fade_start_tick, end_tick));
        std::vector<std::vector<MidiEvent>> outs;
        std::size_t total = 0;
        for (TrackPlayer& player : players) {
            total += player.out.size();
            outs.push_back(std::move(player.out));
        }
        std::vector<std::vector<Insert>> inserts(outs.size());
        if (has_main_ && fade_milliseconds() != 0 && end > fade_start) fade(outs, inserts, fade_start, end);
        for (std::size_t k = 0; k < outs.size(); ++k)
            for (const auto& [channel, key] : players[k].sounding_notes())
                inserts[k].push_back({end, note_end(end, channel, key)});
        if (mode_ == Mode::mark && !players.empty() && !outs.empty()) mark(outs, inserts, *players[0].loop_start, end);
        for (const std::vector<Insert>& list : inserts) total += list.size() + 1;
        if (total > how_.max_events) return refuse(fault);
        song_.remove_all_tracks();
        for (std::size_t k = 0; k < outs.size(); ++k) song_.add_track(assembled(outs[k], inserts[k], end));
        return LoopChange::done;
    }

    // Every channel that sounds is brought from the volume the song last
    // gave it (100 when none) down to 0 over the fade: controller 7 at the
    // fade's start, at least every 100 ms, in place of each of the song's
    // own, and 0 at the end.
    void fade(std::vector<std::vector<MidiEvent>>& outs, std::vector<std::vector<Insert>>& inserts,
              std::uint32_t fade_start, std::uint32_t end) {
        std::vector<const std::vector<MidiEvent>*> played;
        for (const std::vector<MidiEvent>& out : outs) played.push_back(&out);
        const SongClock clock = clock_of(played);
        const std::uint64_t per_second = clock.parts_per_second().value_or(1);
        const std::uint64_t from = clock.parts(fade_start), to = clock.parts(end);
        const auto scaled = [&](std::uint8_t value, std::uint32_t tick) {
            const double left =
                static_cast<double>(to - std::min(to, clock.parts(tick))) / static_cast<double>(to - from);
            return static_cast<std::uint8_t>(std::lround(value * left));
        };

        // Each channel's volume changes in the song's order (by time, then
        // track), and the track its fade goes in: the first that plays it.
        struct Change {
            std::uint32_t time;
            std::size_t track, index;
        };
        std::array<std::vector<Change>, 16> changes;
        std::array<std::optional<std::size_t>, 16> home;
        for (std::size_t k = 0; k < outs.size(); ++k) {
            for (std::size_t i = 0; i < outs[k].size(); ++i) {
                const MidiEvent& event = outs[k][i];
                if (starts_note(event) && !home[event.channel % 16]) home[event.channel % 16] = k;
                if (event.type == MidiEventType::control_change && event.get_data_size() >= 2 &&
                    event.data_byte(0) == volume_controller)
                    changes[event.channel % 16].push_back({event.timestamp, k, i});
            }
        }
        for (std::uint8_t channel = 0; channel < 16; ++channel) {
            if (!home[channel]) continue;
            std::vector<Change>& list = changes[channel];
            std::stable_sort(list.begin(), list.end(), [](const Change& a, const Change& b) {
                return std::make_pair(a.time, a.track) < std::make_pair(b.time, b.track);
            });
            // The song's own volume before each tick, and its own changes scaled.
            std::vector<std::pair<std::uint32_t, std::uint8_t>> given;  // from this tick on, this volume
            std::uint8_t level = default_volume;
            for (const Change& change : list) {
                MidiEvent& event = outs[change.track][change.index];
                const std::uint8_t value = event.data_byte(1);
                if (change.time >= fade_start) {
                    given.emplace_back(change.time, value);
                    event = volume(event.timestamp, channel, scaled(value, change.time));
                } else {
                    level = value;
                }
            }
            std::size_t next = 0;
            std::uint32_t last = 0;
            for (std::uint64_t k = 0;; ++k) {
                // The latest tick no later than 100 ms after the one before.
                const std::uint64_t target = from + k * per_second / 10;
                std::uint64_t low = fade_start, high = end;
                while (low < high) {
                    const std::uint64_t middle = low + (high - low + 1) / 2;
                    if (clock.parts(static_cast<std::uint32_t>(middle)) <= target)
                        low = middle;
                    else
                        high = middle - 1;
                }
                const auto tick =
                    static_cast<std::uint32_t>(k == 0 ? fade_start : std::max<std::uint64_t>(low, last + 1));
                if (tick >= end) break;
                for (; next < given.size() && given[next].first < tick; ++next) level = given[next].second;
                inserts[*home[channel]].push_back({tick, volume(tick, channel, scaled(level, tick))});
                last = tick;
            }
            inserts[*home[channel]].push_back({end, volume(end, channel, 0)});
        }
    }

    // The loop marked as players read it: markers in the first track, and
    // controller 111 on the lowest channel that sounds.
    void mark(const std::vector<std::vector<MidiEvent>>& outs, std::vector<std::vector<Insert>>& inserts,
              std::uint64_t start_tick, std::uint32_t end) {
        const auto start = static_cast<std::uint32_t>(start_tick);
        std::uint8_t lowest = 16;
        for (const std::vector<MidiEvent>& out : outs)
            for (const MidiEvent& event : out)
                if (starts_note(event)) lowest = std::min<std::uint8_t>(lowest, event.channel % 16);
        std::vector<Insert>& first = inserts[0];
        first.insert(first.begin(),
                     {start, MidiEvent(start, MidiEventType::control_change, lowest == 16 ? 0 : lowest, 111, 0, 2)});
        first.insert(first.begin(), {start, marker(start, "loopStart")});
        first.push_back({end, marker(end, "loopEnd")});
    }

    MidiContainer& song_;
    SongFacts facts_;
    PlayOut how_;
    Mode mode_;
    std::uint32_t last_of(std::size_t k) const {
        const MidiTrack& track = song_.track(k);
        return track.empty() ? 0 : track[track.size() - 1].timestamp;
    }

    std::vector<LoopTree> trees_;
    std::vector<std::vector<const MidiEvent*>> playable_, tempos_;
    std::vector<Node> mains_;
    bool has_main_ = false;
};

LoopChange rewrite(MidiContainer& song, std::optional<InputFormat> origin, const PlayOut& how, Mode mode,
                   Fault* fault) {
    if (song.track_count() == 0) return LoopChange::none;
    if (song.form() != 2) return SongRewrite(song, origin, how, mode).run(fault);
    // A form 2 song's songs each on their own; refused all together when
    // one of them is.
    std::vector<MidiContainer> songs = split_songs(song);
    LoopChange change = LoopChange::none;
    for (MidiContainer& one : songs) {
        const LoopChange done = SongRewrite(one, origin, how, mode).run(fault);
        if (done == LoopChange::refused) return done;
        if (done == LoopChange::done) change = done;
    }
    if (change == LoopChange::none) return change;
    const std::uint32_t form = song.form();
    song.remove_all_tracks();
    for (MidiContainer& one : songs) song.add_track(one.track(0));
    song.set_form(form);
    return change;
}

}  // namespace

LoopChange play_out_loops(MidiContainer& song, std::optional<InputFormat> origin, const PlayOut& how, Fault* fault) {
    return rewrite(song, origin, how, Mode::play_out, fault);
}

LoopChange mark_loops(MidiContainer& song, std::optional<InputFormat> origin, const PlayOut& how, Fault* fault) {
    return rewrite(song, origin, how, Mode::mark, fault);
}

}  // namespace seqconv
