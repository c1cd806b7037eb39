#!/usr/bin/env bash
# Speed of quarnel-batch fit on one core: evaluations and seconds per fit for
# two values (Constant model, the worked example's 50 points; Function lb
# model, A and B on 50 model-made points) and four values (A, B, C, D on the
# same points). The figures are the fit's own (its --json "evaluations" and
# "seconds") and the whole process's wall time.
# Usage: bench/fit_speed.sh [QUARNEL_BATCH]
set -euo pipefail
cd "$(dirname "$0")/.."
batch=${1:-build/release/app/quarnel-batch}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
one_core=()
command -v taskset >/dev/null 2>&1 && one_core=(taskset -c 0)

# 50 uneven openings up to 14 mm and the Function lb law at them.
awk 'BEGIN { s = 99; n = 50
  for (i = 0; i < n; i++) { s = (48271 * s) % 2147483647; t = (i + 0.2 + 0.6 * s / 2147483647) / n
    printf "%.4f\n", 14 * t * t } }' > "$work/openings"
"$batch" --quiet model=2 A=1.5 B=0.4 C=0.05 D=0.3 --openings-file "$work/openings" \
  -o "$work/law.p-d" --csv "$work/law.csv"
awk -F, 'NR > 1 { print $2 "," $4 }' "$work/law.csv" > "$work/function-lb.csv"

run() {
  local name=$1; shift
  local start end json
  start=$(date +%s.%N)
  json=$("${one_core[@]}" "$batch" fit "$@" --json --quiet)
  end=$(date +%s.%N)
  local evaluations seconds
  evaluations=$(sed 's/.*"evaluations":\([0-9]*\).*/\1/' <<<"$json")
  seconds=$(sed 's/.*"seconds":\([0-9.e-]*\).*/\1/' <<<"$json")
  printf '%-44s %5d evaluations  %6.2f s fit  %6.2f s process  %5.1f ms/evaluation\n' "$name" \
    "$evaluations" "$seconds" "$(echo "$end - $start" | bc)" "$(echo "1000 * $seconds / $evaluations" | bc -l)"
}

run "2 values, Constant model (example, 50 pts)" examples/fit/pva-curve.csv \
  --params examples/fit/pva.txt --fit Pmax=0.5:20 --fit delta_max=0.01:2
run "2 values, Function lb A B (50 pts)" "$work/function-lb.csv" model=2 C=0.05 D=0.3 \
  --fit A=0.1:20 --fit B=0:2
run "4 values, Function lb A B C D (50 pts)" "$work/function-lb.csv" model=2 \
  --fit A=0.1:20 --fit B=0:2 --fit C=0.005:0.5 --fit D=0:1
