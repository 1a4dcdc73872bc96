#!/bin/bash
# Times one full run of the data generator (all fifteen files); target:
# under 15 s of wall-clock time on an otherwise idle two-core machine. The
# processor time is printed too, since load from other programs skews the
# wall-clock figure but not that one.
set -e
BUILD=${BUILD:-build}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
TIMEFORMAT="%R %U %S"
times=$( { time "$BUILD/norvale-datagen" "$out" >/dev/null; } 2>&1 | tail -1)
read -r real user sys <<<"$times"
echo "datagen: $(ls "$out" | wc -l) files; wall ${real} s, processor ${user} s user + ${sys} s system (target: under 15 s wall)"
if awk "BEGIN { exit !($real >= 15) }"; then echo "datagen: over the 15 s target"; fi
