"""Turns Google Benchmark's JSON output into rows of bench/run.sh's table.

Usage: python3 bench/benchmark_rows.py RESULTS.json
"""

import json
import sys

# What each benchmark measures, by the name before its first "/".
DESCRIPTIONS = {
    "BM_TrackFarNoteEnds": "a track of notes whose ends lie beyond every later note, built and read in order",
    "BM_SortedVectorFarNoteEnds": "the same notes in a vector kept sorted (what the track avoids)",
    "BM_ConvertXmiLongNotes": "XMI of notes whose ends lie beyond every later note, detection to output",
    "BM_ConvertLargeSmf": "1 MiB of the dense SMF, detection to output",
    "BM_ConvertNestedTracks": "tracks each claiming the rest of the file, detection to output",
    "BM_ConvertLongestLds": "the longest-playing LDS module, detection to output",
    "BM_ConvertBendingLds": "LDS bending all nine voices every tick, detection to output",
    "BM_ConvertHmiFarNoteEnds": "HMI of notes whose ends lie beyond every later note, detection to output",
}


def duration(value, unit):
    seconds = value * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[unit]
    return f"{seconds * 1e3:.3g} ms" if seconds >= 1e-3 else f"{seconds * 1e6:.3g} µs"


def main():
    with open(sys.argv[1], encoding="utf-8") as results:
        benchmarks = json.load(results)["benchmarks"]
    # The per-format figures first, then the benchmarks of particular cases.
    benchmarks.sort(key=lambda bench: not bench["name"].startswith(("BM_Read/", "BM_WriteSmf")))
    for bench in benchmarks:
        name = bench["name"]
        family, _, argument = name.partition("/")
        if bench.get("error_occurred"):
            print(f"| {DESCRIPTIONS.get(family, family)} | `{name}` | failed: {bench.get('error_message', '')} | — |")
            continue
        time = duration(bench["cpu_time"], bench["time_unit"])
        if family == "BM_Read":
            events = int(bench["events"])
            size = f"{bench['bytes'] / 1024:.0f} KiB"
            figure = f"{bench['events/s'] / 1e6:.1f} M events/s ({time} CPU a run)"
            print(f"| {argument.replace('_', ' ')} reader alone, in process | {size} generated, {events:,} events | {figure} | — |")
        elif family == "BM_WriteSmf":
            events = int(bench["events"])
            figure = f"{bench['events/s'] / 1e6:.1f} M events/s ({time} CPU a run)"
            print(f"| `write_smf` alone, in process | the song of 1 MiB of the dense SMF, {events:,} events | {figure} | — |")
        else:
            print(f"| {DESCRIPTIONS.get(family, family)} | `{name}` | {time} CPU | — |")

main()
