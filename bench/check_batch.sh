#!/usr/bin/env bash
# Generates a batch of COUNT small files of every format and converts them
# with one seqconv call and a quoted wildcard; fails unless every file gave
# a non-empty output.
#
# Usage: bench/check_batch.sh MAKE_INPUTS SEQCONV COUNT
set -euo pipefail
make_inputs=$1 seqconv=$2 count=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$make_inputs" batch "$dir" "$count"
"$seqconv" "$dir/*"
status=0
inputs=0
for input in "$dir"/*; do
    case ${input##*/} in *.*.mid) continue ;; esac
    inputs=$((inputs + 1))
    if [ ! -s "$input.mid" ]; then
        echo "no output for $(basename "$input")" >&2
        status=1
    fi
done
if [ "$inputs" -ne "$count" ]; then
    echo "expected $count inputs, found $inputs" >&2
    status=1
fi
exit $status
