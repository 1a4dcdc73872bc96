#!/usr/bin/env bash
# The demo's frames on Mesa's three software drivers: llvmpipe, softpipe and
# zink on lavapipe. Every other frame test runs on llvmpipe alone, which
# rounds every blend to 8 bits and so forgives faults another driver shows.
#
#   driver_frames.sh plain   the speed paths (terrain culling)
#                            against --plain-draw on llvmpipe and softpipe,
#                            with 24- and 16-bit depth: identical bytes
#   driver_frames.sh ssim    softpipe and zink against llvmpipe: every frame
#                            at SSIM MinSsim or above, or (nearly black
#                            frames, where SSIM magnifies a level or two)
#                            at PSNR MinPsnr dB or above
#   driver_frames.sh quick   both on seven frames across the scenes, 24-bit depth
#                            only (make test; the two above run in make check)
#
# Exit 77 (skipped) only when a driver cannot start at all; the drivers that
# start are still compared, and a difference fails. RENDER (the
# norvale-render binary) and OUT (where frames go) may be set. Run from the
# repository root after the data is generated.
set -euo pipefail
render=${RENDER:-build/norvale-render}
out=${OUT:-$(mktemp -d)}
mode=${1:-}

# Frames at 320x180, each set with and without Demo++, compared only at the
# same frame rate: scenes 0 to 4 every second on llvmpipe, every 6 s on
# softpipe (about 0.2 s a frame there: eight sets of 37 frames take a
# minute and a half), and the whole demo every 4 s.
plain_llvmpipe="--size 320x180 --fps 1 --skip-intro"
plain_softpipe="--size 320x180 --fps 1/6 --skip-intro"
ssim_set="--size 320x180 --fps 1/4"
depths="24 16"

# Measured against llvmpipe (2026-12, Mesa 22.3.6, both sets, 65 frames
# each): the lowest SSIM is softpipe 0.874 (scene 4's line fan: wide lines a
# pixel apart, PSNR 19 dB) apart from one nearly black frame of scene 0
# (SSIM 0.57 at PSNR 50 dB), and zink 0.993 (PSNR 47 dB), now that the
# wire-frames are drawn as lines and zink has no quad diagonal to add.
MinSsim=0.85
MinPsnr=40

. "$(dirname "$0")/../../scripts/require-render.sh"
require_render drivers "$render"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then  # zink's Vulkan loader wants one
    XDG_RUNTIME_DIR=$(mktemp -d)
    chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi

# Runs the renderer on a driver: llvmpipe, softpipe or zink.
on_driver() {
    local driver=$1
    shift
    case $driver in
    llvmpipe) GALLIUM_DRIVER=llvmpipe "$render" "$@" ;;
    softpipe) GALLIUM_DRIVER=softpipe "$render" "$@" ;;
    zink) LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=zink "$render" "$@" ;;
    esac
}

# True when the driver starts and is the one asked for (Mesa falls back
# to another driver silently).
starts() {
    local info
    info=$(on_driver "$1" --gl-info 2>&1) || return 1
    case $1 in
    zink) [[ $info == *"renderer: zink"* ]] ;;
    *) [[ $info == *"renderer: $1"* ]] ;;
    esac
}

# name driver options...: frames into $out/name.
render_set() {
    local name=$1 driver=$2
    shift 2
    rm -rf "${out:?}/$name"
    on_driver "$driver" "$@" --png "$out/$name" 2>"$out/$name.log" ||
        { cat "$out/$name.log"; return 1; }
}

missing=()
failed=0

compare_plain() {
    local driver depth plus name set
    for driver in llvmpipe softpipe; do
        if ! starts $driver; then
            echo "drivers: SKIPPED: $driver does not start: $(on_driver $driver --gl-info 2>&1 | head -1)"
            missing+=("$driver")
            continue
        fi
        set=$plain_softpipe
        [ $driver = llvmpipe ] && set=$plain_llvmpipe
        for depth in $depths; do
            for plus in "" --demo-plus; do
                name=$driver-$depth${plus:+-plus}
                # shellcheck disable=SC2086
                render_set "$name-fast" $driver $set --depth-bits $depth $plus
                # shellcheck disable=SC2086
                render_set "$name-plain" $driver $set --depth-bits $depth $plus --plain-draw
                local differ=0 frames=0 f
                for f in "$out/$name-plain"/frame*.png; do
                    frames=$((frames + 1))
                    if ! cmp -s "$f" "$out/$name-fast/${f##*/}"; then
                        differ=$((differ + 1))
                        [ $differ -le 5 ] && echo "  $name: ${f##*/} differs"
                    fi
                done
                if [ $frames -eq 0 ] || [ $differ -gt 0 ]; then
                    echo "drivers: $name: $differ of $frames frames differ between the speed paths and --plain-draw"
                    failed=1
                else
                    echo "drivers: $name: all $frames frames identical"
                fi
            done
        done
    done
}

# Per-frame scores of two frame folders, as "ssim psnr frame" lines.
frame_scores() {
    local metric
    for metric in ssim psnr; do
        ffmpeg -nostdin -loglevel error -pattern_type glob -i "$1/frame*.png" -pattern_type glob \
            -i "$2/frame*.png" -lavfi "$metric=stats_file=$out/$metric.txt" -f null -
    done
    (cd "$2" && ls frame*.png) >"$out/names.txt"
    awk 'FILENAME == ARGV[1] { name[FNR] = $1; next }
        FILENAME == ARGV[2] { split($5, a, ":"); ssim[FNR] = a[2]; next }
        { for (i = 1; i <= NF; i++) if ($i ~ /^psnr_avg:/) { split($i, p, ":"); psnr = p[2] }
          printf "%s %s %s\n", ssim[FNR], psnr, name[FNR] }' "$out/names.txt" "$out/ssim.txt" "$out/psnr.txt"
}

compare_ssim() {
    local driver plus name
    for plus in "" --demo-plus; do
        # shellcheck disable=SC2086
        render_set "llvmpipe${plus:+-plus}" llvmpipe $ssim_set $plus
    done
    for driver in softpipe zink; do
        if ! starts $driver; then
            echo "drivers: SKIPPED: $driver does not start: $(on_driver $driver --gl-info 2>&1 | head -1)"
            missing+=("$driver")
            continue
        fi
        for plus in "" --demo-plus; do
            name=$driver${plus:+-plus}
            # shellcheck disable=SC2086
            render_set "$name" $driver $ssim_set $plus
            local frames
            frames=$(find "$out/$name" -name 'frame*.png' | wc -l)
            if [ "$frames" -ne "$(find "$out/llvmpipe${plus:+-plus}" -name 'frame*.png' | wc -l)" ]; then
                echo "drivers: $name: $frames frames, llvmpipe made another number"
                failed=1
                continue
            fi
            frame_scores "$out/llvmpipe${plus:+-plus}" "$out/$name" | sort -n >"$out/$name.scores"
            echo "drivers: $name against llvmpipe, lowest SSIM (and PSNR) of $frames frames:" \
                "$(head -3 "$out/$name.scores" | tr '\n' ' ')"
            local low="\$1 < $MinSsim && \$2 < $MinPsnr"
            if awk "$low { bad = 1 } END { exit !bad }" "$out/$name.scores"; then
                echo "drivers: $name: frames below SSIM $MinSsim and PSNR $MinPsnr dB:"
                awk "$low" "$out/$name.scores" | head -10
                failed=1
            fi
        done
    done
}

case $mode in
plain) compare_plain ;;
ssim) compare_ssim ;;
quick)
    # Every 25 s from 25 s into the scenes: 0, 1, 2, 3 three times, 4.
    plain_llvmpipe="--size 320x180 --fps 1/25 --skip-intro --from 20 --to 190"
    plain_softpipe=$plain_llvmpipe ssim_set=$plain_llvmpipe depths=24
    compare_plain
    compare_ssim
    ;;
*)
    echo "usage: driver_frames.sh plain|ssim|quick"
    exit 2
    ;;
esac
if [ $failed -ne 0 ]; then
    echo "drivers: FAILED (frames kept in $out)"
    exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "drivers: SKIPPED: no frames from ${missing[*]}, which could not start"
    exit 77
fi
[ -z "${OUT:-}" ] && rm -rf "$out"
exit 0
