#!/usr/bin/env bash
# Whole-program measurements: wall time and peak resident memory (the
# median of RUNS runs each, /usr/bin/time for the memory) of the release
# seqconv, of `cp -r` and of the peers, on the inputs bench/run.sh wrote into
# WORK. Prints the rows of run.sh's table (markdown); progress goes to
# standard error.
#
# Usage: bench/measure_program.sh BUILD_DIR WORK RUNS
#   WORK holds large.mid (the large file), tiny.mid (the program at rest),
#   batch/ (the small files), worst/ (the worst cases) and peer.mid (the
#   file python3-mido converts: large.mid itself, or a smaller one).
set -euo pipefail
export LC_ALL=C
build=$1 work=$2 runs=$3
seqconv=$(realpath "$build/seqconv")
# seqtool, where the build has it (an earlier revision may not).
seqtool=
[ -x "$build/seqtool" ] && seqtool=$(realpath "$build/seqtool")
# and whether it plays loops out.
loops=
[ -n "$seqtool" ] && "$seqtool" --help | grep -q -- '--loops' && loops=1
make_inputs=$(realpath "$build/bench/seqconv_make_inputs")
mido_timeout=900

# median VALUE...: the middle value (the mean of the two middle ones).
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# time_once COMMAND...: runs COMMAND once and appends its wall time
# (microseconds) to `walls` and the peak resident set of its largest process
# (KiB) to `rsses`. Fails, with the command's messages kept in
# $work/stderr.txt, when the command fails.
time_once() {
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || return 1
    end=$(date +%s%N)
    walls+=("$(((end - start) / 1000))")
    rsses+=("$(tail -n 1 "$work/time.txt")")
}
fail() {
    echo "$1 failed: $(head -c 500 "$work/stderr.txt")" >&2
    exit 1
}
# seconds MICROSECONDS...: the median in seconds.
seconds() { awk -v us="$(median "$@")" 'BEGIN { printf "%.3f", us / 1e6 }'; }

# measure RUN_COUNT COMMAND...: runs COMMAND RUN_COUNT times and sets `wall`
# (median seconds) and `rss` (median peak resident set, bytes).
measure() {
    local count=$1 i
    shift
    walls=() rsses=()
    for ((i = 0; i < count; i++)); do time_once "$@" || return 1; done
    wall=$(seconds "${walls[@]}")
    rss=$(($(median "${rsses[@]}") * 1024))
}

mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
size_text() { awk -v b="$1" 'BEGIN { if (b >= 1048576) printf "%.1f MiB", b / 1048576; else printf "%.0f KiB", b / 1024 }'; }
mb_per_s() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f MB/s", b / s / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
thousands() { sed ':a; s/\B[0-9]\{3\}\>/,&/; ta' <<<"$1"; }
size_of() { stat -L -c %s "$1"; }
runs_note() { [ "$1" -eq 1 ] && echo "1 run" || echo "median of $1 runs"; }

cd "$work"

# The program at rest: its peak memory on a file of a few KiB.
echo "seqconv at rest" >&2
measure "$runs" "$seqconv" tiny.mid || fail "seqconv tiny.mid"
rest=$rss

# The large Standard MIDI File.
echo "seqconv on the large file" >&2
measure "$runs" "$seqconv" large.mid || fail "seqconv large.mid"
large_wall=$wall large_rss=$rss
input=$(size_of large.mid) output=$(size_of large.mid.mid)
events=$("$make_inputs" count large.mid.mid)
# The program writes the output into the buffer that held the input, so the
# two take the larger of their sizes, not their sum.
buffers=$((input > output ? input : output))
per_event=$(awk -v r="$rss" -v b="$buffers" -v z="$rest" -v e="$events" \
    'BEGIN { printf "%.1f", (r - b - z) / e }')
echo "| \`seqconv large.mid\` | $(mib "$input") form 1 SMF, 16 tracks, $(thousands "$events") events | $(mb_per_s "$input" "$large_wall") ($large_wall s); peak RSS $(mib "$large_rss") | ≥ 100 MB/s |"
echo "| memory per event | the same run | $per_event bytes: (peak RSS $(mib "$large_rss") − input and output buffer $(mib "$buffers") − $(mib "$rest") at rest) / $(thousands "$events") events | ≤ 80 bytes |"

# The peers, on the same file (not when SEQCONV_BENCH_PEERS is 0).
peer_row() {  # NAME FILE RUN_COUNT COMMAND...
    local name=$1 file=$2 count=$3
    shift 3
    echo "$name" >&2
    if measure "$count" "$@"; then
        local size
        size=$(size_of "$file")
        local times
        times=$(awk -v b="$size" -v s="$wall" -v sb="$input" -v ss="$large_wall" 'BEGIN { printf "%.1f", (sb / ss) / (b / s) }')
        local input_note="the same file"
        [ "$file" -ef large.mid ] || input_note="$(size_text "$size") of the same kind"
        echo "| peer: $name | $input_note | $(mb_per_s "$size" "$wall") ($wall s, $(runs_note "$count")); peak RSS $(mib "$rss"); seqconv $times× as fast | — |"
    else
        echo "| peer: $name | the same file | not measured: it failed or did not finish ($(head -c 200 "$work/stderr.txt" | tr '\n|' '  ')) | — |"
    fi
}
if [ "${SEQCONV_BENCH_PEERS:-1}" = 0 ]; then
    :
elif command -v midicsv >/dev/null && command -v csvmidi >/dev/null; then
    peer_row '`midicsv in.mid \| csvmidi > out.mid`' large.mid "$runs" bash -c 'midicsv large.mid | csvmidi > peer-csv.mid'
else
    echo "| peer: \`midicsv in.mid \| csvmidi > out.mid\` | — | not measured: midicsv is not installed | — |"
fi
if [ "${SEQCONV_BENCH_PEERS:-1}" = 0 ]; then
    :
elif /usr/bin/python3 -c 'import mido' 2>/dev/null; then
    peer_row 'python3-mido, `MidiFile(in).save(out)`' peer.mid 1 timeout "$mido_timeout" /usr/bin/python3 -c \
        'import sys, mido; mido.MidiFile(sys.argv[1]).save(sys.argv[2])' peer.mid peer-mido.mid
else
    echo "| peer: python3-mido | — | not measured: python3-mido is not installed | — |"
fi

# The batch, against copying the same folder. Every run writes new files
# into a folder of its own and nothing is deleted between runs: a file
# system that has just deleted thousands of files can take many times
# longer to create new ones (ext4 looks for inodes it may not reuse yet),
# which would measure the file system's state rather than either program.
# The runs of the two alternate, so that both meet the same load.
files=$(find batch -type f | wc -l)
batch_bytes=$(find batch -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
# seqtool writes into a folder of its own too, each output through a new
# file renamed over its name.
echo "seqconv${seqtool:+ and seqtool} on the batch, and cp -r" >&2
for ((i = 1; i <= runs; i++)); do cp -r batch "batch-$i"; done
copy_walls=() batch_walls=() tool_walls=() loops_walls=()
for ((i = 1; i <= runs; i++)); do
    walls=()
    time_once cp -r batch "copy-$i" || fail "cp -r"
    time_once "$seqconv" "batch-$i/*" || fail "seqconv on the batch"
    copy_walls+=("${walls[0]}") batch_walls+=("${walls[1]}")
    if [ -n "$seqtool" ]; then
        time_once "$seqtool" convert -r -o "tool-$i" batch || fail "seqtool convert on the batch"
        tool_walls+=("${walls[2]}")
    fi
    if [ -n "$loops" ]; then
        time_once "$seqtool" convert --loops 2 -r -o "loops-$i" batch || fail "seqtool convert --loops 2 on the batch"
        loops_walls+=("${walls[3]}")
        looped=$(sed -n 's/.*; \([0-9]*\) songs* with loops played out.*/\1/p' "$work/stderr.txt")
    fi
done
copy_wall=$(seconds "${copy_walls[@]}") batch_wall=$(seconds "${batch_walls[@]}")
empty=$(find batch-1 -name '*.*.mid' -empty | wc -l)
empty_note=
[ "$empty" -eq 0 ] || empty_note="; $empty outputs EMPTY"
echo "| batch: \`seqconv 'batch/*'\` | $(thousands "$files") files, the ten kinds in turn (SMF, RMID, HMP P and R, HMI, XMI, MUS, MIDS, LDS, GMF), 1 to 50 KiB, $(mib "$batch_bytes") | $batch_wall s, $(ratio "$batch_wall" "$copy_wall")× \`cp -r\`$empty_note | ≤ 2× \`cp -r\` |"
echo "| \`cp -r batch copy\` | the same folder | $copy_wall s (reading and writing as many files: the floor) | — |"
if [ -n "$seqtool" ]; then
    tool_wall=$(seconds "${tool_walls[@]}")
    cmp -s batch-1/0000.mid.mid tool-1/0000.mid.mid || fail "seqtool's output of 0000.mid differs from seqconv's"
    echo "seqtool info on the batch" >&2
    measure "$runs" "$seqtool" info -r batch || fail "seqtool info on the batch"
    echo "| batch: \`seqtool convert -r -o OUT batch\` | the same folder | $tool_wall s, $(ratio "$tool_wall" "$copy_wall")× \`cp -r\` (every output written to a new file and renamed) | — |"
    echo "| batch: \`seqtool info -r batch\` | the same folder | $wall s; peak RSS $(mib "$rss") | — |"
fi
if [ -n "$loops" ]; then
    loops_wall=$(seconds "${loops_walls[@]}")
    echo "| batch: \`seqtool convert --loops 2 -r -o OUT batch\` | the same folder; $(thousands "${looped:-0}") songs loop | $loops_wall s, $(ratio "$loops_wall" "$tool_wall")× plain \`seqtool convert\` (loops played twice, then a 10 s fade) | ≤ 2× \`seqtool convert\` |"
fi

# The worst cases.
worst_row() {  # FILE DESCRIPTION
    echo "worst case $1" >&2
    measure "$runs" "$seqconv" "worst/$1" || fail "seqconv worst/$1"
    local out_events
    out_events=$("$make_inputs" count "worst/$1.mid")
    echo "| worst case: $2 | $1, $(size_text "$(size_of "worst/$1")") | $wall s; peak RSS $(mib "$rss"); $(thousands "$out_events") events out | < 1 s |"
}
worst_row long-notes.xmi "XMI whose notes all sound beyond every later note (out-of-order insertion)"
worst_row long-notes.hmi "HMI whose notes all sound beyond every later note (out-of-order insertion)"
worst_row deep-iff.xmi "XMI nesting FORM and CAT alternately 256 levels deep, the most the reader accepts, 1 MiB at the bottom"
worst_row longest.lds "the longest-playing LDS module (66 hours of song)"
worst_row large.hmp "HMP of 16 tracks"
