#!/usr/bin/env bash
# Checkpoint frames: a fixed set of frames across the whole demo, rendered
# headless and compared byte for byte with the SHA-256 list committed beside
# this script. Speed and structure work must leave every one unchanged; the
# list changes only with a deliberate change of the picture.
#
#   checkpoint_frames.sh            render and compare (exit 77: skipped)
#   checkpoint_frames.sh --update   render and write the list anew
# RENDER (the norvale-render binary) and OUT (where frames go) may be set.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
list=$here/checkpoint_frames.sha256
render=${RENDER:-build/norvale-render}
out=${OUT:-$(mktemp -d)}
mode=${1:-check}

. "$(dirname "$0")/../../scripts/require-render.sh"
require_render checkpoint "$render"

renderer=$("$render" --gl-info | tr '\n' ' ' | sed 's/ $//')
if [ "$mode" = check ]; then
    wanted=$(sed -n 's/^# gl: //p' "$list")
    if [ "$renderer" != "$wanted" ]; then
        echo "checkpoint: SKIPPED: the list was made on '$wanted', this is '$renderer'"
        exit 77
    fi
fi

# name: options. The whole demo every 3 s at a small size, with and without
# Demo++, and scenes 2, 3 and 4 every 6 s at full size.
sets=(
    "small|--size 320x180 --fps 1/3"
    "small_plus|--size 320x180 --fps 1/3 --demo-plus"
    "large|--size 1280x720 --fps 1/6 --from 100 --to 241"
    "large_plus|--size 1280x720 --fps 1/6 --from 100 --to 241 --demo-plus"
)
for entry in "${sets[@]}"; do
    name=${entry%%|*}
    rm -rf "${out:?}/$name"
    # shellcheck disable=SC2086
    "$render" ${entry#*|} --png "$out/$name" 2>"$out/$name.log" ||
        { cat "$out/$name.log"; exit 1; }
done

hashes() { (cd "$out" && sha256sum -- */frame*.png); }
if [ "$mode" = --update ]; then
    { echo "# gl: $renderer"; hashes; } >"$list"
    echo "checkpoint: wrote $(grep -vc '^#' "$list") frame hashes to $list"
    exit 0
fi
if diff <(grep -v '^#' "$list") <(hashes) >"$out/diff.txt"; then
    echo "checkpoint: all $(grep -vc '^#' "$list") frames identical"
    exit 0
fi
echo "checkpoint: frames differ from the list (frames kept in $out):"
head -40 "$out/diff.txt"
exit 1
