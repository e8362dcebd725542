#include "seqconv/song_facts.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <tuple>

#include "formats/readers.h"
#include "seqconv/seqconv.h"

namespace seqconv {

namespace {

constexpr std::uint32_t default_tempo = 500000;  // microseconds a quarter note

bool is_meta(const MidiEvent& event, std::uint8_t type) {
    return event.type == MidiEventType::extended && event.get_data_size() >= 2 && event.data_byte(0) == 0xFF &&
           event.data_byte(1) == type;
}

bool is_marker(const MidiEvent& event, std::string_view text) {
    if (!is_meta(event, 0x06) || event.get_data_size() != 2 + text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (event.data_byte(2 + i) != static_cast<std::uint8_t>(text[i])) return false;
    return true;
}

std::uint32_t track_end(const MidiTrack& track) { return track.empty() ? 0 : track[track.size() - 1].timestamp; }

std::uint64_t saturating_sum(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// The reset messages by which a song chooses its synthesiser, as the bytes
// of a system-exclusive event (F0, then what follows it in the file); -1
// stands for any byte (a device number). A Roland message to model 16 is
// for the MT-32 whatever it says.
struct SynthPattern {
    Synth synth;
    std::array<int, 11> bytes;
    std::size_t size;
    bool exact;  // the message ends there
};
constexpr int any = -1;
constexpr SynthPattern synth_patterns[] = {
    {Synth::gm, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, 6, true},
    {Synth::gs, {0xF0, 0x41, any, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}, 11, true},
    {Synth::xg, {0xF0, 0x43, any, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}, 9, true},
    {Synth::mt32, {0xF0, 0x41, any, 0x16}, 4, false},
};

Synth synth_of(const MidiEvent& event) {
    if (event.type != MidiEventType::extended) return Synth::none;
    const std::size_t size = event.get_data_size();
    for (const SynthPattern& pattern : synth_patterns) {
        if (pattern.exact ? size != pattern.size : size < pattern.size) continue;
        bool match = true;
        for (std::size_t i = 0; i < pattern.size && match; ++i)
            match = pattern.bytes[i] == any || event.data_byte(i) == pattern.bytes[i];
        // XG's second byte is 1n: a device number in the low nibble.
        if (match && pattern.synth == Synth::xg) match = (event.data_byte(2) & 0xF0) == 0x10;
        if (match) return pattern.synth;
    }
    return Synth::none;
}

// A loop as found, before it is timed: whether it loops the whole song (of
// its group: the song, or one song of a form 2 file) and which group.
struct Found {
    SongLoop loop;
    bool whole_song = false;
    std::size_t group = 0;
};

struct Controller {
    std::uint32_t time;
    std::uint8_t number;
    std::uint8_t value;
};

// Loops opened by one controller and closed by another, in one track: each
// end closes the innermost open loop, and a loop left open runs to `open_end`.
std::vector<SongLoop> nested_loops(const std::vector<Controller>& controllers, std::uint8_t opens, std::uint8_t closes,
                                   LoopDialect dialect, std::uint32_t open_end) {
    std::vector<SongLoop> loops;
    std::vector<Controller> open;
    for (const Controller& c : controllers) {
        if (c.number == opens) {
            open.push_back(c);
        } else if (c.number == closes && !open.empty()) {
            loops.push_back({dialect, open.back().time, c.time, {}, {}, open.back().value, {}});
            open.pop_back();
        }
    }
    for (const Controller& c : open) loops.push_back({dialect, c.time, open_end, {}, {}, c.value, {}});
    return loops;
}

// HMP's loops: a 110 opens one (a second 110 while one is open changes
// nothing), and the next 111 closes it.
std::vector<SongLoop> descent_loops(const std::vector<Controller>& controllers, std::uint32_t open_end) {
    std::vector<SongLoop> loops;
    bool open = false;
    std::uint32_t start = 0;
    for (const Controller& c : controllers) {
        if (c.number == 110 && !open) {
            open = true;
            start = c.time;
        } else if (c.number == 111 && open) {
            loops.push_back({LoopDialect::descent, start, c.time, {}, {}, 0, {}});
            open = false;
        }
    }
    if (open) loops.push_back({LoopDialect::descent, start, open_end, {}, {}, 0, {}});
    return loops;
}

auto loop_order(const SongLoop& loop) { return std::make_tuple(loop.start, ~loop.end, loop.count); }

bool same_loops(const std::vector<SongLoop>& a, const std::vector<SongLoop>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SongLoop& x, const SongLoop& y) {
        return x.start == y.start && x.end == y.end && x.count == y.count;
    });
}

// One song's loops (all tracks of a form 0 or 1 song, or one track of a
// form 2 file), `tracks` being the song's track indices.
class GroupScan {
public:
    GroupScan(const MidiContainer& song, const std::vector<std::size_t>& tracks, std::optional<InputFormat> origin,
              std::size_t group, bool own_song, std::vector<Found>& found)
        : song_(song), tracks_(tracks), origin_(origin), group_(group), own_song_(own_song), found_(found) {}

    void run() {
        std::uint32_t song_end = 0;
        for (const std::size_t k : tracks_) song_end = std::max(song_end, track_end(song_.track(k)));

        const bool smf_like = origin_ == InputFormat::smf || origin_ == InputFormat::rmid;
        std::vector<std::vector<Controller>> controllers(tracks_.size());
        std::vector<bool> has_notes(tracks_.size(), false);
        std::vector<std::pair<std::uint32_t, bool>> markers;  // time, whether it starts a loop
        bool any_111 = false, other_loop_controller = false;
        std::uint32_t first_111 = std::numeric_limits<std::uint32_t>::max();
        for (std::size_t i = 0; i < tracks_.size(); ++i) {
            for (const MidiEvent& event : song_.track(tracks_[i])) {
                if (event.type == MidiEventType::note_on) {
                    has_notes[i] = has_notes[i] || (event.get_data_size() >= 2 && event.data_byte(1) != 0);
                } else if (event.type == MidiEventType::control_change && event.get_data_size() >= 2) {
                    const std::uint8_t number = event.data_byte(0);
                    if (number < 110 || number > 119) continue;
                    controllers[i].push_back({event.timestamp, number, event.data_byte(1)});
                    if (number == 111) {
                        any_111 = true;
                        first_111 = std::min(first_111, event.timestamp);
                    } else {
                        other_loop_controller = true;
                    }
                } else if (is_marker(event, "loopStart")) {
                    markers.emplace_back(event.timestamp, true);
                } else if (is_marker(event, "loopEnd")) {
                    markers.emplace_back(event.timestamp, false);
                }
            }
        }

        add_markers(markers, song_end);
        std::vector<std::vector<SongLoop>> for_next(tracks_.size()), emidi(tracks_.size()), descent(tracks_.size());
        std::vector<SongLoop> emidi_song;
        for (std::size_t i = 0; i < tracks_.size(); ++i) {
            const std::uint32_t end = track_end(song_.track(tracks_[i]));
            if (origin_ == InputFormat::xmi)
                for_next[i] = nested_loops(controllers[i], 116, 117, LoopDialect::for_next, end);
            if (origin_ == InputFormat::hmp) descent[i] = descent_loops(controllers[i], end);
            if (smf_like) {
                emidi[i] = nested_loops(controllers[i], 116, 117, LoopDialect::emidi, end);
                for (const SongLoop& loop : nested_loops(controllers[i], 118, 119, LoopDialect::emidi, song_end))
                    emidi_song.push_back(loop);
            }
        }
        add_track_loops(descent, has_notes);
        add_song_loops(emidi_song);
        add_track_loops(emidi, has_notes);
        add_track_loops(for_next, has_notes);
        if (smf_like && any_111 && !other_loop_controller)
            add({LoopDialect::rpg, first_111, song_end, {}, {}, 0, {}}, true, {});
    }

private:
    // A loop of the whole song has no track, but in a form 2 file each
    // song is one track, which names it.
    void add(SongLoop loop, bool whole_song, std::optional<std::size_t> track) {
        loop.track = whole_song && !own_song_ ? std::nullopt : own_song_ ? std::optional(tracks_[0]) : track;
        found_.push_back({loop, whole_song, group_});
    }

    // Each loopStart opens a loop unless one is open (one track's copy of
    // the marker, or another track's at the same point, changes nothing);
    // each loopEnd closes the open one. A loop left open runs to the end.
    void add_markers(std::vector<std::pair<std::uint32_t, bool>>& markers, std::uint32_t song_end) {
        std::stable_sort(markers.begin(), markers.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<SongLoop> loops;
        bool open = false;
        std::uint32_t start = 0;
        for (const auto& [time, starts] : markers) {
            if (starts && !open) {
                open = true;
                start = time;
            } else if (!starts && open) {
                loops.push_back({LoopDialect::markers, start, time, {}, {}, 0, {}});
                open = false;
            }
        }
        if (open) loops.push_back({LoopDialect::markers, start, song_end, {}, {}, 0, {}});
        add_song_loops(loops);
    }

    // Loops of the whole song, each once however many tracks mark it.
    void add_song_loops(std::vector<SongLoop> loops) {
        std::stable_sort(loops.begin(), loops.end(),
                         [](const SongLoop& a, const SongLoop& b) { return loop_order(a) < loop_order(b); });
        for (std::size_t i = 0; i < loops.size(); ++i)
            if (i == 0 || !same_loops({loops[i]}, {loops[i - 1]})) add(loops[i], true, {});
    }

    // One track's loops. Where every track that loops loops alike and the
    // others play no note (a conductor track), they are the song's loops.
    void add_track_loops(std::vector<std::vector<SongLoop>>& per_track, const std::vector<bool>& has_notes) {
        const std::vector<SongLoop>* shared = nullptr;
        bool alike = true;
        for (std::size_t i = 0; i < per_track.size(); ++i) {
            std::stable_sort(per_track[i].begin(), per_track[i].end(),
                             [](const SongLoop& a, const SongLoop& b) { return loop_order(a) < loop_order(b); });
            if (per_track[i].empty()) {
                alike = alike && !has_notes[i];
            } else if (shared == nullptr) {
                shared = &per_track[i];
            } else {
                alike = alike && same_loops(*shared, per_track[i]);
            }
        }
        if (shared == nullptr) return;
        if (alike) {
            for (const SongLoop& loop : *shared) add(loop, true, {});
            return;
        }
        for (std::size_t i = 0; i < per_track.size(); ++i)
            for (const SongLoop& loop : per_track[i]) add(loop, false, tracks_[i]);
    }

    const MidiContainer& song_;
    const std::vector<std::size_t>& tracks_;
    std::optional<InputFormat> origin_;
    std::size_t group_;
    bool own_song_;
    std::vector<Found>& found_;
};

// The tracks of each song the file plays: a form 2 file's songs play one
// after the other, each under its own tempo; the others' tracks together.
std::vector<std::vector<std::size_t>> songs_of(const MidiContainer& song) {
    std::vector<std::vector<std::size_t>> groups;
    if (song.form() == 2) {
        for (std::size_t k = 0; k < song.track_count(); ++k) groups.push_back({k});
    } else if (song.track_count() != 0) {
        groups.emplace_back();
        for (std::size_t k = 0; k < song.track_count(); ++k) groups.back().push_back(k);
    }
    return groups;
}

// The rank of a loop as the song's main loop, lower first; none for a loop
// that cannot be it (one track's, or one that plays a set number of times,
// which is part of the music).
std::optional<int> main_rank(const Found& found) {
    if (!found.whole_song || found.loop.count != 0) return std::nullopt;
    switch (found.loop.dialect) {
        case LoopDialect::markers:
            return 0;
        case LoopDialect::descent:
            return 1;
        case LoopDialect::emidi:
            return 2;
        case LoopDialect::for_next:
            return 3;
        case LoopDialect::rpg:
            return 4;
    }
    return std::nullopt;
}

}  // namespace

std::string_view loop_dialect_name(LoopDialect dialect) {
    switch (dialect) {
        case LoopDialect::markers:
            return "markers";
        case LoopDialect::for_next:
            return "for-next";
        case LoopDialect::emidi:
            return "emidi";
        case LoopDialect::descent:
            return "descent";
        case LoopDialect::rpg:
            return "rpg";
    }
    return "";
}

std::string_view synth_name(Synth synth) {
    switch (synth) {
        case Synth::gm:
            return "GM";
        case Synth::gs:
            return "GS";
        case Synth::xg:
            return "XG";
        case Synth::mt32:
            return "MT-32";
        case Synth::none:
            break;
    }
    return "";
}

std::uint64_t to_milliseconds(std::uint64_t parts, std::uint64_t per_second) {
    return parts / per_second * 1000 + (parts % per_second * 1000 + per_second / 2) / per_second;
}

// Ticks a quarter note count tempo-dependent parts: ticks times
// microseconds, a second being the timebase times a million of them. SMPTE
// counts ticks of frames, a second being frames times ticks a frame; -29 is
// the 29.97 frames of drop-frame time code, counted in 1001ths of a tick.
SongClock::SongClock(const std::vector<const MidiTrack*>& tracks, std::uint32_t timebase) {
    const auto word = static_cast<std::uint16_t>(timebase);
    if ((word & 0x8000) != 0) {
        smpte_ = true;
        const int frames = -static_cast<std::int8_t>(word >> 8);
        const std::uint64_t ticks_per_frame = word & 0xFF;
        if (frames > 0 && ticks_per_frame != 0) {
            per_second_ = frames == 29 ? 30000 * ticks_per_frame : static_cast<std::uint64_t>(frames) * ticks_per_frame;
            smpte_factor_ = frames == 29 ? 1001 : 1;
        }
        return;
    }
    if (word != 0) per_second_ = word * 1000000ull;

    // Tempo changes in time order, by track and then event where several
    // fall on one tick: the last one taken is the one that holds after it.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tempos;
    for (const MidiTrack* track : tracks)
        for (const MidiEvent& event : *track)
            if (is_meta(event, 0x51) && event.get_data_size() >= 5)
                tempos.emplace_back(event.timestamp, (std::uint32_t{event.data_byte(2)} << 16) |
                                                         (std::uint32_t{event.data_byte(3)} << 8) | event.data_byte(4));
    std::stable_sort(tempos.begin(), tempos.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // Ticks times microseconds stay below 2^56: exact in 64 bits.
    segments_.push_back({0, 0, default_tempo});
    for (const auto& [time, tempo] : tempos) {
        Segment& last = segments_.back();
        if (time == last.tick)
            last.tempo = tempo;
        else
            segments_.push_back({time, last.parts + std::uint64_t{time - last.tick} * last.tempo, tempo});
    }
}

std::uint64_t SongClock::parts(std::uint32_t tick) const {
    if (smpte_) return std::uint64_t{tick} * smpte_factor_;
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                        [](std::uint32_t t, const Segment& s) { return t < s.tick; });
    const Segment& segment = *(after - 1);
    return segment.parts + std::uint64_t{tick - segment.tick} * segment.tempo;
}

std::optional<std::uint64_t> SongClock::milliseconds(std::uint32_t tick) const {
    if (!per_second_) return std::nullopt;
    return to_milliseconds(parts(tick), *per_second_);
}

namespace {

SongFacts facts_of(const MidiContainer& song, std::optional<InputFormat> origin, bool loops_only) {
    SongFacts facts;
    facts.form = song.form() & 0xFF;
    facts.tracks = song.track_count();
    facts.songs = song.form() == 2 ? song.track_count() : song.track_count() != 0 ? 1 : 0;
    facts.timebase = song.timebase() & 0xFFFF;

    const std::vector<std::vector<std::size_t>> groups = songs_of(song);

    std::vector<Found> found;
    std::uint64_t offset = 0;  // parts of a second before the group's song
    std::optional<std::uint64_t> per_second = SongClock({}, song.timebase()).parts_per_second();
    std::tuple<std::uint32_t, std::size_t, std::size_t> first_synth{std::numeric_limits<std::uint32_t>::max(), 0, 0};
    for (std::size_t g = 0; g < groups.size(); ++g) {
        std::vector<const MidiTrack*> tracks;
        std::uint32_t end = 0;
        for (const std::size_t k : groups[g]) {
            const MidiTrack& track = song.track(k);
            tracks.push_back(&track);
            end = std::max(end, track_end(track));
            if (loops_only) continue;
            std::size_t i = 0;
            for (const MidiEvent& event : track) {
                ++i;
                if (event.type == MidiEventType::note_on) {
                    if (event.get_data_size() >= 2 && event.data_byte(1) != 0) ++facts.notes;
                    continue;
                }
                if (event.type != MidiEventType::extended) continue;
                // Songs of a form 2 file come one after another: the first
                // message sent is the earliest of the first song that has one.
                const Synth synth = synth_of(event);
                if (synth == Synth::none) continue;
                const auto at = std::make_tuple(song.form() == 2 ? 0 : event.timestamp, k, i);
                if (facts.synth == Synth::none || at < first_synth) {
                    facts.synth = synth;
                    first_synth = at;
                }
            }
        }
        const std::size_t before = found.size();
        GroupScan(song, groups[g], origin, g, song.form() == 2, found).run();
        if (loops_only) continue;
        const SongClock clock(tracks, song.timebase());
        if (per_second) {
            for (std::size_t i = before; i < found.size(); ++i) {
                SongLoop& loop = found[i].loop;
                loop.start_milliseconds = to_milliseconds(saturating_sum(offset, clock.parts(loop.start)), *per_second);
                loop.end_milliseconds = to_milliseconds(saturating_sum(offset, clock.parts(loop.end)), *per_second);
            }
            offset = saturating_sum(offset, clock.parts(end));
        }
    }
    if (per_second && !loops_only) facts.milliseconds = to_milliseconds(offset, *per_second);

    // The main loop first, then the rest by song, start and the outer loop
    // before the inner.
    const auto order = [](const Found& f) {
        return std::make_tuple(f.group, f.loop.start, ~f.loop.end, f.loop.track.value_or(0), f.loop.dialect);
    };
    std::stable_sort(found.begin(), found.end(), [&](const Found& a, const Found& b) { return order(a) < order(b); });
    auto main = found.end();
    for (auto it = found.begin(); it != found.end(); ++it) {
        const std::optional<int> rank = main_rank(*it);
        if (rank && (main == found.end() || *rank < *main_rank(*main))) main = it;
    }
    if (main != found.end()) {
        std::rotate(found.begin(), main, main + 1);
        facts.main_loop = true;
    }
    for (const Found& f : found) facts.loops.push_back(f.loop);
    return facts;
}

}  // namespace

SongFacts song_facts(const MidiContainer& song, std::optional<InputFormat> origin) {
    return facts_of(song, origin, false);
}

SongFacts song_loops(const MidiContainer& song, std::optional<InputFormat> origin) {
    return facts_of(song, origin, true);
}

TimedSong timed_events(std::span<const std::uint8_t> smf) {
    TimedSong timed;
    const ByteRange range(smf.data(), smf.size());
    if (!detect_smf(range)) return timed;
    MidiContainer song;
    Fault fault;
    const bool read = read_smf(range, song, &fault);
    timed.status = read && !fault ? ReadStatus::complete : ReadStatus::damaged;

    const std::vector<std::vector<std::size_t>> groups = songs_of(song);
    const std::optional<std::uint64_t> per_second = SongClock({}, song.timebase()).parts_per_second();
    if (!per_second) return timed;
    const auto seconds = [&](std::uint64_t parts) {
        return static_cast<double>(parts) / static_cast<double>(*per_second);
    };
    std::uint64_t offset = 0;
    for (const std::vector<std::size_t>& group : groups) {
        std::vector<const MidiTrack*> tracks;
        std::uint32_t end = 0;
        for (const std::size_t k : group) {
            tracks.push_back(&song.track(k));
            end = std::max(end, track_end(song.track(k)));
        }
        const SongClock clock(tracks, song.timebase());
        const std::size_t first = timed.events.size();
        for (const std::size_t k : group) {
            for (const MidiEvent& event : song.track(k)) {
                if (event.type == MidiEventType::extended) continue;
                const std::size_t size = event.get_data_size();
                timed.events.push_back(
                    {seconds(saturating_sum(offset, clock.parts(event.timestamp))), event.timestamp,
                     static_cast<std::uint16_t>(k),
                     static_cast<std::uint8_t>(0x80 + 16 * static_cast<unsigned>(event.type) + (event.channel & 0x0F)),
                     size > 0 ? event.data_byte(0) : std::uint8_t{0}, size > 1 ? event.data_byte(1) : std::uint8_t{0}});
            }
        }
        std::stable_sort(timed.events.begin() + static_cast<std::ptrdiff_t>(first), timed.events.end(),
                         [](const TimedEvent& a, const TimedEvent& b) { return a.tick < b.tick; });
        offset = saturating_sum(offset, clock.parts(end));
    }
    timed.seconds = seconds(offset);
    return timed;
}

}  // namespace seqconv
