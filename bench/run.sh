#!/usr/bin/env bash
# Measures seqconv: builds the release program and the benchmarks
# (build/release), generates every input into a temporary folder, runs the
# whole-program measurements (bench/measure_program.sh) and the benchmarks
# (seqconv_benchmarks), and prints one table in markdown, as the README's
# "Performance" section shows it. Progress goes to standard error, the table
# to standard output. Installs what it needs with apt-get when it is missing.
#
# Usage: bash bench/run.sh [--quick] [--against REV]
#   Every whole-program figure is the median of 5 runs, 3 with --quick;
#   python3-mido runs once, on the 64 MiB file (3 to 4 minutes), or with
#   --quick on a 4 MiB file of the same kind. 6 to 8 minutes in all, about
#   2 with --quick.
#   --against REV also builds the program of git revision REV (in
#   build/against) and measures it first, on the same inputs and in the same
#   run, without the peers: a second table, of REV's whole-program figures,
#   follows on standard output.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."

arguments="$*"
quick=0 against=
while [ $# -gt 0 ]; do
    case $1 in
        --quick) quick=1 ;;
        --against)
            [ $# -ge 2 ] || { echo "usage: bash bench/run.sh [--quick] [--against REV]" >&2; exit 2; }
            against=$2
            shift
            ;;
        *)
            echo "usage: bash bench/run.sh [--quick] [--against REV]" >&2
            exit 2
            ;;
    esac
    shift
done
runs=5 min_time=0.5 filter=.
if [ "$quick" -eq 1 ]; then
    runs=3 min_time=0.1 filter=-BM_SortedVector
fi

. tools/deps.sh
need_packages cmake g++ ninja-build libbenchmark-dev time python3
# The peers; their rows say so when they cannot be had.
need_packages midicsv >&2 || echo "midicsv could not be installed" >&2
need_packages python3-mido >&2 || echo "python3-mido could not be installed" >&2

build=build/release
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target seqconv seqtool seqconv_make_inputs seqconv_benchmarks >&2

# A run deletes tens of thousands of files when it ends. For some minutes
# after that, ext4 passes over the freed inodes when it creates files, and
# creating the batch's outputs took up to five times as long: a run started
# then measures the file system, not the programs. So a run that follows
# another within five minutes first waits for the rest of them.
stamp=$build/bench-ended
settle=300
if [ -f "$stamp" ]; then
    wait=$((settle - ($(date +%s) - $(stat -c %Y "$stamp"))))
    if [ "$wait" -gt 0 ]; then
        echo "waiting $wait s: the previous run deleted its files less than $settle s ago" >&2
        sleep "$wait"
    fi
fi
work=$(mktemp -d)
trap 'rm -rf "$work"; touch "$stamp"' EXIT
make_inputs=$build/bench/seqconv_make_inputs
echo "generating the inputs in $work" >&2
"$make_inputs" smf "$work/large.mid" $((64 << 20))
"$make_inputs" smf "$work/tiny.mid" 4096
mkdir "$work/batch" "$work/worst"
"$make_inputs" batch "$work/batch" 2000
"$make_inputs" worst "$work/worst"
if [ "$quick" -eq 1 ]; then
    "$make_inputs" smf "$work/peer.mid" $((4 << 20))
else
    ln -s large.mid "$work/peer.mid"
fi

# The program of REV, built in a worktree of its own, measured on hard links
# to the same inputs before this build's program.
if [ -n "$against" ]; then
    old_src=build/against/src old_build=build/against/build
    rm -rf "$old_src" && git worktree prune
    git worktree add --detach "$old_src" "$against" >&2
    cmake -S "$old_src" -B "$old_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$old_build" --target seqconv >&2
    mkdir -p "$old_build/bench" "$work/against"
    ln -sf "$(realpath "$make_inputs")" "$old_build/bench/seqconv_make_inputs"
    cp -al "$work/large.mid" "$work/tiny.mid" "$work/peer.mid" "$work/batch" "$work/worst" "$work/against/"
    echo "measuring $against" >&2
    old_rows=$(SEQCONV_BENCH_PEERS=0 bash bench/measure_program.sh "$old_build" "$work/against" "$runs")
    git worktree remove --force "$old_src"
fi

load=$(cut -d ' ' -f 1 /proc/loadavg)
rows=$(bash bench/measure_program.sh "$build" "$work" "$runs")

echo "benchmarks" >&2
"$build/bench/seqconv_benchmarks" --benchmark_min_time="$min_time" --benchmark_filter="$filter" \
    --benchmark_out="$work/benchmarks.json" --benchmark_out_format=json >&2
benchmark_rows=$(/usr/bin/python3 bench/benchmark_rows.py "$work/benchmarks.json")

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
memory=$(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)
compiler=$(g++ -dumpfullversion)
system=$(. /etc/os-release && echo "$PRETTY_NAME")
mode="median of $runs runs"
[ "$quick" -eq 1 ] && mode="$mode, --quick"
echo "Measured $(date -u +%Y-%m-%d) with \`bash bench/run.sh${arguments:+ $arguments}\` on $(nproc) cores ($cpu), $memory, $system," \
    "g++ $compiler, release build; $mode; load average $load at the start."
echo
echo "| What | Input | Figure | Goal |"
echo "|---|---|---|---|"
echo "$rows"
echo "$benchmark_rows"
if [ -n "$against" ]; then
    echo
    echo "The program of $against, measured first in the same run:"
    echo
    echo "| What | Input | Figure | Goal |"
    echo "|---|---|---|---|"
    echo "$old_rows"
fi
