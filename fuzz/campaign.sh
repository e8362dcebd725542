#!/usr/bin/env bash
# A long fuzzing campaign on every target at once, under CI's memory limit
# (.ci/fuzz.sh: 512 MB) and a time limit of 60 s an input: a campaign runs
# beside other work, so an input's time is the wall clock's, not the CPU's.
# Prints a line a target: the inputs run and their rate, the slowest
# input's time and the peak memory. The grown corpora and each target's log
# stay in the work folder; inputs that fail are kept in its artifacts/.
#
# Usage: fuzz/campaign.sh HOURS          HOURS on each target, all at once
#        fuzz/campaign.sh --runs COUNT   COUNT inputs on each target
#   CAMPAIGN_WORK   the work folder, default build/campaign
#   Run it under nice -n 19 on a shared machine.
set -euo pipefail
cd "$(dirname "$0")/.."
work=${CAMPAIGN_WORK:-build/campaign}
case "${1:-}" in
    --runs) [ $# -eq 2 ] || { echo "usage: $0 HOURS | --runs COUNT" >&2; exit 2; }
            export FUZZ_RUNS=$2 ;;
    ''|-*)  echo "usage: $0 HOURS | --runs COUNT" >&2; exit 2 ;;
    *)      export FUZZ_SECONDS=$(awk -v h="$1" 'BEGIN { printf "%d", h * 3600 }') ;;
esac
export FUZZ_WORK=$work/corpora FUZZ_ARTIFACTS=$work/artifacts FUZZ_TIMEOUT=60 FUZZ_PARALLEL=1
exec .ci/fuzz.sh
