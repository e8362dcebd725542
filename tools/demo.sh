#!/usr/bin/env bash
# Builds seqconv and converts the bundled examples in a scratch copy
# (out/examples), then shows what it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/deps.sh
need_packages cmake g++ ninja-build

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build/release --target seqconv make_examples
build/release/make_examples --check examples

rm -rf out/examples && mkdir -p out/examples && cp examples/* out/examples/
build/release/seqconv out/examples/*

echo
echo "Input file              bytes   Output file                 bytes  header"
for input in examples/*; do
    name=$(basename "$input")
    output="out/examples/$name.mid"
    header=$(od -A n -t x1 -N 14 "$output" | tr -s ' \n' ' ')
    [ -s "$output" ] || header="(empty: format not converted yet)"
    printf '%-22s %6d   %-26s %6d %s\n' "$name" "$(stat -c %s "$input")" "$name.mid" "$(stat -c %s "$output")" "$header"
done
echo
echo "With -1 (form 0 split into a conductor track and one track per channel):"
cp examples/minuet-form0.mid out/examples/promoted.mid
build/release/seqconv -1 out/examples/promoted.mid
printf '%-22s %6d   %-26s %6d %s\n' promoted.mid "$(stat -c %s out/examples/promoted.mid)" promoted.mid.mid \
    "$(stat -c %s out/examples/promoted.mid.mid)" "$(od -A n -t x1 -N 14 out/examples/promoted.mid.mid | tr -s ' \n' ' ')"
