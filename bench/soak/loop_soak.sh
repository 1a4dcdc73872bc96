#!/usr/bin/env bash
# Soak of the looping demo: norvale-render plays the demo with Loop on for
# SOAK_HOURS demo-hours (default 24) at a small size and a low frame rate,
# and records at the start of every loop the resident memory, the open file
# descriptors, the live GL textures and display lists, and the memory malloc
# has handed out (resident memory that grows while that stays flat is kept
# by the allocator, not leaked). Prints one row per
# loop and the least-squares slope of each figure after the first loop, in
# units per demo-hour. Aim: RSS under 1 MB per demo-hour, the rest flat.
# Not part of `make bench` (it runs for an hour or more): `make soak`.
set -euo pipefail
BUILD=${BUILD:-build}
hours=${SOAK_HOURS:-24}
size=${SOAK_SIZE:-64x36}
fps=${SOAK_FPS:-1}
render=$BUILD/norvale-render
. "$(dirname "$0")/../../scripts/require-render.sh"
require_render loop_soak "$render"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy, so a rebuild during the run does not change what is measured.
cp "$render" "$work/norvale-render"
stats=${SOAK_STATS:-$work/loops.csv}
to=$(awk -v h="$hours" 'BEGIN { printf "%.0f", h * 3600 }')

echo "loop_soak: $hours demo-hours of the looped demo at $size, $fps fps (stats in $stats)"
start=$(date +%s)
"$work/norvale-render" --size "$size" --fps "$fps" --loop --to "$to" --loop-stats "$stats" \
    2>"$work/stderr.txt" || { cat "$work/stderr.txt"; exit 1; }
echo "loop_soak: $(($(date +%s) - start)) s of wall time"

# Rows as they are, then the slopes over loops 2 and later against demo-hours.
awk -F, 'NR == 1 { for (k = 1; k <= NF; k++) name[k] = $k
        printf "  %5s %10s %10s %5s %9s %9s %10s\n", "loop", "seconds", "rss_kb", "fds", "textures", "lists", "heap_kb"; next }
    { printf "  %5d %10.1f %10d %5d %9d %9d %10d\n", $1, $2, $3, $4, $5, $6, $7 }
    NR > 2 { n++; x = $2 / 3600; sx += x; sxx += x * x
        for (k = 3; k <= NF; k++) { sy[k] += $k; sxy[k] += x * $k } }
    END {
        if (n < 2) { print "  too few loops for a slope"; exit }
        d = n * sxx - sx * sx
        for (k = 3; k <= NF; k++) slope[k] = (n * sxy[k] - sx * sy[k]) / d
        for (k = 3; k <= NF; k++)
            printf "  slope after the first loop: %-11s %+.3f per demo-hour\n", name[k], slope[k]
        printf "  RSS %+.3f MB per demo-hour (aim: under 1), malloc in use %+.3f MB per demo-hour\n",
            slope[3] / 1024, slope[7] / 1024
    }' "$stats"
