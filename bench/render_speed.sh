#!/usr/bin/env bash
# Speed of the headless renderer at 1280x720: the median drawing time of each
# scene's frames against the end step's (which draws nothing, so it is the
# cost of the frame pipeline alone), measured in one run; then the whole demo
# at 60 fps with H.264 encoding against its running time.
# RENDER_BENCH_WHOLE=0 skips the whole-demo run (about ten minutes).
# RENDER_BENCH_PASSES=1 adds the median milliseconds of each step of a frame
# per scene, the GL pipeline drained between steps (norvale-render --pass-log).
set -euo pipefail
BUILD=${BUILD:-build}
render=$BUILD/norvale-render
. "$(dirname "$0")/../scripts/require-render.sh"
require_render render_speed "$render"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Median render_ms of each scene's frames, and its ratio to the end step's.
per_scene() {
    awk -F, 'NR > 1 && $8 == "demo" && $7 > 0 { print $2, $7 }' "$1" | sort -k1,1n -k2,2n |
        awk '{ ms[$1, ++n[$1]] = $2 }
        END {
            for (s = 0; s <= 5; s++) if (n[s]) {
                k = n[s]; m = k % 2 ? ms[s, (k + 1) / 2] : (ms[s, k / 2] + ms[s, k / 2 + 1]) / 2
                median[s] = m
            }
            printf "  %-8s %9s %7s %8s %s\n", "", "median", "fps", "frames", "x end step (target 2.5)"
            for (s = 0; s <= 5; s++) if (n[s]) {
                name = s < 5 ? "scene " s : "end step"
                ratio = median[5] > 0 ? sprintf("%.2f", median[s] / median[5]) : "-"
                printf "  %-8s %6.1f ms %7.1f %8d %s\n", name, median[s], 1000 / median[s], n[s], ratio
            } }'
}

echo "render_speed: 1280x720, scenes only, 2 frames a second of output"
"$render" --size 1280x720 --fps 2 --skip-intro --frame-log "$work/scenes.csv" 2>/dev/null
per_scene "$work/scenes.csv"

if [ "${RENDER_BENCH_PASSES:-0}" = 1 ]; then
    echo "render_speed: 1280x720, each step of a frame, 1 frame a second of output"
    "$render" --size 1280x720 --fps 1 --skip-intro --pass-log "$work/passes.tsv" 2>/dev/null
    awk -F '\t' '{ printf "  %-6s %-6s %-20s %7s %10s\n", $1, $2, $3, $4, $5 }' "$work/passes.tsv"
fi

if [ "${RENDER_BENCH_WHOLE:-1}" = 0 ]; then
    exit 0
fi
echo "render_speed: whole demo, 1280x720 at 60 fps, encoded to H.264 + AAC"
start=$(date +%s.%N)
"$render" --size 1280x720 --fps 60 --out "$work/demo.mp4" --frame-log "$work/large.csv" 2>/dev/null
end=$(date +%s.%N)
per_scene "$work/large.csv"
awk -F, -v start="$start" -v end="$end" 'NR > 1 { last = $1; frames++ }
    END { wall = end - start; running = last + 1 / 60
        printf "  %d frames, %.1f s of demo rendered in %.1f s: %.2f x its running time (target 3)\n",
            frames, running, wall, wall / running }' "$work/large.csv"
