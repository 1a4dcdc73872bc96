#!/bin/bash
# The real program under its own Xvfb screen, windowed at 640x480, watched
# through screenshots: black right after Run, the logo at about 16 s, the
# opening scene after the fade-out, the wave scene about 33 s of music later,
# and Escape ending with status 0. (NORVALE_BIN and X11_PROBE name the programs.)
set -u
WORK=$(mktemp -d)
XVFB_PID=""
DEMO_PID=""

cleanup() {
    # NORVALE_E2E_SHOTS=dir keeps the screenshots for a person to look at.
    [ -n "${NORVALE_E2E_SHOTS:-}" ] && cp "$WORK"/*.png "$NORVALE_E2E_SHOTS"/ 2>/dev/null
    [ -n "$DEMO_PID" ] && kill "$DEMO_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL (intro timeline): $*" >&2
    [ -s "$WORK/err" ] && sed 's/^/  norvale stderr: /' "$WORK/err" >&2
    exit 1
}

# Without the generated data there is nothing to look at (make test makes it).
if [ ! -f data/logo.tga ] || [ ! -f data/preview_kovi.mp3 ]; then
    echo "skipped: data/ has not been generated" >&2
    exit 77
fi

# -noreset: a probe that leaves before the demo connects would reset the server
# and the demo's first connection would be refused.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB_PID=$!
for _ in $(seq 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
done
[ -s "$WORK/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$WORK/display")"

# Waits up to $2 seconds for a shown window titled Norvale of size $1 ("" for any).
wait_window() {
    local deadline=$((SECONDS + $2)) line
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || fail "norvale ended early"
        line=$("$X11_PROBE" find Norvale | awk -v size="$1" 'size == "" || $4 "x" $5 == size' |
            head -n1)
        WINDOW=${line%% *}
        [ -n "$line" ] && return 0
        sleep 0.2
    done
    fail "no window '$1' after $2 s"
}

# Screenshot of the render window into $WORK/$1.png.
shot() { import -silent -window "$WINDOW" "$WORK/$1.png" 2>/dev/null; }

# Mean (0..255) over the shot $1 shrunk to 160x120, after the operators that follow.
measure() {
    convert "$WORK/$1.png" -scale '160x120!' "${@:2}" -format '%[fx:int(255*mean)]' info: \
        2>/dev/null
}
brightness() { measure "$1" -colorspace Gray; }
# Share of pixels whose red beats blue by 40: the logo's orange letters.
reddish() { measure "$1" -fx 'r - b > 0.16 ? 1 : 0'; }
# Colourfulness (max - min channel) of the lower part: the waves' palettes.
colourful() { measure "$1" -crop 160x50+0+70 +repage -fx 'max(r, max(g, b)) - min(r, min(g, b))'; }
# Brightness of the band from 15 % to 25 % of the height: the wave scene's white horizon.
upper_band() { measure "$1" -crop 160x12+0+18 +repage -colorspace Gray; }

# Whole seconds since Run.
since_run() { echo $(((SECONDS - RUN_AT))); }
wait_until() { while [ $((SECONDS - RUN_AT)) -lt "$1" ]; do sleep 0.2; done; }

"$NORVALE_BIN" >"$WORK/out" 2>"$WORK/err" &
DEMO_PID=$!
wait_window "" 30
xdotool windowfocus --sync "$WINDOW"
# Focus starts on Run: width, height, then colour depth, aspect, brightness, Fullscreen.
xdotool key Tab Tab
xdotool type 640
xdotool key Tab
xdotool type 480
xdotool key Tab Tab Tab Tab space alt+r
wait_window 640x480 30
RUN_AT=$SECONDS

wait_until 2
shot black
[ "$(brightness black)" -le 1 ] || fail "not black 2 s after Run"

wait_until 16
shot logo
[ "$(brightness logo)" -ge 8 ] || fail "no logo 16 s after Run"
[ "$(reddish logo)" -ge 2 ] || fail "the logo shows no orange letters 16 s after Run"

# The fade-out ends about 22 s after Run plus the loading time; then scene 0 fades in.
wait_until 23
SCENE0_AT=""
while [ $(since_run) -lt 90 ]; do
    shot scene0
    if [ "$(brightness scene0)" -ge 10 ] && [ "$(reddish scene0)" -le 1 ]; then
        SCENE0_AT=$SECONDS
        break
    fi
    sleep 1
done
[ -n "$SCENE0_AT" ] || fail "the opening scene never showed"

# The wave scene: coloured stripes under a white horizon band, which the
# opening scene never shows. It fades in when the music reaches its start.
SCENE1_AT=""
while [ $((SECONDS - SCENE0_AT)) -lt 75 ]; do
    shot scene1
    if [ "$(upper_band scene1)" -ge 150 ] && [ "$(colourful scene1)" -ge 6 ]; then
        SCENE1_AT=$SECONDS
        break
    fi
    sleep 1
done
[ -n "$SCENE1_AT" ] || fail "the wave scene never showed"
GAP=$((SCENE1_AT - SCENE0_AT))
[ $GAP -ge 25 ] && [ $GAP -le 50 ] || fail "the wave scene came $GAP s after the opening scene"

xdotool windowfocus --sync "$WINDOW"
xdotool keydown Escape
deadline=$((SECONDS + 30))
while kill -0 "$DEMO_PID" 2>/dev/null; do
    [ $SECONDS -ge $deadline ] && fail "still running 30 s after Escape"
    sleep 0.2
done
xdotool keyup Escape
wait "$DEMO_PID"
STATUS=$?
DEMO_PID=""
[ "$STATUS" = 0 ] || fail "exit status $STATUS after Escape"
echo "ok (intro timeline: opening scene at $((SCENE0_AT - RUN_AT)) s, wave scene $GAP s later)"
