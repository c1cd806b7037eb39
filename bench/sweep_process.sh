#!/usr/bin/env bash
# Times whole `quarnel-batch sweep` processes: RUNS default runs with Vf
# varied, on 1 and on 2 threads, each timed REPEAT times; prints the best
# wall time of each and their ratio.
# Usage: bench/sweep_process.sh [BATCH] [RUNS] [REPEAT]
set -euo pipefail
batch=${1:-build/release/app/quarnel-batch}
runs=${2:-1000}
repeat=${3:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
best() {
  local jobs=$1 best=""
  for _ in $(seq "$repeat"); do
    local start end t
    start=$(date +%s.%N)
    "$batch" sweep --quiet --vary "Vf=0.005:0.03:$runs" --jobs "$jobs" --summary "$work/s.csv"
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}
one=$(best 1)
two=$(best 2)
printf '%s runs: 1 job %.3f s, 2 jobs %.3f s, 2 jobs %.2f times faster\n' "$runs" "$one" "$two" \
  "$(echo "$one / $two" | bc -l)"
