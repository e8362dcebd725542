// Benchmarks. Run: build/bench/seqconv_benchmarks (a Release build).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench/large_inputs.h"
#include "formats/readers.h"
#include "midi/midi_track.h"
#include "midi/promote.h"
#include "midi/smf_writer.h"

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
void convert(benchmark::State& state, const seqconv::bench::Bytes& input) {
    for (auto _ : state) {
        seqconv::MidiContainer song;
        seqconv::convert_file(seqconv::ByteRange(input.data(), input.size()), "mid", song);
        std::vector<std::uint8_t> out;
        seqconv::write_smf(song, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(input.size()));
}

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

// 200,000 notes of an HMI file whose ends, carried as durations, all lie
// beyond every later note start: the HMI reader inserts each note's end
// far ahead, then the writer reads the track in time order.
void BM_ConvertHmiFarNoteEnds(benchmark::State& state) {
    convert(state, seqconv::bench::long_notes_hmi(std::uint32_t(state.range(0)), far_ahead));
}
BENCHMARK(BM_ConvertHmiFarNoteEnds)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
