#!/usr/bin/env bash
# Builds seqconv and seqtool, converts the bundled examples in a scratch
# copy (out/examples) with seqconv and shows what it wrote, then shows what
# seqtool info says is in each example, and plays the looping ones out.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake g++ ninja-build

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/release --target seqconv seqtool make_examples
build/release/make_examples --check examples

rm -rf out/examples && mkdir -p out/examples && cp examples/* out/examples/
build/release/seqconv out/examples/*

# What a Standard MIDI File's header says: form, tracks and timebase.
describe() {
    [ -s "$1" ] || { echo "(empty: no song)"; return; }
    local h
    read -r -a h <<<"$(od -A n -t u1 -j 8 -N 6 "$1")"
    echo "form ${h[1]}, $((h[2] * 256 + h[3])) tracks, $((h[4] * 256 + h[5])) ticks per quarter note"
}

echo
printf '%-18s %6s   %-22s %6s  %s\n' "Input file" bytes "Output file" bytes "Song"
for input in examples/*; do
    name=$(basename "$input")
    output="out/examples/$name.mid"
    printf '%-18s %6d   %-22s %6d  %s\n' "$name" "$(stat -c %s "$input")" "$name.mid" "$(stat -c %s "$output")" \
        "$(describe "$output")"
done
echo
echo "With -1 (form 0 split into a conductor track and one track per channel):"
cp examples/minuet-form0.mid out/examples/promoted.mid
build/release/seqconv -1 out/examples/promoted.mid
printf '%-18s %6d   %-22s %6d  %s\n' promoted.mid "$(stat -c %s out/examples/promoted.mid)" promoted.mid.mid \
    "$(stat -c %s out/examples/promoted.mid.mid)" "$(describe out/examples/promoted.mid.mid)"
echo
echo "seqtool info examples/*:"
build/release/seqtool info examples/*
echo
echo "The HMI and LDS examples loop: played twice with a 5 s fade, for any player (out/looped):"
rm -rf out/looped
build/release/seqtool convert --loops 2 --fade 5 -o out/looped examples/minuet.hmi examples/minuet.lds
build/release/seqtool info out/looped/*
