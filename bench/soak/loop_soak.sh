#!/usr/bin/env bash
# Soak of the looping demo: norvale-render plays the demo with Loop on for
# SOAK_HOURS demo-hours (default 24) at a small size and a low frame rate,
# and records at the start of every loop the resident memory, the open file
# descriptors and the live GL textures and display lists. Prints one row per
# loop and the least-squares slope of each figure after the first loop, in
# units per demo-hour. Aim: RSS under 1 MB per demo-hour, the rest flat.
# Not part of `make bench` (it runs for an hour or more): `make soak`.
set -euo pipefail
BUILD=${BUILD:-build}
hours=${SOAK_HOURS:-24}
size=${SOAK_SIZE:-64x36}
fps=${SOAK_FPS:-1}
render=$BUILD/norvale-render
if [ ! -x "$render" ]; then
    echo "loop_soak: $render is not built"
    exit 1
fi
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
awk -F, 'NR == 1 { printf "  %5s %10s %10s %5s %9s %9s\n", "loop", "seconds", "rss_kb", "fds", "textures", "lists"; next }
    { printf "  %5d %10.1f %10d %5d %9d %9d\n", $1, $2, $3, $4, $5, $6 }
    NR > 2 { n++; x = $2 / 3600; sx += x; sxx += x * x
        for (k = 3; k <= 6; k++) { sy[k] += $k; sxy[k] += x * $k } }
    END {
        if (n < 2) { print "  too few loops for a slope"; exit }
        split("rss_kb fds gl_textures gl_lists", name, " ")
        d = n * sxx - sx * sx
        for (k = 3; k <= 6; k++)
            printf "  slope after the first loop: %-11s %+.3f per demo-hour\n", name[k - 2], (n * sxy[k] - sx * sy[k]) / d
        printf "  (RSS: %+.3f MB per demo-hour; aim under 1)\n", (n * sxy[3] - sx * sy[3]) / d / 1024
    }' "$stats"
