#!/usr/bin/env bash
# Speed of the headless renderer: frames per second per scene at 640x360 and
# 1280x720, and the whole demo at 1280x720 and 60 fps (with video encoding)
# against its running time. RENDER_BENCH_WHOLE=0 skips the whole-demo run.
set -euo pipefail
BUILD=${BUILD:-build}
render=$BUILD/norvale-render
if [ ! -x "$render" ]; then
    echo "render_speed: $render is not built"
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Mean drawing time per frame of each scene, from the frame log.
per_scene() {
    awk -F, 'NR > 1 && $8 == "demo" && $7 > 0 { n[$2]++; ms[$2] += $7 }
        END { for (s = 0; s <= 5; s++) if (n[s]) {
            name = s < 5 ? "scene " s : "end    "
            printf "  %s %7.1f fps  (%.1f ms a frame over %d frames)\n",
                name, 1000 * n[s] / ms[s], ms[s] / n[s], n[s] } }' "$1"
}

echo "render_speed: 640x360, scenes only, 15 fps sampling"
"$render" --size 640x360 --fps 15 --skip-intro --frame-log "$work/small.csv" 2>/dev/null
per_scene "$work/small.csv"

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
        printf "  %d frames, %.1f s of demo rendered in %.1f s: %.2f x its running time (target 0.5)\n",
            frames, running, wall, wall / running }' "$work/large.csv"
