#!/usr/bin/env bash
# Peak resident memory of quarnel-batch on the default inputs, in MB.
set -euo pipefail
batch=${1:-build/release/app/quarnel-batch}
out=$(mktemp)
kb=$( { /usr/bin/time -f "%M" "$batch" --quiet -o "$out" >/dev/null; } 2>&1 | tail -n 1)
rm -f "$out"
echo "quarnel-batch peak resident memory: $((kb / 1024)) MB"
