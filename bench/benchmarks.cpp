// Benchmarks. Run: build/bench/seqconv_benchmarks (a Release build).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <thread>
#include <vector>

#include "base/workers.h"
#include "bench/format_inputs.h"
#include "bench/large_inputs.h"
#include "formats/readers.h"
#include "midi/midi_container.h"
#include "midi/midi_track.h"
#include "midi/promote.h"
#include "midi/smf_writer.h"
#include "testkit/lds.h"

namespace {

using seqconv::MidiEvent;
using seqconv::MidiEventType;

constexpr std::uint32_t far_ahead = 10000000;

MidiEvent note(std::uint32_t time, MidiEventType type, std::uint8_t key) {
    const std::uint8_t data[2] = {key, 0x40};
    return MidiEvent(time, type, 0, data, 2);
}

// Notes whose ends lie beyond every later event, inserted start then end, as
// readers of formats with note durations insert them; then the track is read
// in time order.
void BM_TrackFarNoteEnds(benchmark::State& state) {
    const auto notes = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        seqconv::MidiTrack track;
        track.add_event(seqconv::make_end_of_track(0));
        for (std::uint32_t i = 0; i < notes; ++i) {
            track.add_event(note(i * 10, MidiEventType::note_on, std::uint8_t(i & 0x7F)));
            track.add_event(note(i * 10 + far_ahead, MidiEventType::note_off, std::uint8_t(i & 0x7F)));
        }
        std::uint64_t sum = 0;
        for (const MidiEvent& event : track) sum += event.timestamp;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * notes * 2);
}
BENCHMARK(BM_TrackFarNoteEnds)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The same notes kept sorted on every insertion (a search, then a shift of
// everything later): what the track avoids. Quadratic, so smaller sizes.
void BM_SortedVectorFarNoteEnds(benchmark::State& state) {
    const auto notes = static_cast<std::uint32_t>(state.range(0));
    const auto earlier = [](std::uint32_t t, const MidiEvent& e) { return t < e.timestamp; };
    for (auto _ : state) {
        std::vector<MidiEvent> events;
        for (std::uint32_t i = 0; i < notes; ++i) {
            for (const MidiEvent& e : {note(i * 10, MidiEventType::note_on, std::uint8_t(i & 0x7F)),
                                       note(i * 10 + far_ahead, MidiEventType::note_off, std::uint8_t(i & 0x7F))})
                events.insert(std::upper_bound(events.begin(), events.end(), e.timestamp, earlier), e);
        }
        benchmark::DoNotOptimize(events.data());
    }
    state.SetItemsProcessed(state.iterations() * notes * 2);
}
BENCHMARK(BM_SortedVectorFarNoteEnds)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// Converts `input` as the program does: detection, the reader, the writer.
void convert(benchmark::State& state, const seqconv::bench::Bytes& input, std::string_view extension = "mid") {
    for (auto _ : state) {
        seqconv::MidiContainer song;
        seqconv::convert_file(seqconv::ByteRange(input.data(), input.size()), extension, song);
        std::vector<std::uint8_t> out;
        seqconv::write_smf(song, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(input.size()));
}

// The same far note ends made by the XMI reader from note durations:
// 200,000 notes of 10,000,000 ticks each, through detection, reading and
// writing.
void BM_ConvertXmiLongNotes(benchmark::State& state) {
    const auto notes = static_cast<std::uint32_t>(state.range(0));
    const seqconv::bench::Bytes input = seqconv::bench::xmi_long_notes(notes, far_ahead);
    seqconv::MidiContainer song;
    // Every note, its end, the default tempo and the end of track.
    if (!seqconv::read_xmi(seqconv::ByteRange(input.data(), input.size()), song) || song.track_count() != 1 ||
        song.track(0).size() != 2 * std::size_t(notes) + 2) {
        state.SkipWithError("the input does not read as the XMI it should be");
        return;
    }
    convert(state, input);
}
BENCHMARK(BM_ConvertXmiLongNotes)->Arg(200000)->Unit(benchmark::kMillisecond);

// A 1 MiB Standard MIDI File.
void BM_ConvertLargeSmf(benchmark::State& state) {
    convert(state, seqconv::bench::large_smf(std::size_t(state.range(0))));
}
BENCHMARK(BM_ConvertLargeSmf)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// The worst case from fuzzing: tracks whose text events run over all later
// chunks. Time per input byte stays flat when each track is read only up to
// the next chunk; it grew with the number of tracks before.
void BM_ConvertNestedTracks(benchmark::State& state) {
    convert(state, seqconv::bench::nested_tracks(std::uint16_t(state.range(0))));
}
BENCHMARK(BM_ConvertNestedTracks)->Arg(1000)->Arg(8000)->Arg(65535)->Unit(benchmark::kMillisecond);

// The longest-playing LDS module: 66 hours of song, 1.5 million events.
void BM_ConvertLongestLds(benchmark::State& state) { convert(state, seqconv::bench::longest_lds(), "lds"); }
BENCHMARK(BM_ConvertLongestLds)->Unit(benchmark::kMillisecond);

// The most an LDS module writes: all nine voices glide toward a far pitch and
// are set back by F8 in every row, so each sends a pitch wheel in every tick,
// through `positions` positions of 255 rows of 256 ticks (65280 ticks each).
seqconv::bench::Bytes bending_lds(std::size_t positions) {
    namespace lds = testkit::lds;
    lds::Module module;
    module.row_speed = 255;
    module.pattern_length = 255;
    lds::Position position;
    for (int v = 0; v < 9; ++v) {
        module.patches.push_back({v * 8, 100});
        std::vector<std::uint16_t> words = {lds::note(60, v), lds::command(0xF6, 1), lds::note(127, v)};
        words.resize(255, lds::command(0xF8));
        position[std::size_t(v)] = {module.pattern(words)};
    }
    module.positions.assign(positions, position);
    return module.bytes();
}

void BM_ConvertBendingLds(benchmark::State& state) { convert(state, bending_lds(std::size_t(state.range(0))), "lds"); }
BENCHMARK(BM_ConvertBendingLds)->Arg(4)->Unit(benchmark::kMillisecond);

// 200,000 notes of an HMI file whose ends, carried as durations, all lie
// beyond every later note start: the HMI reader inserts each note's end
// far ahead, then the writer reads the track in time order.
void BM_ConvertHmiFarNoteEnds(benchmark::State& state) {
    convert(state, seqconv::bench::long_notes_hmi(std::uint32_t(state.range(0)), far_ahead));
}
BENCHMARK(BM_ConvertHmiFarNoteEnds)->Arg(200000)->Unit(benchmark::kMillisecond);

// Each format's reader alone, on a file of music made for it
// (bench/format_inputs.h), in events a second of the song it builds. A
// track is put in time order when it is first read, so the benchmark reads
// each track once: that sorting is part of what reading costs. The files are
// of 256 KiB but for MUS (60 KiB: the header counts the score's length in 16
// bits) and LDS (about 70 KiB: 16-bit pattern offsets reach 64 KiB of
// patterns; it plays 256 positions of them).
using Reader = bool (*)(seqconv::ByteRange, seqconv::MidiContainer&, seqconv::Fault*);

std::size_t event_count(const seqconv::MidiContainer& song) {
    std::size_t events = 0;
    for (const seqconv::MidiTrack& track : song.tracks()) {
        if (!track.empty()) benchmark::DoNotOptimize(track[0].timestamp);
        events += track.size();
    }
    return events;
}

void BM_Read(benchmark::State& state, seqconv::bench::Kind kind, Reader read) {
    const seqconv::bench::Bytes input = seqconv::bench::format_file(kind, 1, std::size_t(256) << 10);
    const seqconv::ByteRange range(input.data(), input.size());
    std::size_t events = 0;
    for (auto _ : state) {
        seqconv::MidiContainer song;
        if (!read(range, song, nullptr)) {
            state.SkipWithError("the input does not read as the format it should be");
            return;
        }
        events = event_count(song);
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(input.size()));
    state.counters["bytes"] = double(input.size());
    state.counters["events"] = double(events);
    state.counters["events/s"] = benchmark::Counter(double(events), benchmark::Counter::kIsIterationInvariantRate);
}
// The two readers that may decode on workers, here on the calling thread.
bool read_smf_here(seqconv::ByteRange input, seqconv::MidiContainer& song, seqconv::Fault* fault) {
    return seqconv::read_smf(input, song, fault);
}
bool read_rmid_here(seqconv::ByteRange input, seqconv::MidiContainer& song, seqconv::Fault* fault) {
    return seqconv::read_rmid(input, song, fault);
}
using seqconv::bench::Kind;
BENCHMARK_CAPTURE(BM_Read, SMF, Kind::smf, read_smf_here)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, RMID, Kind::rmid, read_rmid_here)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, HMP_P, Kind::hmp_p, seqconv::read_hmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, HMP_R, Kind::hmp_r, seqconv::read_hmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, HMI, Kind::hmi, seqconv::read_hmi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, XMI, Kind::xmi, seqconv::read_xmi)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, MUS, Kind::mus, seqconv::read_mus)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, MIDS, Kind::mids, seqconv::read_mids)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, LDS, Kind::lds, seqconv::read_lds)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, GMF, Kind::gmf, seqconv::read_gmf)->Unit(benchmark::kMillisecond);

// The writer alone, on the song read from 1 MiB of the dense Standard MIDI
// File, in events a second, on a pool of a thread a core.
void BM_WriteSmf(benchmark::State& state) {
    const seqconv::bench::Bytes input = seqconv::bench::large_smf(std::size_t(1) << 20);
    seqconv::MidiContainer song;
    seqconv::read_smf(seqconv::ByteRange(input.data(), input.size()), song);
    const std::size_t events = event_count(song);
    const seqconv::Workers workers(std::thread::hardware_concurrency());
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        seqconv::write_smf(song, out, &workers);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["events"] = double(events);
    state.counters["events/s"] = benchmark::Counter(double(events), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WriteSmf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
